// kestrova-window-probe: reads the running Win32 window as a test sees it,
// with the Windows API, and prints one fact a line (UTF-8):
//   controls  the client area, then each control in the window's order:
//             name left top width height visible checked|- text
//             and the control that has the focus
//   box       the box the window shows (a message box or the closing box):
//             its class, title, texts, and each button with its centre on
//             the screen; exit status 1 when none is up
//   centre NAME  the screen centre of the control NAME
// Exit status 2 when the window is not there.

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/win32/win32_controls.h"

using namespace kestrova::app;
using namespace kestrova::app::win32;

namespace {

std::string utf8(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = '|';
  }
  return out;
}

std::wstring textOf(HWND window) {
  wchar_t text[4096] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000, nullptr);
  return text;
}

std::wstring classOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

const char* nameOf(int id) {
  const ControlDesign* design = designWithId(id);
  return design != nullptr ? design->name : "?";
}

POINT centre(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

int printControls(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  std::printf("client %ld %ld\n", client.right, client.bottom);
  for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    const int id = GetDlgCtrlID(c);
    const ControlDesign* design = designWithId(id);
    const bool option = design != nullptr && design->kind == ControlKind::kOption;
    const char* checked = !option ? "-" : SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : "unchecked";
    std::printf("%s %ld %ld %ld %ld %s %s %s\n", nameOf(id), r.left, r.top, r.right - r.left, r.bottom - r.top,
                IsWindowVisible(c) ? "visible" : "hidden", checked, utf8(textOf(c)).c_str());
  }
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  std::printf("focus %s\n", info.hwndFocus != nullptr && GetParent(info.hwndFocus) == window
                                ? nameOf(GetDlgCtrlID(info.hwndFocus))
                                : "none");
  return 0;
}

struct Search {
  HWND owner;
  HWND found;
};

BOOL CALLBACK noteOwnedWindow(HWND top, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (GetWindow(top, GW_OWNER) != search->owner || !IsWindowVisible(top)) return TRUE;
  search->found = top;
  return FALSE;
}

int printBox(HWND window) {
  Search search{window, nullptr};
  EnumWindows(noteOwnedWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return 1;
  HWND box = search.found;
  RECT frame;
  GetWindowRect(box, &frame);
  std::printf("box %s %ld %ld\n", utf8(classOf(box)).c_str(), frame.right - frame.left, frame.bottom - frame.top);
  std::printf("title %s\n", utf8(textOf(box)).c_str());
  for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    const std::wstring cls = classOf(c);
    if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
      if (!IsWindowVisible(c)) continue;
      const POINT at = centre(c);
      std::printf("button %ld %ld %s\n", at.x, at.y, utf8(textOf(c)).c_str());
    } else if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
      if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        if (IsWindowVisible(c) && SendMessageW(c, STM_GETICON, 0, 0) != 0) std::printf("icon\n");
      } else if (!textOf(c).empty()) {
        std::printf("text %s\n", utf8(textOf(c)).c_str());
      }
    } else if (lstrcmpiW(cls.c_str(), L"Edit") == 0) {
      std::printf("details %s %s\n", IsWindowVisible(c) ? "visible" : "hidden", utf8(textOf(c)).c_str());
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND window = FindWindowW(kWindowClass, nullptr);
  if (window == nullptr) {
    std::printf("no window\n");
    return 2;
  }
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"controls") return printControls(window);
  if (command == L"box") return printBox(window);
  if (command == L"centre" && argc > 2) {
    for (const ControlDesign& design : kControls) {
      if (utf8(argv[2]) == design.name) {
        const POINT at = centre(GetDlgItem(window, idOf(design.control)));
        std::printf("%ld %ld\n", at.x, at.y);
        return 0;
      }
    }
  }
  std::printf("usage: kestrova-window-probe controls | box | centre NAME\n");
  return 64;
}
