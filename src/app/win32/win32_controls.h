// The Win32 window's controls: their IDs beside the window's design. The
// window builds itself from the design and these IDs, and a test's helper
// names the controls it finds by the same IDs.

#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "app/window_design.h"

namespace kestrova::app::win32 {

// Close is the cancel button, so Esc reaches it as IDCANCEL.
enum ControlId : int {
  kOptCustomer = 101,
  kTxtCustFrom,
  kTxtCustTo,
  kOptVehicle,
  kTxtVehiFrom,
  kTxtVehiTo,
  kOptEmployee,
  kTxtEmpFrom,
  kTxtEmpTo,
  kCmdGo,
  kCmdCancel = 2,  // IDCANCEL
  kLabel1 = 112,
  kLabel2,
  kLabel3,
  kPanProgress,
  kLabel4,
};

// Each control's ID, by its place in the design.
inline constexpr std::array<ControlId, kControls.size()> kControlIds{
    kOptCustomer, kTxtCustFrom, kTxtCustTo, kOptVehicle, kTxtVehiFrom, kTxtVehiTo, kOptEmployee, kTxtEmpFrom,
    kTxtEmpTo,    kCmdGo,       kCmdCancel, kLabel1,     kLabel2,      kLabel3,   kPanProgress, kLabel4,
};

constexpr ControlId idOf(const ControlDesign& design) { return kControlIds[static_cast<std::size_t>(design.control)]; }

// The design of the control with ID `id`.
inline const ControlDesign& designOfId(int id) {
  const auto at = std::find(kControlIds.begin(), kControlIds.end(), id) - kControlIds.begin();
  return kControls[static_cast<std::size_t>(at)];
}

// The window's class name, by which a test's helper finds it.
inline constexpr wchar_t kWindowClass[] = L"KestrovaCombiningTool";

}  // namespace kestrova::app::win32
