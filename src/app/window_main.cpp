// kestrova-combining-tool: the Kestrova Combining Tool's window.

#include <QApplication>
#include <QMessageBox>
#include <memory>
#include <optional>
#include <string>

#include "app/combine_journal.h"
#include "app/drive_settings.h"
#include "app/main_window.h"
#include "app/store_choice.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  kestrova::app::installDriveSettings();

  // KESTROVA_ODBC, or else the settings file's [odbc] template, reaches the
  // shop's files through ODBC; a template that cannot be used stops the
  // program before anything is opened or combined.
  kestrova::app::StoreChoice store;
  std::string storeProblem;
  if (!kestrova::app::StoreChoice::choose(std::nullopt, &store, &storeProblem, kestrova::app::odbcTemplateSetting())) {
    QMessageBox::critical(
        nullptr, kestrova::app::kApplicationTitle,
        QString::fromStdString("The shop's files cannot be reached: " + storeProblem + ".\nNothing was combined."));
    return 1;
  }
  const std::unique_ptr<kestrova::data::StoreEngine> shopEngine = store.makeEngine();

  // KESTROVA_JOURNAL names a journal of every row the window's combines
  // change, for `kestrova-combine undo`. A journal asked for and not to be
  // had stops the program before anything is combined without it.
  std::unique_ptr<kestrova::app::CombineJournal> journal;
  const kestrova::data::Status opened = kestrova::app::journalFromEnvironment(*shopEngine, &journal);
  if (!opened.isOk()) {
    QMessageBox::critical(
        nullptr, kestrova::app::kApplicationTitle,
        QString::fromStdString("The journal named by KESTROVA_JOURNAL cannot be used: " + opened.message()));
    return 1;
  }

  // The command looks for test mode in the arguments, without the program's path.
  kestrova::app::MainWindow window(QApplication::arguments().mid(1), journal.get(), nullptr, shopEngine.get());
  window.show();
  return QApplication::exec();
}
