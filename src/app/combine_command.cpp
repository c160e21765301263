#include "app/combine_command.h"

#include <QTextBoundaryFinder>
#include <filesystem>
#include <system_error>
#include <utility>

#include "combine/error_trap.h"
#include "data/shop_path.h"

namespace kestrova::app {
namespace {

using combine::CombineKind;
using combine::MessageIcon;

// What a kind's IDs must be, and what the user is told when they are not.
struct IdRule {
  int length;
  const char* refusal;
};

IdRule idRuleOf(CombineKind kind) {
  switch (kind) {
    case CombineKind::kCustomer:
      return {7, "Not all customer IDs have been entered."};
    case CombineKind::kVehicle:
      return {7, "Not all vehicle IDs have been entered."};
    case CombineKind::kEmployee:
      break;
  }
  return {11, "Not all employee IDs have been entered."};
}

// Characters as a person sees them: a letter with its accent is one.
int visibleLength(const QString& text) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int count = 0;
  while (finder.toNextBoundary() != -1) ++count;
  return count;
}

// ###-##-####, digits in the # places: what the window's mask lets through.
bool isEmployeeNumber(const QString& text) {
  static constexpr char kMask[] = "###-##-####";
  if (text.size() != 11) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (kMask[i] == '#' ? !(c >= u'0' && c <= u'9') : c != QChar(kMask[i])) return false;
  }
  return true;
}

constexpr char kCustomerConfirmation[] =
    "The accounts receivable information for the two customers will be combined and the previous billing "
    "cycles will be removed since they will no longer be accurate.  The combined customers account will be "
    "updated on the next billing cycle.  Do you want to continue?";

}  // namespace

bool CombineCommand::idAccepted(CombineKind kind, const QString& id) {
  if (kind == CombineKind::kEmployee) return isEmployeeNumber(id);
  // A NUL would end the SQL text inside the quoted ID: no row could be
  // selected by it, so it is refused like an ID of the wrong length.
  return !id.contains(QChar(u'\0')) && visibleLength(id) == idRuleOf(kind).length;
}

std::string CombineCommand::idRefusal(CombineKind kind) { return idRuleOf(kind).refusal; }

CombineCommand::CombineCommand(UserInterface& ui, QStringList commandLine, data::StoreEngine& engine)
    : ui_(ui), commandLine_(std::move(commandLine)), data_(engine) {}

bool CombineCommand::switchToTestFolderIfAsked() {
  if (!commandLine_.join(u' ').toUpper().contains(u"TEST MODE")) return true;
  std::filesystem::path folder;
  data::Status resolved = data::resolveShopPath("c:\\kestrova", &folder);
  std::error_code error;
  if (resolved.isOk()) std::filesystem::current_path(folder, error);
  if (resolved.isOk() && !error) return true;
  const std::string reason = resolved.isOk() ? error.message() : resolved.reason();
  ui_.showMessage("Test mode cannot switch to the folder c:\\kestrova: " + reason + ".", MessageIcon::kCritical);
  return false;
}

RunReport CombineCommand::run() {
  RunReport report;
  if (!switchToTestFolderIfAsked()) {
    ui_.endProgram();
    report.outcome = RunReport::Outcome::kProgramEnded;
    return report;
  }

  combine::ErrorTrap trap;  // armed for the rest of the run

  const CombineKind kind = ui_.customerSelected()  ? CombineKind::kCustomer
                           : ui_.vehicleSelected() ? CombineKind::kVehicle
                                                   : CombineKind::kEmployee;
  const KindBoxes boxes = boxesOf(kind);
  ui_.setBoxText(boxes.from, ui_.boxText(boxes.from).toUpper());
  ui_.setBoxText(boxes.to, ui_.boxText(boxes.to).toUpper());
  const QString fromId = ui_.boxText(boxes.from);
  const QString toId = ui_.boxText(boxes.to);
  report.kind = kind;
  report.fromId = fromId;
  report.toId = toId;

  if (!idAccepted(kind, fromId) || !idAccepted(kind, toId)) {
    ui_.beep();
    ui_.showMessage(idRefusal(kind), MessageIcon::kCritical);
    report.outcome = RunReport::Outcome::kRefused;
    return report;
  }
  if (kind == CombineKind::kCustomer && !ui_.askYesNo(kCustomerConfirmation)) {
    report.outcome = RunReport::Outcome::kDeclined;
    return report;
  }

  ui_.setInstructionVisible(false);
  ui_.setProgress(0);
  ui_.setProgressVisible(true);
  ui_.setWaitPointer(true);

  combine::CombineResult result = combine::runCombine(kind, fromId.toStdString(), toId.toStdString(), data_, trap, ui_);
  report.failures = std::move(result.failures);
  report.archivesNotUpdated = std::move(result.archivesNotUpdated);
  if (result.end == combine::ProcedureEnd::kFromEmployeeMissing) {
    ui_.endProgram();
    report.outcome = RunReport::Outcome::kProgramEnded;
    return report;
  }

  ui_.setProgress(100);
  ui_.setProgressVisible(false);
  ui_.setWaitPointer(false);
  ui_.setInstructionVisible(true);
  report.outcome = RunReport::Outcome::kCompleted;
  if (result.end == combine::ProcedureEnd::kStopped) {
    report.stopped = true;
    ui_.showMessage(
        "Stopped before the end of the combine. What it changed is saved; run the same combine again to finish it.",
        MessageIcon::kWarning);
    return report;
  }
  ui_.showClosingMessage(report);
  return report;
}

void UserInterface::showClosingMessage(const RunReport& report) {
  showMessage(CombineCommand::closingMessage(report),
              report.everyChangeMade() ? MessageIcon::kNone : MessageIcon::kWarning);
}

std::string CombineCommand::closingMessage(const RunReport& report) {
  std::string text = "Done.";
  if (!report.failures.empty()) {
    constexpr std::size_t kShown = 10;
    text += "\n\nThese changes could not be made:";
    for (std::size_t i = 0; i < report.failures.size() && i < kShown; ++i) {
      const combine::Failure& failure = report.failures[i];
      text += "\n- " + failure.status.message();
      if (failure.times > 1) text += " (" + std::to_string(failure.times) + " times)";
    }
    if (report.failures.size() > kShown) {
      text += "\n- and " + std::to_string(report.failures.size() - kShown) + " more.";
    }
  }
  if (!report.archivesNotUpdated.empty()) {
    text += "\n\nThese archives were not updated, and their orders in mgmtdata.mdb keep the From ID:";
    for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
      text += "\n- " + archive.name + " (" + archive.reason + ")";
    }
    text += "\nRun the same combine again with these archives at hand to finish it.";
  }
  return text;
}

}  // namespace kestrova::app
