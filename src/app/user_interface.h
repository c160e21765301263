// UserInterface: everything the combine command needs from the user's side.
//
// The window implements it with Qt widgets, the command line with the
// terminal, and the tests with a recorder. The command reads and writes the
// boxes of the chosen kind, the instruction label, the progress panel and
// the pointer through it, and talks to the user only through its messages.

#pragma once

#include <QString>
#include <string>

#include "combine/feedback.h"
#include "combine/procedures.h"

namespace kestrova::app {

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

struct RunReport;

class UserInterface : public combine::Feedback {
 public:
  // The option buttons. The employee button is never read: Employee is
  // simply the kind when neither of these is selected.
  virtual bool customerSelected() const = 0;
  virtual bool vehicleSelected() const = 0;

  virtual QString boxText(IdBox box) const = 0;
  virtual void setBoxText(IdBox box, const QString& text) = 0;

  virtual void setInstructionVisible(bool visible) = 0;
  virtual void setProgressVisible(bool visible) = 0;
  virtual void setWaitPointer(bool wait) = 0;

  // A modal question with Yes and No, Yes the default. True for Yes.
  virtual bool askYesNo(const std::string& text) = 0;

  // The closing message of a completed run: "Done.", and what could not be
  // changed. By default the whole report as one message (the command line
  // lists it in full); the window shows it in a box that fits the screen.
  virtual void showClosingMessage(const RunReport& report);

  // Ends the program once the current run has returned.
  virtual void endProgram() = 0;
};

}  // namespace kestrova::app
