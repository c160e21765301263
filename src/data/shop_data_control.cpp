#include "data/shop_data_control.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "data/shop_path.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

ShopDataControl::ShopDataControl(StoreEngine& engine) : engine_(engine) {}

ShopDataControl::~ShopDataControl() { close(); }

void ShopDataControl::setDatabaseName(std::string name) {
  databaseName_ = std::move(name);
  reopenFile_ = true;
}

void ShopDataControl::setRecordSource(std::string source) { recordSource_ = std::move(source); }

Status ShopDataControl::commitWrites() { return store_ ? store_->commit() : Status::ok(); }

void ShopDataControl::close() {
  recordSet_.reset();
  if (store_) {
    store_->commit();
    store_.reset();
  }
}

Status ShopDataControl::openPendingFile() {
  reopenFile_ = false;
  store_.reset();
  std::filesystem::path path;
  Status resolved = resolveShopPath(databaseName_, &path);
  if (!resolved.isOk()) return resolved;
  return engine_.open(path, databaseName_, &store_);
}

Status ShopDataControl::refresh() {
  // The previous record set goes first, whatever happens next: a caller
  // that carries on after a failed refresh must find nothing to walk, not
  // the previous table's rows.
  const Status saved = commitWrites();
  recordSet_.reset();
  if (!saved.isOk()) return saved;

  if (reopenFile_) {
    Status opened = openPendingFile();
    if (!opened.isOk()) return opened;
  }
  if (!store_) {
    return Status::error(Code::kNoRecordSet, databaseName_, "opening \"" + recordSource_ + "\"",
                         "no database file is open");
  }
  RecordSet opened;
  Status selected = store_->select(recordSource_, &opened.rows);
  if (!selected.isOk()) return selected;
  opened.deleted.assign(opened.rows.rows.size(), false);
  recordSet_ = std::move(opened);
  return Status::ok();
}

Status ShopDataControl::noRecordSet(const char* operation) const {
  return Status::error(Code::kNoRecordSet, databaseName_, operation,
                       "no table is open, because opening it failed");
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
    if (sameNameIgnoringCase(known, column)) {
      *name = known;
      return Status::ok();
    }
  }
  return Status::error(Code::kNoSuchColumn, databaseName_, operation,
                       "the column " + std::string(column) + " is not among the columns read from " +
                           recordSet_->rows.table);
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
  recordSet_->edit.reset();  // an edit not saved is dropped
  return Status::ok();
}

Status ShopDataControl::edit() {
  if (!recordSet_) return noRecordSet("editing a row");
  if (!onRow()) return noCurrentRow("editing a row");
  recordSet_->edit.emplace();
  return Status::ok();
}

Status ShopDataControl::setField(std::string_view column, std::string value) {
  if (!recordSet_) return noRecordSet("setting a field");
  if (!onRow() || !recordSet_->edit) return noCurrentRow("setting a field");
  std::string name;
  Status known = columnOf(column, "setting a field", &name);
  if (!known.isOk()) return known;
  auto& writes = *recordSet_->edit;
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
  if (!onRow() || !recordSet_->edit) return noCurrentRow("saving a row");
  Status saved = store_->update(recordSet_->rows, recordSet_->rows.rows[recordSet_->position], *recordSet_->edit);
  // A failed update keeps its pending values until the walk moves on.
  if (saved.isOk()) recordSet_->edit.reset();
  return saved;
}

Status ShopDataControl::deleteRow() {
  if (!recordSet_) return noRecordSet("deleting a row");
  if (!onRow()) return noCurrentRow("deleting a row");
  recordSet_->edit.reset();
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
  if (recordSet_->edit) {
    for (const FieldWrite& pending : *recordSet_->edit) {
      if (pending.column == name) {
        *value = pending.value;
        return Status::ok();
      }
    }
  }
  return store_->read(recordSet_->rows, recordSet_->rows.rows[recordSet_->position], name, value);
}

Status ShopDataControl::findFirst(std::string_view condition) {
  if (!recordSet_) return noRecordSet("searching");
  std::size_t found = 0;
  Status searched = store_->findFirst(recordSet_->rows, condition, &found);
  if (!searched.isOk()) return searched;
  recordSet_->edit.reset();
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
