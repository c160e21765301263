#include "app/win32/win32_main_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "app/win32/win32_closing_box.h"
#include "app/win32/win32_controls.h"
#include "app/win32/win32_masked_box.h"
#include "app/win32/win32_message_box.h"
#include "app/win32/win32_progress_panel.h"
#include "app/win32/win32_text.h"
#include "app/window_messages.h"
#include "app/window_startup.h"
#include "data/visible_text.h"

namespace kestrova::app::win32 {
namespace {

using enum Control;

enum FontSlot { kBoldFont, kHeadingFont, kRegularFont, kPanelFont, kVersionFont };

int CALLBACK noteFaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// The first of `faces` this computer has, else the last.
const wchar_t* installedFace(HDC dc, std::initializer_list<const wchar_t*> faces) {
  for (const wchar_t* face : faces) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(dc, &wanted, noteFaceFound, reinterpret_cast<LPARAM>(&found), 0);
    if (found) return face;
  }
  return *(faces.end() - 1);
}

HFONT shopFont(HDC dc, const wchar_t* face, double points, bool bold) {
  const int height = -static_cast<int>(std::lround(points * GetDeviceCaps(dc, LOGPIXELSY) / 72.0));
  return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

// A face that stands in for the shop's font may be wider or taller than it.
// Rather than cut a caption off, the font of a group of controls that share
// a size is made smaller, a quarter point at a time, until `fits` holds with
// it selected into `dc`; with the shop's own fonts nothing changes.
template <typename Fits>
HFONT fittedFont(HDC dc, const wchar_t* face, double points, bool bold, Fits fits) {
  constexpr double kSmallest = 6.0;
  for (;; points -= 0.25) {
    HFONT font = shopFont(dc, face, points, bold);
    HGDIOBJ old = SelectObject(dc, font);
    const bool fitting = fits(dc);
    SelectObject(dc, old);
    if (fitting || points - 0.25 < kSmallest) return font;
    DeleteObject(font);
  }
}

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

constexpr Control kOptions[] = {kOptCustomer, kOptVehicle, kOptEmployee};

bool isOption(const ControlDesign* design) { return design != nullptr && design->kind == ControlKind::kOption; }

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance, std::vector<std::string> commandLine, data::StoreEngine& engine,
                                 CombineJournal* journal)
    : instance_(instance), journal_(journal), command_(*this, std::move(commandLine), engine) {}

Win32MainWindow::~Win32MainWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  for (HFONT font : fonts_) {
    if (font != nullptr) DeleteObject(font);
  }
}

bool Win32MainWindow::create(int show) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassW(&windowClass) == 0) return false;
  registerProgressPanel(instance_);
  registerClosingBox(instance_);

  // The client area in twips at the screen's resolution.
  HDC dc = GetDC(nullptr);
  const int width = MulDiv(kClientArea.width, GetDeviceCaps(dc, LOGPIXELSX), kTwipsPerInch);
  const int height = MulDiv(kClientArea.height, GetDeviceCaps(dc, LOGPIXELSY), kTwipsPerInch);
  ReleaseDC(nullptr, dc);
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  window_ =
      CreateWindowExW(0, kWindowClass, toWide(kApplicationTitle).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  buildControls();
  ShowWindow(window_, show);
  UpdateWindow(window_);
  return true;
}

// A control's place in pixels. Edges are converted rather than sizes, so
// controls that meet in twips still meet in pixels.
RECT Win32MainWindow::pixels(const ControlDesign& design) const {
  const Twips& at = design.place;
  return {MulDiv(at.left, dpiX_, kTwipsPerInch), MulDiv(at.top, dpiY_, kTwipsPerInch),
          MulDiv(at.left + at.width, dpiX_, kTwipsPerInch), MulDiv(at.top + at.height, dpiY_, kTwipsPerInch)};
}

void Win32MainWindow::buildControls() {
  HDC dc = GetDC(window_);
  dpiX_ = GetDeviceCaps(dc, LOGPIXELSX);
  dpiY_ = GetDeviceCaps(dc, LOGPIXELSY);
  // The shop's fonts where Windows has them, else the closest faces.
  const wchar_t* sansSerif = installedFace(dc, {L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma"});
  const wchar_t* arial = installedFace(dc, {L"Arial", L"Liberation Sans", L"Tahoma"});
  const auto design = [](Control which) -> const ControlDesign& { return designOf(which); };
  // A font of the design, fitted: the shop's face where Windows has it.
  const auto fitted = [&](Control which, auto fits) {
    const FontDesign& font = design(which).font;
    return fittedFont(dc, font.face == Face::kArial ? arial : sansSerif, font.points, font.bold, fits);
  };
  const auto width = [](const RECT& r) { return static_cast<int>(r.right - r.left); };
  const auto height = [](const RECT& r) { return static_cast<int>(r.bottom - r.top); };
  const auto captionWidth = [&](HDC fontDc, Control which) {
    RECT r{0, 0, 0, 0};
    DrawTextW(fontDc, toWide(design(which).caption).c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return static_cast<int>(r.right);
  };
  const int checkWidth = GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(6, dpiX_, 96);
  fonts_[kBoldFont] = fitted(kOptCustomer, [&](HDC f) {
    return std::all_of(std::begin(kOptions), std::end(kOptions), [&](Control option) {
      return checkWidth + captionWidth(f, option) <= width(pixels(design(option)));
    });
  });
  fonts_[kHeadingFont] = fitted(kLabel1, [&](HDC f) {
    return captionWidth(f, kLabel1) <= width(pixels(design(kLabel1))) &&
           captionWidth(f, kLabel2) <= width(pixels(design(kLabel2)));
  });
  fonts_[kRegularFont] = fitted(kLabel3, [&](HDC f) {
    const RECT place = pixels(design(kLabel3));
    RECT r{0, 0, width(place), 0};
    DrawTextW(f, toWide(kInstructions).c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return r.bottom <= height(place);
  });
  fonts_[kPanelFont] = fitted(kPanProgress, [&](HDC f) {
    const RECT place = pixels(design(kPanProgress));
    SIZE figure{};
    GetTextExtentPoint32W(f, L"100%", 4, &figure);
    const int edges = 2 * GetSystemMetrics(SM_CXEDGE);
    return figure.cx + edges <= width(place) && figure.cy + edges <= height(place) + figure.cy / 5;
  });
  fonts_[kVersionFont] =
      fitted(kLabel4, [&](HDC f) { return captionWidth(f, kLabel4) <= width(pixels(design(kLabel4))); });
  ReleaseDC(window_, dc);

  // Created in the tab order: Tab follows it.
  for (const ControlDesign& design : kControls) {
    const Control which = design.control;
    const RECT place = pixels(design);
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    HFONT font = fonts_[kBoldFont];
    switch (design.kind) {
      case ControlKind::kOption:
        windowClass = L"BUTTON";
        style |= BS_RADIOBUTTON | WS_TABSTOP | (which == kOptCustomer ? WS_GROUP : 0);
        break;
      case ControlKind::kBox:
      case ControlKind::kMaskedBox:
        windowClass = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kButton:
        windowClass = L"BUTTON";
        style |= WS_TABSTOP | (which == kCmdGo ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
        break;
      case ControlKind::kLabel:
        style |= SS_LEFT | SS_NOPREFIX | (which == kLabel1 ? WS_GROUP : 0);
        if (which == kLabel1 || which == kLabel2) font = fonts_[kHeadingFont];
        if (which == kLabel3) font = fonts_[kRegularFont];
        if (which == kLabel4) font = fonts_[kVersionFont];
        break;
      case ControlKind::kPanel:
        windowClass = kProgressPanelClass;
        style &= ~WS_VISIBLE;  // shown by a run only
        font = fonts_[kPanelFont];
        break;
    }
    HWND made = CreateWindowExW(exStyle, windowClass, toWide(design.caption).c_str(), style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(idOf(which))), instance_, nullptr);
    SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (design.kind == ControlKind::kMaskedBox) makeMaskedBox(made);
  }
  SendMessageW(control(kOptCustomer), BM_SETCHECK, BST_CHECKED, 0);
  lastFocus_ = control(kOptCustomer);
  SetFocus(lastFocus_);
  // Windows draws the focus only once the keyboard has moved it; a user who
  // starts typing must see where the keys go from the start.
  SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

int Win32MainWindow::run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (handleKey(msg)) continue;
    if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

bool Win32MainWindow::handleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || window_ == nullptr || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_CONTROL) < 0)
    return false;
  const ControlDesign* focused = designWithId(GetDlgCtrlID(msg.hwnd));
  if (GetParent(msg.hwnd) != window_ || focused == nullptr) return false;
  if (msg.wParam == VK_RETURN && focused->control == kCmdCancel) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(idOf(kCmdCancel), BN_CLICKED), reinterpret_cast<LPARAM>(msg.hwnd));
    return true;
  }
  if (!isOption(focused)) return false;
  // The option buttons are one group: the arrows move the choice round it.
  int step = 0;
  if (msg.wParam == VK_DOWN || msg.wParam == VK_RIGHT) step = 1;
  if (msg.wParam == VK_UP || msg.wParam == VK_LEFT) step = 2;
  if (step == 0) return false;
  const int at =
      static_cast<int>(std::find(std::begin(kOptions), std::end(kOptions), focused->control) - std::begin(kOptions));
  HWND next = control(kOptions[(at + step) % 3]);
  SetFocus(next);
  selectOption(next);
  return true;
}

void Win32MainWindow::selectOption(HWND option) {
  for (const Control which : kOptions) {
    SendMessageW(control(which), BM_SETCHECK, control(which) == option ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

LRESULT CALLBACK Win32MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT Win32MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        const ControlDesign* clicked = designWithId(LOWORD(wParam));
        if (isOption(clicked)) {
          selectOption(control(clicked->control));
        } else if (clicked != nullptr && clicked->control == kCmdGo) {
          go();
        } else if (clicked != nullptr && clicked->control == kCmdCancel) {
          SendMessageW(window_, WM_CLOSE, 0, 0);
        }
        return 0;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(idOf(kCmdGo), DC_HASDEFID);
    case WM_ACTIVATE:
      // The focus comes back to the control that had it.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == window_) lastFocus_ = focus;
      } else if (lastFocus_ != nullptr) {
        SetFocus(lastFocus_);
      }
      return 0;
    case WM_SETCURSOR:
      if (waitPointer_ && !boxUp_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      const ControlDesign* label = designWithId(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
      const auto is = [label](Control first, Control last) {
        return label != nullptr && label->control >= first && label->control <= last;
      };
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (is(kLabel4, kLabel4)) {
        SetTextColor(dc, RGB(128, 128, 128));
      } else {
        SetTextColor(dc, GetSysColor(is(kLabel1, kLabel3) ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
      }
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      // A run cannot be cut short: the rows it has saved and those it has
      // not yet reached must meet in a state the user is told about.
      if (!running_) DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32MainWindow::go() {
  if (running_) return;
  running_ = true;
  runFromWindow(command_, *this, journal_, *this);
  running_ = false;
  // What was clicked or typed at the window while it worked is not taken
  // afterwards either: a second click on Go must not start a second run.
  MSG queued;
  while (PeekMessageW(&queued, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&queued, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  if (endRequested_) DestroyWindow(window_);
}

HWND Win32MainWindow::box(IdBox which) const {
  return control(kIdBoxes[static_cast<std::size_t>(which)]);
}

bool Win32MainWindow::customerSelected() const {
  return SendMessageW(control(kOptCustomer), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Win32MainWindow::vehicleSelected() const {
  return SendMessageW(control(kOptVehicle), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Win32MainWindow::boxText(IdBox which) const {
  HWND edit = box(which);
  if (which == IdBox::txtEmpFrom || which == IdBox::txtEmpTo) return toUtf8(maskedValue(edit));
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return toUtf8(text);
}

void Win32MainWindow::setBoxText(IdBox which, const std::string& utf8) {
  HWND edit = box(which);
  if (which == IdBox::txtEmpFrom || which == IdBox::txtEmpTo) {
    setMaskedValue(edit, toWide(utf8));
    return;
  }
  // Setting a text moves the caret to its start; a box whose text stays as
  // it was keeps its caret where the user left it.
  if (boxText(which) == utf8) return;
  DWORD caret = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
  const std::wstring text = toWide(utf8);
  SetWindowTextW(edit, text.c_str());
  const auto at = static_cast<WPARAM>(std::min<std::size_t>(caret, text.size()));
  SendMessageW(edit, EM_SETSEL, at, static_cast<LPARAM>(at));
}

void Win32MainWindow::setInstructionVisible(bool visible) {
  ShowWindow(control(kLabel3), visible ? SW_SHOW : SW_HIDE);
  drawWhole();
}

void Win32MainWindow::setProgressVisible(bool visible) {
  ShowWindow(control(kPanProgress), visible ? SW_SHOW : SW_HIDE);
  drawWhole();
}

void Win32MainWindow::setProgress(int percent) {
  setPanelPercent(control(kPanProgress), percent);
  drawWhole();
}

void Win32MainWindow::drawWhole() {
  if (window_ == nullptr) return;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) DispatchMessageW(&msg);
  RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32MainWindow::setWaitPointer(bool wait) {
  waitPointer_ = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void Win32MainWindow::beep() { MessageBeep(MB_OK); }

int Win32MainWindow::messageBox(const std::string& text, UINT flags) {
  // The ordinary pointer while a box is up: it waits for the user.
  boxUp_ = true;
  if (waitPointer_) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  const int answer = showSystemMessageBox(window_, toWide(data::visibleLines(text)), flags);
  boxUp_ = false;
  if (waitPointer_) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  drawWhole();
  return answer;
}

void Win32MainWindow::showMessage(const std::string& text, combine::MessageIcon icon) {
  UINT flags = MB_OK;
  switch (icon) {
    case combine::MessageIcon::kNone:
      break;
    case combine::MessageIcon::kCritical:
      flags |= MB_ICONHAND;
      break;
    case combine::MessageIcon::kQuestion:
      flags |= MB_ICONQUESTION;
      break;
    case combine::MessageIcon::kExclamation:
    case combine::MessageIcon::kWarning:
      flags |= MB_ICONEXCLAMATION;
      break;
  }
  messageBox(text, flags);
}

void Win32MainWindow::showClosingMessage(const RunReport& report) {
  if (report.everyChangeMade()) {
    messageBox(closingBoxText(report).text, MB_OK);
    return;
  }
  boxUp_ = true;
  if (waitPointer_) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  showClosingBox(window_, report);
  boxUp_ = false;
  drawWhole();
}

void Win32MainWindow::promptForDiskette(const std::string& text) { messageBox(text, MB_OK); }

bool Win32MainWindow::askYesNo(const std::string& text) {
  return messageBox(text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Win32MainWindow::endProgram() { endRequested_ = true; }

}  // namespace kestrova::app::win32
