// The Win32 window's controls: their IDs, made from the window's design.
// The window builds itself from the design under these IDs, and a test's
// helper names the controls it finds by the same IDs.

#pragma once

#include <windows.h>

#include <algorithm>

#include "app/window_design.h"

namespace kestrova::app::win32 {

// A control's ID: 101 on from its place in the design, but Close is the
// cancel button, so that Esc reaches it as IDCANCEL.
constexpr int idOf(Control control) {
  return control == Control::kCmdCancel ? IDCANCEL : 101 + static_cast<int>(control);
}

// The design of the control with ID `id`; none for an ID of no control.
inline const ControlDesign* designWithId(int id) {
  const auto found =
      std::find_if(kControls.begin(), kControls.end(), [id](const ControlDesign& d) { return idOf(d.control) == id; });
  return found == kControls.end() ? nullptr : &*found;
}

// The window's class name, by which a test's helper finds it.
inline constexpr wchar_t kWindowClass[] = L"KestrovaCombiningTool";

}  // namespace kestrova::app::win32
