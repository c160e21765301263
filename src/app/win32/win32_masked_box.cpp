#include "app/win32/win32_masked_box.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "app/id_text.h"

namespace kestrova::app::win32 {
namespace {

constexpr const char* kMask = kEmployeeNumberMask;
constexpr int kLength = static_cast<int>(std::size(kEmployeeNumberMask) - 1);
constexpr wchar_t kEmpty = L'_';

// What the box shows with no digit in it.
std::wstring emptyNumber() { return {std::begin(kEmptyEmployeeNumber), std::end(kEmptyEmployeeNumber) - 1}; }

constexpr wchar_t kPreviousProc[] = L"KestrovaMaskedBoxProc";

bool isPlace(int at) { return at >= 0 && at < kLength && kMask[at] == '#'; }

// The shown text and the selection, and what an edit makes of them.
struct BoxState {
  std::wstring shown;
  int selStart = 0;
  int selEnd = 0;
};

BoxState readState(HWND edit) {
  BoxState state;
  wchar_t text[kLength + 2] = {};
  GetWindowTextW(edit, text, kLength + 1);
  state.shown = text;
  state.shown.resize(kLength, kEmpty);
  for (int at = 0; at < kLength; ++at) {
    if (!isPlace(at)) state.shown[at] = static_cast<wchar_t>(kMask[at]);
  }
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  state.selStart = std::clamp(static_cast<int>(start), 0, kLength);
  state.selEnd = std::clamp(static_cast<int>(end), 0, kLength);
  return state;
}

WNDPROC previousProc(HWND edit) { return reinterpret_cast<WNDPROC>(GetPropW(edit, kPreviousProc)); }

void writeState(HWND edit, const BoxState& state, int caret) {
  CallWindowProcW(previousProc(edit), edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.shown.c_str()));
  SendMessageW(edit, EM_SETSEL, caret, caret);
}

int firstEmptyPlace(const std::wstring& shown, int from = 0) {
  for (int at = std::max(from, 0); at < kLength; ++at) {
    if (isPlace(at) && shown[at] == kEmpty) return at;
  }
  return -1;
}

// The selected places become empty; the caret goes to where the selection began.
bool clearSelection(BoxState& state) {
  if (state.selStart == state.selEnd) return false;
  for (int at = state.selStart; at < state.selEnd; ++at) {
    if (isPlace(at)) state.shown[at] = kEmpty;
  }
  state.selEnd = state.selStart;
  return true;
}

// Puts `digit` in the first place at or after the caret, over the digit
// that stands there. Digits fill the number from the left: when that place
// is empty, or there is none after the caret, the digit goes to the first
// empty place instead, so typing never leaves a gap (a click into an empty
// box starts the number at its beginning). Returns the caret after it, or
// -1 when the digit has no place.
int typeDigit(BoxState& state, wchar_t digit) {
  int caret = state.selStart;
  while (caret < kLength && !isPlace(caret)) ++caret;
  const int firstEmpty = firstEmptyPlace(state.shown);
  if (firstEmpty >= 0 && (caret >= kLength || state.shown[caret] == kEmpty)) caret = firstEmpty;
  if (caret >= kLength) return -1;
  state.shown[caret] = digit;
  ++caret;
  while (caret < kLength && !isPlace(caret)) ++caret;
  state.selStart = state.selEnd = caret;
  return caret;
}

void typeText(HWND edit, const std::wstring& typed) {
  if (std::none_of(typed.begin(), typed.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) return;
  BoxState state = readState(edit);
  bool changed = clearSelection(state);
  for (const wchar_t c : typed) {
    if (c < L'0' || c > L'9') continue;
    if (typeDigit(state, c) < 0) break;
    changed = true;
  }
  if (changed) writeState(edit, state, state.selStart);
}

void eraseBack(HWND edit, bool forward) {
  BoxState state = readState(edit);
  if (!clearSelection(state)) {
    int at = forward ? state.selStart : state.selStart - 1;
    while (at >= 0 && at < kLength && !isPlace(at)) at += forward ? 1 : -1;
    if (at < 0 || at >= kLength) return;
    state.shown[at] = kEmpty;
    state.selStart = forward ? state.selStart : at;
  }
  writeState(edit, state, state.selStart);
}

std::wstring clipboardText(HWND edit) {
  std::wstring text;
  if (!OpenClipboard(edit)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

LRESULT CALLBACK maskedBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC previous = previousProc(edit);
  switch (message) {
    case WM_CHAR:
      if (wParam == VK_BACK) {
        eraseBack(edit, false);
        return 0;
      }
      if (wParam >= L' ') {  // printable: digits only, the rest refused
        typeText(edit, std::wstring(1, static_cast<wchar_t>(wParam)));
        return 0;
      }
      if (wParam == 0x1A) return 0;  // Ctrl+Z would undo past the mask
      break;
    case WM_KEYDOWN:
      if (wParam == VK_DELETE) {
        eraseBack(edit, true);
        return 0;
      }
      break;
    case WM_PASTE:
      typeText(edit, clipboardText(edit));
      return 0;
    case WM_CUT: {
      CallWindowProcW(previous, edit, WM_COPY, 0, 0);
      BoxState state = readState(edit);
      if (clearSelection(state)) writeState(edit, state, state.selStart);
      return 0;
    }
    case WM_CLEAR: {
      BoxState state = readState(edit);
      if (clearSelection(state)) writeState(edit, state, state.selStart);
      return 0;
    }
    case WM_UNDO:
    case EM_UNDO:
      return 0;
    case WM_GETDLGCODE:
      // Tab keeps the caret where the box puts it instead of selecting all.
      return CallWindowProcW(previous, edit, message, wParam, lParam) & ~DLGC_HASSETSEL;
    case WM_SETFOCUS: {
      const LRESULT result = CallWindowProcW(previous, edit, message, wParam, lParam);
      // A click places the caret itself; the keyboard finds the first empty place.
      if (GetKeyState(VK_LBUTTON) >= 0) {
        const int empty = firstEmptyPlace(readState(edit).shown);
        if (empty >= 0) SendMessageW(edit, EM_SETSEL, empty, empty);
      }
      return result;
    }
    case WM_NCDESTROY:
      RemovePropW(edit, kPreviousProc);
      SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      break;
    default:
      break;
  }
  return CallWindowProcW(previous, edit, message, wParam, lParam);
}

}  // namespace

void makeMaskedBox(HWND edit) {
  SendMessageW(edit, EM_SETLIMITTEXT, kLength, 0);
  SetWindowTextW(edit, emptyNumber().c_str());
  const LONG_PTR previous = SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(maskedBoxProc));
  SetPropW(edit, kPreviousProc, reinterpret_cast<HANDLE>(previous));
}

std::wstring maskedValue(HWND edit) {
  std::wstring value = readState(edit).shown;
  std::erase(value, kEmpty);
  return value;
}

void setMaskedValue(HWND edit, const std::wstring& value) {
  if (value == maskedValue(edit)) return;  // the caret stays where the user left it
  BoxState state;
  state.shown = emptyNumber();
  int at = 0;
  for (const wchar_t c : value) {
    if (c < L'0' || c > L'9') continue;
    while (at < kLength && !isPlace(at)) ++at;
    if (at >= kLength) break;
    state.shown[at++] = c;
  }
  writeState(edit, state, std::min(at, kLength));
}

}  // namespace kestrova::app::win32
