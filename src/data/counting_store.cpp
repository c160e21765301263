#include "data/counting_store.h"

#include <set>
#include <utility>
#include <vector>

#include "data/read_through_store.h"

namespace kestrova::data {

class CountingEngine::Store final : public ReadThroughStore {
 public:
  Store(CountingEngine& engine, std::unique_ptr<DatabaseStore> inner)
      : ReadThroughStore(std::move(inner)), engine_(engine) {}

  ~Store() override {
    // The inner store keeps an uncommitted batch when it closes; so are its rows counted.
    if (!pending_.empty() || !walk_.empty()) commit();
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    return counted(inner().update(set, row, writes), set.table, row);
  }
  Status remove(const RowSet& set, RowId row) override { return counted(inner().remove(set, row), set.table, row); }
  Status writeRow(std::string_view table, RowId row, const StoredRow& fields) override {
    return counted(inner().writeRow(table, row, fields), std::string(table), row);
  }
  Status insertRow(std::string_view table, RowId row, const StoredRow& fields) override {
    return counted(inner().insertRow(table, row, fields), std::string(table), row);
  }

  void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                  std::vector<RowFailure>* failures) override {
    const std::size_t before = failures->size();
    inner().updateRows(set, rows, writes, failures);
    countRows(set.table, rows, *failures, before);
  }
  void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures) override {
    const std::size_t before = failures->size();
    inner().removeRows(set, rows, failures);
    countRows(set.table, rows, *failures, before);
  }

  bool walksShareBatch() const override { return inner().walksShareBatch(); }

  // Over an engine that keeps walks in one batch, a walk's rows join the
  // batch when the walk ends and count once the batch commits; a walk the
  // engine undid alone takes its rows out. Over any other engine the end of
  // a walk is a commit.
  Status endWalk() override {
    if (!inner().walksShareBatch()) return commit();
    const Status ended = inner().endWalk();
    if (ended.isOk()) pending_.insert(walk_.begin(), walk_.end());
    if (ended.code() == Status::Code::kChangesUndone) pending_.clear();  // the whole batch went with it
    walk_.clear();
    return ended;
  }

  Status commit() override {
    const Status walk = inner().walksShareBatch() ? endWalk() : Status::ok();
    pending_.insert(walk_.begin(), walk_.end());
    walk_.clear();
    const Status committed = inner().commit();
    if (committed.isOk()) engine_.rowsCommitted_ += pending_.size();
    pending_.clear();
    return committed.isOk() ? walk : committed;
  }

 private:
  Status counted(Status status, const std::string& table, RowId row) {
    if (status.isOk()) {
      walk_.emplace(table, row);
    } else if (status.code() == Status::Code::kChangesUndone) {
      // The engine undid the whole batch: nothing of it is kept.
      pending_.clear();
      walk_.clear();
    }
    return status;
  }

  // The rows of a bulk write that did not fail are in the batch, unless the
  // engine had to undo the whole batch.
  void countRows(const std::string& table, std::span<const RowId> rows, const std::vector<RowFailure>& failures,
                 std::size_t firstNew) {
    std::vector<bool> failed(rows.size(), false);
    for (std::size_t i = firstNew; i < failures.size(); ++i) {
      if (failures[i].status.code() == Status::Code::kChangesUndone) {
        pending_.clear();
        walk_.clear();
        return;
      }
      if (failures[i].index < rows.size()) failed[failures[i].index] = true;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!failed[i]) walk_.emplace(table, rows[i]);
    }
  }

  CountingEngine& engine_;
  std::set<std::pair<std::string, RowId>> pending_;  // (table, row) written by the batch's ended walks
  std::set<std::pair<std::string, RowId>> walk_;     // (table, row) written by the walk under way
};

Status CountingEngine::open(const std::filesystem::path& path, const std::string& name,
                            std::unique_ptr<DatabaseStore>* out) {
  std::unique_ptr<DatabaseStore> inner;
  Status opened = inner_.open(path, name, &inner);
  if (!opened.isOk()) return opened;
  *out = std::make_unique<Store>(*this, std::move(inner));
  return Status::ok();
}

}  // namespace kestrova::data
