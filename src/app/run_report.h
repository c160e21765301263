// RunReport: what one combine run did, as the command hands it to its face.
// What a run could not change is listed here once, line by line, in the
// words of the face that tells it; the command line's closing message (the
// batch's and the journal's too) is rendered here, the window's box in
// window_messages.h.

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

// How a face words a failed change's status and an archive not updated.
struct Wording {
  std::string (*status)(const data::Status& status);
  std::string (*archive)(const combine::MissedArchive& archive);
};

// What a completed run could not change, one line each: every change not
// made, with "(N times)" where it failed more than once, then every archive
// whose orders keep the From ID.
struct NotChanged {
  std::vector<std::string> changes;
  std::vector<std::string> archives;
};
NotChanged notChanged(const RunReport& report, const Wording& wording);

// "mgmtdata.mdb, updating History: ...": a status in the command line's
// words, the files, folders and settings as the gateway names them.
std::string statusText(const data::Status& status);

// "ARC2023 (not found)": one archive whose orders keep the From ID.
std::string missedArchiveText(const combine::MissedArchive& archive);

inline constexpr Wording kCommandLineWording{statusText, missedArchiveText};

// "mgmtdata.mdb: ... (3 times)": one change that could not be made, in the
// command line's words.
std::string failureText(const combine::Failure& failure);

// The closing message of a completed run: "Done.", and what could not be
// changed (the first ten failures, and every archive not updated).
std::string closingMessage(const RunReport& report);

}  // namespace kestrova::app
