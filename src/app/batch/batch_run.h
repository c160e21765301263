// Running a batch file of combines: `kestrova-combine batch FILE`.
//
// The file is read and checked whole first (batch_file.h); a refused line
// stops everything before anything is written. The customer confirmation is
// asked once for the batch. Then the lines run in groups (groupsToRun()):
// the lines of one kind that name no ID of one another run together
// through the same CombineCommand as the window, each file opened once,
// each table walked once for all of them and each archive opened (and its
// diskette asked for) once; a line that depends on earlier ones runs in a
// group after theirs. A group in which a change could not be made runs
// again line by line, so that each line fails alone. One line per combine
// is written, in file order, as the lines end. A stop request (SIGINT,
// SIGTERM) lets the running group end its current walk, then runs no
// further group. With a journal, each group (or line) is journaled as a run
// of its own, with the file's digest and its line numbers, and a line whose
// combine finished is skipped when the same file runs again through the
// same journal. At the end: a summary, and the report file if asked.

#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>

#include "app/store_choice.h"

namespace kestrova::app {

struct BatchOptions {
  std::filesystem::path file;
  bool assumeYes = false;
  bool dryRun = false;
  std::optional<std::filesystem::path> journal;
  std::optional<std::filesystem::path> report;
  StoreChoice store;  // the SQLite store unless a connection template was given
};

// Where the batch talks to its user. Progress and the diskette prompts go
// to the terminal as for a single combine.
struct BatchConsole {
  std::ostream& out;  // one line per combine, the summary, the dry run's counts, the question
  std::ostream& err;  // refusals, the combines' own messages, what could not be changed
  // Whether the user has asked the batch to stop.
  std::function<bool()> stopRequested = [] { return false; };
  // Whether the confirmation question can be asked; the answer, read from the terminal.
  bool inputIsTerminal = false;
  std::function<bool()> readYes = [] { return false; };
};

// Runs the batch in the current folder and returns the exit status
// (exit_status.h: 2 for a refused file, 3 when not confirmed, 130 when stopped).
int runBatch(const BatchOptions& options, BatchConsole& console);

// runBatch() on standard output, error and input, stopped by SIGINT and SIGTERM.
int runBatchOnTerminal(const BatchOptions& options);

}  // namespace kestrova::app
