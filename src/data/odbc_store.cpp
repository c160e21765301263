#include "data/odbc_store.h"

#include <algorithm>
#include <bit>
#include <map>
#include <unordered_set>
#include <utility>

#include "data/ascii_text.h"
#include "data/keyless_rows.h"
#include "data/odbc_api.h"
#include "data/odbc_catalog.h"
#include "data/odbc_errors.h"
#include "data/odbc_parsing.h"
#include "data/walk_batch_store.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

class OdbcStore final : public WalkBatchStore {
 public:
  OdbcStore(std::shared_ptr<OdbcEnvironment> environment, std::unique_ptr<Connection> connection,
            std::string name, OdbcSource source, bool readOnly, bool savepoints)
      : WalkBatchStore(std::move(name), savepoints),
        environment_(std::move(environment)),
        connection_(std::move(connection)),
        source_(source),
        readOnly_(readOnly),
        catalog_(*connection_, this->name(), source) {}

  ~OdbcStore() override {
    statements_.clear();
    // A caller that forgot to commit still keeps its rows: the process is
    // ending normally, so what was written is meant to stay.
    if (inBatch() && !succeeded(connection_->endTransaction(true))) connection_->endTransaction(false);
  }

  Status readTables(const std::string& operation) { return catalog_.readTables(operation); }

  std::string openedAs() const override {
    const std::string driver = connection_->driverName();
    const std::string dbms = connection_->dbmsName();
    return "through ODBC, the driver " + (driver.empty() ? std::string("(unnamed)") : driver) +
           (dbms.empty() ? std::string() : " for " + dbms);
  }

  std::string rowIdentity(const RowSet& set) override {
    std::string table;
    Identity identity;
    if (!catalog_.identityOf(set.table, "reading the row identity", &table, &identity).isOk()) return {};
    if (identity.byValues) return "by the values of its columns (" + std::string(identity.found) + ")";
    return "by the column " + identity.column + " (" + std::string(identity.found) + ")";
  }

  Status select(std::string_view recordSource, RowSet* out) override {
    const std::string_view source = trimmed(recordSource);
    const std::string operation = "opening \"" + std::string(source) + "\"";
    out->clear();
    if (holdsSecondStatement(source)) {
      return Status::error(Code::kBadRecordSource, name(), operation, "the request must be exactly one SELECT");
    }
    SelectParts parts;
    if (!splitSelect(source, &parts)) {
      if (source.find_first_of(" \t\r\n;'") != std::string_view::npos) {
        return Status::error(Code::kBadRecordSource, name(), operation,
                             "the request must be one SELECT of one table, or a table's name");
      }
      parts = SelectParts{"*", std::string(source), ""};
    }
    std::string table;
    Identity identity;
    if (Status found = catalog_.identityOf(parts.table, operation, &table, &identity); !found.isOk()) return found;
    if (identity.byValues) return selectByValues(table, parts, operation, out);

    // One statement fixes the keyset and reads the source's values: the
    // identity of every row that meets the source, in its order, fixed now,
    // so writing the very column that selected a row later cannot drop,
    // move or repeat it. Column 1 is the identity; the others are the
    // source's own.
    const std::string sql = "SELECT " + quoted(identity.column) + ", " + catalog_.respelled(table, parts.list) +
                            " FROM " + quoted(table) + " " + catalog_.respelled(table, parts.rest);
    Statement statement(*connection_);
    if (!statement.valid()) return connectionFailure(operation);
    if (!executeWithTexts(statement, sql)) return selectFailure(statement, parts, operation);
    return readSelection(statement, table, 1, operation, out, [&](RowId* row) -> Status {
      std::int64_t id = 0;
      bool isNull = false;
      if (!succeeded(statement.integerData(1, &id, &isNull))) return failure(statement, operation);
      if (isNull) return Status::error(Code::kBadRecordSource, name(), operation, "a row of " + table + " has no identity");
      *row = static_cast<RowId>(id);
      return Status::ok();
    });
  }

  // A table without a key: the values of its columns come first, and each
  // row is given an identity of the store's own, kept with them.
  Status selectByValues(const std::string& table, const SelectParts& parts, const std::string& operation,
                        RowSet* out) {
    const std::vector<std::string> columns = catalog_.comparableColumns(table, kMaxComparedColumns);
    std::string sql = "SELECT ";
    for (const std::string& column : columns) sql += quoted(column) + ", ";
    sql += catalog_.respelled(table, parts.list) + " FROM " + quoted(table) + " " + catalog_.respelled(table, parts.rest);
    Statement statement(*connection_);
    if (!statement.valid()) return connectionFailure(operation);
    if (!executeWithTexts(statement, sql)) return selectFailure(statement, parts, operation);
    std::unordered_set<RowId> taken;
    return readSelection(statement, table, columns.size(), operation, out, [&](RowId* row) -> Status {
      StoredRow values;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        StoredField field{columns[i], {}};
        if (!statement.storedValue(i + 1, &field.value)) {
          return failure(statement, operation);
        }
        values.push_back(std::move(field));
      }
      *row = keyless_.add(table, std::move(values), &taken);
      return Status::ok();
    });
  }

  std::size_t keysPerSelect() const override { return chunkRows(); }

  // A failed SELECT; one of more texts than a narrow chunk holds may have
  // met the driver's limit on the terms of a WHERE (the Access engine's
  // "too complex"), so lists of keys are narrowed from now on.
  Status selectFailure(Statement& statement, const SelectParts& parts, const std::string& operation) {
    if (textsAsParameters(parts.rest).values.size() > kNarrowChunkRows) narrowChunks(kNarrowChunkRows);
    return failure(statement, operation);
  }

  // Reads the rows of an executed selection whose first `identityColumns`
  // columns tell the row (`identify(&row)` reads them), the record
  // source's own after them.
  template <class Identify>
  Status readSelection(Statement& statement, const std::string& table, std::size_t identityColumns,
                       const std::string& operation, RowSet* out, Identify identify) {
    const auto first = identityColumns + 1;
    const std::size_t count = statement.columnCount();
    out->table = table;
    for (std::size_t i = first; i <= count; ++i) out->columns.push_back(statement.columnName(i));
    if (out->columns.empty()) {
      *out = RowSet{};
      return Status::error(Code::kBadRecordSource, name(), operation, "the request names no column");
    }
    CallResult rc = CallResult::kSucceeded;
    while (succeeded(rc = statement.fetch())) {
      RowId row = 0;
      if (Status told = identify(&row); !told.isOk()) {
        *out = RowSet{};
        return told;
      }
      out->rows.push_back(row);
      for (std::size_t i = first; i <= count; ++i) {
        FieldValue value;
        if (!succeeded(statement.textData(i, &value))) {
          Status failed = failure(statement, operation);
          *out = RowSet{};
          return failed;
        }
        out->values.push_back(std::move(value));
      }
    }
    if (rc != CallResult::kNoData) {
      Status failed = failure(statement, operation);
      *out = RowSet{};
      return failed;
    }
    return Status::ok();
  }

  Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) override {
    const std::string operation = "reading " + column + " in " + set.table;
    return fetchRow(
        set.table, quoted(catalog_.columnSpelling(set.table, column)), row, operation,
        [&] { return rowRemovedMeanwhile(name(), operation, set.table); },
        [&](Statement& statement) { return succeeded(statement.textData(1, out)); });
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    const std::string operation = "updating " + set.table;
    std::string head;
    Identity identity;
    if (Status built = updateHead(set.table, writes, operation, &head, &identity); !built.isOk()) return built;
    if (identity.byValues) {
      KeylessRows::Written written;
      for (const FieldWrite& write : writes) written.values.push_back({write.column, StoredValue::text(write.value)});
      return writeByValues(set, row, head, written, operation,
                           [&](Statement& statement) { bindWrites(statement, writes); });
    }
    return writeByIdentity(head + " WHERE " + quoted(identity.column) + " = ?", set.table, operation,
                           [&](Statement& statement) {
                             bindWrites(statement, writes);
                             statement.bindInteger(writes.size() + 1, row);
                           });
  }

  Status remove(const RowSet& set, RowId row) override {
    const std::string operation = "deleting from " + set.table;
    std::string head;
    Identity identity;
    if (Status built = deleteHead(set.table, operation, &head, &identity); !built.isOk()) return built;
    if (identity.byValues) {
      return writeByValues(set, row, head, KeylessRows::Written{true, {}}, operation, [](Statement&) {});
    }
    return writeByIdentity(head + " WHERE " + quoted(identity.column) + " = ?", set.table, operation,
                           [&](Statement& statement) { statement.bindInteger(1, row); });
  }

  // Many rows in one prepared statement each, a chunk of rows at a time.
  void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                  std::vector<RowFailure>* failures) override {
    const std::string operation = "updating " + set.table;
    std::string head;
    Identity identity;
    if (!updateHead(set.table, writes, operation, &head, &identity).isOk() || readOnly_ || identity.byValues) {
      DatabaseStore::updateRows(set, rows, writes, failures);  // each row is told why
      return;
    }
    head += " WHERE " + quoted(identity.column);
    Statement* statement = nullptr;
    inChunks(
        rows, set.table, operation, ShortChunk::kRepeat,
        [&](std::span<const RowId> chunk) { return prepareChunk(head, chunk, operation, &statement); },
        [&](std::span<const RowId> chunk, std::int64_t* changed) {
          bindWrites(*statement, writes);
          return runChunk(*statement, writes.size(), chunk, operation, changed);
        },
        [&](RowId row) { return update(set, row, writes); }, failures);
  }

  // A DELETE's count cannot tell which rows of a chunk were gone already,
  // and a row once deleted cannot be tried again alone: the rows still there
  // are looked up first.
  void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures) override {
    const std::string operation = "deleting from " + set.table;
    std::string head;
    Identity identity;
    if (!deleteHead(set.table, operation, &head, &identity).isOk() || readOnly_ || identity.byValues) {
      DatabaseStore::removeRows(set, rows, failures);
      return;
    }
    head += " WHERE " + quoted(identity.column);
    Statement* statement = nullptr;
    removePresentInChunks(
        rows, set.table, operation,
        [&](std::span<const RowId> chunk, std::unordered_set<RowId>* present) {
          return rowsPresent(set.table, chunk, operation, present);
        },
        [&](std::span<const RowId> chunk) { return prepareChunk(head, chunk, operation, &statement); },
        [&](std::span<const RowId> chunk, std::int64_t* changed) {
          return runChunk(*statement, 0, chunk, operation, changed);
        },
        [&](RowId row) { return remove(set, row); }, failures);
  }

  Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) override {
    const std::string operation = "searching " + set.table + " for " + std::string(condition);
    Identity identity;
    std::string table;
    if (holdsSecondStatement(condition)) {
      return Status::error(Code::kBadRecordSource, name(), operation, "the condition must be one expression");
    }
    if (Status found = catalog_.identityOf(set.table, operation, &table, &identity); !found.isOk()) return found;
    if (identity.byValues) return findFirstByValues(set, table, condition, operation, position);
    Statement statement(*connection_);
    if (!statement.valid()) return connectionFailure(operation);
    const std::string sql = "SELECT " + quoted(identity.column) + " FROM " + quoted(table) + " WHERE " +
                            catalog_.respelled(table, condition);
    if (!executeWithTexts(statement, sql)) return failure(statement, operation);
    std::unordered_set<RowId> matching;
    if (Status read = identities(statement, operation, &matching); !read.isOk()) return read;
    const auto found =
        std::find_if(set.rows.begin(), set.rows.end(), [&](RowId row) { return matching.contains(row); });
    *position = static_cast<std::size_t>(found - set.rows.begin());
    return Status::ok();
  }

  Status readRow(std::string_view tableName, RowId row, StoredRow* out) override {
    const std::string operation = "reading a row of " + std::string(tableName);
    return fetchRow(
        tableName, "*", row, operation,
        [&] { return Status::error(Code::kRowGone, name(), operation, "there is no such row"); },
        [&](Statement& statement) {
          out->clear();
          const std::size_t count = statement.columnCount();
          for (std::size_t i = 1; i <= count; ++i) {
            StoredField field{statement.columnName(i), {}};
            if (!statement.storedValue(i, &field.value)) return false;
            out->push_back(std::move(field));
          }
          return true;
        });
  }

  Status writeRow(std::string_view tableName, RowId row, const StoredRow& fields) override {
    const std::string operation = "writing a row of " + std::string(tableName);
    Identity identity;
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    std::string sql = "UPDATE " + quoted(table) + " SET ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      sql += (i > 0 ? ", " : "") + quoted(catalog_.columnSpelling(table, fields[i].column)) + " = ?";
    }
    const auto bindFields = [&](Statement& statement) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        statement.bindStored(i + 1, fields[i].value);
      }
    };
    if (identity.byValues) {
      return writeByValues(RowSet{table, {}, {row}, {}}, row, sql, KeylessRows::Written{false, fields}, operation,
                           bindFields);
    }
    sql += " WHERE " + quoted(identity.column) + " = ?";
    return writeByIdentity(sql, table, operation, [&](Statement& statement) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        statement.bindStored(i + 1, fields[i].value);
      }
      statement.bindInteger(fields.size() + 1, row);
    });
  }

  Status insertRow(std::string_view tableName, RowId row, const StoredRow& fields) override {
    const std::string operation = "inserting a row into " + std::string(tableName);
    Identity identity;
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    if (identity.byValues) return insertByValues(table, row, fields, operation);
    // The identity column may be among the row's own columns; it is given
    // once, with the row's identity.
    std::vector<const StoredField*> own;
    for (const StoredField& field : fields) {
      if (!sameIgnoringCase(field.column, identity.column)) own.push_back(&field);
    }
    std::string sql = "INSERT INTO " + quoted(table) + " (" + quoted(identity.column);
    for (const StoredField* field : own) sql += ", " + quoted(catalog_.columnSpelling(table, field->column));
    sql += ") VALUES (?";
    for (std::size_t i = 0; i < own.size(); ++i) sql += ", ?";
    sql += ")";
    if (Status taken = rowTaken(table, identity, row, operation); !taken.isOk()) return taken;
    return writeByIdentity(sql, table, operation, [&](Statement& statement) {
      statement.bindInteger(1, row);
      for (std::size_t i = 0; i < own.size(); ++i)
        statement.bindStored(i + 2, own[i]->value);
    });
  }

 protected:
  // The batch begins with its first write: the connection leaves
  // auto-commit, so every write until commit() is kept or undone together.
  Status beginTransaction(const std::string& operation) override {
    if (!succeeded(connection_->setAutoCommit(false))) return connectionFailure(operation);
    return Status::ok();
  }

  Status openSavepoint(Savepoint savepoint, const std::string& operation) override {
    return run(savepoint == Savepoint::kWalk ? "SAVEPOINT walk" : "SAVEPOINT chunk", operation);
  }

  Status releaseSavepoint(Savepoint savepoint, const std::string& operation) override {
    return run(savepoint == Savepoint::kWalk ? "RELEASE SAVEPOINT walk" : "RELEASE SAVEPOINT chunk", operation);
  }

  Status undoToSavepoint(Savepoint savepoint, const std::string& operation) override {
    const bool walk = savepoint == Savepoint::kWalk;
    if (Status undone = run(walk ? "ROLLBACK TO SAVEPOINT walk" : "ROLLBACK TO SAVEPOINT chunk", operation);
        !undone.isOk()) {
      return undone;
    }
    return releaseSavepoint(savepoint, operation);
  }

  Status commitTransaction() override {
    if (succeeded(connection_->endTransaction(true))) {
      connection_->setAutoCommit(true);
      return Status::ok();
    }
    // A commit that a reader blocked leaves the transaction open: it is
    // undone here, so that nothing of it is kept later by accident.
    const Status failed = connectionFailure("saving the changes");
    rollBackTransaction();
    return failed;
  }

  void rollBackTransaction() override {
    connection_->endTransaction(false);
    connection_->setAutoCommit(true);
  }

  // A driver does not say reliably whether a failure undid more than its
  // statement; after a failure that may have, the batch is undone here, so
  // that what is kept never depends on the driver.
  bool holdsBatchAfter(const Status& failed) override {
    return !std::exchange(undoBatch_, false) && !mayHaveUndoneBatch(failed);
  }

 private:
  std::string quoted(std::string_view identifier) const { return catalog_.quoted(identifier); }

  Status connectionFailure(std::string operation) const {
    return translateDiagnostics(connection_->diagnostics(), source_, name(), std::move(operation));
  }
  Status failure(const Statement& statement, std::string operation) const {
    return translateDiagnostics(statement.diagnostics(), source_, name(), std::move(operation));
  }

  // Runs a statement built from a record source or a condition once, with
  // the texts it quotes (IDs, archive names) bound as parameters.
  static bool executeWithTexts(Statement& statement, const std::string& sql) {
    const WithParameters bound = textsAsParameters(sql);
    if (bound.values.empty()) return succeeded(statement.executeDirect(bound.sql));
    if (!succeeded(statement.prepare(bound.sql))) return false;
    for (std::size_t i = 0; i < bound.values.size(); ++i) {
      statement.bindText(i + 1, bound.values[i]);
    }
    return succeeded(statement.execute());
  }

  static void bindWrites(Statement& statement, std::span<const FieldWrite> writes) {
    for (std::size_t i = 0; i < writes.size(); ++i) {
      statement.bindText(i + 1, writes[i].value);
    }
  }

  // A statement prepared once per text and kept while the store is open.
  Status cached(const std::string& sql, const std::string& operation, Statement** out) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
      auto statement = std::make_unique<Statement>(*connection_);
      if (!statement->valid()) return connectionFailure(operation);
      if (!succeeded(statement->prepare(sql))) return failure(*statement, operation);
      found = statements_.emplace(sql, std::move(statement)).first;
    }
    *out = found->second.get();
    return Status::ok();
  }

  // "UPDATE table SET column = ?, ..." and "DELETE FROM table", without
  // their WHERE, and the identity of the table's rows.
  Status updateHead(const std::string& tableName, std::span<const FieldWrite> writes, const std::string& operation,
                    std::string* out, Identity* identity) {
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, identity); !found.isOk()) return found;
    std::string head = "UPDATE " + quoted(table) + " SET ";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      head += (i > 0 ? ", " : "") + quoted(catalog_.columnSpelling(table, writes[i].column)) + " = ?";
    }
    *out = std::move(head);
    return Status::ok();
  }

  Status deleteHead(const std::string& tableName, const std::string& operation, std::string* out,
                    Identity* identity) {
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, identity); !found.isOk()) return found;
    *out = "DELETE FROM " + quoted(table);
    return Status::ok();
  }

  // Fails with kRowRefused when `table` holds a row whose identity is `row`.
  Status rowTaken(const std::string& table, const Identity& identity, RowId row, const std::string& operation) {
    bool found = false;
    const Status looked = fetchRow(
        table, quoted(identity.column), row, operation, [] { return Status::ok(); },
        [&](Statement&) { return found = true; });
    if (!looked.isOk() || !found) return looked;
    return Status::error(Code::kRowRefused, name(), operation, "a row with this identity exists already");
  }

  // The identities in column 1 of the executed statement's rows.
  Status identities(Statement& statement, const std::string& operation, std::unordered_set<RowId>* out) {
    CallResult rc = CallResult::kSucceeded;
    while (succeeded(rc = statement.fetch())) {
      std::int64_t id = 0;
      bool isNull = false;
      if (succeeded(statement.integerData(1, &id, &isNull)) && !isNull) out->insert(static_cast<RowId>(id));
    }
    return rc == CallResult::kNoData ? Status::ok() : failure(statement, operation);
  }

  // Which of `rows` (at most chunkRows()) the table still holds.
  Status rowsPresent(const std::string& tableName, std::span<const RowId> rows, const std::string& operation,
                     std::unordered_set<RowId>* out) {
    Identity identity;
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    const std::string sql = "SELECT " + quoted(identity.column) + " FROM " + quoted(table) + " WHERE " +
                            quoted(identity.column) + " IN (" + placesFor(rows.size()) + ")";
    Statement* statement = nullptr;
    if (Status prepared = cached(sql, operation, &statement); !prepared.isOk()) {
      narrowChunks(kNarrowChunkRows);
      return prepared;
    }
    bindRows(*statement, 1, rows);
    const Status outcome =
        succeeded(statement->execute()) ? identities(*statement, operation, out) : failure(*statement, operation);
    statement->reset();
    return outcome;
  }

  // Fetches the row of `tableName` whose identity is `row`, selecting
  // `columns`, and gives the statement to `take`, which reads the row and
  // answers whether it could. A row that is not there fails with `gone()`.
  template <class Gone, class Take>
  Status fetchRow(std::string_view tableName, const std::string& columns, RowId row, const std::string& operation,
                  Gone gone, Take take) {
    Identity identity;
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    std::string where = quoted(identity.column) + " = ?";
    std::vector<const StoredValue*> places;
    if (identity.byValues) {
      const StoredRow* values = keyless_.values(row);
      if (values == nullptr) return notFoundAgain(table, operation);
      where = valuesCondition(table, *values, &places);
    }
    Statement* statement = nullptr;
    if (Status prepared = cached("SELECT " + columns + " FROM " + quoted(table) + " WHERE " + where, operation, &statement);
        !prepared.isOk()) {
      return prepared;
    }
    if (identity.byValues) {
      bindPlaces(*statement, 1, places);
    } else {
      statement->bindInteger(1, row);
    }
    Status outcome = Status::ok();
    if (!succeeded(statement->execute())) {
      outcome = failure(*statement, operation);
    } else {
      const CallResult rc = statement->fetch();
      if (rc == CallResult::kNoData) {
        outcome = gone();
      } else if (!succeeded(rc) || !take(*statement)) {
        outcome = failure(*statement, operation);
      }
    }
    statement->reset();
    return outcome;
  }

  // Jet takes at most 40 terms in a WHERE: a row without a key is found by
  // that many of its columns at most. Should a table have more, the count
  // before each write still tells when they do not single the row out.
  static constexpr std::size_t kMaxComparedColumns = 40;

  std::string valuesCondition(const std::string& table, const StoredRow& values,
                              std::vector<const StoredValue*>* places) {
    return KeylessRows::condition(values, catalog_.comparableColumns(table, kMaxComparedColumns),
                                  [&](const std::string& column) { return quoted(column); }, places);
  }

  static void bindPlaces(Statement& statement, std::size_t first, const std::vector<const StoredValue*>& places) {
    for (std::size_t i = 0; i < places.size(); ++i) {
      statement.bindStored(first + i, *places[i]);
    }
  }

  // A row of a table without a key that this store did not select: a
  // journal's entry from another run, which cannot be found again.
  Status notFoundAgain(const std::string& table, const std::string& operation) const {
    return Status::error(Code::kBadRecordSource, name(), operation,
                         "the table " + table +
                             " has no key: its rows are told apart by their values only while the run that "
                             "read them lasts, so this row cannot be found again");
  }

  // One write to a row of a table without a key, `head` its statement
  // without WHERE and `bind` binding the head's own places: the row is
  // found by its values, and copies of it are written with it when the
  // selection holds them all (keyless_rows.h). A write that reached more
  // rows than that is undone with the batch: one statement cannot be
  // undone alone where there are no savepoints.
  template <class Bind>
  Status writeByValues(const RowSet& set, RowId row, const std::string& head, const KeylessRows::Written& written,
                       const std::string& operation, Bind bind) {
    if (readOnly_) {
      return Status::error(Code::kReadOnly, name(), operation, "the file is open for reading only; nothing is written");
    }
    if (!batchRefusal().isOk()) return batchRefusal();
    if (const KeylessRows::Written* along = keyless_.writtenAlong(row)) {
      if (*along == written) return Status::ok();
      return Status::error(Code::kRowRefused, name(), operation,
                           "the row was changed together with a copy of it holding the same values, and " + set.table +
                               " has no key to tell them apart; it is left as that change made it");
    }
    const StoredRow* values = keyless_.values(row);
    if (values == nullptr) return notFoundAgain(set.table, operation);
    std::vector<const StoredValue*> places;
    const std::string where = valuesCondition(set.table, *values, &places);
    const std::vector<RowId> copies = keyless_.copiesOf(row, set.rows);
    const auto selected = static_cast<std::int64_t>(copies.size()) + 1;
    Statement* statement = nullptr;
    if (Status prepared = cached(head + " WHERE " + where, operation, &statement); !prepared.isOk()) return prepared;
    const Status outcome = writeOne(
        set.table, [&]() -> const std::string& { return operation; },
        [&](std::int64_t* changed) {
          bind(*statement);
          bindPlaces(*statement, written.values.size() + 1, places);
          const Status ran = execute(*statement, operation, changed);
          statement->reset();
          if (!ran.isOk() || *changed <= selected) return ran;
          undoBatch_ = true;
          return Status::error(Code::kRowRefused, name(), operation,
                               std::to_string(*changed) + " rows of " + set.table +
                                   " hold the values of this one and the table has no key to tell them apart, but " +
                                   std::to_string(selected) + " of them were selected; none of them is changed");
        });
    if (outcome.isOk()) keyless_.wrote(row, copies, written);
    return outcome;
  }

  // A row put back into a table without a key, known from now on by the
  // identity rowNow() reserved for it.
  Status insertByValues(const std::string& table, RowId row, const StoredRow& fields, const std::string& operation) {
    std::string sql = "INSERT INTO " + quoted(table) + " (";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      sql += (i > 0 ? ", " : "") + quoted(catalog_.columnSpelling(table, fields[i].column));
    }
    sql += ") VALUES (?";
    for (std::size_t i = 1; i < fields.size(); ++i) sql += ", ?";
    sql += ")";
    const Status inserted = writeByIdentity(sql, table, operation, [&](Statement& statement) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        statement.bindStored(i + 1, fields[i].value);
      }
    });
    if (inserted.isOk()) keyless_.put(row, table, fields);
    return inserted;
  }

 public:
  Status rowNow(std::string_view tableName, RowId row, const StoredRow& image, RowId* out) override {
    const std::string operation = "finding a row of " + std::string(tableName);
    Identity identity;
    std::string table;
    if (Status found = catalog_.identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    if (!identity.byValues) {
      *out = row;
      return Status::ok();
    }
    const std::vector<std::string> columns = catalog_.comparableColumns(table, kMaxComparedColumns);
    std::vector<const StoredValue*> places;
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) sql += (i > 0 ? ", " : "") + quoted(columns[i]);
    sql += " FROM " + quoted(table) + " WHERE " + valuesCondition(table, image, &places);
    Statement* statement = nullptr;
    if (Status prepared = cached(sql, operation, &statement); !prepared.isOk()) return prepared;
    bindPlaces(*statement, 1, places);
    StoredRow values;
    Status outcome = Status::ok();
    if (!succeeded(statement->execute())) {
      outcome = failure(*statement, operation);
    } else if (const CallResult rc = statement->fetch(); rc == CallResult::kNoData) {
      *out = keyless_.reserve();  // for the row, should it be put back
      outcome = Status::error(Code::kRowGone, name(), operation, "no row holds the values it had");
    } else if (!succeeded(rc)) {
      outcome = failure(*statement, operation);
    } else {
      for (std::size_t i = 0; i < columns.size() && outcome.isOk(); ++i) {
        StoredField field{columns[i], {}};
        if (!statement->storedValue(i + 1, &field.value)) {
          outcome = failure(*statement, operation);
        }
        values.push_back(std::move(field));
      }
    }
    statement->reset();
    if (!outcome.isOk()) return outcome;
    std::unordered_set<RowId> taken;
    *out = keyless_.add(table, std::move(values), &taken);
    return Status::ok();
  }

 private:
  // The first row of `set` that meets `condition`, in a table without a key.
  Status findFirstByValues(const RowSet& set, const std::string& table, std::string_view condition,
                           const std::string& operation, std::size_t* position) {
    const std::vector<std::string> columns = catalog_.comparableColumns(table, kMaxComparedColumns);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) sql += (i > 0 ? ", " : "") + quoted(columns[i]);
    sql += " FROM " + quoted(table) + " WHERE " + catalog_.respelled(table, condition);
    Statement statement(*connection_);
    if (!statement.valid()) return connectionFailure(operation);
    if (!executeWithTexts(statement, sql)) return failure(statement, operation);
    std::vector<StoredRow> matching;
    CallResult rc = CallResult::kSucceeded;
    while (succeeded(rc = statement.fetch())) {
      StoredRow values;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        StoredField field{columns[i], {}};
        if (!statement.storedValue(i + 1, &field.value)) return failure(statement, operation);
        values.push_back(std::move(field));
      }
      matching.push_back(std::move(values));
    }
    if (rc != CallResult::kNoData) return failure(statement, operation);
    const auto found = std::find_if(set.rows.begin(), set.rows.end(), [&](RowId row) {
      const StoredRow* values = keyless_.values(row);
      return values != nullptr && std::find(matching.begin(), matching.end(), *values) != matching.end();
    });
    *position = static_cast<std::size_t>(found - set.rows.begin());
    return Status::ok();
  }

  // A statement of the store's own, run once.
  Status run(const char* sql, const std::string& operation) {
    Statement statement(*connection_);
    if (!statement.valid()) return connectionFailure(operation);
    if (!succeeded(statement.executeDirect(sql))) return failure(statement, operation);
    return Status::ok();
  }

  // Runs one write statement by identity inside the batch, `bind` binding
  // its parameters. No row changed (no data, or a count of 0) means the
  // row is gone.
  template <class Bind>
  Status writeByIdentity(const std::string& sql, const std::string& table, const std::string& operation, Bind bind) {
    if (readOnly_) {
      return Status::error(Code::kReadOnly, name(), operation, "the file is open for reading only; nothing is written");
    }
    if (!batchRefusal().isOk()) return batchRefusal();
    Statement* statement = nullptr;
    if (Status prepared = cached(sql, operation, &statement); !prepared.isOk()) return prepared;
    return writeOne(
        table, [&]() -> const std::string& { return operation; },
        [&](std::int64_t* changed) {
          bind(*statement);
          const Status outcome = execute(*statement, operation, changed);
          statement->reset();
          return outcome;
        });
  }

  // Runs a bound statement that writes; `*changed` gets the rows it
  // changed (0 when the driver says no data).
  Status execute(Statement& statement, const std::string& operation, std::int64_t* changed) {
    const CallResult rc = statement.execute();
    if (rc == CallResult::kNoData) return Status::ok();
    if (!succeeded(rc)) return failure(statement, operation);
    *changed = statement.rowCount();
    return Status::ok();
  }

  // The "?, ?, ..." of an IN list for `rows` rows (at most chunkRows()): as
  // many places as the next power of two, so that chunks of any size share a
  // few prepared statements. bindRows() fills the places past the rows with
  // the last row again, which makes the list name no other row.
  // REQUIRES: at least one row.
  std::string placesFor(std::size_t rows) const {
    std::string places = "?";
    for (std::size_t k = 1; k < placeCount(rows); ++k) places += ", ?";
    return places;
  }
  std::size_t placeCount(std::size_t rows) const { return std::min(std::bit_ceil(rows), chunkRows()); }
  void bindRows(Statement& statement, std::size_t first, std::span<const RowId> rows) const {
    for (std::size_t k = 0; k < placeCount(rows.size()); ++k) {
      statement.bindInteger(first + k, rows[std::min(k, rows.size() - 1)]);
    }
  }

  bool prepareChunk(const std::string& head, std::span<const RowId> chunk, const std::string& operation,
                    Statement** out) {
    if (cached(head + " IN (" + placesFor(chunk.size()) + ")", operation, out).isOk()) return true;
    narrowChunks(kNarrowChunkRows);  // this chunk goes row by row, the next ones narrower
    return false;
  }

  // A chunk within the Access engine's 40 terms of a WHERE, a power of two.
  static constexpr std::size_t kNarrowChunkRows = 32;

  // Runs a chunk's statement with the chunk's identities after the
  // `firstKey` parameters already bound.
  Status runChunk(Statement& statement, std::size_t firstKey, std::span<const RowId> chunk,
                  const std::string& operation, std::int64_t* changed) {
    bindRows(statement, firstKey + 1, chunk);
    const Status outcome = execute(statement, operation, changed);
    statement.reset();
    return outcome;
  }

  std::shared_ptr<OdbcEnvironment> environment_;  // outlives the connection
  std::unique_ptr<Connection> connection_;
  OdbcSource source_;
  bool readOnly_;
  OdbcCatalog catalog_;
  KeylessRows keyless_;
  bool undoBatch_ = false;  // the last write must be undone with the batch
  std::map<std::string, std::unique_ptr<Statement>> statements_;
};

}  // namespace

Status openOdbcStore(std::shared_ptr<OdbcEnvironment> environment, std::unique_ptr<Connection> connection,
                     const std::string& name, OdbcSource source, bool readOnly, bool savepoints,
                     std::unique_ptr<DatabaseStore>* out) {
  auto store =
      std::make_unique<OdbcStore>(std::move(environment), std::move(connection), name, source, readOnly, savepoints);
  // Connecting reads nothing; listing the tables tells at once whether this
  // is a database at all.
  if (Status listed = store->readTables("opening the file"); !listed.isOk()) return listed;
  *out = std::move(store);
  return Status::ok();
}

}  // namespace kestrova::data
