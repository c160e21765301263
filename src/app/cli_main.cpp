// kestrova-combine: the combine command without a window, for scripts and
// tests. See --help for the contract scripts rely on.

#include <QCommandLineParser>
#include <QDir>
#include <QStringList>
#include <iostream>
#include <optional>

#include "app/combine_command.h"
#include "app/terminal_ui.h"
#include "data/sqlite_store.h"

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
  --help     show this text.
  --         ends the options, for an ID that begins with a dash.

The text of every message the window would show is written to standard
output. Progress goes to standard error: a bar on a terminal, otherwise one
line "progress N" for each value. When an archive file is not in the folder,
the diskette prompt is printed; on a terminal it waits for Enter, then the
archive is looked for as A:NAME.arc, where drive A is the folder named by the
environment variable KESTROVA_DRIVE_A.

Exit status:
  0   the combine ran and every change was made
  1   the combine ran but something could not be changed (listed on
      standard error); running it again once the cause is mended finishes it
  2   an ID was refused; nothing was changed
  3   the customer confirmation was answered No; nothing was changed
  4   the FROM employee is not in the database; nothing was changed
  64  the command line was not understood
)";

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

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption helpOption(QStringList{"help", "h"});
  const QCommandLineOption yesOption("yes");
  const QCommandLineOption dirOption("dir", "folder", "DIR");
  parser.addOptions({helpOption, yesOption, dirOption});
  if (!parser.parse(arguments)) return usageError(parser.errorText());
  if (parser.isSet(helpOption)) {
    std::cout << kHelp;
    return kExitCompleted;
  }

  const QStringList words = parser.positionalArguments();
  if (words.size() != 3) return usageError("expected a kind, a FROM ID and a TO ID");
  const std::optional<CombineKind> kind = kindNamed(words[0]);
  if (!kind) return usageError("unknown kind '" + words[0] + "'; use customer, vehicle or employee");
  if (parser.values(dirOption).size() > 1) return usageError("--dir given more than once");
  if (parser.isSet(dirOption) && !QDir::setCurrent(parser.value(dirOption))) {
    return usageError("cannot work in the folder '" + parser.value(dirOption) + "'");
  }

  kestrova::data::SqliteEngine engine;
  kestrova::app::TerminalUi ui(*kind, words[1], words[2], parser.isSet(yesOption));
  // Test mode belongs to the window; the command line chooses its folder with --dir.
  kestrova::app::CombineCommand command(ui, QStringList{}, engine);
  const RunReport report = command.run();

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
  if (report.everyChangeMade()) return kExitCompleted;
  listWhatWasNotChanged(report);
  return kExitSomethingNotChanged;
}
