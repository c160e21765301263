// kestrova-combine: the combine command without a window, for scripts and
// tests. See --help for the contract scripts rely on.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/batch/batch_run.h"
#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "app/cli/console.h"
#include "app/drive_settings.h"
#include "app/exit_status.h"
#include "app/id_text.h"
#include "app/cli/option_parser.h"
#include "app/cli/preview_report.h"
#include "app/cli/shop_check.h"
#include "app/store_choice.h"
#include "app/cli/terminal_ui.h"
#include "app/undo/undo.h"
#include "app/undo/undo_check.h"
#include "data/preview_store.h"
#include "data/shop_path.h"
#include "data/visible_text.h"

namespace {

using namespace kestrova::app;  // the exit statuses and the faces' pieces
using kestrova::combine::CombineKind;

constexpr char kHelp[] = R"(Usage: kestrova-combine customer|vehicle|employee FROM TO [--yes] [--dir DIR]
                        [--dry-run | --journal FILE] [--odbc TEMPLATE]
       kestrova-combine undo FILE [--dir DIR] [--journal UNDOFILE] [--odbc TEMPLATE]
       kestrova-combine batch FILE [--yes] [--dir DIR] [--dry-run] [--journal JOURNAL]
                        [--report REPORT.csv] [--odbc TEMPLATE]
       kestrova-combine check [--dir DIR] [--odbc TEMPLATE]
       kestrova-combine --help

Combines two records of a car-repair shop: every row of the shop's files that
refers to the FROM ID is re-pointed to the TO ID, archived work orders
included. The FROM record itself is left in place, for the shop's package to
delete. This is the Kestrova Combining Tool's Go button without the window.

  customer   7-character customer IDs. Also deletes both customers' billing
             cycles and rewrites the accounts-receivable order numbers of the
             moved payments. Asks for confirmation first.
  vehicle    7-character vehicle IDs.
  employee   employee numbers of the form ###-##-####. The FROM employee must
             be in the Employees table.

FROM and TO are upper-cased and checked as typed text is in the window.

Options:
  --yes      answer Yes to the customer confirmation. Without it the answer
             is read from the terminal (y or yes is Yes); with no terminal on
             standard input the answer is No.
  --dir DIR  work in DIR, the folder that holds kestrova.mdb, mgmtdata.mdb,
             w_orders.mdb and the archive files. Default: the current folder.
  --dry-run  make every check of the combine, then list, for each file and
             table, how many rows the combine would re-point or delete (and
             how many order numbers it would rewrite), and where each archive
             would be found. Opens every file read-only and changes nothing.
             Asks no confirmation and does not wait at the diskette prompt.
  --journal FILE
             before each change is saved, write the row's old and new values
             into the journal FILE (a new file; an existing file is refused),
             so that 'kestrova-combine undo FILE' can take the combine back.
  --odbc TEMPLATE
             reach the shop's files through ODBC with this template. Without
             one, each file is opened as what it is: a SQLite file directly,
             an Access file through the Access ODBC driver installed.
             TEMPLATE is an ODBC connection string in which {path} stands for
             a file's full path (file-based drivers) and {name} for its bare
             name without folder or extension (servers, one database per
             file). Without --odbc, KESTROVA_ODBC in the environment is used
             if set. For example:
@EXAMPLES@             A template without {path} or {name}, with another
             placeholder, naming a driver that is not installed, or asking
             psqlODBC for a Protocol other than its default is refused with
             status 64 before anything is opened. The store never creates a
             file or a database.
  --help     show this text.
  --         ends the options, for an ID that begins with a dash.

check, run first in a shop, tells what a combine would meet there and
changes nothing: for kestrova.mdb, mgmtdata.mdb, w_orders.mdb and every
archive that mgmtdata.mdb names, how the file is opened (or why it cannot
be, and what to install), each table and column the combines use found or
missing, how each table's rows are told apart, and whether the file takes a
write (one is tried and taken back at once). An archive not in the folder is
listed as on a diskette in drive A. Check exit status: 0 a combine can run;
1 something is to be mended first, each thing named ("mgmtdata.mdb: table
Services has no column EmplID"); 2 the command line was not understood.

undo FILE puts back every row that the combine journaled in FILE, newest
first: changed rows get their old values, deleted rows come back with their
own identity. A row changed by anyone since the combine is listed on
standard error and left alone. The undo journals its own changes in UNDOFILE
(default: FILE.undo, or FILE.undo2 and on when that exists), so an undo can
be undone in turn. The undo writes only into the files of the shop the
journal records (the folder its combines ran in): every entry must name one
of that shop's files or archives, and a journal with one entry that does not,
or that is not whole, is refused before anything is written (status 64).
With --dir DIR the journal of a shop that was moved or copied is undone in
DIR, checked the same way.

batch FILE runs many combines from a UTF-8 CSV file, one a line: kind,from,to
(kind customer, vehicle or employee in any case). Fields may be quoted as CSV
quotes them; blanks around a field are trimmed; blank lines and lines whose
first non-blank character is # are passed over; the first other line may be
the header kind,from,to. Every line is checked before anything changes: an
ID failing its kind's check, From equal to To, a From that an earlier line
of the kind combines into another To, or a To that an earlier line combined
away (which also refuses every cycle) refuses the line, and any refused line
refuses the file: each is listed on standard error and nothing is written.
Chains (A into B, then B into C) run in file order. The customer combines
are confirmed once for the whole batch (--yes, the terminal, or No). The
combines then run in file order, each as a single combine with its own
progress and diskette prompts; one line per combine is written to standard
output as it ends, and a summary at the end names each chain's final
survivor. An employee line whose From is missing is reported and the batch
goes on. SIGINT, SIGTERM or SIGHUP (on Windows Ctrl-C, Ctrl-Break or closing
the console) stops the running combine after its current step
is saved; later lines are not run. With --journal the journal records the
file's digest and each line finished with every change made; the same FILE
and JOURNAL again skip those lines (a line run again brings the later lines
that share an ID with it along), and undo JOURNAL takes back the whole
batch, newest combine first. --dry-run checks the file and shows each line's preview
counts, marking the lines that depend on an earlier one; it writes nothing.
--report REPORT.csv (a new file) gets one line per combine:
line,kind,from,to,outcome,rows_changed,archives_not_updated, the outcome one
of done, failures, from_missing, skipped, interrupted, not_run.
Batch exit status: 0 every line done or skipped as done (a dry run: the
file passed its checks); 1 some combine could not be fully done, or an
employee From was missing; 2 the file was refused; 3 the customer
confirmation was not given; 64 usage, an existing report, or a journal of
another file, of the file before it changed, of a single combine or of
another shop; 130
stopped by a signal. Refused, not confirmed or usage: nothing was written.

The text of every message the window would show is written to standard
output. Progress goes to standard error: a bar on a terminal, otherwise one
line "progress N" for each value. When an archive file is not in the folder,
the diskette prompt is printed; on a terminal it waits for Enter, then the
archive is looked for as A:NAME.arc, where drive A is the folder named by the
environment variable KESTROVA_DRIVE_A or, without it, by A= in the [drives]
group of the settings file (~/.config/Kestrova/combining-tool.ini, or
$XDG_CONFIG_HOME/Kestrova/..., then /etc/xdg/Kestrova/...; on Windows
%APPDATA%\Kestrova\combining-tool.ini, then %ProgramData%\Kestrova\...).
On Windows a drive letter set up nowhere is the computer's own drive.

Exit status:
  0   the combine ran and every change was made; a preview was made; an
      undo put every row back
  1   the combine ran but something could not be changed (listed on
      standard error); running it again once the cause is mended finishes it.
      For undo: some rows were left alone (listed on standard error)
  2   an ID was refused; nothing was changed
  3   the customer confirmation was answered No; nothing was changed
  4   the FROM employee is not in the database; nothing was changed
  64  the command line was not understood, the journal cannot be made or
      read, or the ODBC connection template is refused; nothing was changed
)";

// The help text with the example templates indented under --odbc.
std::string helpText() {
  std::string examples;
  std::string_view all = kOdbcTemplateExamples;
  while (!all.empty()) {
    const std::size_t end = all.find('\n');
    examples += "               " + std::string(all.substr(0, end)) + "\n";
    all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
  }
  std::string text = kHelp;
  text.replace(text.find("@EXAMPLES@"), 10, examples);
  return text;
}

int usageError(const std::string& problem) {
  std::cerr << "kestrova-combine: " << problem << "\nTry 'kestrova-combine --help'.\n";
  return kExitUsage;
}

void listWhatWasNotChanged(const RunReport& report) {
  for (const auto& failure : report.failures) std::cerr << "not changed: " << failureText(failure) << '\n';
  for (const auto& archive : report.archivesNotUpdated) {
    std::cerr << "archive not updated: " << missedArchiveText(archive) << '\n';
  }
}

// The dry run's face: the terminal's, except that it asks nothing, does not
// wait at the diskette prompt, and keeps to itself the messages that the
// preview's own report replaces (the archive message, "Done.").
class PreviewUi final : public UserInterface {
 public:
  explicit PreviewUi(TerminalUi& terminal) : terminal_(terminal) {}

  void setProgressVisible(bool visible) override { terminal_.setProgressVisible(visible); }
  void setProgress(int percent) override { terminal_.setProgress(percent); }
  void beep() override {}
  void showMessage(const std::string& text, kestrova::combine::MessageIcon icon) override {
    if (icon == kestrova::combine::MessageIcon::kCritical) terminal_.showMessage(text, icon);
  }
  void promptForDiskette(const std::string& text) override { std::cout << text << std::endl; }
  bool askYesNo(const std::string&) override { return true; }
  void endProgram() override { terminal_.endProgram(); }

 private:
  TerminalUi& terminal_;
};

int exitStatusOf(const RunReport& report) {
  switch (report.outcome) {
    case RunReport::Outcome::kRefused:
      return kExitRefused;
    case RunReport::Outcome::kDeclined:
      return kExitDeclined;
    case RunReport::Outcome::kProgramEnded:
      return kExitEmployeeMissing;
    case RunReport::Outcome::kCompleted:
      break;
  }
  return report.everyChangeMade() ? kExitCompleted : kExitSomethingNotChanged;
}

std::filesystem::path absoluteFromArgument(const std::string& argument) {
  std::error_code error;
  std::filesystem::path path = kestrova::data::pathFromUtf8(argument);
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal();
}

// The undo's own journal: the name given, or FILE.undo, FILE.undo2, ...
std::filesystem::path undoJournalPath(const std::filesystem::path& journal) {
  std::error_code error;
  for (int n = 1;; ++n) {
    std::filesystem::path candidate = journal;
    candidate += n == 1 ? std::string(".undo") : ".undo" + std::to_string(n);
    if (!std::filesystem::exists(candidate, error)) return candidate;
  }
}

// Makes DIR the current folder.
bool enterFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::current_path(kestrova::data::pathFromUtf8(folder), error);
  return !error;
}

int runUndo(const OptionParser& parser, const StoreChoice& store) {
  const std::vector<std::string>& words = parser.words();
  if (words.size() != 2) return usageError("expected: undo FILE");
  if (parser.values("dir").size() > 1) return usageError("--dir given more than once");
  const std::filesystem::path journalPath = absoluteFromArgument(words[1]);
  std::unique_ptr<kestrova::data::Journal> journal;
  const kestrova::data::Status opened = kestrova::data::Journal::openToRead(journalPath, &journal);
  if (!opened.isOk()) return usageError(opened.message());

  const std::filesystem::path ownPath =
      parser.isSet("journal") ? absoluteFromArgument(parser.value("journal")) : undoJournalPath(journalPath);
  std::optional<std::filesystem::path> movedTo;
  if (parser.isSet("dir")) movedTo = absoluteFromArgument(parser.value("dir"));
  // The whole journal is checked before the undo's own journal is made.
  std::vector<kestrova::data::JournalEntry> entries;
  std::filesystem::path shopFolder;
  {
    const std::unique_ptr<kestrova::data::StoreEngine> reader = store.makeEngine(true);
    const kestrova::data::Status checked =
        checkJournalForUndo(*journal, movedTo, *reader, &entries, &shopFolder);
    if (!checked.isOk()) return usageError(checked.message());
  }
  std::error_code moved;
  if (!shopFolder.empty()) std::filesystem::current_path(shopFolder, moved);
  if (moved)
    return usageError("cannot work in the shop's folder '" + kestrova::data::pathToUtf8(shopFolder) + "'");
  const std::unique_ptr<kestrova::data::StoreEngine> shopEngine = store.makeEngine();
  std::unique_ptr<CombineJournal> own;
  const kestrova::data::Status made = CombineJournal::create(ownPath, *shopEngine, &own);
  if (!made.isOk()) return usageError(made.message());
  own->journal().setFact("undo of", kestrova::data::pathToUtf8(journalPath));
  own->journal().setFact("started", timeText(std::chrono::system_clock::now()));

  UndoReport report;
  undoEntries(entries, own->engine(), &report);
  own->journal().setFact("finished", timeText(std::chrono::system_clock::now()));
  // The rows hold the shop's values and the journal's names: shown visibly.
  for (const std::string& row : report.leftAlone) {
    own->journal().addNote("left alone: " + kestrova::data::visibleText(row));
  }

  std::cout << "Put back " << rowsText(report.putBack) << ".";
  if (report.alreadyBack > 0) std::cout << " " << rowsText(report.alreadyBack) << " held their old values already.";
  std::cout << "\nThis undo is journaled in " << kestrova::data::pathToUtf8(ownPath) << ".\n";
  if (report.everythingPutBack()) return kExitCompleted;
  std::cout << rowsText(report.leftAlone.size()) << " left alone, listed on standard error.\n";
  for (const std::string& row : report.leftAlone) {
    std::cerr << "left alone: " << kestrova::data::visibleText(row) << '\n';
  }
  return kExitSomethingNotChanged;
}

// Whether the command line asks for the check: its first word is "check".
bool asksForCheck(const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--") return i + 1 < arguments.size() && arguments[i + 1] == "check";
    if (!word.starts_with("-")) return word == "check";
    if (word.find('=') == std::string::npos && (word == "--dir" || word == "-dir" || word == "--odbc" ||
                                                word == "-odbc" || word == "--journal" || word == "--report")) {
      ++i;  // the option's value
    }
  }
  return false;
}

int checkUsageError(const std::string& problem) {
  usageError(problem);
  return kExitCheckUsage;
}

// check: what the combines would meet in the shop, nothing changed.
int runCheck(const OptionParser& parser) {
  if (parser.words().size() != 1) return checkUsageError("check takes no further words");
  for (const char* option : {"yes", "dry-run", "journal", "report"}) {
    if (parser.isSet(option)) return checkUsageError(std::string("check takes no --") + option);
  }
  if (parser.values("dir").size() > 1 || parser.values("odbc").size() > 1) {
    return checkUsageError("--dir and --odbc are given once each");
  }
  StoreChoice store;
  std::string problem;
  if (!StoreChoice::choose(parser.isSet("odbc") ? std::optional<std::string>(parser.value("odbc")) : std::nullopt,
                           &store, &problem)) {
    return checkUsageError(problem);
  }
  if (parser.isSet("dir") && !enterFolder(parser.value("dir"))) {
    return checkUsageError("cannot work in the folder '" + parser.value("dir") + "'");
  }
  const std::unique_ptr<kestrova::data::StoreEngine> engine = store.makeEngine();
  const std::vector<std::string> problems = checkShop(*engine, std::cout);
  if (problems.empty()) {
    std::cout << "\nReady: a combine can run in this shop.\n";
    return kExitCompleted;
  }
  std::cout << "\nNot ready: " << problems.size() << (problems.size() == 1 ? " thing" : " things")
            << " to mend before a combine:\n";
  for (const std::string& problem : problems) std::cout << "  " << problem << '\n';
  return kExitSomethingNotChanged;
}

// batch FILE: the combines of a file, checked whole before any runs.
int runBatchCommand(const OptionParser& parser, const StoreChoice& store) {
  const std::vector<std::string>& words = parser.words();
  if (words.size() != 2) return usageError("expected: batch FILE");
  if (parser.values("dir").size() > 1) return usageError("--dir given more than once");
  if (parser.values("report").size() > 1) return usageError("--report given more than once");
  BatchOptions options;
  // The names are taken as the user typed them, before --dir moves on.
  options.file = absoluteFromArgument(words[1]);
  options.assumeYes = parser.isSet("yes");
  options.dryRun = parser.isSet("dry-run");
  options.store = store;
  if (parser.isSet("journal")) options.journal = absoluteFromArgument(parser.value("journal"));
  if (parser.isSet("report")) options.report = absoluteFromArgument(parser.value("report"));
  if (parser.isSet("dir") && !enterFolder(parser.value("dir"))) {
    return usageError("cannot work in the folder '" + parser.value("dir") + "'");
  }
  return runBatchOnTerminal(options);
}

}  // namespace

int main(int argc, char** argv) {
  // The drives the window knows, the command line knows too.
  installDriveSettings();
  prepareConsole();
  const std::vector<std::string> arguments = programArguments(argc, argv);

  OptionParser parser;
  parser.add({"help", "h"});
  parser.add({"yes"});
  parser.add({"dir"}, true);
  parser.add({"dry-run"});
  parser.add({"journal"}, true);
  parser.add({"report"}, true);
  parser.add({"odbc"}, true);
  std::string problem;
  if (!parser.parse(arguments, &problem)) {
    return asksForCheck(arguments) ? checkUsageError(problem) : usageError(problem);
  }
  if (parser.isSet("help")) {
    std::cout << helpText();
    return kExitCompleted;
  }
  if (!parser.words().empty() && parser.words()[0] == "check") return runCheck(parser);

  const std::vector<std::string>& words = parser.words();
  // The store is chosen, and a bad template refused, before anything is opened.
  if (parser.values("odbc").size() > 1) return usageError("--odbc given more than once");
  StoreChoice store;
  if (!StoreChoice::choose(parser.isSet("odbc") ? std::optional<std::string>(parser.value("odbc")) : std::nullopt,
                           &store, &problem)) {
    return usageError(problem);
  }
  if (parser.values("journal").size() > 1) return usageError("--journal given more than once");
  if (!words.empty() && words[0] == "batch") return runBatchCommand(parser, store);
  if (parser.isSet("report")) return usageError("--report is an option of batch only");
  if (!words.empty() && words[0] == "undo") {
    if (parser.isSet("dry-run") || parser.isSet("yes")) return usageError("undo takes no --dry-run or --yes");
    return runUndo(parser, store);
  }
  if (words.size() != 3) return usageError("expected a kind, a FROM ID and a TO ID");
  const std::optional<CombineKind> kind = kindNamed(words[0]);
  if (!kind) return usageError("unknown kind '" + words[0] + "'; use customer, vehicle or employee");
  if (parser.values("dir").size() > 1) return usageError("--dir given more than once");
  const bool dryRun = parser.isSet("dry-run");
  if (dryRun && parser.isSet("journal")) return usageError("a dry run changes nothing and has no journal");

  // The journal's name is taken as the user typed it, before --dir moves on.
  std::optional<std::filesystem::path> journalPath;
  if (parser.isSet("journal")) {
    journalPath = absoluteFromArgument(parser.value("journal"));
    std::error_code error;
    if (std::filesystem::exists(*journalPath, error)) {
      return usageError("the journal '" + parser.value("journal") +
                        "' exists already; name a new file, so that no earlier journal is lost");
    }
  }
  if (parser.isSet("dir") && !enterFolder(parser.value("dir"))) {
    return usageError("cannot work in the folder '" + parser.value("dir") + "'");
  }

  const CombineRequest request{*kind, words[1], words[2]};
  TerminalUi terminal(parser.isSet("yes"));
  // Test mode belongs to the window; the command line chooses its folder with --dir.
  if (dryRun) {
    const std::unique_ptr<kestrova::data::StoreEngine> readOnly = store.makeEngine(true);
    kestrova::data::PreviewEngine preview(*readOnly);
    PreviewUi ui(terminal);
    RunReport report;
    {
      CombineCommand command(ui, {}, preview);
      report = command.run(request);
    }
    if (report.outcome != RunReport::Outcome::kCompleted) return exitStatusOf(report);
    writePreview(preview, report, std::cout);
    return kExitCompleted;
  }

  const std::unique_ptr<kestrova::data::StoreEngine> engine = store.makeEngine();
  std::unique_ptr<CombineJournal> journal;
  if (journalPath) {
    const kestrova::data::Status made = CombineJournal::create(*journalPath, *engine, &journal);
    if (!made.isOk()) return usageError(made.message());
  }
  const auto started = std::chrono::system_clock::now();
  RunReport report;
  {
    CombineCommand command(terminal, {}, journal ? journal->engine() : *engine);
    report = command.run(request);
  }
  if (journal) {
    const kestrova::data::Status recorded = journal->recordRun(started, report);
    if (!recorded.isOk()) std::cerr << "journal: " << recorded.message() << '\n';
  }
  const int status = exitStatusOf(report);
  if (status == kExitSomethingNotChanged) listWhatWasNotChanged(report);
  return status;
}
