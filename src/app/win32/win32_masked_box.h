// The employee boxes: an EDIT control that takes a number of the form
// ###-##-####. Digits go only in the # places, the dashes stay in place and
// empty places show '_', so the box always holds 11 characters; its value
// leaves the '_' out, so a number with empty places is never 11 characters
// long. When the keyboard enters the box the caret goes to the first empty
// place; a digit typed over a digit replaces it, and one typed at an empty
// place (or with no place after the caret) goes to the first empty place,
// so the digit that is missing is the next one typed.

#pragma once

#include <windows.h>

#include <string>

namespace kestrova::app::win32 {

// Makes `edit` (an EDIT control showing the empty number) a masked box.
void makeMaskedBox(HWND edit);

// The number as the combine command reads it: the shown text without '_'.
std::wstring maskedValue(HWND edit);
// Shows `value`'s digits in the # places, in order; the rest stay empty.
void setMaskedValue(HWND edit, const std::wstring& value);

}  // namespace kestrova::app::win32
