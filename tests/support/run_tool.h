// Runs a program as a script would, with no terminal on standard input, and
// gives back its exit status and everything it printed.

#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kestrova::testing {

struct Outcome {
  int status = -1;
  std::string output;  // standard output, then standard error
};

// `command` through the shell, as it stands.
inline Outcome runShell(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

// `command` with no input and its standard error after its output.
inline Outcome runWithoutInput(const std::string& command) { return runShell(command + " </dev/null 2>&1"); }

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kestrova::testing
