// Runs kestrova-combine as a script would, with no terminal on standard
// input, and gives back its exit status and everything it printed. Each test
// program names the program it runs as KESTROVA_COMBINE_EXE.

#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/platform.h"

namespace kestrova::testing {

struct Outcome {
  int status = -1;
  std::string output;  // standard output, then standard error
  std::string out;
  std::string err;
};

// The words of `text` as a shell splits them: at blanks, with '...' and
// "..." quoting (no escapes, no variables).
inline std::vector<std::string> shellWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = '\0';
  for (const char c : text) {
    if (quote != '\0') {
      if (c == quote) {
        quote = '\0';
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == ' ') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

#ifdef KESTROVA_COMBINE_EXE
// The program with `arguments`, in the current folder.
inline Outcome runCombine(const std::vector<std::string>& arguments, const EnvChanges& env = {}) {
  std::vector<std::string> argv{buildPath(KESTROVA_COMBINE_EXE)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  Outcome outcome;
  ChildProcess child(argv, env);
  while (child.read(std::chrono::milliseconds(100), &outcome.out, &outcome.err)) {
  }
  outcome.status = child.wait().value_or(-1);
  outcome.output = outcome.out + outcome.err;
  return outcome;
}

// The same, the arguments written as a shell would take them.
inline Outcome runTool(const std::string& arguments, const EnvChanges& env = {}) {
  return runCombine(shellWords(arguments), env);
}
#endif

#ifndef _WIN32
// `command` through the shell, as it stands, its standard output captured.
inline Outcome runShell(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}
#endif

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kestrova::testing
