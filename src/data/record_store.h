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
#include <vector>

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
};

struct FieldWrite {
  std::string column;
  std::string value;
};

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

  // Makes the batch permanent. On failure nothing of the batch is kept.
  virtual Status commit() = 0;

  // The file's name as the caller gave it, for messages.
  virtual const std::string& name() const = 0;
};

class StoreEngine {
 public:
  virtual ~StoreEngine() = default;

  // Opens an existing database file. Never creates one: a missing file fails
  // with kFileMissing, a file that is not a database with kNotADatabase, and
  // neither is changed. `name` is used in messages.
  virtual Status open(const std::filesystem::path& path, const std::string& name,
                      std::unique_ptr<DatabaseStore>* out) = 0;
};

}  // namespace kestrova::data
