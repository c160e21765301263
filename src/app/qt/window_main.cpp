// kestrova-combining-tool: the Kestrova Combining Tool's window.

#include <QApplication>
#include <QMessageBox>
#include <string>

#include "app/qt/main_window.h"
#include "app/window_startup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);

  // The store (KESTROVA_ODBC, or else the settings file's [odbc] template)
  // and the journal (KESTROVA_JOURNAL): one asked for and not to be had
  // stops the program before anything is opened or combined.
  kestrova::app::WindowStartup startup;
  std::string refusal;
  if (!kestrova::app::prepareWindowStartup(&startup, &refusal)) {
    QMessageBox::critical(nullptr, kestrova::app::kApplicationTitle, QString::fromStdString(refusal));
    return 1;
  }

  // The command looks for test mode in the arguments, without the program's path.
  kestrova::app::MainWindow window(QApplication::arguments().mid(1), startup.journal.get(), nullptr,
                                   startup.shopEngine.get());
  window.show();
  return QApplication::exec();
}
