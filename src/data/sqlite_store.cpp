#include "data/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "data/ascii_text.h"
#include "data/engine_failures.h"
#include "data/shop_path.h"
#include "data/sqlite_values.h"
#include "data/walk_batch_store.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Resets a cached statement whatever way the caller leaves.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* statement_;
};

std::string quoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

bool startsWithWord(std::string_view text, std::string_view word) {
  if (text.size() <= word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return std::isspace(static_cast<unsigned char>(text[word.size()])) != 0;
}

bool containsText(const char* haystack, std::string_view needle) {
  return haystack != nullptr && std::string_view(haystack).find(needle) != std::string_view::npos;
}

// Turns an SQLite result code into words a shop manager can act on.
Status translate(int rc, sqlite3* db, const std::string& file, std::string operation) {
  const char* detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return fileInUse(file, std::move(operation));
    case SQLITE_READONLY:
      return fileReadOnly(file, std::move(operation));
    case SQLITE_NOTADB:
      return notADatabase(file, std::move(operation), "it is not an SQLite database file");
    case SQLITE_CORRUPT:
      return fileDamaged(file, std::move(operation));
    case SQLITE_CANTOPEN:
      return fileCannotOpen(file, std::move(operation), detail);
    case SQLITE_FULL:
      return diskFull(file, std::move(operation));
    case SQLITE_IOERR:
      return fileUnreadable(file, std::move(operation), detail);
    case SQLITE_CONSTRAINT:
      return changeRefused(file, std::move(operation), detail);
    default:
      break;
  }
  if (containsText(detail, "no such table")) return noSuchTable(file, std::move(operation), detail);
  if (containsText(detail, "no such column")) return noSuchColumn(file, std::move(operation), detail);
  return requestRejected(file, std::move(operation), detail);
}

class SqliteStore final : public WalkBatchStore {
 public:
  SqliteStore(DatabaseHandle db, std::string name) : WalkBatchStore(std::move(name), true), db_(std::move(db)) {}

  ~SqliteStore() override {
    statements_.clear();
    // A caller that forgot to commit still keeps its rows: the process is
    // ending normally, so what was written is meant to stay.
    if (inBatch()) commit();
  }

  std::string openedAs() const override { return "as a SQLite file"; }
  std::string rowIdentity(const RowSet&) override { return "by SQLite's rowid"; }

  Status select(std::string_view recordSource, RowSet* out) override {
    const std::string_view source = trimmed(recordSource);
    const std::string operation = "opening \"" + std::string(source) + "\"";
    out->clear();

    // One statement fixes the keyset and reads the source's values: the
    // identity of every row that meets the source, in its order, fixed now,
    // so writing the very column that selected a row later cannot drop, move
    // or repeat it. The gateway then serves the values without going back
    // to the file. Column 0 is the rowid; the others are the source's own.
    const std::string keysSql = startsWithWord(source, "select") ? "SELECT rowid, " + std::string(source.substr(6))
                                                                 : "SELECT rowid, * FROM " + quoteIdentifier(source);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), keysSql.c_str(), static_cast<int>(keysSql.size()), &raw, &tail);
    StatementHandle keys(raw);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name(), operation);
    if (keys == nullptr || !trimmed(tail == nullptr ? "" : tail).empty()) {
      return Status::error(Code::kBadRecordSource, name(), operation, "the request must be exactly one SELECT");
    }
    const int valueCount = sqlite3_column_count(keys.get()) - 1;
    for (int i = 1; i <= valueCount; ++i) {
      const char* table = sqlite3_column_table_name(keys.get(), i);
      const char* origin = sqlite3_column_origin_name(keys.get(), i);
      if (table == nullptr || origin == nullptr || (!out->table.empty() && out->table != table)) {
        return Status::error(Code::kBadRecordSource, name(), operation,
                             "every column must come straight from one table");
      }
      out->table = table;
      out->columns.emplace_back(origin);
    }
    if (out->table.empty()) {
      return Status::error(Code::kBadRecordSource, name(), operation, "the request names no column");
    }

    while ((rc = sqlite3_step(keys.get())) == SQLITE_ROW) {
      out->rows.push_back(sqlite3_column_int64(keys.get(), 0));
      for (int i = 1; i <= valueCount; ++i) {
        if (sqlite3_column_type(keys.get(), i) == SQLITE_NULL) {
          out->values.emplace_back();
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(keys.get(), i));
          out->values.emplace_back(std::in_place, text, static_cast<std::size_t>(sqlite3_column_bytes(keys.get(), i)));
        }
      }
    }
    if (rc != SQLITE_DONE) {
      const Status failed = translate(rc, db_.get(), name(), operation);
      *out = RowSet{};
      return failed;
    }
    return Status::ok();
  }

  Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) override {
    const std::string operation = "reading " + column + " in " + set.table;
    sqlite3_stmt* statement = nullptr;
    Status prepared =
        cached("SELECT " + quoteIdentifier(column) + " FROM " + quoteIdentifier(set.table) + " WHERE rowid = ?1",
               operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return rowRemovedMeanwhile(name(), operation, set.table);
    if (rc != SQLITE_ROW) return translate(rc, db_.get(), name(), operation);
    if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
      out->reset();
    } else {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      out->emplace(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    return Status::ok();
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    // A walk writes the same columns of one table on every row: the
    // statement of the previous row is taken again without building its text.
    sqlite3_stmt* statement = nullptr;
    if (lastUpdate_.matches(set.table, writes)) {
      statement = lastUpdate_.statement;
    } else {
      Status prepared = cached(updateHead(set.table, writes) + " WHERE rowid = ?" + std::to_string(writes.size() + 1),
                               "updating " + set.table, &statement);
      if (!prepared.isOk()) return prepared;
      lastUpdate_.remember(set.table, writes, statement);
    }
    StatementUse use(statement);
    bindWrites(statement, writes);
    sqlite3_bind_int64(statement, static_cast<int>(writes.size() + 1), row);
    return writeStep(statement, "updating ", set.table);
  }

  Status remove(const RowSet& set, RowId row) override {
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached("DELETE FROM " + quoteIdentifier(set.table) + " WHERE rowid = ?1",
                             "deleting from " + set.table, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    return writeStep(statement, "deleting from ", set.table);
  }

  // Many rows in one statement each, a chunk of rows at a time, with the
  // chunk's rowids as one JSON array in the last parameter: every chunk,
  // whatever its size, takes the same prepared statement.
  void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                  std::vector<RowFailure>* failures) override {
    const std::string operation = "updating " + set.table;
    const int key = static_cast<int>(writes.size()) + 1;
    const std::string sql = updateHead(set.table, writes) + " WHERE rowid IN " + keysFrom(key);
    sqlite3_stmt* statement = nullptr;
    inChunks(
        rows, set.table, operation, ShortChunk::kRepeat,
        [&](std::span<const RowId>) { return cached(sql, operation, &statement).isOk(); },
        [&](std::span<const RowId> chunk, std::int64_t* changed) {
          bindWrites(statement, writes);
          return runChunk(statement, key, chunk, operation, changed);
        },
        [&](RowId row) { return update(set, row, writes); }, failures);
  }

  void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures) override {
    const std::string operation = "deleting from " + set.table;
    const std::string sql = "DELETE FROM " + quoteIdentifier(set.table) + " WHERE rowid IN " + keysFrom(1);
    sqlite3_stmt* statement = nullptr;
    inChunks(
        rows, set.table, operation, ShortChunk::kUndoFirst,
        [&](std::span<const RowId>) { return cached(sql, operation, &statement).isOk(); },
        [&](std::span<const RowId> chunk, std::int64_t* changed) {
          return runChunk(statement, 1, chunk, operation, changed);
        },
        [&](RowId row) { return remove(set, row); }, failures);
  }

  Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) override {
    const std::string operation = "searching " + set.table + " for " + std::string(condition);
    const std::string sql = "SELECT rowid FROM " + quoteIdentifier(set.table) + " WHERE " + std::string(condition);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name(), operation);
    if (!trimmed(tail == nullptr ? "" : tail).empty()) {
      return Status::error(Code::kBadRecordSource, name(), operation, "the condition must be one expression");
    }
    std::unordered_set<RowId> matching;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
      matching.insert(sqlite3_column_int64(statement.get(), 0));
    }
    if (rc != SQLITE_DONE) return translate(rc, db_.get(), name(), operation);
    const auto found =
        std::find_if(set.rows.begin(), set.rows.end(), [&](RowId row) { return matching.contains(row); });
    *position = static_cast<std::size_t>(found - set.rows.begin());
    return Status::ok();
  }

  Status readRow(std::string_view table, RowId row, StoredRow* out) override {
    const std::string operation = "reading a row of " + std::string(table);
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached("SELECT * FROM " + quoteIdentifier(table) + " WHERE rowid = ?1", operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
      return Status::error(Code::kRowGone, name(), operation, "there is no such row");
    }
    if (rc != SQLITE_ROW) return translate(rc, db_.get(), name(), operation);
    out->clear();
    for (int i = 0, n = sqlite3_column_count(statement); i < n; ++i) {
      out->push_back(StoredField{sqlite3_column_name(statement, i), storedValueOf(statement, i)});
    }
    return Status::ok();
  }

  Status writeRow(std::string_view table, RowId row, const StoredRow& fields) override {
    std::string sql = "UPDATE " + quoteIdentifier(table) + " SET ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += quoteIdentifier(fields[i].column) + " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE rowid = ?" + std::to_string(fields.size() + 1);
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached(sql, "writing a row of " + std::string(table), &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    for (std::size_t i = 0; i < fields.size(); ++i)
      bindStoredValue(statement, static_cast<int>(i + 1), fields[i].value);
    sqlite3_bind_int64(statement, static_cast<int>(fields.size() + 1), row);
    return writeStep(statement, "writing a row of ", std::string(table));
  }

  Status insertRow(std::string_view table, RowId row, const StoredRow& fields) override {
    std::string sql = "INSERT INTO " + quoteIdentifier(table) + " (rowid";
    for (const StoredField& field : fields) sql += ", " + quoteIdentifier(field.column);
    sql += ") VALUES (?1";
    for (std::size_t i = 0; i < fields.size(); ++i) sql += ", ?" + std::to_string(i + 2);
    sql += ")";
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached(sql, "inserting a row into " + std::string(table), &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    for (std::size_t i = 0; i < fields.size(); ++i)
      bindStoredValue(statement, static_cast<int>(i + 2), fields[i].value);
    return writeStep(statement, "inserting a row into ", std::string(table));
  }

 protected:
  // IMMEDIATE takes the write lock now, waiting for another program's lock
  // for the busy timeout, instead of failing half-way.
  Status beginTransaction(const std::string& operation) override { return run("BEGIN IMMEDIATE", operation); }

  Status openSavepoint(Savepoint savepoint, const std::string& operation) override {
    return run(savepoint == Savepoint::kWalk ? "SAVEPOINT walk" : "SAVEPOINT chunk", operation);
  }

  Status releaseSavepoint(Savepoint savepoint, const std::string& operation) override {
    return runHolding(savepoint == Savepoint::kWalk ? "RELEASE walk" : "RELEASE chunk", operation);
  }

  Status undoToSavepoint(Savepoint savepoint, const std::string& operation) override {
    return runHolding(
        savepoint == Savepoint::kWalk ? "ROLLBACK TO walk; RELEASE walk" : "ROLLBACK TO chunk; RELEASE chunk",
        operation);
  }

  Status commitTransaction() override {
    const int rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return Status::ok();
    const Status failed = translate(rc, db_.get(), name(), "saving the changes");
    rollBackTransaction();
    return failed;
  }

  void rollBackTransaction() override {
    if (sqlite3_get_autocommit(db_.get()) == 0) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

  // SQLite says itself when a failure undid the whole transaction.
  bool holdsBatchAfter(const Status&) override { return sqlite3_get_autocommit(db_.get()) == 0; }

 private:
  Status cached(const std::string& sql, const std::string& operation, sqlite3_stmt** out) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
      if (rc != SQLITE_OK) {
        sqlite3_finalize(raw);
        return translate(rc, db_.get(), name(), operation);
      }
      found = statements_.emplace(sql, StatementHandle(raw)).first;
    }
    *out = found->second.get();
    return Status::ok();
  }

  Status run(const char* sql, const std::string& operation) {
    const int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Status::ok() : translate(rc, db_.get(), name(), operation);
  }

  // A statement after which the transaction must still be open.
  Status runHolding(const char* sql, const std::string& operation) {
    const int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && sqlite3_get_autocommit(db_.get()) == 0) return Status::ok();
    return translate(rc == SQLITE_OK ? SQLITE_IOERR : rc, db_.get(), name(), operation);
  }

  static std::string updateHead(const std::string& table, std::span<const FieldWrite> writes) {
    std::string head = "UPDATE " + quoteIdentifier(table) + " SET ";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      if (i > 0) head += ", ";
      head += quoteIdentifier(writes[i].column) + " = ?" + std::to_string(i + 1);
    }
    return head;
  }

  static std::string keysFrom(int key) { return "(SELECT value FROM json_each(?" + std::to_string(key) + "))"; }

  static void bindWrites(sqlite3_stmt* statement, std::span<const FieldWrite> writes) {
    for (std::size_t i = 0; i < writes.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), writes[i].value.data(),
                        static_cast<int>(writes[i].value.size()), SQLITE_STATIC);
    }
  }

  // Runs a bound write of one row inside the batch.
  Status writeStep(sqlite3_stmt* statement, std::string_view verb, const std::string& table) {
    const auto operation = [&] { return std::string(verb) + table; };
    return writeOne(table, operation, [&](std::int64_t* changed) {
      const int rc = sqlite3_step(statement);
      if (rc != SQLITE_DONE) return translate(rc, db_.get(), name(), operation());
      *changed = sqlite3_changes(db_.get());
      return Status::ok();
    });
  }

  // Runs a chunk's statement with the chunk's rowids in parameter `key`.
  Status runChunk(sqlite3_stmt* statement, int key, std::span<const RowId> chunk, const std::string& operation,
                  std::int64_t* changed) {
    const std::string keys = jsonArrayOf(chunk);
    StatementUse use(statement);
    sqlite3_bind_text(statement, key, keys.data(), static_cast<int>(keys.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) return translate(rc, db_.get(), name(), operation);
    *changed = sqlite3_changes(db_.get());
    return Status::ok();
  }

  // "[12,40,41]"
  static std::string jsonArrayOf(std::span<const RowId> rows) {
    std::string out = "[";
    char digits[24];
    for (const RowId row : rows) {
      if (out.size() > 1) out += ',';
      out.append(digits, std::to_chars(digits, digits + sizeof digits, row).ptr);
    }
    out += ']';
    return out;
  }

  // The statement of the last update(), by table and columns written.
  struct LastUpdate {
    std::string table;
    std::vector<std::string> columns;
    sqlite3_stmt* statement = nullptr;

    bool matches(const std::string& t, std::span<const FieldWrite> writes) const {
      if (statement == nullptr || t != table || writes.size() != columns.size()) return false;
      for (std::size_t i = 0; i < writes.size(); ++i) {
        if (writes[i].column != columns[i]) return false;
      }
      return true;
    }
    void remember(const std::string& t, std::span<const FieldWrite> writes, sqlite3_stmt* s) {
      table = t;
      columns.clear();
      for (const FieldWrite& w : writes) columns.push_back(w.column);
      statement = s;
    }
  };

  DatabaseHandle db_;
  std::unordered_map<std::string, StatementHandle> statements_;
  LastUpdate lastUpdate_;  // points into statements_
};

}  // namespace

Status SqliteEngine::open(const std::filesystem::path& given, const std::string& name,
                          std::unique_ptr<DatabaseStore>* out) {
  const std::string operation = "opening the file";
  std::filesystem::path path;
  Status found = findShopDatabase(given, name, &path);
  if (!found.isOk()) return found;

  sqlite3* raw = nullptr;
  const std::string utf8 = pathToUtf8(path);
  // READWRITE without CREATE: a file that vanished since the check above is
  // reported, not made anew.
  // NOMUTEX: a store is used by one thread at a time, so SQLite need not
  // lock the connection on every call of a walk.
  const int flags = (access_ == Access::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(utf8.c_str(), &raw, flags, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK) return translate(rc, db.get(), name, operation);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), static_cast<int>(lockWait_.count()));

  // Opening reads nothing; the first statement tells whether this is a
  // database at all, and reads nothing but the header.
  rc = sqlite3_exec(db.get(), "PRAGMA schema_version", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return translate(rc, db.get(), name, operation);
  // A walk's savepoint keeps the earlier content of each page that an
  // earlier walk of the transaction changed too (the second technician walk
  // over the same tasks); kept in memory, it costs no temporary file.
  rc = sqlite3_exec(db.get(), "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return translate(rc, db.get(), name, operation);

  *out = std::make_unique<SqliteStore>(std::move(db), name);
  return Status::ok();
}

}  // namespace kestrova::data
