// The main window's design, which the Qt and the Win32 window both build
// themselves from: each control's name as the design calls it, its kind,
// caption, place in twips and font, listed in the tab order (the labels and
// the panel, which take no focus, after the buttons). Text is UTF-8.

#pragma once

#include <array>
#include <cstddef>

#include "app/id_text.h"

namespace kestrova::app {

inline constexpr int kTwipsPerInch = 1440;

// Left, top, width and height in twips (1/1440 inch) within the client area.
struct Twips {
  int left;
  int top;
  int width;
  int height;
};

inline constexpr Twips kClientArea{0, 0, 5400, 2595};

enum class ControlKind { kOption, kBox, kMaskedBox, kButton, kLabel, kPanel };

// The shop's faces; each window takes the closest face the machine has.
enum class Face { kSansSerif, kArial };

struct FontDesign {
  Face face;
  double points;
  bool bold;
};

inline constexpr FontDesign kWindowFont{Face::kSansSerif, 8.25, true};

// The controls, by their place in kControls.
enum class Control : std::size_t {
  kOptCustomer,
  kTxtCustFrom,
  kTxtCustTo,
  kOptVehicle,
  kTxtVehiFrom,
  kTxtVehiTo,
  kOptEmployee,
  kTxtEmpFrom,
  kTxtEmpTo,
  kCmdGo,
  kCmdCancel,
  kLabel1,
  kLabel2,
  kLabel3,
  kPanProgress,
  kLabel4,
};

struct ControlDesign {
  Control control;
  const char* name;
  ControlKind kind;
  const char* caption;
  Twips place;
  FontDesign font;
};

inline constexpr char kInstructions[] =
    "Enter the customer or vehicle 7 digit ID numbers or the emplopees 11 digit SSN to combine.  All WOs will be "
    "referenced to the To number.  The From number can then be deleted.  Click the Go button when ready.";

inline constexpr std::array<ControlDesign, 16> kControls{{
    {Control::kOptCustomer, "optCustomer", ControlKind::kOption, "Customer", {180, 300, 1095, 255}, kWindowFont},
    {Control::kTxtCustFrom, "txtCustFrom", ControlKind::kBox, "", {1320, 300, 1575, 285}, kWindowFont},
    {Control::kTxtCustTo, "txtCustTo", ControlKind::kBox, "", {3120, 300, 1575, 285}, kWindowFont},
    {Control::kOptVehicle, "optVehicle", ControlKind::kOption, "Vehicle", {200, 600, 1095, 255}, kWindowFont},
    {Control::kTxtVehiFrom, "txtVehiFrom", ControlKind::kBox, "", {1320, 600, 1575, 285}, kWindowFont},
    {Control::kTxtVehiTo, "txtVehiTo", ControlKind::kBox, "", {3120, 600, 1575, 285}, kWindowFont},
    {Control::kOptEmployee, "optEmployee", ControlKind::kOption, "Employee", {200, 900, 1095, 255}, kWindowFont},
    {Control::kTxtEmpFrom, "txtEmpFrom", ControlKind::kMaskedBox, kEmptyEmployeeNumber, {1320, 900, 1695, 285},
     kWindowFont},
    {Control::kTxtEmpTo, "txtEmpTo", ControlKind::kMaskedBox, kEmptyEmployeeNumber, {3120, 900, 1695, 285},
     kWindowFont},
    {Control::kCmdGo, "cmdGo", ControlKind::kButton, "&Go", {4020, 1740, 1275, 375}, kWindowFont},
    {Control::kCmdCancel, "cmdCancel", ControlKind::kButton, "&Close", {4020, 2100, 1275, 375}, kWindowFont},
    {Control::kLabel1, "Label1", ControlKind::kLabel, "From", {1800, 60, 420, 195}, kWindowFont},
    {Control::kLabel2, "Label2", ControlKind::kLabel, "To", {3720, 60, 375, 255}, kWindowFont},
    {Control::kLabel3, "Label3", ControlKind::kLabel, kInstructions, {120, 1320, 3915, 855},
     {Face::kSansSerif, 8.25, false}},
    {Control::kPanProgress, "panProgress", ControlKind::kPanel, "", {105, 2160, 3855, 315},
     {Face::kSansSerif, 19.5, true}},
    {Control::kLabel4, "Label4", ControlKind::kLabel, "v5.15", {4920, 60, 435, 195}, {Face::kArial, 8.25, false}},
}};

constexpr const ControlDesign& designOf(Control control) { return kControls[static_cast<std::size_t>(control)]; }

// The ID boxes, in the order of the command's IdBox.
inline constexpr std::array<Control, 6> kIdBoxes{Control::kTxtCustFrom, Control::kTxtCustTo, Control::kTxtVehiFrom,
                                                 Control::kTxtVehiTo,   Control::kTxtEmpFrom, Control::kTxtEmpTo};

static_assert([] {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    if (static_cast<std::size_t>(kControls[i].control) != i) return false;
  }
  return true;
}(), "each control's design sits at its own place");

}  // namespace kestrova::app
