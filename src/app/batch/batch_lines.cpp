#include "app/batch/batch_lines.h"

#include <algorithm>
#include <chrono>
#include <iostream>

#include "app/combine_command.h"
#include "app/run_report.h"
#include "data/counting_store.h"
#include "data/shop_path.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

// The rows each line of a group changed: as counted for it when all the
// group's counted writes took effect (`committed` of them did); otherwise
// those that did, given to the lines in order, none more than counted for it.
std::vector<std::size_t> rowsOfLines(const std::vector<std::size_t>& counted, std::size_t committed) {
  std::vector<std::size_t> rows = counted;
  std::size_t left = committed;
  for (std::size_t& line : rows) {
    line = std::min(line, left);
    left -= line;
  }
  return rows;
}

}  // namespace

const char* wordOf(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kDone:
      return "done";
    case LineOutcome::kFailures:
      return "failures";
    case LineOutcome::kFromMissing:
      return "from_missing";
    case LineOutcome::kSkipped:
      return "skipped";
    case LineOutcome::kInterrupted:
      return "interrupted";
    case LineOutcome::kNotRun:
      break;
  }
  return "not_run";
}

std::string numbersText(const std::vector<int>& numbers, const char* between) {
  std::string text;
  for (int number : numbers) text += (text.empty() ? "" : between) + std::to_string(number);
  return text;
}

std::string idsText(const BatchLine& line) {
  // An ID passes its check whatever control characters it holds.
  return kindName(*line.kind) + " " + data::visibleText(line.from) + " -> " +
         data::visibleText(line.to);
}

CombineRequest requestOf(const BatchLine& line) { return {*line.kind, line.fromAsWritten, line.toAsWritten}; }

LineResult runLine(const BatchLine& line, const BatchFile& file, const std::filesystem::path& filePath,
                   data::StoreEngine& shopEngine, CombineJournal* journal, BatchConsole& console,
                   bool* journalTrouble) {
  const auto keep = [&](const data::Status& status) {
    if (status.isOk()) return;
    *journalTrouble = true;
    console.err << "[line " << line.number << "] journal: " << status.message() << std::endl;
  };
  if (journal) {
    // Written before the combine's first change, so that even a journal cut
    // short tells which batch and line its changes belong to.
    keep(journal->journal().setFact(kDigestFact, file.digest));
    keep(journal->journal().setFact(kFileFact, data::pathToUtf8(filePath)));
    keep(journal->journal().setFact(kLineFact, std::to_string(line.number)));
  }
  data::CountingEngine counting(journal ? journal->engine() : shopEngine);
  BatchLineUi ui(line, console, false);
  const auto started = std::chrono::system_clock::now();
  RunReport report;
  {
    CombineCommand command(ui, {}, counting);
    report = command.run(requestOf(line));
  }

  LineResult result;
  result.rowsChanged = counting.rowsCommitted();
  for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
    result.archivesNotUpdated.push_back(archive.name);
    result.notChanged.push_back("archive " + archive.name + " not updated (" + archive.reason + ")");
  }
  for (const combine::Failure& failure : report.failures) result.notChanged.push_back(failureText(failure));
  if (report.outcome == RunReport::Outcome::kProgramEnded) {
    result.outcome = LineOutcome::kFromMissing;
  } else if (report.outcome != RunReport::Outcome::kCompleted) {
    result.outcome = LineOutcome::kFailures;  // the checks made before the batch started would have refused it
  } else if (report.stopped) {
    result.outcome = LineOutcome::kInterrupted;
  } else {
    result.outcome = report.everyChangeMade() ? LineOutcome::kDone : LineOutcome::kFailures;
  }
  // A combine that ran to its end listed these in its closing message; one
  // that stopped early did not.
  if (report.stopped) {
    for (const combine::Failure& failure : report.failures) {
      console.err << "[line " << line.number << "] not changed: " << failureText(failure) << '\n';
    }
    for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
      console.err << "[line " << line.number << "] archive not updated: " << missedArchiveText(archive) << '\n';
    }
  }
  console.err << std::flush;

  if (journal) {
    keep(journal->journal().setFact(kLineOutcomeFact, wordOf(result.outcome)));
    // Only a combine that made every change is finished: one with failures
    // runs again on a resume, once its cause may have been mended.
    if (result.outcome == LineOutcome::kDone) {
      keep(journal->journal().setFact(kLineFinishedFact, timeText(std::chrono::system_clock::now())));
    }
    keep(journal->recordRun(started, report));
  }
  return result;
}

bool runGroup(const std::vector<std::size_t>& members, const BatchFile& file, const std::filesystem::path& filePath,
              data::StoreEngine& shopEngine, CombineJournal* journal, BatchConsole& console, bool* journalTrouble,
              std::vector<LineResult>* results) {
  std::vector<int> numbers;
  std::vector<CombineRequest> requests;
  RunReport report;  // the group's, for its journal
  report.kind = *file.lines[members.front()].kind;
  report.outcome = RunReport::Outcome::kCompleted;
  for (std::size_t index : members) {
    const BatchLine& line = file.lines[index];
    numbers.push_back(line.number);
    requests.push_back(requestOf(line));
    report.fromId += (report.fromId.empty() ? "" : ", ") + line.fromAsWritten;
    report.toId += (report.toId.empty() ? "" : ", ") + line.toAsWritten;
  }
  const std::string prefix = "[lines " + numbersText(numbers, ", ") + "] ";
  const auto keep = [&](const data::Status& status) {
    if (status.isOk()) return;
    *journalTrouble = true;
    console.err << prefix << "journal: " << status.message() << std::endl;
  };
  if (journal) {
    keep(journal->journal().setFact(kDigestFact, file.digest));
    keep(journal->journal().setFact(kFileFact, data::pathToUtf8(filePath)));
    keep(journal->journal().setFact(kLinesFact, numbersText(numbers, " ")));
  }
  data::CountingEngine counting(journal ? journal->engine() : shopEngine);
  BatchLineUi ui(numbers, console, false);
  const auto started = std::chrono::system_clock::now();
  combine::GroupResult group;
  {
    CombineCommand command(ui, {}, counting);
    group = command.runTogether(report.kind, requests);
  }
  const bool stopped = group.end == combine::ProcedureEnd::kStopped;
  const bool lineByLine = group.runAlone || (!stopped && !group.failures.empty());
  const std::vector<std::size_t> rows = rowsOfLines(group.rows, counting.rowsCommitted());

  std::vector<std::vector<combine::MissedArchive>> missed(members.size());
  for (const combine::MissedArchive& archive : group.archivesNotUpdated) {
    for (std::size_t k : archive.combines) missed[k].push_back(archive);
  }
  std::vector<int> finished;
  for (std::size_t k = 0; k < members.size(); ++k) {
    LineResult& result = (*results)[members[k]];
    result = LineResult{};
    result.rowsChanged = rows[k];
    for (const combine::MissedArchive& archive : missed[k]) {
      result.archivesNotUpdated.push_back(archive.name);
      result.notChanged.push_back("archive " + archive.name + " not updated (" + archive.reason + ")");
    }
    if (group.fromEmployeeMissing[k]) {
      result.outcome = LineOutcome::kFromMissing;
    } else if (stopped) {
      result.outcome = LineOutcome::kInterrupted;
    } else if (!lineByLine) {
      result.outcome = missed[k].empty() ? LineOutcome::kDone : LineOutcome::kFailures;
      if (result.outcome == LineOutcome::kDone) finished.push_back(numbers[k]);
    }
  }
  if (stopped) {
    console.err << prefix
                << "Stopped before the end of the combines. What they changed is saved; run the batch again to finish "
                   "them."
                << '\n';
    for (const combine::Failure& failure : group.failures) {
      console.err << prefix << "not changed: " << failureText(failure) << '\n';
    }
    for (std::size_t k = 0; k < members.size(); ++k) {
      for (const combine::MissedArchive& archive : missed[k]) {
        console.err << "[line " << numbers[k] << "] archive not updated: " << missedArchiveText(archive) << '\n';
      }
    }
  } else if (!lineByLine) {
    // Each line's closing message, as it would have ended alone.
    for (std::size_t k = 0; k < members.size(); ++k) {
      if (group.fromEmployeeMissing[k]) continue;
      RunReport own;
      own.outcome = RunReport::Outcome::kCompleted;
      own.archivesNotUpdated = missed[k];
      ui.concerns({k});
      ui.showClosingMessage(own);
    }
  }
  console.err << std::flush;

  if (journal) {
    report.failures = group.failures;
    report.archivesNotUpdated = group.archivesNotUpdated;
    report.stopped = stopped;
    if (!finished.empty()) keep(journal->journal().setFact(kLinesFinishedFact, numbersText(finished, " ")));
    keep(journal->recordRun(started, report));
  }
  if (!lineByLine) return stopped;

  console.err << prefix
              << (group.runAlone ? "an employee's nickname is written like a technician number, so these lines run "
                                   "one by one, each as it would run alone."
                                 : "a change could not be made, so these lines run again one by one: each finishes, "
                                   "or is told what it could not change, as it would be alone.")
              << std::endl;
  bool stop = false;
  for (std::size_t k = 0; k < members.size(); ++k) {
    LineResult& result = (*results)[members[k]];
    if (result.outcome == LineOutcome::kFromMissing) continue;
    stop = stop || console.stopRequested();
    if (stop) {
      // What the group changed for it stays changed; the rerun finishes it.
      result.outcome = result.rowsChanged > 0 ? LineOutcome::kInterrupted : LineOutcome::kNotRun;
      continue;
    }
    const std::size_t before = result.rowsChanged;
    result = runLine(file.lines[members[k]], file, filePath, shopEngine, journal, console, journalTrouble);
    result.rowsChanged += before;
    stop = result.outcome == LineOutcome::kInterrupted;
  }
  return stop;
}

}  // namespace kestrova::app
