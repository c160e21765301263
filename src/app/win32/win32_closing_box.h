// The closing box of a run in which something could not be changed: a
// modal box with the application title, the warning icon, the short text of
// closingBoxText() and, behind "Show Details...", the whole list in a
// scrolled box. It fits the work area of the screen whatever the count: the
// lines the text shows give way one by one on a small screen, the details
// keeping them all; and it is wide enough for its title to show whole.

#pragma once

#include <windows.h>

#include "app/run_report.h"

namespace kestrova::app::win32 {

inline constexpr wchar_t kClosingBoxClass[] = L"KestrovaClosingBox";

void registerClosingBox(HINSTANCE instance);

// Shows the box over `owner`, which takes no input meanwhile, and returns
// once the user has closed it.
void showClosingBox(HWND owner, const RunReport& report);

}  // namespace kestrova::app::win32
