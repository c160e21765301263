// Win32MainWindow: Form1 drawn with the Win32 API, the Windows face of the
// combine command beside the Qt window.
//
// The controls of the window's design at their twips, converted at the
// screen's resolution, in its tab order: the three option buttons (one
// group: the arrow keys move within it, Tab leaves it), the six ID boxes
// (the employee boxes masked), Go (the default button, Enter) and Close (the
// cancel button, Esc), the labels and the progress panel. Go runs the
// command inside the click; the window only carries out what the command
// asks of its user interface: the system's own message boxes, the beep, the
// wait pointer, the panel. While a run works the window is drawn whole but
// takes no other input, and closing it is refused.
//
// Ending the program is destroying the window once the run that asked for
// it has returned; the message loop then ends.

#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "app/user_interface.h"
#include "app/win32/win32_controls.h"

namespace kestrova::app::win32 {

class Win32MainWindow final : public UserInterface, public IdBoxes {
 public:
  // `commandLine` is the program's arguments without its own path, UTF-8.
  // `engine` reaches the shop's files; with a journal it is the journal's.
  // Both, and the journal, must outlive the window.
  Win32MainWindow(HINSTANCE instance, std::vector<std::string> commandLine, data::StoreEngine& engine,
                  CombineJournal* journal);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // Creates and shows the window; false when Windows would not make it.
  bool create(int show);
  // Runs the message loop until the window is gone; the program's exit status.
  int run();

  // IdBoxes
  bool customerSelected() const override;
  bool vehicleSelected() const override;
  std::string boxText(IdBox box) const override;
  void setBoxText(IdBox box, const std::string& text) override;

  // UserInterface
  void setInstructionVisible(bool visible) override;
  void setProgressVisible(bool visible) override;
  void setWaitPointer(bool wait) override;
  void setProgress(int percent) override;
  void beep() override;
  void showMessage(const std::string& text, combine::MessageIcon icon) override;
  void showClosingMessage(const RunReport& report) override;
  void promptForDiskette(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void endProgram() override;

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void buildControls();
  RECT pixels(const ControlDesign& design) const;
  HWND control(Control which) const { return GetDlgItem(window_, idOf(which)); }
  HWND box(IdBox which) const;
  // Keys the window handles before the dialog manager: the arrow keys in
  // the option group, Enter on Close.
  bool handleKey(const MSG& msg);
  void selectOption(HWND option);
  void go();
  int messageBox(const std::string& text, UINT flags);
  // A run does not return to the message loop, so what is left to draw (the
  // place of a box that closed, the panel) is drawn here; clicks and keys
  // are not taken.
  void drawWhole();

  HINSTANCE instance_;
  CombineJournal* journal_;
  CombineCommand command_;
  HWND window_ = nullptr;
  HWND lastFocus_ = nullptr;
  std::array<HFONT, 5> fonts_{};  // bold, headings, regular, panel, version
  int dpiX_ = 96;
  int dpiY_ = 96;
  bool running_ = false;
  bool endRequested_ = false;
  bool waitPointer_ = false;
  bool boxUp_ = false;
};

}  // namespace kestrova::app::win32
