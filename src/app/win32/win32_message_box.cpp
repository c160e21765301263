#include "app/win32/win32_message_box.h"

#include <algorithm>

#include "app/run_report.h"
#include "app/win32/win32_text.h"

namespace kestrova::app::win32 {
namespace {

HHOOK widenHook = nullptr;

// The width of the box's frame for the title to show whole beside the
// title bar's icon and buttons.
int widthForTitle(HWND box) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, font);
  const std::wstring title = toWide(kApplicationTitle);
  SIZE size{};
  GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  DeleteObject(font);
  return size.cx + 4 * GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CXFIXEDFRAME);
}

BOOL CALLBACK moveButton(HWND child, LPARAM shift) {
  wchar_t name[16] = {};
  GetClassNameW(child, name, 16);
  if (lstrcmpiW(name, L"Button") != 0) return TRUE;
  RECT at;
  GetWindowRect(child, &at);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&at), 2);
  SetWindowPos(child, nullptr, at.left + static_cast<int>(shift), at.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return TRUE;
}

// When the box is about to show, it is widened about its centre and its
// buttons moved with it, so they stay in the middle.
LRESULT CALLBACK widenBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    GetClassNameW(box, name, 16);
    if (lstrcmpW(name, L"#32770") == 0) {
      RECT frame;
      GetWindowRect(box, &frame);
      const int width = frame.right - frame.left;
      const int wanted = widthForTitle(box);
      if (wanted > width) {
        const int grow = wanted - width;
        SetWindowPos(box, nullptr, frame.left - grow / 2, frame.top, wanted, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        EnumChildWindows(box, moveButton, grow / 2);
      }
      UnhookWindowsHookEx(widenHook);
      widenHook = nullptr;
      return 0;
    }
  }
  return CallNextHookEx(widenHook, code, wParam, lParam);
}

}  // namespace

int showSystemMessageBox(HWND owner, const std::wstring& text, UINT flags) {
  widenHook = SetWindowsHookExW(WH_CBT, widenBox, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, text.c_str(), toWide(kApplicationTitle).c_str(), flags | MB_APPLMODAL);
  if (widenHook != nullptr) {
    UnhookWindowsHookEx(widenHook);
    widenHook = nullptr;
  }
  return answer;
}

}  // namespace kestrova::app::win32
