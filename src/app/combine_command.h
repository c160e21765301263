// CombineCommand: what a click on Go does, from the checks of the IDs to the
// closing message. The window and the command line are two faces of it.
//
// One run: switch to the test folder when the program's command line asks
// for it, take the kind, upper-case and check the IDs, ask the customer
// confirmation, put the user interface into its busy state, run the kind's
// procedure under the run's error trap, and end with "Done.". When some
// change could not be made the closing message says which, so a failure
// never passes as success.

#pragma once

#include <QStringList>
#include <vector>

#include "app/user_interface.h"
#include "combine/procedures.h"
#include "data/record_store.h"
#include "data/shop_data_control.h"

namespace kestrova::app {

inline constexpr char kApplicationTitle[] = "Kestrova Combining Tool";

struct RunReport {
  enum class Outcome {
    kRefused,       // an ID was refused; nothing was touched
    kDeclined,      // the customer confirmation was answered No; nothing was touched
    kCompleted,     // the procedure ran to its end
    kProgramEnded,  // the program is to end (From employee missing, test folder unusable)
  };

  Outcome outcome = Outcome::kRefused;
  combine::CombineKind kind = combine::CombineKind::kCustomer;
  QString fromId;  // the IDs as the run left them in the kind's boxes (upper-cased)
  QString toId;
  std::vector<combine::Failure> failures;                  // changes that could not be made
  std::vector<combine::MissedArchive> archivesNotUpdated;  // archives whose orders keep the From ID
  // The user asked the run to stop before its end: the walks it made are
  // saved, the rest were left out, and running it again finishes it.
  bool stopped = false;

  bool everyChangeMade() const { return failures.empty() && archivesNotUpdated.empty(); }
};

class CombineCommand {
 public:
  // `commandLine` is the program's arguments, without its own path. The
  // engine must outlive the command.
  CombineCommand(UserInterface& ui, QStringList commandLine, data::StoreEngine& engine);

  // One click on Go.
  RunReport run();

  // The closing message of a completed run.
  static std::string closingMessage(const RunReport& report);

  // Whether `id`, already upper-cased, is an ID of the kind as the window's
  // boxes take it; the message the user is shown when it is not.
  static bool idAccepted(combine::CombineKind kind, const QString& id);
  static std::string idRefusal(combine::CombineKind kind);

 private:
  bool switchToTestFolderIfAsked();

  UserInterface& ui_;
  QStringList commandLine_;
  data::ShopDataControl data_;
};

}  // namespace kestrova::app
