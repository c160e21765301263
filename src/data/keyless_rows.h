// The rows of tables without a key, told apart by their values.
//
// A table with no row identifier, no integer primary key and no unique
// integer column gives its rows no lasting identity. Each row selected from
// one is given an identity of the store's own, kept with the values of its
// columns as they were read; a write to it finds the row by all those
// values. The rows it reached tell the rest: none means the row has changed
// or gone since; one is the row; several are copies that no statement can
// tell apart. Copies are written together, and only when the selection
// holds every one of them: a write that reached more is undone by the store
// that made it, so none is kept on a row that was not selected. The copies'
// own later writes, the same write again, then change nothing more. The
// identities last while the store is open: a later run (an undo) finds a
// row again by the values its journal kept.

#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "data/record_store.h"

namespace kestrova::data {

class KeylessRows {
 public:
  // The identity of a row selected with `values`: the one it was given
  // when selected before, else a new one. `taken` holds the identities the
  // selection has given already, so that copies each keep their own.
  // Identities are negative, so that they never pass for a table's own.
  RowId add(const std::string& table, StoredRow values, std::unordered_set<RowId>* taken);
  // An identity for a row not there yet, given its values once it is put
  // in (put()).
  RowId reserve() { return next_--; }
  void put(RowId row, const std::string& table, StoredRow values);
  // The values of `row` as read, with the writes made since; none for an
  // identity this store did not give.
  const StoredRow* values(RowId row) const;

  // The condition that finds the rows holding `values` in the columns of
  // `columns` ("A = ? AND B IS NULL ..."), `quoted` quoting a name, and the
  // values its places take, in order.
  template <class Quote>
  static std::string condition(const StoredRow& values, const std::vector<std::string>& columns, Quote quoted,
                               std::vector<const StoredValue*>* places);

  // What a write did to a row; kept for its copies.
  struct Written {
    bool removed = false;
    StoredRow values;  // the columns written
    friend bool operator==(const Written&, const Written&) = default;
  };
  // The rows of `selected` other than `row` that hold exactly its values
  // and have not been written yet.
  std::vector<RowId> copiesOf(RowId row, std::span<const RowId> selected) const;
  // `row` and `copies` were written together as `written`.
  void wrote(RowId row, const std::vector<RowId>& copies, const Written& written);
  // How `row` was written along with a copy of it; none when it was not.
  const Written* writtenAlong(RowId row) const;

 private:
  struct Row {
    std::string table;
    StoredRow values;
    bool removed = false;
    std::optional<Written> along;
  };
  // The rows by table and values, to find a row selected again.
  static std::string keyOf(const std::string& table, const StoredRow& values);
  void apply(RowId id, Row* row, const Written& written);

  std::map<RowId, Row> rows_;
  std::unordered_map<std::string, std::vector<RowId>> byValues_;
  RowId next_ = -1;
};

template <class Quote>
std::string KeylessRows::condition(const StoredRow& values, const std::vector<std::string>& columns, Quote quoted,
                                   std::vector<const StoredValue*>* places) {
  std::string where;
  for (const std::string& column : columns) {
    const StoredField* field = nullptr;
    for (const StoredField& candidate : values) {
      if (candidate.column == column) field = &candidate;
    }
    if (field == nullptr) continue;
    if (!where.empty()) where += " AND ";
    if (field->value.type == StoredValue::Type::kNull) {
      where += quoted(column) + " IS NULL";
    } else {
      where += quoted(column) + " = ?";
      places->push_back(&field->value);
    }
  }
  return where;
}

}  // namespace kestrova::data
