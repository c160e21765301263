// TerminalUi: the combine command's user interface on a terminal, or on no
// terminal at all (scripts, tests).
//
// Every message box's text goes to standard output, exactly as the window
// would show it. Progress goes to standard error: a bar on a terminal,
// otherwise one line "progress N" for each value the panel takes; the bar's
// line is ended before any message or prompt is written. The
// customer confirmation is answered by --yes, else read from the terminal;
// with no terminal on standard input the answer is No. The diskette prompt
// waits for Enter on a terminal and goes on at once otherwise.

#pragma once

#include "app/user_interface.h"

namespace kestrova::app {

class TerminalUi final : public UserInterface {
 public:
  explicit TerminalUi(bool assumeYes);

  void setProgressVisible(bool visible) override;
  void setProgress(int percent) override;

  void beep() override;
  void showMessage(const std::string& text, combine::MessageIcon icon) override;
  void promptForDiskette(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void endProgram() override { programEnded_ = true; }

  bool programEnded() const { return programEnded_; }

 private:
  // Ends the progress bar's line, if one is drawn, so that what is written
  // next starts on a line of its own.
  void endProgressLine();

  bool assumeYes_;
  bool inputIsTerminal_;
  bool errorIsTerminal_;
  bool programEnded_ = false;
  bool progressLineOpen_ = false;
};

}  // namespace kestrova::app
