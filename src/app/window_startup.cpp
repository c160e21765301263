#include "app/window_startup.h"

#include <chrono>
#include <optional>

#include "app/drive_settings.h"
#include "app/store_choice.h"

namespace kestrova::app {

bool prepareWindowStartup(WindowStartup* out, std::string* refusal) {
  installDriveSettings();

  StoreChoice store;
  std::string storeProblem;
  if (!StoreChoice::choose(std::nullopt, &store, &storeProblem, odbcTemplateSetting())) {
    *refusal = "The shop's files cannot be reached: " + storeProblem + ".\nNothing was combined.";
    return false;
  }
  out->shopEngine = store.makeEngine();

  const data::Status opened = journalFromEnvironment(*out->shopEngine, &out->journal);
  if (!opened.isOk()) {
    *refusal = "The journal named by KESTROVA_JOURNAL cannot be used: " + opened.message();
    return false;
  }
  return true;
}

RunReport runFromWindow(CombineCommand& command, IdBoxes& boxes, CombineJournal* journal, UserInterface& ui) {
  const auto started = std::chrono::system_clock::now();
  const RunReport report = command.run(boxes);
  if (journal != nullptr) {
    const data::Status recorded = journal->recordRun(started, report);
    if (!recorded.isOk()) {
      ui.showMessage("The journal could not record this run: " + recorded.message(), combine::MessageIcon::kWarning);
    }
  }
  return report;
}

}  // namespace kestrova::app
