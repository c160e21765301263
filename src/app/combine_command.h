// CombineCommand: what a click on Go does, from the checks of the IDs to the
// closing message. The windows, the command line and the batch are faces of
// it.
//
// One run: switch to the test folder when the program's command line asks
// for it, take the kind, upper-case and check the IDs, ask the customer
// confirmation, put the face into its busy state, run the kind's procedure
// under the run's error trap, and end with "Done.". When some change could
// not be made the closing message says which, so a failure never passes as
// success.

#pragma once

#include <string>
#include <vector>

#include "app/combine_request.h"
#include "app/run_report.h"
#include "app/user_interface.h"
#include "data/record_store.h"
#include "data/shop_data_control.h"

namespace kestrova::app {

class CombineCommand {
 public:
  // `commandLine` is the program's arguments, without its own path, UTF-8.
  // The engine must outlive the command.
  CombineCommand(UserInterface& ui, std::vector<std::string> commandLine, data::StoreEngine& engine);

  // One click on Go in a window: the kind from the option buttons, and each
  // of its boxes upper-cased and written back before anything is checked.
  RunReport run(IdBoxes& boxes);
  // The same for a face without boxes: the request's IDs are upper-cased.
  RunReport run(const CombineRequest& request);

  // Many combines of one kind, each as run(request) takes it, that name no
  // ID of one another: made together, each table walked once for all of
  // them (combine::runCombineGroup). Their IDs must pass idAccepted(); no
  // customer question is asked and no closing message shown, as the batch
  // that runs them asks and tells for each of them.
  combine::GroupResult runTogether(combine::CombineKind kind, const std::vector<CombineRequest>& requests);

  // The closing message of a completed run.
  static std::string closingMessage(const RunReport& report) { return app::closingMessage(report); }

  // Whether `id`, already upper-cased, is an ID of the kind as the window's
  // boxes take it; the message the user is shown when it is not.
  static bool idAccepted(combine::CombineKind kind, const std::string& id);
  static std::string idRefusal(combine::CombineKind kind);

 private:
  bool switchToTestFolderIfAsked();
  // The run once the IDs are upper-cased: the checks, the confirmation, the
  // busy state and the procedure.
  RunReport runUpperCased(const CombineRequest& request);
  RunReport programEnded();

  UserInterface& ui_;
  std::vector<std::string> commandLine_;
  data::ShopDataControl data_;
};

}  // namespace kestrova::app
