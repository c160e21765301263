#include "combine/procedures.h"

#include "data/sql_text.h"

namespace kestrova::combine {
namespace {

// "AR" followed by a customer ID is an accounts-receivable order number: it
// follows its payment to the To customer. A work order's number stays.
void rewriteAccountsReceivableNumber(CombineRun& run) {
  data::FieldValue number;
  if (!run.trap(run.data.field("OrderNumber", &number)) || !number) return;
  if (number->starts_with("AR")) run.trap(run.data.setField("OrderNumber", "AR" + run.ids.to));
}

// --- VehicleCombine ---------------------------------------------------------

constexpr Step kVehicleCombine[] = {
    RepointPass{.databaseFile = kMainDatabase,
                .selectPrefix = "Select AutoID from History where AutoID = '",
                .setColumn = "AutoID",
                .progressPercent = 20},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select AutoID from Services where AutoID = '",
                .setColumn = "AutoID",
                .progressPercent = 40},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select AutoID,Archive from Orders where AutoID = '",
                .setColumn = "AutoID",
                .progressPercent = 60,
                .beforeEdit = gatherArchiveName},
    RepointPass{.databaseFile = kWorkOrdersDatabase,
                .selectPrefix = "Select AutoID from Orders where AutoID = '",
                .setColumn = "AutoID",
                .progressPercent = 80},
    ArchiveStage{.selectPrefix = "Select AutoID from Orders where AutoID = '", .setColumn = "AutoID"},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select AutoID,Archive from Orders where AutoID = '",
                .setColumn = "AutoID",
                .progressPercent = 100,
                .beforeEdit = leaveOrdersOfArchivesNotUpdated},
};

// --- CustomerCombine --------------------------------------------------------

constexpr Step kCustomerCombine[] = {
    RepointPass{.databaseFile = kMainDatabase,
                .selectPrefix = "Select CustID from Automobile where CustID = '",
                .setColumn = "CustID",
                .progressPercent = 20},
    // Both customers' billing cycles no longer match the combined account.
    DeletePass{.databaseFile = kManagementDatabase,
               .selectPrefix = "Select CustID from ARBillings where CustID = '",
               .keyText = kFromId,
               .progressPercent = 35},
    DeletePass{.databaseFile = kManagementDatabase,
               .selectPrefix = "Select CustID from ARBillings where CustID = '",
               .keyText = kToId,
               .progressPercent = 50},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select CustID from Invoices where CustID = '",
                .setColumn = "CustID",
                .progressPercent = 60},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select CustID,Archive from Orders where CustID = '",
                .setColumn = "CustID",
                .progressPercent = 75,
                .beforeEdit = gatherArchiveName},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select CustID,OrderNumber from Payments where CustID = '",
                .setColumn = "CustID",
                .progressPercent = 85,
                .extraWrites = rewriteAccountsReceivableNumber},
    RepointPass{.databaseFile = kWorkOrdersDatabase,
                .selectPrefix = "Select CustID from Orders where CustID = '",
                .setColumn = "CustID",
                .progressPercent = 90},
    ArchiveStage{.selectPrefix = "Select CustID from Orders where CustID = '", .setColumn = "CustID"},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select CustID,Archive from Orders where CustID = '",
                .setColumn = "CustID",
                .beforeEdit = leaveOrdersOfArchivesNotUpdated},
};

// --- EmployeeCombine --------------------------------------------------------

constexpr IdText kTildeToNumber{IdText::Id::kTo, "~"};

// A task names its technician by nickname or by "~" and number; both forms
// of the From employee end as "~" and the To number. These passes run on the
// work-orders file and again in every archive file. A file without Tasks or
// Techs has nothing of the employee there: it is passed over, and an archive
// without them still counts as updated.
constexpr RepointPass kTechnicianPasses[] = {
    RepointPass{.selectPrefix = "Select Tech from Tasks where Tech ='~",
                .keyText = kFromId,
                .setColumn = "Tech",
                .setValue = kTildeToNumber,
                .tableMayBeMissing = true},
    RepointPass{.selectPrefix = "Select Tech from Tasks where Tech ='",
                .keyText = kFromNickname,
                .setColumn = "Tech",
                .setValue = kTildeToNumber,
                .progressPercent = 80,
                .tableMayBeMissing = true},
    RepointPass{.selectPrefix = "Select TechID from Techs where TechID = '",
                .setColumn = "TechID",
                .progressPercent = 90,
                .tableMayBeMissing = true},
};

constexpr Step kEmployeeCombine[] = {
    FromEmployeeLookup{.databaseFile = kMainDatabase,
                       .table = "Employees",
                       .criterionPrefix = "IDNumber = '",
                       .nicknameColumn = "NickName"},
    RepointPass{.databaseFile = kMainDatabase,
                .selectPrefix = "Select IDNumber from Labor where IDNumber = '",
                .setColumn = "IDNumber",
                .progressPercent = 20},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select EmplID from Invoices where EmplID = '",
                .setColumn = "EmplID",
                .progressPercent = 30},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select EmplID from Services where EmplID = '",
                .setColumn = "EmplID",
                .progressPercent = 40},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select IDNumber from TimeSheets where IDNumber = '",
                .setColumn = "IDNumber",
                .progressPercent = 50},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select EmplID,Archive from Orders where EmplID = '",
                .setColumn = "EmplID",
                .progressPercent = 60,
                .beforeEdit = gatherArchiveName},
    RepointPass{.databaseFile = kWorkOrdersDatabase,
                .selectPrefix = "Select EmplID from Orders where EmplID = '",
                .setColumn = "EmplID",
                .progressPercent = 70},
    PassGroup{kTechnicianPasses},
    ArchiveStage{.selectPrefix = "Select EmplID from Orders where EmplID = '",
                 .setColumn = "EmplID",
                 .furtherSteps = kTechnicianPasses},
    RepointPass{.databaseFile = kManagementDatabase,
                .selectPrefix = "Select EmplID,Archive from Orders where EmplID = '",
                .setColumn = "EmplID",
                .beforeEdit = leaveOrdersOfArchivesNotUpdated},
};

// Returns false when the run is to stop.
bool lookUpFromEmployee(const FromEmployeeLookup& lookup, CombineRun& run) {
  auto& data = run.data;
  auto& trap = run.trap;
  data.setDatabaseName(std::string(lookup.databaseFile));
  data.setRecordSource(std::string(lookup.table));
  bool noMatch = false;
  // A lookup that cannot be made at all leaves the run without a nickname:
  // the steps keyed by it are left out, the rest go on, and the failure is
  // reported at the end.
  if (!trap(data.refresh()) ||
      !trap(data.findFirst(std::string(lookup.criterionPrefix) + data::sqlQuoteBody(run.ids.from) + "'")) ||
      !trap(data.noMatch(&noMatch))) {
    run.ids.fromNicknameUnknown = true;
    return true;
  }
  if (noMatch) {
    run.feedback.beep();
    run.feedback.showMessage("Unable to locate the From employee in the database.", MessageIcon::kCritical);
    return false;
  }
  data::FieldValue nickname;
  // An empty nickname would select every task with no technician.
  if (!trap(data.field(lookup.nicknameColumn, &nickname))) {
    run.ids.fromNicknameUnknown = true;
  } else if (nickname && !nickname->empty()) {
    run.ids.fromNickname = *nickname;
  }
  return true;
}

struct StepRunner {
  CombineRun& run;

  bool operator()(const RepointPass& pass) const {
    runRepointPass(pass, run);
    return true;
  }
  bool operator()(const DeletePass& pass) const {
    runDeletePass(pass, run);
    return true;
  }
  bool operator()(const PassGroup& group) const {
    for (const RepointPass& pass : group.passes) {
      if (stopBeforeNextWalk(run)) break;
      runRepointPass(pass, run);
    }
    return true;
  }
  bool operator()(const ArchiveStage& stage) const {
    UpdateArchives(stage, run);
    return true;
  }
  bool operator()(const FromEmployeeLookup& lookup) const { return lookUpFromEmployee(lookup, run); }
};

}  // namespace

std::span<const Step> procedureOf(CombineKind kind) {
  switch (kind) {
    case CombineKind::kCustomer:
      return kCustomerCombine;
    case CombineKind::kVehicle:
      return kVehicleCombine;
    case CombineKind::kEmployee:
      return kEmployeeCombine;
  }
  return {};
}

ProcedureEnd runProcedure(std::span<const Step> steps, CombineRun& run) {
  for (const Step& step : steps) {
    if (stopBeforeNextWalk(run)) break;
    if (!std::visit(StepRunner{run}, step)) return ProcedureEnd::kFromEmployeeMissing;
  }
  return run.stopped ? ProcedureEnd::kStopped : ProcedureEnd::kCompleted;
}

CombineResult runCombine(CombineKind kind, const std::string& fromId, const std::string& toId,
                         data::ShopDataControl& data, ErrorTrap& trap, Feedback& feedback) {
  CombineRun run{data, trap, feedback, CombineIds{fromId, toId, std::nullopt}, {}, {}, false};
  CombineResult result;
  result.end = runProcedure(procedureOf(kind), run);
  trap(data.commitWrites());  // the last file's walks, saved before the run is told
  result.failures = trap.failures();
  result.archivesNotUpdated = std::move(run.archivesNotUpdated);
  return result;
}

}  // namespace kestrova::combine
