#include "app/win32/win32_closing_box.h"

#include <algorithm>
#include <string>

#include "app/win32/win32_text.h"
#include "app/window_messages.h"

namespace kestrova::app::win32 {
namespace {

enum : int { kText = 201, kIcon, kDetailsButton, kDetails };

constexpr wchar_t kShowDetails[] = L"Show &Details...";
constexpr wchar_t kHideDetails[] = L"Hide &Details...";

// What the box's procedure shares with showClosingBox().
struct ClosingBoxState {
  bool closed = false;
  bool detailsShown = false;
  int collapsedHeight = 0;  // of the window, without the details
  int expandedHeight = 0;
};

LRESULT CALLBACK closingBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<ClosingBoxState*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        state->closed = true;
        return 0;
      }
      if (LOWORD(wParam) == kDetailsButton) {
        state->detailsShown = !state->detailsShown;
        ShowWindow(GetDlgItem(box, kDetails), state->detailsShown ? SW_SHOW : SW_HIDE);
        SetDlgItemTextW(box, kDetailsButton, state->detailsShown ? kHideDetails : kShowDetails);
        RECT frame;
        GetWindowRect(box, &frame);
        SetWindowPos(box, nullptr, 0, 0, frame.right - frame.left,
                     state->detailsShown ? state->expandedHeight : state->collapsedHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      state->closed = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(box, message, wParam, lParam);
}

SIZE textSize(HDC dc, const std::wstring& text, int maxWidth) {
  RECT r{0, 0, maxWidth, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  return {r.right, r.bottom};
}

HWND child(HWND box, const wchar_t* cls, const std::wstring& text, DWORD style, int id, HFONT font) {
  HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | style, 0, 0, 0, 0, box,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

}  // namespace

void registerClosingBox(HINSTANCE instance) {
  WNDCLASSW boxClass{};
  boxClass.lpfnWndProc = closingBoxProc;
  boxClass.hInstance = instance;
  boxClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  boxClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  boxClass.lpszClassName = kClosingBoxClass;
  RegisterClassW(&boxClass);
}

void showClosingBox(HWND owner, const RunReport& report) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);

  HDC screenDc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screenDc, LOGPIXELSY);
  const auto px = [dpi](int at96) { return MulDiv(at96, dpi, 96); };
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT work = monitor.rcWork;
  const int workWidth = work.right - work.left;
  const int workHeight = work.bottom - work.top;

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  const DWORD exStyle = WS_EX_DLGMODALFRAME;
  const int margin = px(12);
  const int iconSize = GetSystemMetrics(SM_CXICON);
  const int buttonHeight = px(23);
  const int buttonWidth = px(75);
  const int detailsButtonWidth = px(110);
  const int detailsHeight = px(160);
  const int maxTextWidth = std::min(px(460), workWidth * 3 / 4);

  const bool warn = !report.everyChangeMade();
  const int textLeft = margin + (warn ? iconSize + margin : 0);
  // The lines shown give way until the box with its details fits the work area.
  ClosingBoxText words = closingBoxText(report);
  SIZE text{};
  RECT frame{};
  HGDIOBJ old = SelectObject(screenDc, font);
  for (std::size_t shown = kClosingLinesShown;; --shown) {
    words = closingBoxText(report, shown);
    text = textSize(screenDc, toWide(words.text), maxTextWidth);
    const int clientHeight = margin + std::max<int>(text.cy, warn ? iconSize : 0) + margin + buttonHeight + margin +
                             (words.details.empty() ? 0 : detailsHeight + margin);
    frame = {0, 0, textLeft + text.cx + margin, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    if (frame.bottom - frame.top <= workHeight || shown == 0) break;
  }
  // The title bar writes the title whole beside its icon and buttons.
  SelectObject(screenDc, captionFont);
  SIZE title{};
  GetTextExtentPoint32W(screenDc, L"Kestrova Combining Tool", 23, &title);
  SelectObject(screenDc, old);
  ReleaseDC(nullptr, screenDc);
  const int captionButtons = 4 * GetSystemMetrics(SM_CYCAPTION);
  int clientWidth = textLeft + text.cx + margin;
  clientWidth = std::max({clientWidth, static_cast<int>(title.cx) + captionButtons,
                          margin + detailsButtonWidth + margin + buttonWidth + margin});
  const int buttonsTop = margin + std::max<int>(text.cy, warn ? iconSize : 0) + margin;
  const int collapsedClient = buttonsTop + buttonHeight + margin;
  const int expandedClient = collapsedClient + (words.details.empty() ? 0 : detailsHeight + margin);

  ClosingBoxState state;
  const auto windowHeight = [&](int clientHeight) {
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return std::pair<int, int>(r.right - r.left, r.bottom - r.top);
  };
  const auto [frameWidth, collapsedHeight] = windowHeight(collapsedClient);
  state.collapsedHeight = collapsedHeight;
  state.expandedHeight = windowHeight(expandedClient).second;

  RECT ownerFrame;
  GetWindowRect(owner, &ownerFrame);
  const int left = std::clamp<int>((ownerFrame.left + ownerFrame.right - frameWidth) / 2, work.left,
                                   std::max<int>(work.left, work.right - frameWidth));
  const int top = std::clamp<int>((ownerFrame.top + ownerFrame.bottom - state.expandedHeight) / 2, work.top,
                                  std::max<int>(work.top, work.bottom - state.expandedHeight));

  HWND box = CreateWindowExW(exStyle, kClosingBoxClass, toWide(kApplicationTitle).c_str(), style, left, top, frameWidth,
                             collapsedHeight, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  if (warn) {
    HWND icon = child(box, L"STATIC", L"", WS_VISIBLE | SS_ICON, kIcon, font);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
    MoveWindow(icon, margin, margin, iconSize, iconSize, FALSE);
  }
  HWND textControl = child(box, L"STATIC", toWide(words.text), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kText, font);
  MoveWindow(textControl, textLeft, margin, text.cx, text.cy, FALSE);
  HWND ok = child(box, L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, font);
  MoveWindow(ok, clientWidth - margin - buttonWidth, buttonsTop, buttonWidth, buttonHeight, FALSE);
  if (!words.details.empty()) {
    HWND more = child(box, L"BUTTON", kShowDetails, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kDetailsButton, font);
    MoveWindow(more, margin, buttonsTop, detailsButtonWidth, buttonHeight, FALSE);
    HWND details = child(box, L"EDIT", withCarriageReturns(toWide(words.details)),
                         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kDetails, font);
    SetWindowLongPtrW(details, GWL_EXSTYLE, WS_EX_CLIENTEDGE);
    MoveWindow(details, margin, collapsedClient, clientWidth - 2 * margin, detailsHeight, FALSE);
  }

  // Modal: the owner takes no input until the box is closed.
  EnableWindow(owner, FALSE);
  ShowWindow(box, SW_SHOW);
  SetFocus(ok);
  SendMessageW(box, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  MSG msg;
  while (!state.closed && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(box, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (!state.closed) PostQuitMessage(static_cast<int>(msg.wParam));  // WM_QUIT belongs to the main loop
  EnableWindow(owner, TRUE);
  DestroyWindow(box);
  SetActiveWindow(owner);
  DeleteObject(font);
  DeleteObject(captionFont);
}

}  // namespace kestrova::app::win32
