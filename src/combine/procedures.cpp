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

// Finds `ids.from` in the employee table open in the gateway (`opened`
// tells whether opening it failed) and reads its nickname into `ids`.
// Returns false when the From employee is not there.
bool findFromEmployee(const FromEmployeeLookup& lookup, bool opened, CombineRun& run, CombineIds& ids) {
  auto& data = run.data;
  auto& trap = run.trap;
  bool noMatch = false;
  // A lookup that cannot be made at all leaves the run without a nickname:
  // the steps keyed by it are left out, the rest go on, and the failure is
  // reported at the end.
  if (!opened || !trap(data.findFirst(std::string(lookup.criterionPrefix) + data::sqlQuoteBody(ids.from) + "'")) ||
      !trap(data.noMatch(&noMatch))) {
    ids.fromNicknameUnknown = true;
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
    ids.fromNicknameUnknown = true;
  } else if (nickname && !nickname->empty()) {
    ids.fromNickname = *nickname;
  }
  return true;
}

// Returns false when the run is to stop: a single combine's From employee
// is missing, or a group's combines cannot run together.
bool lookUpFromEmployee(const FromEmployeeLookup& lookup, CombineRun& run) {
  run.data.setDatabaseName(std::string(lookup.databaseFile));
  run.data.setRecordSource(std::string(lookup.table));
  const bool opened = run.trap(run.data.refresh());
  if (!run.isGroup()) return findFromEmployee(lookup, opened, run, run.ids);
  // Each combine of the group whose From employee is missing ends alone,
  // told as it would be told alone.
  std::vector<std::size_t> found;
  for (std::size_t combine : run.concerned) {
    run.feedback.concerns({combine});
    if (findFromEmployee(lookup, opened, run, run.group[combine])) {
      found.push_back(combine);
    } else {
      run.ended[combine] = true;
    }
  }
  run.concerned = std::move(found);
  run.feedback.concerns(run.concerned);
  // A nickname written like a technician number ("~" and digits) may be the
  // text that another combine's tasks hold or are given; such combines are
  // run one after the other, as only that order tells which gets the task.
  for (std::size_t combine : run.concerned) {
    const std::optional<std::string>& nickname = run.group[combine].fromNickname;
    if (nickname && nickname->starts_with('~')) return false;
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
    if (!std::visit(StepRunner{run}, step)) {
      return run.isGroup() ? ProcedureEnd::kOneByOne : ProcedureEnd::kFromEmployeeMissing;
    }
  }
  return run.stopped ? ProcedureEnd::kStopped : ProcedureEnd::kCompleted;
}

GroupResult runCombineGroup(CombineKind kind, const std::vector<std::pair<std::string, std::string>>& ids,
                            data::ShopDataControl& data, ErrorTrap& trap, Feedback& feedback) {
  CombineRun run{data, trap, feedback, CombineIds{}, {}, {}, false};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    run.group.push_back(CombineIds{ids[i].first, ids[i].second, std::nullopt});
    run.concerned.push_back(i);
  }
  run.ended.assign(ids.size(), false);
  run.rowsOf.assign(ids.size(), 0);
  GroupResult result;
  feedback.concerns(run.concerned);
  const ProcedureEnd end = ids.empty() ? ProcedureEnd::kCompleted : runProcedure(procedureOf(kind), run);
  result.runAlone = end == ProcedureEnd::kOneByOne;
  result.end = result.runAlone ? ProcedureEnd::kCompleted : end;
  trap(data.commitWrites());
  result.failures = trap.failures();
  result.archivesNotUpdated = std::move(run.archivesNotUpdated);
  result.rows = std::move(run.rowsOf);
  result.fromEmployeeMissing = std::move(run.ended);
  return result;
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
