// The walk-batch base's failure branches, one row of the table each: an
// engine whose statements fail as the row says stands under it, and the
// row tells what each write, the end of each walk and the save must answer.
// No database is mocked here: the engine's statements are the fake, the
// base's promises the thing tested.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/walk_batch_store.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

// Which of the engine's statements fail, and how.
struct Script {
  bool savepoints = true;
  Code release = Code::kOk;  // releasing a walk's savepoint
  Code undo = Code::kOk;     // rolling back to it
  Code commit = Code::kOk;
  // The write of this row (by its number, from 1, over the whole case)
  // fails with `write`; whether the engine still holds the batch then.
  int failingRow = 0;
  Code write = Code::kOk;
  bool holdsBatch = true;
};

Status failure(Code code, const std::string& operation) {
  return code == Code::kOk ? Status::ok() : Status::error(code, "shop.mdb", operation, "the engine said no");
}

class ScriptedStore final : public WalkBatchStore {
 public:
  explicit ScriptedStore(Script script) : WalkBatchStore("shop.mdb", script.savepoints), script_(script) {}

  Status select(std::string_view, RowSet*) override { return Status::ok(); }
  Status read(const RowSet&, RowId, const std::string&, FieldValue*) override { return Status::ok(); }
  Status findFirst(const RowSet&, std::string_view, std::size_t*) override { return Status::ok(); }
  Status remove(const RowSet& set, RowId row) override { return update(set, row, {}); }
  Status update(const RowSet& set, RowId, std::span<const FieldWrite>) override {
    ++rows_;
    return writeOne(set.table, [&] { return "updating " + set.table; }, [&](std::int64_t* changed) {
      if (rows_ == script_.failingRow) return failure(script_.write, "updating " + set.table);
      *changed = 1;
      return Status::ok();
    });
  }

  std::vector<std::string> log;  // the engine's statements, in order

 protected:
  Status beginTransaction(const std::string&) override { return said("begin", Code::kOk); }
  Status openSavepoint(Savepoint, const std::string&) override { return said("savepoint", Code::kOk); }
  Status releaseSavepoint(Savepoint, const std::string&) override { return said("release", script_.release); }
  Status undoToSavepoint(Savepoint, const std::string&) override { return said("undo", script_.undo); }
  Status commitTransaction() override { return said("commit", script_.commit); }
  void rollBackTransaction() override { log.push_back("roll back"); }
  bool holdsBatchAfter(const Status&) override { return script_.holdsBatch; }

 private:
  Status said(const char* statement, Code code) {
    log.push_back(statement);
    return failure(code, statement);
  }

  Script script_;
  int rows_ = 0;
};

const char* nameOf(Code code) {
  switch (code) {
    case Code::kOk:
      return "ok";
    case Code::kRowRefused:
      return "refused";
    case Code::kChangesUndone:
      return "undone";
    case Code::kWalkUndone:
      return "walk undone";
    case Code::kFileInUse:
      return "in use";
    case Code::kIoError:
      return "io";
    default:
      return "other";
  }
}

struct BranchCase {
  const char* name;
  Script script;
  // What each write, the end of each walk and the save answered: two walks,
  // over History and Labor, of two rows each, then the save.
  std::string answers;
  std::string statements;  // the engine's, joined by ", "
  const char* lostTables = nullptr;  // named in the last failure's message: what it lost
};

void PrintTo(const BranchCase& branch, std::ostream* out) { *out << branch.name; }

class WalkBatchBranches : public ::testing::TestWithParam<BranchCase> {};

TEST_P(WalkBatchBranches, AnswerAsTheBasePromises) {
  const BranchCase& branch = GetParam();
  ScriptedStore store(branch.script);
  std::string answers;
  std::string lost;
  const auto note = [&](const Status& status) {
    answers += std::string(answers.empty() ? "" : " ") + nameOf(status.code());
    if (!status.isOk()) lost = status.reason();
  };
  for (const char* table : {"History", "Labor"}) {
    RowSet set;
    set.table = table;
    note(store.update(set, 1, {}));
    note(store.update(set, 2, {}));
    note(store.endWalk());
  }
  note(store.commit());
  std::string statements;
  for (const std::string& statement : store.log) statements += (statements.empty() ? "" : ", ") + statement;

  EXPECT_EQ(answers, branch.answers);
  EXPECT_EQ(statements, branch.statements);
  if (branch.lostTables != nullptr) {
    EXPECT_NE(lost.find(branch.lostTables), std::string::npos) << lost;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Base, WalkBatchBranches,
    ::testing::Values(
        BranchCase{"EveryWriteKept", {}, "ok ok ok ok ok ok ok",
                   "begin, savepoint, release, savepoint, release, commit"},
        BranchCase{"ARowRefusedAlone", {.failingRow = 2, .write = Code::kRowRefused}, "ok refused ok ok ok ok ok",
                   "begin, savepoint, release, savepoint, release, commit"},
        BranchCase{"TroubleWithTheFileUndoesItsWalkAlone",
                   {.failingRow = 4, .write = Code::kFileInUse},
                   "ok ok ok ok in use walk undone ok",
                   "begin, savepoint, release, savepoint, undo, commit"},
        BranchCase{"ALostBatchRefusesTheRestOfItsWalk",
                   {.failingRow = 3, .write = Code::kIoError, .holdsBatch = false},
                   "ok ok ok undone undone ok ok",
                   "begin, savepoint, release, savepoint, roll back", "earlier steps on History"},
        BranchCase{"AFailingReleaseUndoesTheBatchNamingItsWalks",
                   {.release = Code::kIoError},
                   "ok ok undone ok ok undone ok",
                   "begin, savepoint, release, roll back, begin, savepoint, release, roll back", "that step"},
        BranchCase{"AFailingUndoOfTheWalkUndoesTheBatch",
                   {.undo = Code::kIoError, .failingRow = 4, .write = Code::kFileInUse},
                   "ok ok ok ok in use undone ok",
                   "begin, savepoint, release, savepoint, undo, roll back", "History, Labor"},
        BranchCase{"AFailingSaveNamesEveryWalkItLost",
                   {.commit = Code::kIoError},
                   "ok ok ok ok ok ok undone",
                   "begin, savepoint, release, savepoint, release, commit", "History, Labor"},
        BranchCase{"WithoutSavepointsEachWalkIsSavedAsItEnds", {.savepoints = false}, "ok ok ok ok ok ok ok",
                   "begin, commit, begin, commit"},
        BranchCase{"WithoutSavepointsAFailingSaveLosesItsWalkOnly",
                   {.savepoints = false, .commit = Code::kIoError},
                   "ok ok undone ok ok undone ok", "begin, commit, begin, commit", "that step"}),
    [](const ::testing::TestParamInfo<BranchCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrova::data
