#include "data/walk_batch_store.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

std::string joinedTables(const std::vector<std::string>& tables) {
  std::string out;
  for (std::size_t i = 0; i < tables.size(); ++i) out += (i == 0 ? "" : ", ") + tables[i];
  return out;
}

// "none of the rows of the steps on History, Labor in this file were changed"
std::string lostSteps(const std::vector<std::string>& tables) {
  if (tables.size() <= 1) return "none of the rows of that step were changed";
  return "none of the rows of the steps on " + joinedTables(tables) + " in this file were changed";
}

// What a failure leaves of a walk that was saved in parts.
std::string savedBefore() {
  return "the rows saved before stay changed, and the same combine run again finishes the rest";
}

// ", nor of the earlier steps on History in this file", or nothing.
std::string earlierSteps(const std::vector<std::string>& tables) {
  return tables.empty() ? "" : ", nor of the earlier steps on " + joinedTables(tables) + " in this file";
}

void addOnce(std::vector<std::string>* tables, const std::string& table) {
  if (std::find(tables->begin(), tables->end(), table) == tables->end()) tables->push_back(table);
}

}  // namespace

Status WalkBatchStore::tryWrite(const RowSet& set, const std::string& column) {
  const std::string operation = "trying a write into " + set.table;
  if (inBatch_) return Status::error(Code::kBadRecordSource, name_, operation, "changes of this file are pending");
  // The first row that holds a value: it is written with that value.
  FieldValue value;
  std::size_t at = 0;
  for (; at < set.rows.size() && !value; ++at) {
    if (Status read = this->read(set, set.rows[at], column, &value); !read.isOk()) return read;
  }
  if (!value) return Status::error(Code::kRowGone, name_, operation, "no row holds a value to try it with");
  const FieldWrite same{column, *value};
  const Status written = update(set, set.rows[at - 1], std::span(&same, 1));
  // Taken back whatever happened: nothing of the try is kept.
  if (inBatch_) rollBackTransaction();
  inBatch_ = false;
  inWalk_ = false;
  batchWritten_ = false;
  batchRows_ = 0;
  partSaved_ = false;
  walkTables_.clear();
  walkTrouble_ = Status::ok();
  batchRefusal_ = Status::ok();
  return written;
}

Status WalkBatchStore::commit() {
  const Status walk = savepoints_ ? endWalk() : Status::ok();  // a failed walk is undone before the rest is saved
  batchRefusal_ = Status::ok();
  keepWalk();  // without savepoints the walk is still open here
  const std::vector<std::string> steps = std::exchange(walkTables_, {});
  batchRows_ = 0;
  const bool partSaved = std::exchange(partSaved_, false);
  if (!inBatch_) return walk;
  inBatch_ = false;
  if (Status saved = commitTransaction(); !saved.isOk()) {
    return Status::error(Code::kChangesUndone, name_, "saving the changes",
                         saved.reason() + "; " +
                             (partSaved ? "none of the rows of that step since its last save were changed; " + savedBefore()
                                        : lostSteps(steps)));
  }
  return walk;
}

Status WalkBatchStore::wrote(std::int64_t changed) {
  batchRows_ += changed;
  if (savepoints_ || batchRows_ < kRowsPerSave) return Status::ok();
  batchRows_ = 0;
  inBatch_ = false;
  inWalk_ = false;  // the next write begins the walk's next part
  if (Status saved = commitTransaction(); !saved.isOk()) {
    batchRefusal_ = Status::error(Code::kChangesUndone, name_, "saving the changes",
                                  saved.reason() + "; " + (partSaved_ ? savedBefore() : lostSteps({walkTable_})));
    partSaved_ = false;
    return batchRefusal_;
  }
  walkTables_.clear();
  batchWritten_ = false;
  partSaved_ = true;
  return Status::ok();
}

std::string WalkBatchStore::undoneOfStep() const {
  return partSaved_ ? "the database undid the changes of that step since its rows were last saved" +
                          std::string("; ") + savedBefore()
                    : "the database undid every change of that step";
}

// Where the engine takes savepoints, consecutive walks share the batch, each
// inside a savepoint of its own: a walk is kept by releasing its savepoint,
// and one that met trouble with the file itself (a disk error, a lock it
// could not get) is rolled back to it, alone, so that the file never keeps
// half of such a walk. The release is also the proof that the engine still
// holds the walk: one that dropped the transaction without saying so has
// lost the savepoint with it, and the batch is then reported undone, naming
// every walk it held.
Status WalkBatchStore::endWalk() {
  if (!savepoints_) return commit();
  if (!inWalk_) {
    batchRefusal_ = Status::ok();  // a batch undone after a failure ends with its walk
    return Status::ok();
  }
  const Status trouble = std::exchange(walkTrouble_, Status::ok());
  if (!trouble.isOk()) {
    inWalk_ = false;
    if (Status undone = undoToSavepoint(Savepoint::kWalk, trouble.operation()); !undone.isOk()) {
      return batchUndone(undone);
    }
    return Status::error(Code::kWalkUndone, name_, trouble.operation(),
                         trouble.reason() + "; none of the rows of that step were changed");
  }
  if (Status released = releaseSavepoint(Savepoint::kWalk, "saving the changes"); !released.isOk()) {
    return batchUndone(released);
  }
  keepWalk();
  return Status::ok();
}

Status WalkBatchStore::beginWalk(const std::string& table, const std::string& operation) {
  if (inWalk_) return Status::ok();
  if (!inBatch_) {
    if (Status begun = beginTransaction(operation); !begun.isOk()) return begun;
    inBatch_ = true;
    batchWritten_ = false;
  }
  walkTable_ = table;
  if (savepoints_) {
    if (Status opened = openSavepoint(Savepoint::kWalk, operation); !opened.isOk()) {
      return holdsBatchAfter(opened) ? opened : loseBatch(opened);
    }
  }
  inWalk_ = true;
  return Status::ok();
}

Status WalkBatchStore::writeFailed(Status failed) {
  if (!holdsBatchAfter(failed)) return loseBatch(failed);
  noteTrouble(failed);
  return failed;
}

Status WalkBatchStore::loseBatch(const Status& failed) {
  rollBackTransaction();
  inBatch_ = false;
  inWalk_ = false;
  walkTrouble_ = Status::ok();
  const std::vector<std::string> earlier = std::exchange(walkTables_, {});
  if (!batchWritten_) {
    batchRefusal_ = failed;  // nothing was undone: every later write is told the same reason
    return failed;
  }
  batchRefusal_ =
      Status::error(Code::kChangesUndone, name_, failed.operation(),
                    failed.reason() + "; " + undoneOfStep() + earlierSteps(earlier));
  return batchRefusal_;
}

void WalkBatchStore::loseBatchInChunk(const Status& failed, std::size_t at, std::size_t size,
                                      std::vector<RowFailure>* failures) {
  const Status first = loseBatch(failed);
  failures->push_back(RowFailure{at, first});
  for (std::size_t i = 1; i < size; ++i) failures->push_back(RowFailure{at + i, batchRefusal_});
}

Status WalkBatchStore::batchUndone(const Status& failed) {
  rollBackTransaction();
  inBatch_ = false;
  inWalk_ = false;
  std::vector<std::string> steps = std::exchange(walkTables_, {});
  addOnce(&steps, walkTable_);
  return Status::error(Code::kChangesUndone, name_, failed.operation(), failed.reason() + "; " + lostSteps(steps));
}

void WalkBatchStore::keepWalk() {
  if (!inWalk_) return;
  if (!walkTable_.empty()) addOnce(&walkTables_, walkTable_);
  inWalk_ = false;
}

void WalkBatchStore::noteTrouble(const Status& failed) {
  const Code code = failed.code();
  if (walkTrouble_.isOk() && (code == Code::kIoError || code == Code::kFileInUse || code == Code::kReadOnly)) {
    walkTrouble_ = failed;
  }
}

}  // namespace kestrova::data
