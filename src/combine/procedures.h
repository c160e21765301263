// The three kinds' procedures, each an ordered table of steps, and the one
// runner that carries them out.

#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "combine/archives.h"
#include "combine/combine_run.h"
#include "combine/repoint_pass.h"
#include "combine/shop_files.h"

namespace kestrova::combine {

enum class CombineKind { kCustomer, kVehicle, kEmployee };

// Passes that run one after the other, kept together because the archive
// stage runs them again in every archive file.
struct PassGroup {
  std::span<const RepointPass> passes;
};

// Finds the From employee in a table by its number and reads its nickname.
// When the employee is not there, the run stops before anything is changed.
struct FromEmployeeLookup {
  std::string_view databaseFile;
  std::string_view table;
  std::string_view criterionPrefix;  // up to and including the opening quote
  std::string_view nicknameColumn;
};

using Step = std::variant<RepointPass, DeletePass, PassGroup, ArchiveStage, FromEmployeeLookup>;

// The table of steps of a kind: VehicleCombine, CustomerCombine or EmployeeCombine.
std::span<const Step> procedureOf(CombineKind kind);

enum class ProcedureEnd {
  kCompleted,
  kFromEmployeeMissing,  // told to the user; the program is to end
  kOneByOne,             // a group's combines cannot run together; nothing was changed
  kStopped,              // the user asked to stop; the walks made so far are saved
};

struct CombineResult {
  ProcedureEnd end = ProcedureEnd::kCompleted;
  std::vector<Failure> failures;                  // what could not be changed, not yet told to the user
  std::vector<MissedArchive> archivesNotUpdated;  // told by their own message; their orders keep the From ID
};

// Runs a procedure's steps in order on `run`.
ProcedureEnd runProcedure(std::span<const Step> steps, CombineRun& run);

// Runs the kind's procedure for the two IDs, as the combine command does
// once it has checked them and put the window into its busy state.
CombineResult runCombine(CombineKind kind, const std::string& fromId, const std::string& toId,
                         data::ShopDataControl& data, ErrorTrap& trap, Feedback& feedback);

// What a run of many combines at once did, for each of them (indexes as given).
struct GroupResult {
  ProcedureEnd end = ProcedureEnd::kCompleted;  // kCompleted or kStopped
  // The combines cannot run together (an employee's nickname is written
  // like a technician number): nothing was changed; run them one by one.
  bool runAlone = false;
  // What could not be changed, for the group as a whole: which combine a
  // failed row was for is not told, so a group with failures is run again
  // one combine at a time, each then failing alone.
  std::vector<Failure> failures;
  // Archives whose orders keep the From IDs, each with its combines.
  std::vector<MissedArchive> archivesNotUpdated;
  std::vector<std::size_t> rows;          // the rows written or deleted for each combine
  std::vector<bool> fromEmployeeMissing;  // each told; such a combine changed nothing
};

// Runs the kind's procedure once for many combines (From and To IDs, as
// upper-cased and checked) that name no ID of one another: each table is
// walked once for all of them and each archive opened (and its diskette
// asked for) once. Messages and prompts go to `feedback`, told first which
// combines they concern.
GroupResult runCombineGroup(CombineKind kind, const std::vector<std::pair<std::string, std::string>>& ids,
                            data::ShopDataControl& data, ErrorTrap& trap, Feedback& feedback);

}  // namespace kestrova::combine
