// The system's own message box (MessageBoxW) with the application title as
// its caption, made wide enough for the title bar to write the title whole:
// a short text ("Done.") would otherwise make a box narrower than its title.

#pragma once

#include <windows.h>

#include <string>

namespace kestrova::app::win32 {

// MessageBoxW over `owner` with `flags`; returns the button clicked.
int showSystemMessageBox(HWND owner, const std::wstring& text, UINT flags);

}  // namespace kestrova::app::win32
