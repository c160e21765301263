#include "app/combine_command.h"

#include <filesystem>
#include <iterator>
#include <system_error>
#include <utility>

#include "app/customer_confirmation.h"
#include "app/id_text.h"
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

// ###-##-####, digits in the # places: what the window's mask lets through.
bool isEmployeeNumber(const std::string& text) {
  if (text.size() != std::size(kEmployeeNumberMask) - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char place = kEmployeeNumberMask[i];
    if (place == '#' ? !(c >= '0' && c <= '9') : c != place) return false;
  }
  return true;
}

}  // namespace

bool CombineCommand::idAccepted(CombineKind kind, const std::string& id) {
  if (kind == CombineKind::kEmployee) return isEmployeeNumber(id);
  // A NUL would end the SQL text inside the quoted ID: no row could be
  // selected by it, so it is refused like an ID of the wrong length.
  return id.find('\0') == std::string::npos && visibleLength(id) == idRuleOf(kind).length;
}

std::string CombineCommand::idRefusal(CombineKind kind) { return idRuleOf(kind).refusal; }

CombineCommand::CombineCommand(UserInterface& ui, std::vector<std::string> commandLine, data::StoreEngine& engine)
    : ui_(ui), commandLine_(std::move(commandLine)), data_(engine) {}

bool CombineCommand::switchToTestFolderIfAsked() {
  std::string words;
  for (const std::string& word : commandLine_) words += (words.empty() ? "" : " ") + word;
  if (upperCased(words).find("TEST MODE") == std::string::npos) return true;
  std::filesystem::path folder;
  data::Status resolved = data::resolveShopPath("c:\\kestrova", &folder);
  std::error_code error;
  if (resolved.isOk()) std::filesystem::current_path(folder, error);
  if (resolved.isOk() && !error) return true;
  const std::string reason = resolved.isOk() ? error.message() : resolved.reason();
  ui_.showMessage("Test mode cannot switch to the folder c:\\kestrova: " + reason + ".", MessageIcon::kCritical);
  return false;
}

RunReport CombineCommand::run(IdBoxes& boxes) {
  if (!switchToTestFolderIfAsked()) return programEnded();
  const CombineKind kind = boxes.customerSelected()  ? CombineKind::kCustomer
                           : boxes.vehicleSelected() ? CombineKind::kVehicle
                                                     : CombineKind::kEmployee;
  const KindBoxes kindBoxes = boxesOf(kind);
  boxes.setBoxText(kindBoxes.from, upperCased(boxes.boxText(kindBoxes.from)));
  boxes.setBoxText(kindBoxes.to, upperCased(boxes.boxText(kindBoxes.to)));
  return runUpperCased({kind, boxes.boxText(kindBoxes.from), boxes.boxText(kindBoxes.to)});
}

RunReport CombineCommand::run(const CombineRequest& request) {
  if (!switchToTestFolderIfAsked()) return programEnded();
  return runUpperCased({request.kind, upperCased(request.fromId), upperCased(request.toId)});
}

combine::GroupResult CombineCommand::runTogether(CombineKind kind, const std::vector<CombineRequest>& requests) {
  combine::ErrorTrap trap;
  std::vector<std::pair<std::string, std::string>> ids;
  for (const CombineRequest& request : requests) ids.emplace_back(upperCased(request.fromId), upperCased(request.toId));
  ui_.setInstructionVisible(false);
  ui_.setProgress(0);
  ui_.setProgressVisible(true);
  ui_.setWaitPointer(true);
  combine::GroupResult result = combine::runCombineGroup(kind, ids, data_, trap, ui_);
  ui_.setProgress(100);
  ui_.setProgressVisible(false);
  ui_.setWaitPointer(false);
  ui_.setInstructionVisible(true);
  return result;
}

RunReport CombineCommand::programEnded() {
  ui_.endProgram();
  RunReport report;
  report.outcome = RunReport::Outcome::kProgramEnded;
  return report;
}

RunReport CombineCommand::runUpperCased(const CombineRequest& request) {
  combine::ErrorTrap trap;  // armed for the rest of the run

  const CombineKind kind = request.kind;
  RunReport report;
  report.kind = kind;
  report.fromId = request.fromId;
  report.toId = request.toId;

  if (!idAccepted(kind, request.fromId) || !idAccepted(kind, request.toId)) {
    ui_.beep();
    ui_.showMessage(idRefusal(kind), MessageIcon::kCritical);
    report.outcome = RunReport::Outcome::kRefused;
    return report;
  }
  if (kind == CombineKind::kCustomer && !ui_.askYesNo(customerConfirmation())) {
    report.outcome = RunReport::Outcome::kDeclined;
    return report;
  }

  ui_.setInstructionVisible(false);
  ui_.setProgress(0);
  ui_.setProgressVisible(true);
  ui_.setWaitPointer(true);

  combine::CombineResult result = combine::runCombine(kind, request.fromId, request.toId, data_, trap, ui_);
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

}  // namespace kestrova::app
