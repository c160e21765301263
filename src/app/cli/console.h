// The command line's side of the platform: its arguments as UTF-8, the
// console it writes to, and the user's request to stop.
//
// On Linux the arguments are taken as UTF-8 and the terminal is left as it
// is. On Windows the arguments come from the wide command line, a console
// is switched to UTF-8 for as long as the program runs (a pipe or a file
// gets UTF-8 as everywhere), and Ctrl-C, Ctrl-Break and closing the console
// window ask a batch to stop as SIGINT, SIGTERM and SIGHUP do on Linux.
// The platform's half is console_posix.cpp or console_windows.cpp.

#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kestrova::app {

// The program's arguments without its own path, UTF-8.
std::vector<std::string> programArguments(int argc, char** argv);

// Makes the console take and show UTF-8, once, at the program's start.
void prepareConsole();

// Whether `stream` is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

// While one lives, the user's stop (SIGINT, SIGTERM, SIGHUP; on Windows
// Ctrl-C, Ctrl-Break, closing the console) is caught instead of ending the
// program, and requested() tells whether it came. A wait for input on the
// terminal ends at it.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  static bool requested();
};

}  // namespace kestrova::app
