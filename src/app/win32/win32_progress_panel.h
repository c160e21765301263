// The window's 3-D progress panel: a sunken panel filled from the left as a
// combine comes on, its percentage in the middle. A combine does not return
// to the message loop between its passes, so setting the percentage paints
// it at once.

#pragma once

#include <windows.h>

namespace kestrova::app::win32 {

// Registers the panel's window class (once per program).
void registerProgressPanel(HINSTANCE instance);
inline constexpr wchar_t kProgressPanelClass[] = L"KestrovaProgressPanel";

// 0 to 100; values outside are held to the nearer end.
void setPanelPercent(HWND panel, int percent);

}  // namespace kestrova::app::win32
