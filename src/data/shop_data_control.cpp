#include "data/shop_data_control.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <system_error>
#include <utility>

#include "data/ascii_text.h"
#include "data/shop_path.h"
#include "data/sql_text.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

// Where a file's name points now, as an absolute path: the same name in
// another current folder is another file.
Status placeOf(const std::string& name, std::filesystem::path* out) {
  Status resolved = resolveShopPath(name, out);
  if (!resolved.isOk()) return resolved;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(*out, error);
  if (!error) *out = absolute.lexically_normal();
  return Status::ok();
}

}  // namespace

ShopDataControl::ShopDataControl(StoreEngine& engine) : engine_(engine) {}

ShopDataControl::~ShopDataControl() { close(); }

void ShopDataControl::setDatabaseName(std::string name) {
  databaseName_ = std::move(name);
  reopenFile_ = true;
}

void ShopDataControl::setRecordSource(std::string source) {
  recordSource_ = std::move(source);
  keySource_.reset();
}

void ShopDataControl::setRecordSourceOfKeys(std::string select, std::string column, std::vector<std::string> keys) {
  recordSource_ = select + " where " + column + " IN (...)";
  keySource_ = KeySource{std::move(select), std::move(column), std::move(keys)};
}

Status ShopDataControl::selectKeys(RowSet* out) {
  const KeySource& source = *keySource_;
  out->clear();
  RowSet part;
  for (std::size_t from = 0; from < source.keys.size();) {
    const std::size_t count = std::min(std::max<std::size_t>(store_->keysPerSelect(), 1), source.keys.size() - from);
    std::string sql = source.select + " where " + source.column + " IN (";
    for (std::size_t k = from; k < from + count; ++k) {
      sql += (k == from ? "'" : ", '") + sqlQuoteBody(source.keys[k]) + "'";
    }
    sql += ") order by " + source.column;
    Status selected = store_->select(sql, &part);
    // A store that found the list too long for its driver says so by taking fewer keys from now on.
    if (!selected.isOk() && store_->keysPerSelect() < count) continue;
    if (!selected.isOk()) {
      out->clear();
      return selected;
    }
    if (out->columns.empty()) {
      out->table = part.table;
      out->columns = part.columns;
    }
    out->rows.insert(out->rows.end(), part.rows.begin(), part.rows.end());
    out->values.insert(out->values.end(), std::make_move_iterator(part.values.begin()),
                       std::make_move_iterator(part.values.end()));
    from += count;
  }
  return Status::ok();
}

bool ShopDataControl::namesOpenFile(const std::string& name) const {
  std::filesystem::path path;
  return store_ != nullptr && placeOf(name, &path).isOk() && path == storePath_;
}

bool ShopDataControl::reachSameSource(const std::string& name, const std::string& other) const {
  std::filesystem::path path;
  std::filesystem::path otherPath;
  return placeOf(name, &path).isOk() && placeOf(other, &otherPath).isOk() && engine_.reachesSameSource(path, otherPath);
}

Status ShopDataControl::saveWrites(Status (DatabaseStore::*save)()) {
  Status firstRefusal;
  const Status held = saveHeldUpdates([&](const Status& failed) {
    if (firstRefusal.isOk()) firstRefusal = failed;
  });
  const Status committed = store_ ? (store_.get()->*save)() : Status::ok();
  return !committed.isOk() ? committed : !held.isOk() ? held : firstRefusal;
}

Status ShopDataControl::commitWrites() { return saveWrites(&DatabaseStore::commit); }

Status ShopDataControl::endWalk() { return saveWrites(&DatabaseStore::endWalk); }

Status ShopDataControl::close() {
  Status saved;
  if (store_) {
    saved = commitWrites();
    store_.reset();
  }
  storePath_.clear();
  recordSet_.reset();
  return saved;
}

Status ShopDataControl::openPendingFile(const std::filesystem::path& path) {
  store_.reset();
  return engine_.open(path, databaseName_, &store_);
}

Status ShopDataControl::refresh() {
  std::filesystem::path path;
  Status resolved;
  bool sameFile = !reopenFile_;
  if (reopenFile_) {
    resolved = placeOf(databaseName_, &path);
    sameFile = store_ != nullptr && resolved.isOk() && path == storePath_;
  }
  // The previous record set goes first, whatever happens next: a caller
  // that carries on after a failed refresh must find nothing to walk, not
  // the previous table's rows. A file that is left is saved first.
  const Status saved = sameFile ? endWalk() : commitWrites();
  // The next record set takes over the room of the previous one's rows and
  // values, so that walk after walk over thousands of rows does not ask for
  // that memory anew and fill it again as it grows.
  RecordSet opened;
  if (recordSet_) {
    opened.rows = std::move(recordSet_->rows);
    opened.rows.clear();
  }
  recordSet_.reset();
  if (!saved.isOk()) return saved;

  if (reopenFile_) {
    reopenFile_ = false;
    if (!sameFile) {
      storePath_.clear();
      if (!resolved.isOk()) {
        store_.reset();
        return resolved;
      }
      Status opened = openPendingFile(path);
      if (!opened.isOk()) return opened;
      storePath_ = path;
    }
  }
  if (!store_) {
    return Status::error(Code::kNoRecordSet, databaseName_, "opening \"" + recordSource_ + "\"",
                         "no database file is open");
  }
  Status selected = keySource_ ? selectKeys(&opened.rows) : store_->select(recordSource_, &opened.rows);
  if (!selected.isOk()) return selected;
  opened.deleted.assign(opened.rows.rows.size(), false);
  recordSet_ = std::move(opened);
  return Status::ok();
}

Status ShopDataControl::noRecordSet(const char* operation) const {
  return Status::error(Code::kNoRecordSet, databaseName_, operation, "no table is open, because opening it failed");
}

Status ShopDataControl::noCurrentRow(const char* operation) const {
  return Status::error(Code::kNoCurrentRow, databaseName_, operation, "there is no current row");
}

bool ShopDataControl::onRow() const {
  return recordSet_ && recordSet_->position < recordSet_->rows.rows.size() &&
         !recordSet_->deleted[recordSet_->position];
}

Status ShopDataControl::columnOf(std::string_view column, const char* operation, std::string* name) const {
  for (const std::string& known : recordSet_->rows.columns) {
    if (sameIgnoringCase(known, column)) {
      *name = known;
      return Status::ok();
    }
  }
  return Status::error(
      Code::kNoSuchColumn, databaseName_, operation,
      "the column " + std::string(column) + " is not among the columns read from " + recordSet_->rows.table);
}

Status ShopDataControl::recordCount(std::size_t* count) const {
  if (!recordSet_) return noRecordSet("counting rows");
  *count = recordSet_->rows.rows.size();
  return Status::ok();
}

Status ShopDataControl::eof(bool* atEnd) const {
  if (!recordSet_) return noRecordSet("reading the position");
  *atEnd = recordSet_->position >= recordSet_->rows.rows.size();
  return Status::ok();
}

Status ShopDataControl::moveNext() {
  if (!recordSet_) return noRecordSet("moving to the next row");
  if (recordSet_->position >= recordSet_->rows.rows.size()) return noCurrentRow("moving to the next row");
  ++recordSet_->position;
  recordSet_->edit.drop();  // an edit not saved is dropped
  return Status::ok();
}

Status ShopDataControl::edit() {
  if (!recordSet_) return noRecordSet("editing a row");
  if (!onRow()) return noCurrentRow("editing a row");
  recordSet_->edit.start();
  return Status::ok();
}

Status ShopDataControl::setField(std::string_view column, std::string value) {
  if (!recordSet_) return noRecordSet("setting a field");
  if (!onRow() || !recordSet_->edit.open) return noCurrentRow("setting a field");
  std::string name;
  Status known = columnOf(column, "setting a field", &name);
  if (!known.isOk()) return known;
  auto& writes = recordSet_->edit.writes;
  const auto same = std::find_if(writes.begin(), writes.end(), [&](const FieldWrite& w) { return w.column == name; });
  if (same != writes.end()) {
    same->value = std::move(value);
  } else {
    writes.push_back(FieldWrite{std::move(name), std::move(value)});
  }
  return Status::ok();
}

Status ShopDataControl::update() {
  if (!recordSet_) return noRecordSet("saving a row");
  if (!onRow() || !recordSet_->edit.open) return noCurrentRow("saving a row");
  if (recordSet_->edit.writes.empty()) {  // an edit that set nothing saves nothing
    recordSet_->edit.drop();
    return Status::ok();
  }
  Status saved = store_->update(recordSet_->rows, recordSet_->rows.rows[recordSet_->position], recordSet_->edit.writes);
  // A failed update keeps its pending values until the walk moves on.
  if (saved.isOk()) {
    for (FieldWrite& write : recordSet_->edit.writes) {
      if (FieldValue* kept = keptValue(recordSet_->position, write.column)) *kept = std::move(write.value);
    }
    recordSet_->edit.drop();
  }
  return saved;
}

Status ShopDataControl::deleteRow() {
  if (!recordSet_) return noRecordSet("deleting a row");
  if (!onRow()) return noCurrentRow("deleting a row");
  recordSet_->edit.drop();
  Status removed = store_->remove(recordSet_->rows, recordSet_->rows.rows[recordSet_->position]);
  // The position stays on the removed row; moveNext() goes on to the next.
  if (removed.isOk()) recordSet_->deleted[recordSet_->position] = true;
  return removed;
}

Status ShopDataControl::field(std::string_view column, FieldValue* value) {
  if (!recordSet_) return noRecordSet("reading a field");
  if (!onRow()) return noCurrentRow("reading a field");
  std::string name;
  Status known = columnOf(column, "reading a field", &name);
  if (!known.isOk()) return known;
  for (const FieldWrite& pending : recordSet_->edit.writes) {
    if (pending.column == name) {
      *value = pending.value;
      return Status::ok();
    }
  }
  if (const FieldValue* kept = keptValue(recordSet_->position, name)) {
    *value = *kept;
    return Status::ok();
  }
  return store_->read(recordSet_->rows, recordSet_->rows.rows[recordSet_->position], name, value);
}

Status ShopDataControl::columnToEnd(std::string_view column, std::vector<FieldValue>* values) {
  values->clear();
  if (!recordSet_) return noRecordSet("reading a field");
  std::string name;
  Status known = columnOf(column, "reading a field", &name);
  if (!known.isOk()) return known;
  RecordSet& set = *recordSet_;
  for (std::size_t p = set.position; p < set.rows.rows.size(); ++p) {
    FieldValue& value = values->emplace_back();
    if (set.deleted[p]) continue;
    if (p == set.position && set.edit.open) {
      if (Status read = field(name, &value); !read.isOk()) return read;
    } else if (const FieldValue* kept = keptValue(p, name)) {
      value = *kept;
    } else if (Status read = store_->read(set.rows, set.rows.rows[p], name, &value); !read.isOk()) {
      return read;
    }
  }
  return Status::ok();
}

FieldValue* ShopDataControl::keptValue(std::size_t position, const std::string& column) {
  RowSet& set = recordSet_->rows;
  const std::size_t width = set.columns.size();
  if (set.values.size() != set.rows.size() * width) return nullptr;
  for (std::size_t i = 0; i < width; ++i) {
    if (set.columns[i] == column) return &set.values[position * width + i];
  }
  return nullptr;
}

Status ShopDataControl::updateToEnd(std::string_view column, const std::string& value,
                                    const std::function<void(const Status&)>& failed) {
  if (!recordSet_) return noRecordSet("editing a row");
  RecordSet& set = *recordSet_;
  const std::size_t end = set.rows.rows.size();
  std::string name;
  const Status known = columnOf(column, "setting a field", &name);
  // The rows that get as far as update(); the others fail as edit() or
  // setField() would fail on them.
  std::vector<RowId> targets;
  for (std::size_t p = set.position; p < end; ++p) {
    if (!set.deleted[p] && known.isOk()) targets.push_back(set.rows.rows[p]);
  }
  std::vector<DatabaseStore::RowFailure> refused;
  if (!targets.empty()) {
    const FieldWrite write{name, value};
    store_->updateRows(set.rows, targets, std::span<const FieldWrite>(&write, 1), &refused);
  }
  std::size_t next = 0;  // into targets
  std::size_t nextRefused = 0;
  for (std::size_t p = set.position; p < end; ++p) {
    if (set.deleted[p]) {
      failed(noCurrentRow("editing a row"));
    } else if (!known.isOk()) {
      failed(known);
    } else {
      if (nextRefused < refused.size() && refused[nextRefused].index == next) {
        failed(refused[nextRefused++].status);
      } else if (FieldValue* kept = keptValue(p, name)) {
        *kept = value;
      }
      ++next;
    }
  }
  set.position = end;
  set.edit.drop();
  return Status::ok();
}

Status ShopDataControl::holdUpdate() {
  if (!recordSet_) return noRecordSet("saving a row");
  if (!onRow() || !recordSet_->edit.open) return noCurrentRow("saving a row");
  RecordSet& set = *recordSet_;
  const std::vector<FieldWrite>& writes = set.edit.writes;
  if (!writes.empty()) {  // an edit that set nothing saves nothing
    // The kinds of writes seen last are looked at first; a kind not among
    // the last few is kept again, which costs only a smaller group.
    constexpr std::size_t kKindsLookedAt = 4;
    const std::size_t kinds = set.heldWrites.size();
    const std::size_t oldest = kinds > kKindsLookedAt ? kinds - kKindsLookedAt : 0;
    std::size_t after = kinds;  // one past the kind found
    while (after > oldest && set.heldWrites[after - 1] != writes) --after;
    if (after == oldest) {
      set.heldWrites.push_back(writes);
      after = set.heldWrites.size();
    }
    if (set.held.empty()) {
      // A walk holds the rest of its rows, as a rule: room for them is made
      // once, not again and again as they come.
      const std::size_t rest = set.rows.rows.size() - set.position;
      set.held.reserve(rest);
      set.heldBefore.reserve(rest * writes.size());
    }
    set.held.push_back(RecordSet::HeldUpdate{set.position, after - 1, set.heldBefore.size()});
    for (const FieldWrite& write : writes) {
      FieldValue* kept = keptValue(set.position, write.column);
      set.heldBefore.push_back(kept != nullptr ? *kept : FieldValue{});
      if (kept != nullptr) *kept = write.value;
    }
  }
  set.edit.drop();
  return Status::ok();
}

Status ShopDataControl::saveHeldUpdates(const std::function<void(const Status&)>& failed) {
  if (!recordSet_ || recordSet_->held.empty()) return Status::ok();
  RecordSet& set = *recordSet_;
  const std::vector<RecordSet::HeldUpdate> held = std::exchange(set.held, {});
  const std::vector<std::vector<FieldWrite>> kinds = std::exchange(set.heldWrites, {});
  const std::vector<FieldValue> before = std::exchange(set.heldBefore, {});
  // Rows that get the same writes go to the engine together. When rows get
  // different writes, they go a stretch of rows at a time, so that the
  // table's pages that one kind of write has just read are still in memory
  // when the other kinds reach the same rows.
  constexpr std::size_t kStretch = 256;
  const std::size_t stretch = kinds.size() == 1 ? held.size() : kStretch;
  std::vector<std::pair<std::size_t, Status>> refusals;  // by index into `held`
  std::vector<std::size_t> order;                        // a stretch's rows, by kind of write
  std::vector<RowId> rows;
  std::vector<DatabaseStore::RowFailure> refused;
  for (std::size_t from = 0; from < held.size(); from += stretch) {
    order.resize(std::min(held.size(), from + stretch) - from);
    std::iota(order.begin(), order.end(), from);
    if (kinds.size() > 1) {
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return held[a].writes < held[b].writes; });
    }
    for (std::size_t first = 0, last = 0; first < order.size(); first = last) {
      const std::size_t kind = held[order[first]].writes;
      rows.clear();
      for (last = first; last < order.size() && held[order[last]].writes == kind; ++last) {
        rows.push_back(set.rows.rows[held[order[last]].position]);
      }
      refused.clear();
      store_->updateRows(set.rows, rows, kinds[kind], &refused);
      for (DatabaseStore::RowFailure& failure : refused) {
        refusals.emplace_back(order[first + failure.index], std::move(failure.status));
      }
    }
  }
  std::sort(refusals.begin(), refusals.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [index, status] : refusals) {
    // A refused row keeps what it held.
    const RecordSet::HeldUpdate& row = held[index];
    const std::vector<FieldWrite>& writes = kinds[row.writes];
    for (std::size_t w = 0; w < writes.size(); ++w) {
      if (FieldValue* kept = keptValue(row.position, writes[w].column)) *kept = before[row.before + w];
    }
    failed(status);
  }
  return Status::ok();
}

Status ShopDataControl::deleteToEnd(const std::function<void(const Status&)>& failed) {
  if (!recordSet_) return noRecordSet("deleting a row");
  RecordSet& set = *recordSet_;
  const std::size_t end = set.rows.rows.size();
  std::vector<RowId> targets;
  for (std::size_t p = set.position; p < end; ++p) {
    if (!set.deleted[p]) targets.push_back(set.rows.rows[p]);
  }
  std::vector<DatabaseStore::RowFailure> refused;
  if (!targets.empty()) store_->removeRows(set.rows, targets, &refused);
  std::size_t next = 0;
  std::size_t nextRefused = 0;
  for (std::size_t p = set.position; p < end; ++p) {
    if (set.deleted[p]) {
      failed(noCurrentRow("deleting a row"));
      continue;
    }
    if (nextRefused < refused.size() && refused[nextRefused].index == next) {
      failed(refused[nextRefused++].status);
    } else {
      set.deleted[p] = true;
    }
    ++next;
  }
  set.position = end;
  set.edit.drop();
  return Status::ok();
}

Status ShopDataControl::findFirst(std::string_view condition) {
  if (!recordSet_) return noRecordSet("searching");
  std::size_t found = 0;
  Status searched = store_->findFirst(recordSet_->rows, condition, &found);
  if (!searched.isOk()) return searched;
  recordSet_->edit.drop();
  recordSet_->noMatch = found >= recordSet_->rows.rows.size();
  if (!recordSet_->noMatch) recordSet_->position = found;
  return Status::ok();
}

Status ShopDataControl::noMatch(bool* result) const {
  if (!recordSet_) return noRecordSet("reading the search result");
  *result = recordSet_->noMatch;
  return Status::ok();
}

}  // namespace kestrova::data
