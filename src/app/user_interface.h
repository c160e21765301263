// UserInterface: what the combine command needs from the face it runs in.
//
// The windows implement it with their controls, the command line and the
// batch with the terminal, and the tests with a recorder. Beyond the
// combine's own feedback (progress, beep, messages, the diskette prompt) a
// face shows its busy state, asks the customer confirmation, shows the
// closing message and ends the program.
//
// IdBoxes: what a window adds, its option buttons and ID boxes. The
// command reads the kind and the IDs from them and writes the upper-cased
// IDs back; a face without boxes hands the command a CombineRequest.

#pragma once

#include <string>

#include "app/run_report.h"
#include "combine/feedback.h"
#include "combine/procedures.h"

namespace kestrova::app {

class UserInterface : public combine::Feedback {
 public:
  // The busy state of a window; a terminal has none of it.
  virtual void setInstructionVisible(bool) {}
  virtual void setProgressVisible(bool) {}
  virtual void setWaitPointer(bool) {}

  // A modal question with Yes and No, Yes the default. True for Yes.
  virtual bool askYesNo(const std::string& text) = 0;

  // The closing message of a completed run: "Done.", and what could not be
  // changed. By default the whole report as one message (the command line
  // lists it in full); a window shows it in a box that fits the screen.
  virtual void showClosingMessage(const RunReport& report) {
    showMessage(closingMessage(report), report.everyChangeMade() ? combine::MessageIcon::kNone
                                                                 : combine::MessageIcon::kWarning);
  }

  // Ends the program once the current run has returned.
  virtual void endProgram() = 0;
};

// The six ID boxes of the window, named as its controls are.
enum class IdBox { txtCustFrom, txtCustTo, txtVehiFrom, txtVehiTo, txtEmpFrom, txtEmpTo };

// The From and To boxes of a kind.
struct KindBoxes {
  IdBox from;
  IdBox to;
};

constexpr KindBoxes boxesOf(combine::CombineKind kind) {
  switch (kind) {
    case combine::CombineKind::kCustomer:
      return {IdBox::txtCustFrom, IdBox::txtCustTo};
    case combine::CombineKind::kVehicle:
      return {IdBox::txtVehiFrom, IdBox::txtVehiTo};
    case combine::CombineKind::kEmployee:
      break;
  }
  return {IdBox::txtEmpFrom, IdBox::txtEmpTo};
}

class IdBoxes {
 public:
  // The option buttons. The employee button is never read: Employee is
  // simply the kind when neither of these is selected.
  virtual bool customerSelected() const = 0;
  virtual bool vehicleSelected() const = 0;

  // A box's text, UTF-8.
  virtual std::string boxText(IdBox box) const = 0;
  virtual void setBoxText(IdBox box, const std::string& text) = 0;

 protected:
  ~IdBoxes() = default;
};

}  // namespace kestrova::app
