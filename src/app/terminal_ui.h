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

#include <array>
#include <cstdio>

#include "app/user_interface.h"
#include "combine/procedures.h"

namespace kestrova::app {

class TerminalUi final : public UserInterface {
 public:
  TerminalUi(combine::CombineKind kind, const QString& fromId, const QString& toId, bool assumeYes);

  bool customerSelected() const override { return kind_ == combine::CombineKind::kCustomer; }
  bool vehicleSelected() const override { return kind_ == combine::CombineKind::kVehicle; }
  QString boxText(IdBox box) const override { return boxes_[static_cast<std::size_t>(box)]; }
  void setBoxText(IdBox box, const QString& text) override { boxes_[static_cast<std::size_t>(box)] = text; }

  void setInstructionVisible(bool) override {}
  void setProgressVisible(bool visible) override;
  void setWaitPointer(bool) override {}
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

  combine::CombineKind kind_;
  std::array<QString, 6> boxes_;
  bool assumeYes_;
  bool inputIsTerminal_;
  bool errorIsTerminal_;
  bool programEnded_ = false;
  bool progressLineOpen_ = false;
};

}  // namespace kestrova::app
