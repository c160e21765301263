#include "app/batch/batch_run.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/batch/batch_file.h"
#include "app/batch/batch_lines.h"
#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "app/cli/console.h"
#include "app/customer_confirmation.h"
#include "app/exit_status.h"
#include "app/cli/preview_report.h"
#include "data/journal_store.h"
#include "data/new_file.h"
#include "data/preview_store.h"
#include "data/shop_path.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

using combine::CombineKind;

bool readWholeFile(const std::filesystem::path& path, std::string* bytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int usage(BatchConsole& console, const std::string& problem) {
  console.err << "kestrova-combine: " << problem << "\nTry 'kestrova-combine --help'.\n";
  return kExitUsage;
}


// What an existing journal says of this batch: the lines whose combine
// finished. A journal of another file, of this file before it changed, or
// of a single combine is refused.
bool readJournalOfBatch(const std::filesystem::path& path, const std::string& digest, const std::string& shopFolder,
                        const std::string& shopStore, std::set<int>* finished, std::string* problem) {
  const std::string name = data::pathToUtf8(path);
  std::unique_ptr<data::Journal> journal;
  data::Status opened = data::Journal::openToRead(path, &journal);
  std::vector<data::JournalFact> facts;
  std::vector<data::JournalFact> notes;
  std::vector<data::JournalEntry> entries;
  if (opened.isOk()) opened = journal->readFacts(&facts);
  if (opened.isOk()) opened = journal->readNotes(&notes);
  if (opened.isOk()) opened = journal->readEntries(&entries);
  if (!opened.isOk()) {
    *problem = opened.message();
    return false;
  }
  // A journal made for a batch that stopped before its first line holds nothing yet.
  if (facts.empty() && notes.empty() && entries.empty()) return true;
  std::map<std::int64_t, std::map<std::string, std::string>> runs;
  for (const data::JournalFact& fact : facts) runs[fact.run][fact.name] = fact.value;
  bool ofABatch = false;
  for (const auto& [run, named] : runs) {
    const auto fileDigest = named.find(kDigestFact);
    if (fileDigest == named.end()) continue;
    ofABatch = true;
    if (fileDigest->second != digest) {
      *problem = "the journal '" + name +
                 "' was written for another batch file, or for this one before it changed; name a new journal";
      return false;
    }
    // Its lines were done in one shop only: in another, nothing of them is done.
    const auto folder = named.find(data::kShopFolderFact);
    const auto store = named.find(data::kShopStoreFact);
    const bool recorded = folder != named.end() && store != named.end();
    if (recorded && (folder->second != shopFolder || store->second != shopStore)) {
      *problem = "the journal '" + name + "' was written for this batch in another shop (" + folder->second + ", " +
                 store->second + "), not in this one (" + shopFolder + ", " + shopStore +
                 "); run the batch there, or name a new journal";
      return false;
    }
    if (!recorded && (named.contains(kLineFinishedFact) || named.contains(kLinesFinishedFact))) {
      *problem = "the journal '" + name +
                 "' does not record the shop its lines were done in (journals of earlier versions do not); name a "
                 "new journal: the combines are safe to run again";
      return false;
    }
    const auto line = named.find(kLineFact);
    int number = 0;
    if (line != named.end() && named.contains(kLineFinishedFact) &&
        std::from_chars(line->second.data(), line->second.data() + line->second.size(), number).ec == std::errc()) {
      finished->insert(number);
    }
    if (const auto lines = named.find(kLinesFinishedFact); lines != named.end()) {
      std::istringstream numbers(lines->second);
      while (numbers >> number) finished->insert(number);
    }
  }
  if (!ofABatch) {
    *problem = "the journal '" + name + "' exists already and is not the journal of a batch; name a new file";
    return false;
  }
  return true;
}

// The dry run: the counts of each line's preview.
int previewBatch(const BatchFile& file, const std::set<int>& finished, const StoreChoice& store,
                 BatchConsole& console) {
  console.out << "The batch file was checked: " << file.lines.size()
              << (file.lines.size() == 1 ? " combine" : " combines")
              << ", no line refused. A preview of each line follows; nothing is changed." << std::endl;
  bool fromMissing = false;
  for (const BatchLine& line : file.lines) {
    if (console.stopRequested()) {
      console.out << "The preview was stopped." << std::endl;
      return kExitInterrupted;
    }
    console.out << "line " << line.number << ": " << idsText(line);
    if (finished.contains(line.number)) {
      console.out << ": finished in an earlier run, would be skipped" << std::endl;
      continue;
    }
    if (!line.dependsOn.empty()) {
      console.out << " (depends on line";
      if (line.dependsOn.size() > 1) console.out << 's';
      for (std::size_t i = 0; i < line.dependsOn.size(); ++i) {
        console.out << (i == 0 ? " " : ", ") << line.dependsOn[i];
      }
      console.out << ": its counts will differ once that has run)";
    }
    console.out << '\n';
    const std::unique_ptr<data::StoreEngine> readOnly = store.makeEngine(true);
    data::PreviewEngine preview(*readOnly);
    BatchLineUi ui(line, console, true);
    RunReport report;
    {
      CombineCommand command(ui, {}, preview);
      report = command.run(requestOf(line));
    }
    if (report.outcome == RunReport::Outcome::kProgramEnded) {
      fromMissing = true;
      console.out << "  the From employee is not in the database; this line would change nothing" << std::endl;
      continue;
    }
    writePreviewCounts(preview, console.out);
    for (const combine::Failure& failure : report.failures) {
      console.out << "  would not be changed: " << failure.status.message() << '\n';
    }
    for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
      console.out << "  archive " << archive.name << " would not be updated (" << archive.reason << ")\n";
    }
    console.out << std::flush;
  }
  return fromMissing ? kExitSomethingNotChanged : kExitCompleted;
}


void printLineEnd(const BatchLine& line, const LineResult& result, std::ostream& out) {
  out << "line " << line.number << ": " << idsText(line) << ": " << wordOf(result.outcome);
  if (result.outcome == LineOutcome::kSkipped) {
    out << " (finished in an earlier run)";
  } else {
    out << ", " << rowsText(result.rowsChanged) << " changed";
    if (!result.archivesNotUpdated.empty()) {
      out << ", archives not updated:";
      for (const std::string& archive : result.archivesNotUpdated) out << ' ' << archive;
    }
  }
  out << std::endl;
}

void printSummary(const BatchFile& file, const std::vector<LineResult>& results, std::ostream& out) {
  std::map<LineOutcome, std::size_t> counts;
  for (const LineResult& result : results) ++counts[result.outcome];
  out << "Summary: " << counts[LineOutcome::kDone] << " done, " << counts[LineOutcome::kFailures]
      << " done with failures, " << counts[LineOutcome::kSkipped] << " skipped as already done, "
      << counts[LineOutcome::kInterrupted] << " interrupted, " << counts[LineOutcome::kNotRun] << " not run, "
      << counts[LineOutcome::kFromMissing] << " with the From employee missing.\n";
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    for (const std::string& text : results[i].notChanged) {
      out << "  line " << file.lines[i].number << ", not changed: " << text << '\n';
    }
  }

  // Each chain's final survivor, over the combines that took effect.
  std::map<CombineKind, std::map<std::string, std::string>> into;
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    const LineOutcome outcome = results[i].outcome;
    if (outcome == LineOutcome::kDone || outcome == LineOutcome::kFailures || outcome == LineOutcome::kSkipped) {
      into[*file.lines[i].kind][file.lines[i].from] = file.lines[i].to;
    }
  }
  std::vector<std::pair<std::pair<CombineKind, std::string>, std::vector<std::string>>> chains;
  // Indexes into `chains`, the survivors found so far and the Froms listed,
  // so that a long file's summary is not a search over the whole of it for each line.
  std::map<std::pair<CombineKind, std::string>, std::size_t> chainOf;
  std::map<std::pair<CombineKind, std::string>, std::string> survivorOf;
  std::set<std::pair<CombineKind, std::string>> listed;
  for (const BatchLine& line : file.lines) {
    if (!line.kind) continue;
    const auto& kindInto = into[*line.kind];
    if (!kindInto.contains(line.from)) continue;
    // The file's checks leave no cycle, so following the combines ends.
    std::vector<std::string> path;
    std::string survivor = line.from;
    for (std::size_t steps = 0; kindInto.contains(survivor) && steps <= kindInto.size(); ++steps) {
      if (const auto known = survivorOf.find({*line.kind, survivor}); known != survivorOf.end()) {
        survivor = known->second;
        break;
      }
      path.push_back(survivor);
      survivor = kindInto.at(survivor);
    }
    for (const std::string& on : path) survivorOf[{*line.kind, on}] = survivor;
    const std::pair<CombineKind, std::string> key{*line.kind, survivor};
    const auto [index, added] = chainOf.try_emplace(key, chains.size());
    if (added) chains.push_back({key, {}});
    if (listed.insert({*line.kind, line.from}).second) chains[index->second].second.push_back(line.from);
  }
  if (!chains.empty()) out << "Final survivors:\n";
  for (const auto& [key, froms] : chains) {
    out << "  " << kindName(key.first) << ' ' << data::visibleText(key.second) << " <-";
    for (std::size_t i = 0; i < froms.size(); ++i) {
      out << (i == 0 ? " " : ", ") << data::visibleText(froms[i]);
    }
    out << '\n';
  }
  out << std::flush;
}

bool writeReport(const std::filesystem::path& path, const BatchFile& file, const std::vector<LineResult>& results,
                 std::string* problem) {
  std::string text = "line,kind,from,to,outcome,rows_changed,archives_not_updated\n";
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    const BatchLine& line = file.lines[i];
    std::string archives;
    for (const std::string& archive : results[i].archivesNotUpdated) {
      archives += (archives.empty() ? "" : ";") + data::visibleText(archive);
    }
    text += std::to_string(line.number) + "," + csvField(kindName(*line.kind)) + "," +
            csvField(data::visibleText(line.from)) + "," +
            csvField(data::visibleText(line.to)) + "," + wordOf(results[i].outcome) + "," +
            std::to_string(results[i].rowsChanged) + "," + csvField(archives) + "\n";
  }
  // A file that appeared meanwhile is not replaced.
  std::FILE* out = data::createNewFile(path);
  if (out == nullptr) {
    *problem = "the report '" + data::pathToUtf8(path) + "' could not be made";
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) *problem = "the report '" + data::pathToUtf8(path) + "' could not be written whole";
  return written && closed;
}

}  // namespace

int runBatch(const BatchOptions& options, BatchConsole& console) {
  std::error_code error;
  if (options.report && std::filesystem::exists(*options.report, error)) {
    return usage(console, "the report '" + data::pathToUtf8(*options.report) +
                              "' exists already; name a new file, so that no earlier report is lost");
  }
  if (options.report && !options.report->parent_path().empty() &&
      !std::filesystem::is_directory(options.report->parent_path(), error)) {
    return usage(console, "the folder of the report '" + data::pathToUtf8(*options.report) + "' does not exist");
  }
  BatchFile file;
  try {
    std::string bytes;
    if (!readWholeFile(options.file, &bytes)) {
      return usage(console, "the batch file '" + data::pathToUtf8(options.file) + "' cannot be read");
    }
    file = readBatchFile(bytes);
  } catch (const std::bad_alloc&) {
    console.err << "The batch file '" << data::pathToUtf8(options.file)
                << "' is too large to be checked in the memory this computer gives the tool; split it into smaller "
                   "files and run them one after another. Nothing was changed."
                << std::endl;
    return kExitRefused;
  }
  std::set<int> finished;
  const bool resuming = options.journal && std::filesystem::exists(*options.journal, error);
  if (resuming) {
    std::string problem;
    const std::string shopStore = options.store.makeEngine(true)->sourceKind();
    if (!readJournalOfBatch(*options.journal, file.digest, data::shopFolderText(), shopStore, &finished, &problem)) {
      return usage(console, problem);
    }
    // A line that runs again may leave rows on an ID that a later finished
    // line of its kind combined away (A into B did not finish, B into C
    // did): every line that shares an ID with a line that runs again runs
    // again too, so a chain always ends on its final survivor. A combine is
    // safe to repeat.
    // The IDs of the lines that run again, per kind.
    std::map<CombineKind, std::unordered_set<std::string>> runAgain;
    for (const BatchLine& line : file.lines) {
      if (!line.kind) continue;
      std::unordered_set<std::string>& ids = runAgain[*line.kind];
      const std::string from = line.from;
      const std::string to = line.to;
      if (!finished.contains(line.number) || ids.contains(from) || ids.contains(to)) {
        ids.insert(from);
        ids.insert(to);
        finished.erase(line.number);
      }
    }
  }

  if (file.accepted() && file.lines.empty()) {
    console.err << "The batch file '" << data::pathToUtf8(options.file)
                << "' holds no combine (only blank lines, comments or the header); put one combine a line, "
                   "kind,from,to. Nothing was changed."
                << std::endl;
    return kExitRefused;
  }
  if (!file.accepted()) {
    for (const BatchRefusal& refusal : file.refusals)
      console.err << data::visibleText(describeRefusal(refusal)) << '\n';
    console.err << "The batch file was refused (" << file.refusals.size()
                << (file.refusals.size() == 1 ? " refusal" : " refusals") << "); nothing was changed." << std::endl;
    return kExitRefused;
  }
  if (options.dryRun) return previewBatch(file, finished, options.store, console);

  // The question counts the file's customer combines; it is asked while any is still to run.
  std::size_t customers = 0;
  bool customersToRun = false;
  for (const BatchLine& line : file.lines) {
    if (line.kind != CombineKind::kCustomer) continue;
    ++customers;
    if (!finished.contains(line.number)) customersToRun = true;
  }
  if (customersToRun && !options.assumeYes) {
    if (!console.inputIsTerminal) {
      console.err << "The batch holds " << customers << (customers == 1 ? " customer combine" : " customer combines")
                  << ", confirmed only as a whole; there is no terminal to ask, so the answer is No. Give --yes to "
                     "confirm. Nothing was changed."
                  << std::endl;
      return kExitDeclined;
    }
    console.out
        << "The batch holds " << customers << (customers == 1 ? " customer combine" : " customer combines")
        << ". For each, the " << kCustomerConsequences << "\nYes or No? [y/N] "
        << std::flush;
    if (!console.readYes() && !console.stopRequested()) {
      console.err << "The customer combines were not confirmed. Nothing was changed." << std::endl;
      return kExitDeclined;
    }
  }

  const std::unique_ptr<data::StoreEngine> engine = options.store.makeEngine();
  std::unique_ptr<CombineJournal> journal;
  if (options.journal && !console.stopRequested()) {
    const data::Status made = CombineJournal::createOrAppend(*options.journal, *engine, &journal);
    if (!made.isOk()) return usage(console, made.message());
  }
  if (!finished.empty()) {
    console.out << "Skipping " << finished.size() << (finished.size() == 1 ? " line" : " lines")
                << " finished in an earlier run of this batch (journal " << data::pathToUtf8(*options.journal) << ")."
                << std::endl;
  }

  bool journalTrouble = false;
  bool stopped = false;
  std::vector<LineResult> results(file.lines.size());
  // Each line's end is written in file order, as soon as every line before
  // it has ended; a line not run is passed over at the end.
  std::vector<bool> ended(file.lines.size(), false);
  std::size_t written = 0;
  const auto writeEnded = [&](bool all) {
    for (; written < file.lines.size() && (ended[written] || all); ++written) {
      if (ended[written]) printLineEnd(file.lines[written], results[written], console.out);
    }
  };
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    if (!finished.contains(file.lines[i].number)) continue;
    results[i].outcome = LineOutcome::kSkipped;
    ended[i] = true;
  }
  writeEnded(false);
  for (const std::vector<std::size_t>& group : groupsToRun(file, finished)) {
    stopped = stopped || console.stopRequested();
    if (stopped) break;  // the lines left are not run
    if (group.size() == 1) {
      results[group[0]] =
          runLine(file.lines[group[0]], file, options.file, *engine, journal.get(), console, &journalTrouble);
      stopped = results[group[0]].outcome == LineOutcome::kInterrupted;
    } else {
      stopped = runGroup(group, file, options.file, *engine, journal.get(), console, &journalTrouble, &results);
    }
    for (std::size_t i : group) ended[i] = results[i].outcome != LineOutcome::kNotRun;
    writeEnded(false);
  }
  writeEnded(true);
  stopped = stopped || console.stopRequested();
  journal.reset();

  printSummary(file, results, console.out);
  if (stopped) {
    console.out << "The batch was stopped; running it again";
    if (options.journal) console.out << " with the same journal skips the lines already done and";
    console.out << " finishes it." << std::endl;
  }
  bool reportTrouble = false;
  if (options.report) {
    std::string problem;
    reportTrouble = !writeReport(*options.report, file, results, &problem);
    if (reportTrouble) console.err << "kestrova-combine: " << problem << std::endl;
  }
  if (stopped) return kExitInterrupted;
  const bool allDone = std::all_of(results.begin(), results.end(), [](const LineResult& r) {
    return r.outcome == LineOutcome::kDone || r.outcome == LineOutcome::kSkipped;
  });
  return allDone && !journalTrouble && !reportTrouble ? kExitCompleted : kExitSomethingNotChanged;
}

int runBatchOnTerminal(const BatchOptions& options) {
  // SIGHUP too: a closed terminal or a dropped session ends the batch as
  // SIGTERM does, with its report.
  const StopRequests stops;
  BatchConsole console{std::cout, std::cerr};
  console.stopRequested = [] { return StopRequests::requested(); };
  console.inputIsTerminal = isTerminal(stdin);
  console.readYes = [] {
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
  };
  return runBatch(options, console);
}

}  // namespace kestrova::app
