#include "data/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "data/lost_steps.h"
#include "data/shop_path.h"
#include "data/sqlite_values.h"

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
    if (inBatch_) commit();
  }

  const std::string& name() const override { return name_; }

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
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
    if (keys == nullptr || !trimmed(tail == nullptr ? "" : tail).empty()) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the request must be exactly one SELECT");
    }
    const int valueCount = sqlite3_column_count(keys.get()) - 1;
    for (int i = 1; i <= valueCount; ++i) {
      const char* table = sqlite3_column_table_name(keys.get(), i);
      const char* origin = sqlite3_column_origin_name(keys.get(), i);
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
      const Status failed = translate(rc, db_.get(), name_, operation);
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
    // A walk writes the same columns of one table on every row: the
    // statement of the previous row is taken again without building its text.
    sqlite3_stmt* statement = nullptr;
    if (lastUpdate_.matches(set.table, writes)) {
      statement = lastUpdate_.statement;
    } else {
      std::string sql = "UPDATE " + quoteIdentifier(set.table) + " SET ";
      for (std::size_t i = 0; i < writes.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += quoteIdentifier(writes[i].column) + " = ?" + std::to_string(i + 1);
      }
      sql += " WHERE rowid = ?" + std::to_string(writes.size() + 1);
      Status prepared = cached(sql, "updating " + set.table, &statement);
      if (!prepared.isOk()) return prepared;
      lastUpdate_.remember(set.table, writes, statement);
    }
    StatementUse use(statement);
    bindWrites(statement, writes);
    sqlite3_bind_int64(statement, static_cast<int>(writes.size() + 1), row);
    return writeRowStep(statement, set.table, "updating ");
  }

  Status remove(const RowSet& set, RowId row) override {
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached("DELETE FROM " + quoteIdentifier(set.table) + " WHERE rowid = ?1",
                             "deleting from " + set.table, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    return writeRowStep(statement, set.table, "deleting from ");
  }

  // Many rows in one statement each, a chunk of rows at a time. Whatever
  // does not go as planned (a refused row, a row gone, a failure) is done
  // again one row at a time, so that every row gets exactly the outcome
  // update() would give it.
  void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                  std::vector<RowFailure>* failures) override {
    std::string head = "UPDATE " + quoteIdentifier(set.table) + " SET ";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      if (i > 0) head += ", ";
      head += quoteIdentifier(writes[i].column) + " = ?" + std::to_string(i + 1);
    }
    head += " WHERE rowid IN ";
    inChunks(
        rows, set.table, head, static_cast<int>(writes.size()) + 1, ShortChunk::kRepeat, "updating " + set.table,
        [&](sqlite3_stmt* statement) { bindWrites(statement, writes); },
        [&](RowId row) { return update(set, row, writes); }, failures);
  }

  void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures) override {
    inChunks(
        rows, set.table, "DELETE FROM " + quoteIdentifier(set.table) + " WHERE rowid IN ", 1, ShortChunk::kUndoFirst,
        "deleting from " + set.table, [](sqlite3_stmt*) {}, [&](RowId row) { return remove(set, row); }, failures);
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
      return Status::error(Code::kRowGone, name_, operation, "there is no such row");
    }
    if (rc != SQLITE_ROW) return translate(rc, db_.get(), name_, operation);
    out->clear();
    for (int i = 0, n = sqlite3_column_count(statement); i < n; ++i) {
      out->push_back(StoredField{sqlite3_column_name(statement, i), storedValueOf(statement, i)});
    }
    return Status::ok();
  }

  Status writeRow(std::string_view table, RowId row, const StoredRow& fields) override {
    const std::string operation = "writing a row of " + std::string(table);
    std::string sql = "UPDATE " + quoteIdentifier(table) + " SET ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += quoteIdentifier(fields[i].column) + " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE rowid = ?" + std::to_string(fields.size() + 1);
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached(sql, operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    for (std::size_t i = 0; i < fields.size(); ++i)
      bindStoredValue(statement, static_cast<int>(i + 1), fields[i].value);
    sqlite3_bind_int64(statement, static_cast<int>(fields.size() + 1), row);
    return write(statement, std::string(table), operation);
  }

  Status insertRow(std::string_view table, RowId row, const StoredRow& fields) override {
    const std::string operation = "inserting a row into " + std::string(table);
    std::string sql = "INSERT INTO " + quoteIdentifier(table) + " (rowid";
    for (const StoredField& field : fields) sql += ", " + quoteIdentifier(field.column);
    sql += ") VALUES (?1";
    for (std::size_t i = 0; i < fields.size(); ++i) sql += ", ?" + std::to_string(i + 2);
    sql += ")";
    sqlite3_stmt* statement = nullptr;
    Status prepared = cached(sql, operation, &statement);
    if (!prepared.isOk()) return prepared;
    StatementUse use(statement);
    sqlite3_bind_int64(statement, 1, row);
    for (std::size_t i = 0; i < fields.size(); ++i)
      bindStoredValue(statement, static_cast<int>(i + 2), fields[i].value);
    return write(statement, std::string(table), operation);
  }

  Status commit() override {
    const Status walk = endWalk();  // a failed walk is undone before the rest is saved
    batchRefusal_ = Status::ok();
    std::vector<std::string> steps = std::move(walkTables_);
    walkTables_.clear();
    if (!inBatch_) return walk;
    inBatch_ = false;
    const int rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return walk;
    const Status failed = translate(rc, db_.get(), name_, "saving the changes");
    if (sqlite3_get_autocommit(db_.get()) == 0) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return Status::error(Code::kChangesUndone, name_, "saving the changes", failed.reason() + "; " + lostSteps(steps));
  }

  // Consecutive walks share the batch, each inside a savepoint of its own:
  // a walk is kept by releasing its savepoint, and one that met trouble with
  // the file itself (a disk error, a lock it could not get) is rolled back to
  // it, alone, so that the file never keeps half of such a walk.
  Status endWalk() override {
    if (!inWalk_) {
      batchRefusal_ = Status::ok();  // a batch the engine undid ends with its walk
      return Status::ok();
    }
    inWalk_ = false;
    const Status trouble = std::exchange(walkTrouble_, Status::ok());
    if (!trouble.isOk()) {
      const int rc = sqlite3_exec(db_.get(), "ROLLBACK TO walk; RELEASE walk", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK || sqlite3_get_autocommit(db_.get()) != 0) return batchUndone(rc, trouble.operation());
      return Status::error(Code::kWalkUndone, name_, trouble.operation(),
                           trouble.reason() + "; none of the rows of that step were changed");
    }
    const int rc = sqlite3_exec(db_.get(), "RELEASE walk", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK || sqlite3_get_autocommit(db_.get()) != 0) return batchUndone(rc, "saving the changes");
    if (std::find(walkTables_.begin(), walkTables_.end(), walkTable_) == walkTables_.end()) {
      walkTables_.push_back(walkTable_);
    }
    return Status::ok();
  }

  bool walksShareBatch() const override { return true; }

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

  static void bindWrites(sqlite3_stmt* statement, std::span<const FieldWrite> writes) {
    for (std::size_t i = 0; i < writes.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), writes[i].value.data(),
                        static_cast<int>(writes[i].value.size()), SQLITE_STATIC);
    }
  }

  // write() for one row of a walk; the operation's words are put together
  // only when there is something to report.
  Status writeRowStep(sqlite3_stmt* statement, const std::string& table, const char* verb) {
    if (!batchRefusal_.isOk()) return batchRefusal_;
    if (!inWalk_) {
      Status begun = beginBatch(table, verb + table);
      if (!begun.isOk()) {
        batchRefusal_ = std::move(begun);
        return batchRefusal_;
      }
    }
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
      return sqlite3_changes(db_.get()) == 1 ? Status::ok() : rowGone(table, verb + table);
    }
    return stepFailed(rc, verb + table);
  }

  // A row write that failed: refused alone, or, when the engine rolled the
  // whole batch back, the end of the batch.
  Status stepFailed(int rc, const std::string& operation) {
    const Status failed = translate(rc, db_.get(), name_, operation);
    if (sqlite3_get_autocommit(db_.get()) != 0) {
      inBatch_ = false;
      inWalk_ = false;
      walkTrouble_ = Status::ok();
      batchRefusal_ = Status::error(Code::kChangesUndone, name_, operation,
                                    failed.reason() + "; the database undid every change of that step" +
                                        earlierSteps(std::exchange(walkTables_, {})));
      return batchRefusal_;
    }
    noteTrouble(failed);
    return failed;
  }

  // Trouble with the file itself, as opposed to one row the engine refused.
  void noteTrouble(const Status& failed) {
    const Code code = failed.code();
    if (walkTrouble_.isOk() && (code == Code::kIoError || code == Code::kFileInUse || code == Code::kReadOnly)) {
      walkTrouble_ = failed;
    }
  }

  // The engine undid the whole batch while a walk was ending.
  Status batchUndone(int rc, const std::string& operation) {
    const Status failed = translate(rc == SQLITE_OK ? SQLITE_IOERR : rc, db_.get(), name_, operation);
    if (sqlite3_get_autocommit(db_.get()) == 0) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    inBatch_ = false;
    std::vector<std::string> steps = std::exchange(walkTables_, {});
    steps.push_back(walkTable_);
    return Status::error(Code::kChangesUndone, name_, operation, failed.reason() + "; " + lostSteps(steps));
  }

  static constexpr std::size_t kChunkRows = 250;

  // What a chunk that changed fewer rows than it names needs before its
  // rows go one by one: an update is harmless to make again; a delete is
  // not (the rows it did delete would then be told they were gone), so it is
  // undone first, to a savepoint of the chunk's own.
  enum class ShortChunk { kRepeat, kUndoFirst };

  // Runs `head` + "(SELECT value FROM json_each(?k))" over `rows`,
  // kChunkRows at a time, with the chunk's rowids as one JSON array in ?k:
  // every chunk, whatever its size, takes the same prepared statement.
  // `bind` binds the parameters before ?k. A chunk whose statement fails or
  // changes fewer rows than it names goes row by row through `oneByOne`.
  template <class Bind, class OneByOne>
  void inChunks(std::span<const RowId> rows, const std::string& table, const std::string& head, int key,
                ShortChunk shortChunk, const std::string& operation, Bind bind, OneByOne oneByOne,
                std::vector<RowFailure>* failures) {
    const std::string sql = head + "(SELECT value FROM json_each(?" + std::to_string(key) + "))";
    const bool guarded = shortChunk == ShortChunk::kUndoFirst;
    for (std::size_t at = 0; at < rows.size(); at += kChunkRows) {
      const std::span<const RowId> chunk = rows.subspan(at, std::min(kChunkRows, rows.size() - at));
      const auto rowByRow = [&] {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
          Status status = oneByOne(chunk[i]);
          if (!status.isOk()) failures->push_back(RowFailure{at + i, std::move(status)});
        }
      };
      const auto batchLost = [&](int rc) {
        // The engine undid the whole batch: the chunk's first row is told
        // why, and it and every later write are told their change is undone.
        const Status failed = translate(rc, db_.get(), name_, operation);
        stepFailed(rc, operation);
        failures->push_back(RowFailure{at, failed});
        for (std::size_t i = 1; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, batchRefusal_});
      };
      sqlite3_stmt* statement = nullptr;
      if (!batchRefusal_.isOk() || chunk.size() == 1) {
        rowByRow();  // gives every row the refusal it would get alone
        continue;
      }
      if (Status begun = beginBatch(table, operation); !begun.isOk()) {
        batchRefusal_ = std::move(begun);  // as the first row alone would have found it
        for (std::size_t i = 0; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, batchRefusal_});
        continue;
      }
      if (!cached(sql, operation, &statement).isOk() ||
          (guarded && sqlite3_exec(db_.get(), "SAVEPOINT chunk", nullptr, nullptr, nullptr) != SQLITE_OK)) {
        rowByRow();
        continue;
      }
      const std::string keys = jsonArrayOf(chunk);
      StatementUse use(statement);
      bind(statement);
      sqlite3_bind_text(statement, key, keys.data(), static_cast<int>(keys.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(statement);
      sqlite3_reset(statement);
      if (rc != SQLITE_DONE && sqlite3_get_autocommit(db_.get()) != 0) {
        batchLost(rc);  // the chunk's savepoint went with the batch
        continue;
      }
      // Otherwise a failed statement was undone alone.
      const bool whole = rc == SQLITE_DONE && static_cast<std::size_t>(sqlite3_changes(db_.get())) == chunk.size();
      if (guarded) {
        const int ended = sqlite3_exec(db_.get(), whole ? "RELEASE chunk" : "ROLLBACK TO chunk; RELEASE chunk", nullptr,
                                       nullptr, nullptr);
        if (ended != SQLITE_OK && sqlite3_get_autocommit(db_.get()) != 0) {
          batchLost(ended);
          continue;
        }
        if (ended != SQLITE_OK) {
          // What the chunk did cannot be told: the walk is undone when it ends.
          const Status failed = translate(ended, db_.get(), name_, operation);
          noteTrouble(failed);
          for (std::size_t i = 0; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, failed});
          continue;
        }
      }
      if (!whole) rowByRow();  // one by one finds the refused and the gone rows
    }
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

  // Opens the batch, if it is not open, and the walk's savepoint, if the
  // walk has not written yet.
  Status beginBatch(const std::string& table, const std::string& operation) {
    if (inWalk_) return Status::ok();
    if (!inBatch_) {
      // IMMEDIATE takes the write lock now, waiting for another program's
      // lock for the busy timeout, instead of failing half-way.
      const int rc = sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
      inBatch_ = true;
    }
    const int rc = sqlite3_exec(db_.get(), "SAVEPOINT walk", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return translate(rc, db_.get(), name_, operation);
    inWalk_ = true;
    walkTable_ = table;
    return Status::ok();
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

  Status write(sqlite3_stmt* statement, const RowSet& set, const std::string& operation) {
    return write(statement, set.table, operation);
  }

  // Runs one row write inside the batch.
  Status write(sqlite3_stmt* statement, const std::string& table, const std::string& operation) {
    if (!batchRefusal_.isOk()) return batchRefusal_;
    if (!inWalk_) {
      Status begun = beginBatch(table, operation);
      if (!begun.isOk()) {
        batchRefusal_ = std::move(begun);
        return batchRefusal_;
      }
    }
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
      return sqlite3_changes(db_.get()) == 1 ? Status::ok() : rowGone(table, operation);
    }
    return stepFailed(rc, operation);
  }

  Status rowGone(const RowSet& set, const std::string& operation) const { return rowGone(set.table, operation); }
  Status rowGone(const std::string& table, const std::string& operation) const {
    return Status::error(Code::kRowGone, name_, operation,
                         "a row of " + table + " was removed by another program during the combine");
  }

  DatabaseHandle db_;
  std::string name_;
  std::unordered_map<std::string, StatementHandle> statements_;
  LastUpdate lastUpdate_;  // points into statements_
  bool inBatch_ = false;
  Status batchRefusal_;  // once the batch cannot go on, every write fails with this until the walk ends
  bool inWalk_ = false;  // the walk has written, inside its savepoint
  std::string walkTable_;
  Status walkTrouble_;                   // the first trouble with the file in this walk
  std::vector<std::string> walkTables_;  // the tables of the walks kept in the batch so far
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
