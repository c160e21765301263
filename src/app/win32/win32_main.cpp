// kestrova-combining-tool.exe: the Kestrova Combining Tool's window on
// Windows.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/run_report.h"
#include "app/win32/win32_main_window.h"
#include "app/win32/win32_text.h"
#include "app/window_startup.h"

namespace {

// The program's arguments without its own path, UTF-8, as the command
// looks for test mode in them.
std::vector<std::string> arguments() {
  std::vector<std::string> words;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) words.push_back(kestrova::app::win32::toUtf8(argv[i]));
    LocalFree(argv);
  }
  return words;
}

void refuse(const std::string& text) {
  using kestrova::app::win32::toWide;
  MessageBoxW(nullptr, toWide(text).c_str(), toWide(kestrova::app::kApplicationTitle).c_str(), MB_OK | MB_ICONHAND);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // The store and the journal: one asked for and not to be had stops the
  // program before anything is opened or combined.
  kestrova::app::WindowStartup startup;
  std::string refusal;
  if (!kestrova::app::prepareWindowStartup(&startup, &refusal)) {
    refuse(refusal);
    return 1;
  }
  kestrova::app::win32::Win32MainWindow window(instance, arguments(), startup.combineEngine(), startup.journal.get());
  if (!window.create(show)) {
    refuse("The window could not be made (Windows error " + std::to_string(GetLastError()) + ").");
    return 1;
  }
  return window.run();
}
