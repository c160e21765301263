#include "data/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "data/shop_path.h"

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

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
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
      return Status::error(Code::kFileInUse, file, std::move(operation),
                           "the file is in use by another program; close the shop's programs on every "
                           "computer and run the combine again");
    case SQLITE_READONLY:
      return Status::error(Code::kReadOnly, file, std::move(operation),
                           "the file cannot be written (it, its folder or its diskette is read-only)");
    case SQLITE_NOTADB:
      return Status::error(Code::kNotADatabase, file, std::move(operation),
                           "the file is not a shop database (it is not an SQLite database file)");
    case SQLITE_CORRUPT:
      return Status::error(Code::kIoError, file, std::move(operation),
                           "the database file is damaged; restore it from a backup");
    case SQLITE_CANTOPEN:
      return Status::error(Code::kFileMissing, file, std::move(operation),
                           std::string("the file cannot be opened (") + detail + ")");
    case SQLITE_FULL:
      return Status::error(Code::kIoError, file, std::move(operation), "the disk is full");
    case SQLITE_IOERR:
      return Status::error(Code::kIoError, file, std::move(operation),
                           std::string("the file could not be read or written (") + detail + ")");
    case SQLITE_CONSTRAINT:
      return Status::error(Code::kRowRefused, file, std::move(operation),
                           std::string("the database refused the change (") + detail + ")");
    default:
      break;
  }
  if (containsText(detail, "no such table")) {
    return Status::error(Code::kNoSuchTable, file, std::move(operation),
                         std::string("the file has no such table (") + detail + ")");
  }
  if (containsText(detail, "no such column")) {
    return Status::error(Code::kNoSuchColumn, file, std::move(operation),
                         std::string("the table has no such column (") + detail + ")");
  }
  return Status::error(Code::kBadRecordSource, file, std::move(operation),
                       std::string("the database rejected the request (") + detail + ")");
}

class SqliteStore final : public DatabaseStore {
 public:
  SqliteStore(DatabaseHandle db, std::string name) : db_(std::move(db)), name_(std::move(name)) {}

  ~SqliteStore() override {
    statements_.clear();
    // A caller that forgot to commit still keeps its rows: the process is
    // ending normally, so what was written is meant to stay.
    if (inBatch_) {
      if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      }
    }
  }

  const std::string& name() const override { return name_; }

  Status select(std::string_view recordSource, RowSet* out) override {
    const std::string_view source = trimmed(recordSource);
    const std::string operation = "opening \"" + std::string(source) + "\"";
    *out = RowSet{};

    std::string columnsSql;
    std::string keysSql;
    if (startsWithWord(source, "select")) {
      columnsSql = std::string(source);
      keysSql = "SELECT rowid, " + std::string(source.substr(6));
    } else {
      columnsSql = "SELECT * FROM " + quoteIdentifier(source);
      keysSql = "SELECT rowid FROM " + quoteIdentifier(source);
    }

    // The record source's own statement tells its columns and their table.
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), columnsSql.c_str(), static_cast<int>(columnsSql.size()), &raw,
                                &tail);
    StatementHandle columns(raw);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
    if (columns == nullptr || !trimmed(tail == nullptr ? "" : tail).empty()) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the request must be exactly one SELECT");
    }
    const int count = sqlite3_column_count(columns.get());
    for (int i = 0; i < count; ++i) {
      const char* table = sqlite3_column_table_name(columns.get(), i);
      const char* origin = sqlite3_column_origin_name(columns.get(), i);
      if (table == nullptr || origin == nullptr || (!out->table.empty() && out->table != table)) {
        return Status::error(Code::kBadRecordSource, name_, operation,
                             "every column must come straight from one table");
      }
      out->table = table;
      out->columns.emplace_back(origin);
    }
    if (out->table.empty()) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the request names no column");
    }

    // The keyset: the identity of every row that meets the source, in its
    // order, fixed now. Writing the very column that selected a row later
    // cannot drop, move or repeat it.
    rc = sqlite3_prepare_v2(db_.get(), keysSql.c_str(), static_cast<int>(keysSql.size()), &raw, nullptr);
    StatementHandle keys(raw);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
    while ((rc = sqlite3_step(keys.get())) == SQLITE_ROW) {
      out->rows.push_back(sqlite3_column_int64(keys.get(), 0));
    }
    if (rc != SQLITE_DONE) {
      const Status failed = translate(rc, db_.get(), name_, operation);
      *out = RowSet{};
      return failed;
    }
    return Status::ok();
  }

  Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) override {
    const std::string operation = "reading " + column + " in " + set.table;
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached("SELECT " + quoteIdentifier(column) + " FROM " + quoteIdentifier(set.table) +
                                 " WHERE rowid = ?1",
                             operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return rowGone(set, operation);
    if (rc != SQLITE_ROW) return translate(rc, db_.get(), name_, operation);
    if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
      out->reset();
    } else {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      out->emplace(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    return Status::ok();
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    const std::string operation = "updating " + set.table;
    std::string sql = "UPDATE " + quoteIdentifier(set.table) + " SET ";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += quoteIdentifier(writes[i].column) + " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE rowid = ?" + std::to_string(writes.size() + 1);

    sqlite3_stmt* statement = nullptr;
    Status prepared = cached(sql, operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    for (std::size_t i = 0; i < writes.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), writes[i].value.data(),
                        static_cast<int>(writes[i].value.size()), SQLITE_STATIC);
    }
    sqlite3_bind_int64(statement, static_cast<int>(writes.size() + 1), row);
    return write(statement, set, operation);
  }

  Status remove(const RowSet& set, RowId row) override {
    const std::string operation = "deleting from " + set.table;
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached("DELETE FROM " + quoteIdentifier(set.table) + " WHERE rowid = ?1", operation,
                             &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    return write(statement, set, operation);
  }

  Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) override {
    const std::string operation = "searching " + set.table + " for " + std::string(condition);
    const std::string sql = "SELECT rowid FROM " + quoteIdentifier(set.table) + " WHERE " + std::string(condition);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
    if (!trimmed(tail == nullptr ? "" : tail).empty()) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the condition must be one expression");
    }
    std::unordered_set<RowId> matching;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
      matching.insert(sqlite3_column_int64(statement.get(), 0));
    }
    if (rc != SQLITE_DONE) return translate(rc, db_.get(), name_, operation);
    const auto found = std::find_if(set.rows.begin(), set.rows.end(),
                                    [&](RowId row) { return matching.contains(row); });
    *position = static_cast<std::size_t>(found - set.rows.begin());
    return Status::ok();
  }

  Status commit() override {
    batchRefusal_ = Status::ok();
    if (!inBatch_) return Status::ok();
    inBatch_ = false;
    const int rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return Status::ok();
    const Status failed = translate(rc, db_.get(), name_, "saving the changes");
    if (sqlite3_get_autocommit(db_.get()) == 0) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return Status::error(Code::kChangesUndone, name_, "saving the changes",
                         failed.reason() + "; none of the rows of that step were changed");
  }

 private:
  Status cached(const std::string& sql, const std::string& operation, sqlite3_stmt** out) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
      if (rc != SQLITE_OK) {
        sqlite3_finalize(raw);
        return translate(rc, db_.get(), name_, operation);
      }
      found = statements_.emplace(sql, StatementHandle(raw)).first;
    }
    *out = found->second.get();
    return Status::ok();
  }

  // Runs one row write inside the batch.
  Status write(sqlite3_stmt* statement, const RowSet& set, const std::string& operation) {
    if (!batchRefusal_.isOk()) return batchRefusal_;
    if (!inBatch_) {
      // IMMEDIATE takes the write lock now, waiting for another program's
      // lock for the busy timeout, instead of failing half-way.
      const int rc = sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) {
        batchRefusal_ = translate(rc, db_.get(), name_, operation);
        return batchRefusal_;
      }
      inBatch_ = true;
    }
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
      return sqlite3_changes(db_.get()) == 1 ? Status::ok() : rowGone(set, operation);
    }
    const Status failed = translate(rc, db_.get(), name_, operation);
    if (sqlite3_get_autocommit(db_.get()) != 0) {
      // The engine rolled the whole batch back, not just this row.
      inBatch_ = false;
      batchRefusal_ = Status::error(Code::kChangesUndone, name_, operation,
                                    failed.reason() + "; the database undid every change of that step");
      return batchRefusal_;
    }
    return failed;
  }

  Status rowGone(const RowSet& set, const std::string& operation) const {
    return Status::error(Code::kRowGone, name_, operation,
                         "a row of " + set.table + " was removed by another program during the combine");
  }

  DatabaseHandle db_;
  std::string name_;
  std::unordered_map<std::string, StatementHandle> statements_;
  bool inBatch_ = false;
  Status batchRefusal_;  // once the batch cannot go on, every write fails with this until commit()
};

}  // namespace

Status SqliteEngine::open(const std::filesystem::path& path, const std::string& name,
                          std::unique_ptr<DatabaseStore>* out) {
  const std::string operation = "opening the file";
  std::error_code error;
  const auto kind = std::filesystem::status(path, error).type();
  if (kind == std::filesystem::file_type::not_found) {
    std::filesystem::path folder = std::filesystem::absolute(path, error).parent_path();
    return Status::error(Code::kFileMissing, name, operation,
                         "there is no such file in " + pathToUtf8(folder) +
                             "; run the combine in the shop's data folder");
  }
  if (error) {
    return Status::error(Code::kFileMissing, name, operation,
                         "the file cannot be reached (" + error.message() + ")");
  }
  if (kind != std::filesystem::file_type::regular) {
    return Status::error(Code::kNotADatabase, name, operation, "this is a folder or device, not a database file");
  }
  if (std::filesystem::file_size(path, error) == 0 && !error) {
    return Status::error(Code::kNotADatabase, name, operation, "the file is empty, not a shop database");
  }

  sqlite3* raw = nullptr;
  const std::string utf8 = pathToUtf8(path);
  // READWRITE without CREATE: a file that vanished since the check above is
  // reported, not made anew.
  int rc = sqlite3_open_v2(utf8.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK) return translate(rc, db.get(), name, operation);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), static_cast<int>(lockWait_.count()));

  // Opening reads nothing; the first statement tells whether this is a
  // database at all, and reads nothing but the header.
  rc = sqlite3_exec(db.get(), "PRAGMA schema_version", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return translate(rc, db.get(), name, operation);

  *out = std::make_unique<SqliteStore>(std::move(db), name);
  return Status::ok();
}

}  // namespace kestrova::data
