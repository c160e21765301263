// The storage engine behind the gateway.
//
// ShopDataControl keeps the record set's position, edit buffer and find
// result itself; an engine only has to open a file, fix the rows that meet a
// record source, and read, write and delete those rows by their identity.
// SQLite is the engine today (sqlite_store.h); another one is added by
// implementing these two classes, without touching the passes.

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/shop_path.h"
#include "data/status.h"

namespace kestrova::data {

// A field's value: a text, or no value at all (Null).
using FieldValue = std::optional<std::string>;

// The identity of a row in its table, stable while the row exists.
using RowId = std::int64_t;

// The rows that met a record source when it was opened, in its order.
struct RowSet {
  std::string table;                 // the table the rows belong to
  std::vector<std::string> columns;  // the record source's columns, as the table names them
  std::vector<RowId> rows;
  // The record source's values as the rows were read when the set was
  // opened, row by row (rows.size() * columns.size() of them), or empty when
  // the engine keeps none: the gateway then reads each field from the store.
  std::vector<FieldValue> values = {};

  // Empties the set and keeps the room its vectors have, for the next set
  // read into it.
  void clear() {
    table.clear();
    columns.clear();
    rows.clear();
    values.clear();
  }
};

struct FieldWrite {
  std::string column;
  std::string value;

  friend bool operator==(const FieldWrite&, const FieldWrite&) = default;
};

// A value exactly as the engine stores it (its type included), for a journal
// that must put a row back as it was.
struct StoredValue {
  enum class Type { kNull, kInteger, kReal, kText, kBlob };
  Type type = Type::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;  // the text or the blob

  static StoredValue null() { return {}; }
  static StoredValue text(std::string value) { return {Type::kText, 0, 0, std::move(value)}; }

  friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

struct StoredField {
  std::string column;
  StoredValue value;

  friend bool operator==(const StoredField&, const StoredField&) = default;
};
using StoredRow = std::vector<StoredField>;

// One open database file.
//
// Writes are gathered into one batch that begins with the first write and
// ends at commit(); a write that the engine refuses is undone alone and the
// batch goes on. If the engine had to undo the whole batch, that write and
// every later one until commit() fail with kChangesUndone.
class DatabaseStore {
 public:
  virtual ~DatabaseStore() = default;

  // Fixes the rows that meet `recordSource`: a SELECT of one table, or the
  // bare name of a table (all its rows).
  virtual Status select(std::string_view recordSource, RowSet* out) = 0;

  // REQUIRES: `column` is one of `set.columns`; `row` is one of `set.rows`.
  virtual Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) = 0;
  virtual Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) = 0;
  virtual Status remove(const RowSet& set, RowId row) = 0;

  // Sets `*position` to the index in `set.rows` of the first row that meets
  // `condition`, or to set.rows.size() when none does.
  virtual Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) = 0;

  // How many keys a SELECT of rows by a list of keys ("where AutoID IN
  // (...)") may name. A store whose driver refuses a longer list lowers it
  // when the SELECT fails, so that the caller tries again with fewer.
  virtual std::size_t keysPerSelect() const { return 1000; }

  // Makes the batch permanent. On failure nothing of the batch is kept.
  virtual Status commit() = 0;

  // Ends a walk over a table: the walk's writes stay in the batch, and a walk
  // that failed as a whole is undone alone (kWalkUndone), leaving the
  // earlier walks of the batch as they were. An engine that cannot undo one
  // walk alone commits the batch here instead, as commit() does; it says so
  // through walksShareBatch().
  virtual Status endWalk() { return commit(); }
  // Whether endWalk() leaves the batch open for the next walk.
  virtual bool walksShareBatch() const { return false; }

  // A failed row of updateRows() or removeRows(): its index in `rows`, and
  // what update() or remove() would have returned for it.
  struct RowFailure {
    std::size_t index;
    Status status;
  };

  // The same writes into each of `rows` (rows of `set`), with the outcome
  // update() would give each, made one by one in order; `failures` gets the
  // rows that failed, in order. An engine may make them in fewer statements.
  virtual void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                          std::vector<RowFailure>* failures);
  // The same for remove().
  virtual void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures);

  // Whole rows by identity, for journals and their undo. An engine that does
  // not offer them fails each call with kBadRecordSource.
  // readRow: every column of the row, as stored; kRowGone when there is none.
  virtual Status readRow(std::string_view table, RowId row, StoredRow* out);
  // writeRow: sets the given columns of an existing row to exactly these
  // values, inside the batch like update().
  virtual Status writeRow(std::string_view table, RowId row, const StoredRow& fields);
  // insertRow: adds a row with this identity, inside the batch; fails with
  // kRowRefused when the identity is taken.
  virtual Status insertRow(std::string_view table, RowId row, const StoredRow& fields);
  // Where a table's rows keep no identity of their own (an ODBC table
  // without a key), the identity a journal kept means nothing to a later
  // run: rowNow() gives the identity under which the row holding exactly
  // `image` (its columns as the journal kept them) is found now, kRowGone
  // when none does. Elsewhere `row` itself.
  virtual Status rowNow(std::string_view table, RowId row, const StoredRow& image, RowId* out) {
    (void)table;
    (void)image;
    *out = row;
    return Status::ok();
  }

  // What the check a shop runs before its first combine asks of a file.
  // How the file is opened ("as a SQLite file"); empty when not told.
  virtual std::string openedAs() const { return {}; }
  // How the rows of `set.table` are told apart ("by SQLite's rowid");
  // empty when not told.
  virtual std::string rowIdentity(const RowSet&) { return {}; }
  // Whether the file takes a write: `column` of the set's first row is
  // written with the value it holds, and the write is undone at once, so
  // nothing of it is kept. REQUIRES: no write of the store is pending.
  virtual Status tryWrite(const RowSet& set, const std::string& /*column*/) {
    return notOffered("trying a write into", set.table);
  }

  // The file's name as the caller gave it, for messages.
  virtual const std::string& name() const = 0;

 private:
  Status notOffered(std::string_view operation, std::string_view table);
};

inline Status DatabaseStore::notOffered(std::string_view operation, std::string_view table) {
  return Status::error(Status::Code::kBadRecordSource, name(), std::string(operation) + " " + std::string(table),
                       "this database engine cannot read or write whole rows");
}
inline void DatabaseStore::updateRows(const RowSet& set, std::span<const RowId> rows,
                                      std::span<const FieldWrite> writes, std::vector<RowFailure>* failures) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Status status = update(set, rows[i], writes);
    if (!status.isOk()) failures->push_back(RowFailure{i, std::move(status)});
  }
}
inline void DatabaseStore::removeRows(const RowSet& set, std::span<const RowId> rows,
                                      std::vector<RowFailure>* failures) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Status status = remove(set, rows[i]);
    if (!status.isOk()) failures->push_back(RowFailure{i, std::move(status)});
  }
}
inline Status DatabaseStore::readRow(std::string_view table, RowId, StoredRow*) {
  return notOffered("reading a row of", table);
}
inline Status DatabaseStore::writeRow(std::string_view table, RowId, const StoredRow&) {
  return notOffered("writing a row of", table);
}
inline Status DatabaseStore::insertRow(std::string_view table, RowId, const StoredRow&) {
  return notOffered("inserting a row into", table);
}

class StoreEngine {
 public:
  virtual ~StoreEngine() = default;

  // Opens an existing database file. Never creates one: a missing file fails
  // with kFileMissing, a file that is not a database with kNotADatabase, and
  // neither is changed. `name` is used in messages.
  virtual Status open(const std::filesystem::path& path, const std::string& name,
                      std::unique_ptr<DatabaseStore>* out) = 0;

  // How the engine tells its data sources apart, so that a file named by
  // the shop's data cannot reach one of the shop's own files under another
  // name. Files: the same file on the disk, through any link or spelling.
  virtual bool reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const {
    return sameShopFile(a, b);
  }
  // Whether the engine reaches a data source by a file's bare name alone,
  // so that names in two folders reach the same source.
  virtual bool dropsFolders() const { return false; }
  // What stands behind the file names, recorded with a journal's shop so
  // that a journal cannot be taken for one of another shop.
  virtual std::string sourceKind() const { return "SQLite files"; }
};

// An engine that hands out another engine's stores, telling its data
// sources apart as that one does.
class ForwardingEngine : public StoreEngine {
 public:
  explicit ForwardingEngine(StoreEngine& inner) : inner_(inner) {}
  bool reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const override {
    return inner_.reachesSameSource(a, b);
  }
  bool dropsFolders() const override { return inner_.dropsFolders(); }
  std::string sourceKind() const override { return inner_.sourceKind(); }

 protected:
  StoreEngine& inner_;
};

}  // namespace kestrova::data
