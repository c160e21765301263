// kestrova-combining-tool: the Kestrova Combining Tool's window.

#include <QApplication>

#include "app/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The command looks for test mode in the arguments, without the program's path.
  kestrova::app::MainWindow window(QApplication::arguments().mid(1));
  window.show();
  return QApplication::exec();
}
