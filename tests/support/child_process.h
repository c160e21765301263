// A program started in the background with no input and both outputs
// captured, on Linux (posix_spawn) and on Windows (CreateProcessW); the
// platform's half is child_process_posix.cpp or child_process_windows.cpp.

#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::testing {

// Environment changes for a child: a value sets the variable, none removes it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

class ChildProcess {
 public:
  // Starts `argv[0]` with the arguments after it (UTF-8), the environment
  // with `env` applied, standard input empty. Throws std::runtime_error when
  // it cannot be started.
  ChildProcess(const std::vector<std::string>& argv, const EnvChanges& env);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Appends to `out` and `err` what the child wrote within `timeout`; false
  // once both of its outputs are closed and read.
  bool read(std::chrono::milliseconds timeout, std::string* out, std::string* err);
  // Ends the child at once, if it is still running.
  void kill();
  // Waits for the child's end: its exit status, or none when it was ended
  // by kill() (or by a signal).
  std::optional<int> wait();

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
};

}  // namespace kestrova::testing
