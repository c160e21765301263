#include "app/win32/win32_progress_panel.h"

#include <algorithm>
#include <string>

namespace kestrova::app::win32 {
namespace {

// The window's extra bytes: the percentage, then the font.
constexpr int kPercentSlot = 0;
constexpr int kFontSlot = sizeof(LONG_PTR);

void paint(HWND panel) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(panel, &ps);
  RECT inside;
  GetClientRect(panel, &inside);
  DrawEdge(dc, &inside, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  const int percent = static_cast<int>(GetWindowLongPtrW(panel, kPercentSlot));
  const std::wstring text = std::to_wstring(percent) + L"%";
  RECT filled = inside;
  filled.right = inside.left + (inside.right - inside.left) * percent / 100;
  RECT empty = inside;
  empty.left = filled.right;

  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrW(panel, kFontSlot)));
  SetBkMode(dc, TRANSPARENT);
  // The figure reads in the fill's colours where the fill has reached it and
  // in the panel's beyond, as it crosses the edge of the fill.
  const auto drawPart = [&](const RECT& part, int background, int foreground) {
    if (part.right <= part.left) return;
    FillRect(dc, &part, GetSysColorBrush(background));
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, part.left, part.top, part.right, part.bottom);
    SetTextColor(dc, GetSysColor(foreground));
    RECT all = inside;
    DrawTextW(dc, text.c_str(), -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, saved);
  };
  drawPart(filled, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT);
  drawPart(empty, COLOR_BTNFACE, COLOR_BTNTEXT);
  SelectObject(dc, oldFont);
  EndPaint(panel, &ps);
}

LRESULT CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(panel);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills every pixel
    case WM_SETFONT:
      SetWindowLongPtrW(panel, kFontSlot, static_cast<LONG_PTR>(wParam));
      if (LOWORD(lParam)) InvalidateRect(panel, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrW(panel, kFontSlot);
    default:
      return DefWindowProcW(panel, message, wParam, lParam);
  }
}

}  // namespace

void registerProgressPanel(HINSTANCE instance) {
  WNDCLASSW panelClass{};
  panelClass.lpfnWndProc = panelProc;
  panelClass.cbWndExtra = 2 * sizeof(LONG_PTR);
  panelClass.hInstance = instance;
  panelClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panelClass.lpszClassName = kProgressPanelClass;
  RegisterClassW(&panelClass);
}

void setPanelPercent(HWND panel, int percent) {
  SetWindowLongPtrW(panel, kPercentSlot, std::clamp(percent, 0, 100));
  InvalidateRect(panel, nullptr, FALSE);
  if (IsWindowVisible(panel)) UpdateWindow(panel);
}

}  // namespace kestrova::app::win32
