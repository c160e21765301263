// The part of a store that keeps its writes safe, whatever the engine: one
// batch per open file that begins with the first write and ends at
// commit(), each walk in a savepoint of its own where the engine takes
// them, writes of many rows in chunks that fall back to one row at a time,
// and the words of what a failure took with it.
//
// A store derived from it supplies only its engine's own statements (begin,
// savepoint, release, roll back to a savepoint, commit, roll back, and
// whether the engine still holds the batch after a failure) and runs its
// statements through writeOne() and inChunks(). It promises what
// DatabaseStore promises: a write the engine refuses is undone alone; a
// failure that may have cost more than its statement undoes the whole batch
// and refuses every later write until the walk ends; a walk that met
// trouble with the file itself is undone alone when it ends (kWalkUndone);
// a save that fails names every walk it lost (kChangesUndone).

#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "data/engine_failures.h"
#include "data/record_store.h"

namespace kestrova::data {

class WalkBatchStore : public DatabaseStore {
 public:
  Status commit() override;
  Status endWalk() override;
  bool walksShareBatch() const override { return savepoints_; }
  Status tryWrite(const RowSet& set, const std::string& column) override;
  const std::string& name() const override { return name_; }

 protected:
  // `savepoints`: the engine takes a savepoint inside the batch, so walks
  // share the batch; without them every endWalk() commits.
  WalkBatchStore(std::string name, bool savepoints) : name_(std::move(name)), savepoints_(savepoints) {}

  enum class Savepoint { kWalk, kChunk };

  // The engine's own statements; each failure in the tool's words.
  virtual Status beginTransaction(const std::string& operation) = 0;
  virtual Status openSavepoint(Savepoint savepoint, const std::string& operation) = 0;
  // Both fail too when the engine no longer holds the batch afterwards.
  virtual Status releaseSavepoint(Savepoint savepoint, const std::string& operation) = 0;
  virtual Status undoToSavepoint(Savepoint savepoint, const std::string& operation) = 0;  // and releases it
  // Makes the batch permanent; on failure the engine keeps nothing of it.
  virtual Status commitTransaction() = 0;
  // Undoes whatever the engine still holds of the batch.
  virtual void rollBackTransaction() = 0;
  // Whether the engine still holds the batch after `failed`, which a
  // statement of it returned: only then is the failure the statement's alone.
  virtual bool holdsBatchAfter(const Status& failed) = 0;

  bool inBatch() const { return inBatch_; }
  // Once the batch cannot go on, every write fails with this until the
  // walk ends; ok otherwise.
  const Status& batchRefusal() const { return batchRefusal_; }

  // Runs one write by identity of a row of `table` inside the batch:
  // `step(&changed)` runs the prepared statement and returns its failure,
  // or ok and the rows it changed (0: the row is gone). `operation()` gives
  // the operation's words, asked for only when there is something to report.
  template <class Operation, class Step>
  Status writeOne(const std::string& table, Operation operation, Step step);

  static constexpr std::size_t kChunkRows = 250;
  // The rows of a chunk from now on: at most kChunkRows, fewer once the
  // engine refused a statement naming that many (the Access engine takes
  // at most 40 terms in a WHERE, and counts an IN list's items among them).
  std::size_t chunkRows() const { return chunkRows_; }
  void narrowChunks(std::size_t rows) { chunkRows_ = std::min(chunkRows_, rows); }

  // An engine without savepoints saves each walk as it ends, and a long
  // walk also every kRowsPerSave rows: no transaction then grows past what
  // such an engine holds in one (the Access engine commits on its own past
  // its lock limit, 9,500 by default, each row taking a lock or more), so
  // that "undone" stays true of what a failure undoes. A failure then
  // undoes the rows since the last save only; the rows saved stay
  // re-pointed, and the same combine run again finishes the rest.
  static constexpr std::int64_t kRowsPerSave = 1000;

  // What a chunk that changed fewer rows than it names needs before its
  // rows go one by one: an update is harmless to make again; a delete is
  // not (the rows it did delete would then be told they were gone), so it is
  // undone first, to a savepoint of the chunk's own.
  enum class ShortChunk { kRepeat, kUndoFirst };

  // Writes `rows` kChunkRows at a time: `prepare(chunk)` readies the
  // chunk's statement (false: the chunk goes row by row), `run(chunk,
  // &changed)` runs it as writeOne()'s step does. A chunk whose statement
  // fails or changes fewer rows than it names goes row by row through
  // `oneByOne(row)`, so that every row gets exactly the outcome it would get
  // alone; a failure that cost the batch refuses the rest, as for one row.
  template <class Prepare, class Run, class OneByOne>
  void inChunks(std::span<const RowId> rows, const std::string& table, const std::string& operation,
                ShortChunk shortChunk, Prepare prepare, Run run, OneByOne oneByOne, std::vector<RowFailure>* failures);

  // Deletes `rows` in chunks for an engine whose count of deleted rows
  // cannot tell which rows of a chunk were gone already, and which cannot
  // undo one chunk alone: `lookUp(chunk, &present)` finds the rows still
  // there, the others are told they are gone, and only the rows found are
  // deleted together, through inChunks().
  template <class LookUp, class Prepare, class Run, class OneByOne>
  void removePresentInChunks(std::span<const RowId> rows, const std::string& table, const std::string& operation,
                             LookUp lookUp, Prepare prepare, Run run, OneByOne oneByOne,
                             std::vector<RowFailure>* failures);

 private:
  // Opens the batch, if it is not open, and the walk's savepoint, if the
  // walk has not written yet.
  Status beginWalk(const std::string& table, const std::string& operation);
  // A write that failed: refused alone, or the end of the batch.
  Status writeFailed(Status failed);
  // The batch is undone after `failed`; every later write is refused until
  // the walk ends, told that its change is undone when the batch had any.
  Status loseBatch(const Status& failed);
  // A chunk's failure cost the batch: its first row is told so, and every
  // other row is refused as it would be alone.
  void loseBatchInChunk(const Status& failed, std::size_t at, std::size_t size, std::vector<RowFailure>* failures);
  // The engine no longer holds the batch as a walk ends, or cannot be
  // trusted to: it is undone, and every walk it held is named.
  Status batchUndone(const Status& failed);
  // The walk's table joins those of the batch's kept walks.
  void keepWalk();
  // Trouble with the file itself, as opposed to one row the engine refused.
  void noteTrouble(const Status& failed);
  // `changed` more rows were written: the rows so far are saved when they
  // reach kRowsPerSave on an engine without savepoints.
  Status wrote(std::int64_t changed);
  // What a failure undid: "every change of that step", or those since its
  // rows were last saved.
  std::string undoneOfStep() const;

  std::string name_;
  bool savepoints_;
  bool inBatch_ = false;
  bool inWalk_ = false;        // the walk has begun to write, inside the batch
  bool batchWritten_ = false;  // some row of the batch was changed
  std::int64_t batchRows_ = 0;  // rows written in the batch
  bool partSaved_ = false;      // some rows of the walk were saved before it ended
  std::string walkTable_;
  std::vector<std::string> walkTables_;  // the tables of the walks kept in the batch so far
  Status walkTrouble_;                   // the first trouble with the file in this walk
  Status batchRefusal_;
  std::size_t chunkRows_ = kChunkRows;
};

template <class Operation, class Step>
Status WalkBatchStore::writeOne(const std::string& table, Operation operation, Step step) {
  if (!batchRefusal_.isOk()) return batchRefusal_;
  if (!inWalk_) {
    if (Status begun = beginWalk(table, operation()); !begun.isOk()) {
      batchRefusal_ = std::move(begun);
      return batchRefusal_;
    }
  }
  std::int64_t changed = 0;
  if (Status failed = step(&changed); !failed.isOk()) return writeFailed(std::move(failed));
  if (changed == 0) return rowRemovedMeanwhile(name_, operation(), table);
  batchWritten_ = true;
  return wrote(changed);
}

template <class Prepare, class Run, class OneByOne>
void WalkBatchStore::inChunks(std::span<const RowId> rows, const std::string& table, const std::string& operation,
                              ShortChunk shortChunk, Prepare prepare, Run run, OneByOne oneByOne,
                              std::vector<RowFailure>* failures) {
  const bool guarded = shortChunk == ShortChunk::kUndoFirst;
  for (std::size_t at = 0, size = 0; at < rows.size(); at += size) {
    const std::span<const RowId> chunk = rows.subspan(at, std::min(chunkRows_, rows.size() - at));
    size = chunk.size();
    const auto rowByRow = [&] {
      for (std::size_t i = 0; i < chunk.size(); ++i) {
        Status status = oneByOne(chunk[i]);
        if (!status.isOk()) failures->push_back(RowFailure{at + i, std::move(status)});
      }
    };
    if (!batchRefusal_.isOk() || chunk.size() == 1) {
      rowByRow();  // gives every row the refusal it would get alone
      continue;
    }
    if (Status begun = beginWalk(table, operation); !begun.isOk()) {
      batchRefusal_ = std::move(begun);  // as the first row alone would have found it
      for (std::size_t i = 0; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, batchRefusal_});
      continue;
    }
    if (!prepare(chunk) || (guarded && !openSavepoint(Savepoint::kChunk, operation).isOk())) {
      rowByRow();
      continue;
    }
    std::int64_t changed = 0;
    const Status failed = run(chunk, &changed);
    if (!failed.isOk() && !holdsBatchAfter(failed)) {
      loseBatchInChunk(failed, at, chunk.size(), failures);  // the chunk's savepoint went with the batch
      continue;
    }
    // Otherwise a failed statement was undone alone.
    const bool whole = failed.isOk() && changed == static_cast<std::int64_t>(chunk.size());
    if (guarded) {
      const Status ended =
          whole ? releaseSavepoint(Savepoint::kChunk, operation) : undoToSavepoint(Savepoint::kChunk, operation);
      if (!ended.isOk() && !holdsBatchAfter(ended)) {
        loseBatchInChunk(ended, at, chunk.size(), failures);
        continue;
      }
      if (!ended.isOk()) {
        // What the chunk did cannot be told: the walk is undone when it ends.
        noteTrouble(ended);
        for (std::size_t i = 0; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, ended});
        continue;
      }
    }
    if (whole || (!guarded && changed > 0)) {
      batchWritten_ = true;
      if (Status saved = wrote(changed); !saved.isOk()) {
        for (std::size_t i = whole ? chunk.size() : 0; i < chunk.size(); ++i) {
          failures->push_back(RowFailure{at + i, saved});
        }
        continue;
      }
    }
    if (!whole) rowByRow();  // one by one finds the refused and the gone rows
  }
}

template <class LookUp, class Prepare, class Run, class OneByOne>
void WalkBatchStore::removePresentInChunks(std::span<const RowId> rows, const std::string& table,
                                           const std::string& operation, LookUp lookUp, Prepare prepare, Run run,
                                           OneByOne oneByOne, std::vector<RowFailure>* failures) {
  for (std::size_t at = 0, size = 0; at < rows.size(); at += size) {
    const std::span<const RowId> chunk = rows.subspan(at, std::min(chunkRows_, rows.size() - at));
    size = chunk.size();
    std::unordered_set<RowId> present;
    if (!batchRefusal_.isOk() || chunk.size() == 1 || !lookUp(chunk, &present).isOk()) {
      for (std::size_t i = 0; i < chunk.size(); ++i) {
        Status status = oneByOne(chunk[i]);
        if (!status.isOk()) failures->push_back(RowFailure{at + i, std::move(status)});
      }
      continue;
    }
    std::vector<RowId> found;
    std::vector<std::size_t> index;  // of each found row in `rows`
    std::vector<RowFailure> chunkFailures;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
      if (present.contains(chunk[i])) {
        found.push_back(chunk[i]);
        index.push_back(at + i);
      } else {
        chunkFailures.push_back(RowFailure{at + i, rowRemovedMeanwhile(name_, operation, table)});
      }
    }
    std::vector<RowFailure> foundFailures;
    inChunks(found, table, operation, ShortChunk::kRepeat, prepare, run, oneByOne, &foundFailures);
    for (RowFailure& failure : foundFailures) {
      chunkFailures.push_back(RowFailure{index[failure.index], std::move(failure.status)});
    }
    std::sort(chunkFailures.begin(), chunkFailures.end(),
              [](const RowFailure& a, const RowFailure& b) { return a.index < b.index; });
    for (RowFailure& failure : chunkFailures) failures->push_back(std::move(failure));
  }
}

}  // namespace kestrova::data
