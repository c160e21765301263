#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "app/cli/console.h"

namespace kestrova::app {
namespace {

std::atomic<bool> stopAsked{false};
// Set once the batch has stopped, so that a closing console waits for it.
HANDLE stopped = nullptr;

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  stopAsked = true;
  // A closed console ends the program when this returns: give the running
  // step the few seconds Windows allows to be saved first.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (stopped != nullptr) WaitForSingleObject(stopped, 4500);
  }
  return TRUE;
}

UINT previousOutput = 0;
UINT previousInput = 0;

void restoreConsole() {
  if (previousOutput != 0) SetConsoleOutputCP(previousOutput);
  if (previousInput != 0) SetConsoleCP(previousInput);
}

}  // namespace

std::vector<std::string> programArguments(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8(words[i]));
  LocalFree(words);
  return arguments;
}

void prepareConsole() {
  // Lines end in "\n" as on every platform, whether the output goes to a
  // console, a pipe or a file.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (GetConsoleWindow() == nullptr) return;
  previousOutput = GetConsoleOutputCP();
  previousInput = GetConsoleCP();
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  std::atexit(restoreConsole);
}

// A console, not any character device: _isatty() says yes to NUL too, which
// would make a script's `< NUL` look like a person at the keyboard.
bool isTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

StopRequests::StopRequests() {
  stopAsked = false;
  stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopRequests::~StopRequests() {
  SetEvent(stopped);
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

bool StopRequests::requested() { return stopAsked; }

}  // namespace kestrova::app
