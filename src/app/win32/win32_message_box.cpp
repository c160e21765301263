#include "app/win32/win32_message_box.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "app/run_report.h"
#include "app/win32/win32_text.h"

namespace kestrova::app::win32 {
namespace {

HHOOK widenHook = nullptr;

// The width of the box's frame for the title to show whole beside the
// title bar's icon and buttons. Window managers write titles in faces of
// their own, often bold and larger than the system's caption font: the
// room left is for the larger of that font and a 10-point bold one, and for
// five buttons of the bar's height.
int widthForTitle(HWND box) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  LOGFONTW caption = metrics.lfCaptionFont;
  HDC dc = GetDC(box);
  const int tenPoints = -MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72);
  if (caption.lfHeight > tenPoints) caption.lfHeight = tenPoints;  // heights are negative
  caption.lfWeight = FW_BOLD;
  HFONT font = CreateFontIndirectW(&caption);
  HGDIOBJ old = SelectObject(dc, font);
  const std::wstring title = toWide(kApplicationTitle);
  SIZE size{};
  GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  DeleteObject(font);
  return size.cx + 5 * GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CXFIXEDFRAME);
}

// The buttons the box shows, and how far they reach, in its client area.
struct ButtonRow {
  std::vector<HWND> buttons;
  LONG left = LONG_MAX;
  LONG right = LONG_MIN;
};

BOOL CALLBACK noteButton(HWND child, LPARAM param) {
  wchar_t name[16] = {};
  GetClassNameW(child, name, 16);
  // The box keeps the buttons it does not use, hidden.
  if (lstrcmpiW(name, L"Button") != 0 || (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) return TRUE;
  auto* row = reinterpret_cast<ButtonRow*>(param);
  RECT at;
  GetWindowRect(child, &at);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&at), 2);
  row->buttons.push_back(child);
  row->left = std::min(row->left, at.left);
  row->right = std::max(row->right, at.right);
  return TRUE;
}

WNDPROC boxProc = nullptr;

// Widens the box about its centre and centres its row of buttons in the new width.
void widen(HWND box) {
  RECT frame;
  GetWindowRect(box, &frame);
  const int width = frame.right - frame.left;
  const int wanted = widthForTitle(box);
  if (wanted <= width) return;
  const int grow = wanted - width;
  SetWindowPos(box, nullptr, frame.left - grow / 2, frame.top, wanted, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ButtonRow row;
  EnumChildWindows(box, noteButton, reinterpret_cast<LPARAM>(&row));
  RECT client;
  GetClientRect(box, &client);
  const LONG shift = row.buttons.empty() ? 0 : (client.right - (row.right - row.left)) / 2 - row.left;
  for (HWND button : row.buttons) {
    RECT at;
    GetWindowRect(button, &at);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&at), 2);
    SetWindowPos(button, nullptr, at.left + shift, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// The box lays itself out as it starts; it is widened right after.
LRESULT CALLBACK widenedBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallWindowProcW(boxProc, box, message, wParam, lParam);
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(boxProc));
    widen(box);
  }
  return result;
}

LRESULT CALLBACK watchBoxCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    GetClassNameW(box, name, 16);
    if (lstrcmpW(name, L"#32770") == 0) {
      boxProc =
          reinterpret_cast<WNDPROC>(SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(widenedBoxProc)));
      UnhookWindowsHookEx(widenHook);
      widenHook = nullptr;
      return 0;
    }
  }
  return CallNextHookEx(widenHook, code, wParam, lParam);
}

}  // namespace

int showSystemMessageBox(HWND owner, const std::wstring& text, UINT flags) {
  widenHook = SetWindowsHookExW(WH_CBT, watchBoxCreation, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, text.c_str(), toWide(kApplicationTitle).c_str(), flags | MB_APPLMODAL);
  if (widenHook != nullptr) {
    UnhookWindowsHookEx(widenHook);
    widenHook = nullptr;
  }
  return answer;
}

}  // namespace kestrova::app::win32
