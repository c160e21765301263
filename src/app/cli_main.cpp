// kestrova-combine: the combine command without a window, for scripts and
// tests. See --help for the contract scripts rely on.

#include <QCommandLineParser>
#include <QDir>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <system_error>

#include "app/batch_run.h"
#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "app/drive_settings.h"
#include "app/store_choice.h"
#include "app/terminal_ui.h"
#include "app/undo.h"
#include "app/undo_check.h"
#include "data/preview_store.h"
#include "data/shop_path.h"
#include "data/visible_text.h"

namespace {

using kestrova::app::RunReport;
using kestrova::combine::CombineKind;

constexpr int kExitCompleted = 0;
constexpr int kExitSomethingNotChanged = 1;
constexpr int kExitRefused = 2;
constexpr int kExitDeclined = 3;
constexpr int kExitEmployeeMissing = 4;
constexpr int kExitUsage = 64;

constexpr char kHelp[] = R"(Usage: kestrova-combine customer|vehicle|employee FROM TO [--yes] [--dir DIR]
                        [--dry-run | --journal FILE] [--odbc TEMPLATE]
       kestrova-combine undo FILE [--dir DIR] [--journal UNDOFILE] [--odbc TEMPLATE]
       kestrova-combine batch FILE [--yes] [--dir DIR] [--dry-run] [--journal JOURNAL]
                        [--report REPORT.csv] [--odbc TEMPLATE]
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
             reach the shop's files through ODBC instead of as SQLite files.
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
goes on. SIGINT, SIGTERM or SIGHUP stops the running combine after its current step
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
group of the settings file ~/.config/Kestrova/combining-tool.ini.

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
  std::string_view all = kestrova::app::kOdbcTemplateExamples;
  while (!all.empty()) {
    const std::size_t end = all.find('\n');
    examples += "               " + std::string(all.substr(0, end)) + "\n";
    all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
  }
  std::string text = kHelp;
  text.replace(text.find("@EXAMPLES@"), 10, examples);
  return text;
}

int usageError(const QString& problem) {
  std::cerr << "kestrova-combine: " << problem.toStdString() << "\nTry 'kestrova-combine --help'.\n";
  return kExitUsage;
}

std::optional<CombineKind> kindNamed(const QString& word) {
  if (word == u"customer") return CombineKind::kCustomer;
  if (word == u"vehicle") return CombineKind::kVehicle;
  if (word == u"employee") return CombineKind::kEmployee;
  return std::nullopt;
}

void listWhatWasNotChanged(const RunReport& report) {
  for (const auto& failure : report.failures) {
    std::cerr << "not changed: " << failure.status.message();
    if (failure.times > 1) std::cerr << " (" << failure.times << " times)";
    std::cerr << '\n';
  }
  for (const auto& archive : report.archivesNotUpdated) {
    std::cerr << "archive not updated: " << archive.name << " (" << archive.reason << ")\n";
  }
}

// The dry run's face: the terminal's, except that it asks nothing, does not
// wait at the diskette prompt, and keeps to itself the messages that the
// preview's own report replaces (the archive message, "Done.").
class PreviewUi final : public kestrova::app::UserInterface {
 public:
  explicit PreviewUi(kestrova::app::TerminalUi& terminal) : terminal_(terminal) {}

  bool customerSelected() const override { return terminal_.customerSelected(); }
  bool vehicleSelected() const override { return terminal_.vehicleSelected(); }
  QString boxText(kestrova::app::IdBox box) const override { return terminal_.boxText(box); }
  void setBoxText(kestrova::app::IdBox box, const QString& text) override { terminal_.setBoxText(box, text); }
  void setInstructionVisible(bool visible) override { terminal_.setInstructionVisible(visible); }
  void setProgressVisible(bool visible) override { terminal_.setProgressVisible(visible); }
  void setWaitPointer(bool wait) override { terminal_.setWaitPointer(wait); }
  void setProgress(int percent) override { terminal_.setProgress(percent); }
  void beep() override {}
  void showMessage(const std::string& text, kestrova::combine::MessageIcon icon) override {
    if (icon == kestrova::combine::MessageIcon::kCritical) terminal_.showMessage(text, icon);
  }
  void promptForDiskette(const std::string& text) override { std::cout << text << std::endl; }
  bool askYesNo(const std::string&) override { return true; }
  void endProgram() override { terminal_.endProgram(); }

 private:
  kestrova::app::TerminalUi& terminal_;
};

std::string rows(std::size_t count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

void printPreview(const kestrova::data::PreviewEngine& preview, const RunReport& report, CombineKind kind,
                  const QString& fromId, const QString& toId) {
  std::cout << "Preview of the " << kestrova::app::kindName(kind) << " combine from " << fromId.toStdString() << " to "
            << toId.toStdString() << "; nothing was changed.\n";
  // Files in the order the combine first opened them.
  std::vector<std::string> files;
  for (const auto& attempt : preview.openAttempts()) {
    if (attempt.status.isOk() && std::find(files.begin(), files.end(), attempt.name) == files.end()) {
      files.push_back(attempt.name);
    }
  }
  bool anything = false;
  for (const std::string& file : files) {
    for (const auto& [key, count] : preview.writes()) {
      const auto& [name, table, column] = key;
      if (name != file) continue;
      anything = true;
      std::cout << "  " << kestrova::data::visibleText(name) << ", " << table << ": ";
      if (QString::fromStdString(column).compare(u"OrderNumber", Qt::CaseInsensitive) == 0) {
        std::cout << count << (count == 1 ? " order number" : " order numbers") << " rewritten\n";
      } else {
        std::cout << rows(count) << " re-pointed (" << column << ")\n";
      }
    }
    for (const auto& [key, count] : preview.removals()) {
      const auto& [name, table, column] = key;
      if (name != file) continue;
      anything = true;
      std::cout << "  " << kestrova::data::visibleText(name) << ", " << table << ": " << rows(count) << " deleted\n";
    }
  }
  if (!anything) std::cout << "  no row would change\n";

  // Each archive: where the combine found it, or that it found it nowhere.
  std::vector<std::string> archives;
  std::map<std::string, std::string> whereFound;
  for (const auto& attempt : preview.openAttempts()) {
    const std::string& name = attempt.name;
    if (!name.ends_with(".arc")) continue;
    const bool onDriveA = name.starts_with("A:");
    const std::string archive = name.substr(onDriveA ? 2 : 0, name.size() - 4 - (onDriveA ? 2 : 0));
    if (std::find(archives.begin(), archives.end(), archive) == archives.end()) archives.push_back(archive);
    if (attempt.status.isOk()) {
      const std::string shown = kestrova::data::visibleText(name);
      whereFound[archive] = onDriveA ? "on drive A (" + shown + ")" : "in the current folder (" + shown + ")";
    } else if (attempt.status.code() == kestrova::data::Status::Code::kNameAmbiguous) {
      // Found, but under several names that differ only in case: none is opened.
      whereFound[archive] = std::string("under several names ") + (onDriveA ? "on drive A" : "in the current folder") +
                            ", so none would be opened";
    }
  }
  if (!archives.empty()) std::cout << "Archives:\n";
  for (const std::string& archive : archives) {
    const auto found = whereFound.find(archive);
    std::cout << "  " << kestrova::data::visibleText(archive) << ": "
              << (found != whereFound.end() ? "found " + found->second : std::string("found nowhere")) << '\n';
  }

  if (!report.failures.empty() || !report.archivesNotUpdated.empty()) {
    std::cout << "The combine would not make every change:\n";
    for (const auto& failure : report.failures) std::cout << "  " << failure.status.message() << '\n';
    for (const auto& archive : report.archivesNotUpdated) {
      std::cout << "  archive " << archive.name << " (" << archive.reason << ")\n";
    }
  }
}

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

std::filesystem::path absoluteFromArgument(const QString& argument) {
  std::error_code error;
  std::filesystem::path path = kestrova::data::pathFromUtf8(argument.toStdString());
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

int runUndo(const QStringList& words, const QCommandLineParser& parser, const QCommandLineOption& journalOption,
            const QCommandLineOption& dirOption, const kestrova::app::StoreChoice& store) {
  if (words.size() != 2) return usageError("expected: undo FILE");
  if (parser.values(dirOption).size() > 1) return usageError("--dir given more than once");
  const std::filesystem::path journalPath = absoluteFromArgument(words[1]);
  std::unique_ptr<kestrova::data::Journal> journal;
  const kestrova::data::Status opened = kestrova::data::Journal::openToRead(journalPath, &journal);
  if (!opened.isOk()) return usageError(QString::fromStdString(opened.message()));

  const std::filesystem::path ownPath =
      parser.isSet(journalOption) ? absoluteFromArgument(parser.value(journalOption)) : undoJournalPath(journalPath);
  std::optional<std::filesystem::path> movedTo;
  if (parser.isSet(dirOption)) movedTo = absoluteFromArgument(parser.value(dirOption));
  // The whole journal is checked before the undo's own journal is made.
  std::vector<kestrova::data::JournalEntry> entries;
  std::filesystem::path shopFolder;
  {
    const std::unique_ptr<kestrova::data::StoreEngine> reader = store.makeEngine(true);
    const kestrova::data::Status checked =
        kestrova::app::checkJournalForUndo(*journal, movedTo, *reader, &entries, &shopFolder);
    if (!checked.isOk()) return usageError(QString::fromStdString(checked.message()));
  }
  std::error_code moved;
  if (!shopFolder.empty()) std::filesystem::current_path(shopFolder, moved);
  if (moved)
    return usageError("cannot work in the shop's folder '" +
                      QString::fromStdString(kestrova::data::pathToUtf8(shopFolder)) + "'");
  const std::unique_ptr<kestrova::data::StoreEngine> shopEngine = store.makeEngine();
  std::unique_ptr<kestrova::app::CombineJournal> own;
  const kestrova::data::Status made = kestrova::app::CombineJournal::create(ownPath, *shopEngine, &own);
  if (!made.isOk()) return usageError(QString::fromStdString(made.message()));
  own->journal().setFact("undo of", kestrova::data::pathToUtf8(journalPath));
  own->journal().setFact("started", kestrova::app::timeText(std::chrono::system_clock::now()));

  kestrova::app::UndoReport report;
  kestrova::app::undoEntries(entries, own->engine(), &report);
  own->journal().setFact("finished", kestrova::app::timeText(std::chrono::system_clock::now()));
  for (const std::string& row : report.leftAlone) own->journal().addNote("left alone: " + row);

  std::cout << "Put back " << rows(report.putBack) << ".";
  if (report.alreadyBack > 0) std::cout << " " << rows(report.alreadyBack) << " held their old values already.";
  std::cout << "\nThis undo is journaled in " << kestrova::data::pathToUtf8(ownPath) << ".\n";
  if (report.everythingPutBack()) return kExitCompleted;
  std::cout << rows(report.leftAlone.size()) << " left alone, listed on standard error.\n";
  for (const std::string& row : report.leftAlone) std::cerr << "left alone: " << row << '\n';
  return kExitSomethingNotChanged;
}

// batch FILE: the combines of a file, checked whole before any runs.
int runBatchCommand(const QStringList& words, const QCommandLineParser& parser, const QCommandLineOption& yesOption,
                    const QCommandLineOption& dirOption, const QCommandLineOption& dryRunOption,
                    const QCommandLineOption& journalOption, const QCommandLineOption& reportOption,
                    const kestrova::app::StoreChoice& store) {
  if (words.size() != 2) return usageError("expected: batch FILE");
  if (parser.values(dirOption).size() > 1) return usageError("--dir given more than once");
  if (parser.values(reportOption).size() > 1) return usageError("--report given more than once");
  kestrova::app::BatchOptions options;
  // The names are taken as the user typed them, before --dir moves on.
  options.file = absoluteFromArgument(words[1]);
  options.assumeYes = parser.isSet(yesOption);
  options.dryRun = parser.isSet(dryRunOption);
  options.store = store;
  if (parser.isSet(journalOption)) options.journal = absoluteFromArgument(parser.value(journalOption));
  if (parser.isSet(reportOption)) options.report = absoluteFromArgument(parser.value(reportOption));
  if (parser.isSet(dirOption) && !QDir::setCurrent(parser.value(dirOption))) {
    return usageError("cannot work in the folder '" + parser.value(dirOption) + "'");
  }
  return kestrova::app::runBatchOnTerminal(options);
}

}  // namespace

int main(int argc, char** argv) {
  // The drives the window knows, the command line knows too.
  kestrova::app::installDriveSettings();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption helpOption(QStringList{"help", "h"});
  const QCommandLineOption yesOption("yes");
  const QCommandLineOption dirOption("dir", "folder", "DIR");
  const QCommandLineOption dryRunOption("dry-run");
  const QCommandLineOption journalOption("journal", "journal file", "FILE");
  const QCommandLineOption reportOption("report", "batch report file", "REPORT.csv");
  const QCommandLineOption odbcOption("odbc", "connection template", "TEMPLATE");
  parser.addOptions({helpOption, yesOption, dirOption, dryRunOption, journalOption, reportOption, odbcOption});
  if (!parser.parse(arguments)) return usageError(parser.errorText());
  if (parser.isSet(helpOption)) {
    std::cout << helpText();
    return kExitCompleted;
  }

  const QStringList words = parser.positionalArguments();
  // The store is chosen, and a bad template refused, before anything is opened.
  if (parser.values(odbcOption).size() > 1) return usageError("--odbc given more than once");
  kestrova::app::StoreChoice store;
  std::string storeProblem;
  if (!kestrova::app::StoreChoice::choose(
          parser.isSet(odbcOption) ? std::optional<std::string>(parser.value(odbcOption).toStdString()) : std::nullopt,
          &store, &storeProblem)) {
    return usageError(QString::fromStdString(storeProblem));
  }
  if (parser.values(journalOption).size() > 1) return usageError("--journal given more than once");
  if (!words.isEmpty() && words[0] == u"batch") {
    return runBatchCommand(words, parser, yesOption, dirOption, dryRunOption, journalOption, reportOption, store);
  }
  if (parser.isSet(reportOption)) return usageError("--report is an option of batch only");
  if (!words.isEmpty() && words[0] == u"undo") {
    if (parser.isSet(dryRunOption) || parser.isSet(yesOption)) return usageError("undo takes no --dry-run or --yes");
    return runUndo(words, parser, journalOption, dirOption, store);
  }
  if (words.size() != 3) return usageError("expected a kind, a FROM ID and a TO ID");
  const std::optional<CombineKind> kind = kindNamed(words[0]);
  if (!kind) return usageError("unknown kind '" + words[0] + "'; use customer, vehicle or employee");
  if (parser.values(dirOption).size() > 1) return usageError("--dir given more than once");
  const bool dryRun = parser.isSet(dryRunOption);
  if (dryRun && parser.isSet(journalOption)) return usageError("a dry run changes nothing and has no journal");

  // The journal's name is taken as the user typed it, before --dir moves on.
  std::optional<std::filesystem::path> journalPath;
  if (parser.isSet(journalOption)) {
    journalPath = absoluteFromArgument(parser.value(journalOption));
    std::error_code error;
    if (std::filesystem::exists(*journalPath, error)) {
      return usageError("the journal '" + parser.value(journalOption) +
                        "' exists already; name a new file, so that no earlier journal is lost");
    }
  }
  if (parser.isSet(dirOption) && !QDir::setCurrent(parser.value(dirOption))) {
    return usageError("cannot work in the folder '" + parser.value(dirOption) + "'");
  }

  kestrova::app::TerminalUi terminal(*kind, words[1], words[2], parser.isSet(yesOption));
  // Test mode belongs to the window; the command line chooses its folder with --dir.
  if (dryRun) {
    const std::unique_ptr<kestrova::data::StoreEngine> readOnly = store.makeEngine(true);
    kestrova::data::PreviewEngine preview(*readOnly);
    PreviewUi ui(terminal);
    RunReport report;
    {
      kestrova::app::CombineCommand command(ui, QStringList{}, preview);
      report = command.run();
    }
    if (report.outcome != RunReport::Outcome::kCompleted) return exitStatusOf(report);
    printPreview(preview, report, report.kind, report.fromId, report.toId);
    return kExitCompleted;
  }

  const std::unique_ptr<kestrova::data::StoreEngine> engine = store.makeEngine();
  std::unique_ptr<kestrova::app::CombineJournal> journal;
  if (journalPath) {
    const kestrova::data::Status made = kestrova::app::CombineJournal::create(*journalPath, *engine, &journal);
    if (!made.isOk()) return usageError(QString::fromStdString(made.message()));
  }
  const auto started = std::chrono::system_clock::now();
  RunReport report;
  {
    kestrova::app::CombineCommand command(terminal, QStringList{}, journal ? journal->engine() : *engine);
    report = command.run();
  }
  if (journal) {
    const kestrova::data::Status recorded =
        journal->recordRun(report.kind, report.fromId, report.toId, started, report);
    if (!recorded.isOk()) std::cerr << "journal: " << recorded.message() << '\n';
  }
  const int status = exitStatusOf(report);
  if (status == kExitSomethingNotChanged) listWhatWasNotChanged(report);
  return status;
}
