// The Win32 window's controls: their IDs, their names as the window's
// design calls them, and their places in twips, in the window's tab order.
// The window builds itself from this table, and a test's helper names the
// controls it finds by the same IDs.

#pragma once

#include <array>

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

enum class ControlKind { kOption, kBox, kMaskedBox, kButton, kLabel, kPanel };

// Left, top, width and height in twips (1/1440 inch) within the client area.
struct ControlDesign {
  ControlId id;
  const char* name;
  ControlKind kind;
  const wchar_t* caption;
  int left;
  int top;
  int width;
  int height;
};

inline constexpr int kClientWidthTwips = 5400;
inline constexpr int kClientHeightTwips = 2595;

inline constexpr wchar_t kInstructions[] =
    L"Enter the customer or vehicle 7 digit ID numbers or the emplopees 11 digit SSN to combine.  All WOs will be "
    L"referenced to the To number.  The From number can then be deleted.  Click the Go button when ready.";

// The window's class name, by which a test's helper finds it.
inline constexpr wchar_t kWindowClass[] = L"KestrovaCombiningTool";

inline constexpr std::array<ControlDesign, 16> kControls{{
    {kOptCustomer, "optCustomer", ControlKind::kOption, L"Customer", 180, 300, 1095, 255},
    {kTxtCustFrom, "txtCustFrom", ControlKind::kBox, L"", 1320, 300, 1575, 285},
    {kTxtCustTo, "txtCustTo", ControlKind::kBox, L"", 3120, 300, 1575, 285},
    {kOptVehicle, "optVehicle", ControlKind::kOption, L"Vehicle", 200, 600, 1095, 255},
    {kTxtVehiFrom, "txtVehiFrom", ControlKind::kBox, L"", 1320, 600, 1575, 285},
    {kTxtVehiTo, "txtVehiTo", ControlKind::kBox, L"", 3120, 600, 1575, 285},
    {kOptEmployee, "optEmployee", ControlKind::kOption, L"Employee", 200, 900, 1095, 255},
    {kTxtEmpFrom, "txtEmpFrom", ControlKind::kMaskedBox, L"___-__-____", 1320, 900, 1695, 285},
    {kTxtEmpTo, "txtEmpTo", ControlKind::kMaskedBox, L"___-__-____", 3120, 900, 1695, 285},
    {kCmdGo, "cmdGo", ControlKind::kButton, L"&Go", 4020, 1740, 1275, 375},
    {kCmdCancel, "cmdCancel", ControlKind::kButton, L"&Close", 4020, 2100, 1275, 375},
    {kLabel1, "Label1", ControlKind::kLabel, L"From", 1800, 60, 420, 195},
    {kLabel2, "Label2", ControlKind::kLabel, L"To", 3720, 60, 375, 255},
    {kLabel3, "Label3", ControlKind::kLabel, kInstructions, 120, 1320, 3915, 855},
    {kPanProgress, "panProgress", ControlKind::kPanel, L"", 105, 2160, 3855, 315},
    {kLabel4, "Label4", ControlKind::kLabel, L"v5.15", 4920, 60, 435, 195},
}};

}  // namespace kestrova::app::win32
