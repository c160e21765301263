// ReadThroughStore: a store that stands in front of another one, as the
// journal, the preview and the batch's row count do.
//
// Reads go on to the inner store unchanged. Writes do not: update() and
// remove() stay for the store in front to write, and every other write falls
// back to the DatabaseStore defaults, which go through them. So a write can
// never slip past the store in front to the shop's file.

#pragma once

#include <memory>
#include <utility>

#include "data/record_store.h"

namespace kestrova::data {

class ReadThroughStore : public DatabaseStore {
 public:
  explicit ReadThroughStore(std::unique_ptr<DatabaseStore> inner) : inner_(std::move(inner)) {}

  Status select(std::string_view recordSource, RowSet* out) override { return inner_->select(recordSource, out); }
  Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) override {
    return inner_->read(set, row, column, out);
  }
  Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) override {
    return inner_->findFirst(set, condition, position);
  }
  Status readRow(std::string_view table, RowId row, StoredRow* out) override {
    return inner_->readRow(table, row, out);
  }
  Status rowNow(std::string_view table, RowId row, const StoredRow& image, RowId* out) override {
    return inner_->rowNow(table, row, image, out);
  }
  std::size_t keysPerSelect() const override { return inner_->keysPerSelect(); }
  const std::string& name() const override { return inner_->name(); }

 protected:
  DatabaseStore& inner() { return *inner_; }
  const DatabaseStore& inner() const { return *inner_; }

 private:
  std::unique_ptr<DatabaseStore> inner_;
};

}  // namespace kestrova::data
