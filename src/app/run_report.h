// RunReport: what one combine run did, as the command hands it to its face.
// The closing message and the words for a change that could not be made
// are made here once, for the windows, the command line, the batch and the
// journal.

#pragma once

#include <string>
#include <vector>

#include "combine/procedures.h"

namespace kestrova::app {

inline constexpr char kApplicationTitle[] = "Kestrova Combining Tool";

struct RunReport {
  enum class Outcome {
    kRefused,       // an ID was refused; nothing was touched
    kDeclined,      // the customer confirmation was answered No; nothing was touched
    kCompleted,     // the procedure ran to its end
    kProgramEnded,  // the program is to end (From employee missing, test folder unusable)
  };

  Outcome outcome = Outcome::kRefused;
  combine::CombineKind kind = combine::CombineKind::kCustomer;
  std::string fromId;  // the IDs as the run took them (upper-cased), UTF-8
  std::string toId;
  std::vector<combine::Failure> failures;                  // changes that could not be made
  std::vector<combine::MissedArchive> archivesNotUpdated;  // archives whose orders keep the From ID
  // The user asked the run to stop before its end: the walks it made are
  // saved, the rest were left out, and running it again finishes it.
  bool stopped = false;

  bool everyChangeMade() const { return failures.empty() && archivesNotUpdated.empty(); }
};

// "mgmtdata.mdb: ... (3 times)": one change that could not be made.
std::string failureText(const combine::Failure& failure);

// "ARC2023 (not found)": one archive whose orders keep the From ID.
std::string missedArchiveText(const combine::MissedArchive& archive);

// The closing message of a completed run: "Done.", and what could not be
// changed (the first ten failures, and every archive not updated).
std::string closingMessage(const RunReport& report);

}  // namespace kestrova::app
