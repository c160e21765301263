#include "data/odbc_catalog.h"

#include <algorithm>
#include <utility>

#include "data/ascii_text.h"
#include "data/engine_failures.h"
#include "data/odbc_parsing.h"

namespace kestrova::data {

OdbcCatalog::OdbcCatalog(Connection& connection, const std::string& file, OdbcSource source)
    : connection_(connection), file_(file), source_(source), quote_(connection.identifierQuote()) {
  if (trimmed(quote_).empty()) quote_ = "\"";
}

std::string OdbcCatalog::quoted(std::string_view identifier) const {
  const char close = quote_ == "[" ? ']' : quote_.front();
  std::string out = quote_;
  for (char c : identifier) {
    out += c;
    if (c == close) out += c;
  }
  out += close;
  return out;
}

Status OdbcCatalog::failure(const Statement& statement, const std::string& operation) const {
  if (!statement.valid()) return translateDiagnostics(connection_.diagnostics(), source_, file_, operation);
  return translateDiagnostics(statement.diagnostics(), source_, file_, operation);
}

template <class Call, class Take>
Status OdbcCatalog::catalogRows(const std::string& operation, Call call, Take take) {
  Statement statement(connection_);
  if (!statement.valid()) return failure(statement, operation);
  CallResult rc = call(statement);
  if (!succeeded(rc)) return failure(statement, operation);
  while (succeeded(rc = statement.fetch())) take(statement);
  if (rc != CallResult::kNoData) return failure(statement, operation);
  return Status::ok();
}

Status OdbcCatalog::readTables(const std::string& operation) {
  if (tablesRead_) return Status::ok();
  Status read = catalogRows(
      // A table linked from another file (the Access driver lists it as a
      // SYNONYM) is walked like the file's own.
      operation, [](Statement& statement) { return statement.tables("'TABLE','SYNONYM'"); },
      [&](Statement& statement) {
        FieldValue table;
        if (succeeded(statement.textData(3, &table)) && table) tables_.push_back(*table);
      });
  if (!read.isOk()) return read;
  tablesRead_ = true;
  return Status::ok();
}

Status OdbcCatalog::identityOf(std::string_view asGiven, const std::string& operation, std::string* table,
                               Identity* out) {
  if (Status found = catalogName(asGiven, operation, table); !found.isOk()) return found;
  if (auto known = identities_.find(*table); known != identities_.end()) {
    if (!known->second) {
      return Status::error(Status::Code::kBadRecordSource, file_, operation,
                           "the table " + *table +
                               " has no integer row identity (no row identifier, single integer primary key "
                               "or unique integer column) and the driver does not list its columns, so its "
                               "rows cannot be told apart safely");
    }
    *out = *known->second;
    return Status::ok();
  }
  std::optional<Identity> identity;
  if (Status looked = lookUpIdentity(*table, operation, &identity); !looked.isOk()) return looked;
  identities_[*table] = identity;
  return identityOf(*table, operation, table, out);
}

Status OdbcCatalog::catalogName(std::string_view asGiven, const std::string& operation, std::string* out) {
  if (Status read = readTables(operation); !read.isOk()) return read;
  const std::string wanted(asGiven);
  const auto exact = std::find(tables_.begin(), tables_.end(), wanted);
  if (exact != tables_.end()) {
    *out = *exact;
    return Status::ok();
  }
  const auto similar = std::find_if(tables_.begin(), tables_.end(),
                                    [&](const std::string& table) { return sameIgnoringCase(table, wanted); });
  if (similar != tables_.end()) {
    *out = *similar;
    return Status::ok();
  }
  return noSuchTable(file_, operation, wanted);
}

Status OdbcCatalog::lookUpIdentity(const std::string& table, const std::string& operation,
                                   std::optional<Identity>* out) {
  // The column types, to tell an integer key from any other.
  std::map<std::string, SQLSMALLINT> types;
  Status read;
  for (const Column& column : columnsOf(table, operation, &read)) types[lowered(column.name)] = column.type;
  if (!read.isOk()) return read;
  const auto integerColumn = [&](const std::string& column) {
    const auto found = types.find(lowered(column));
    return found != types.end() && isIntegerType(found->second);
  };

  // 1. The driver's best row identifier: SQLite's rowid (reported as
  // _ROWID_, not among the columns) or its integer primary key. Never a
  // physical position such as PostgreSQL's ctid, which moves on every
  // update.
  std::vector<std::pair<std::string, SQLSMALLINT>> best;
  read = catalogRows(
      operation, [&](Statement& statement) { return statement.bestRowIdentifier(table); },
      [&](Statement& statement) { best.emplace_back(statement.textAt(2), statement.shortAt(3)); });
  if (read.isOk() && best.size() == 1 && !sameIgnoringCase(best[0].first, "ctid") &&
      (isIntegerType(best[0].second) || integerColumn(best[0].first)) && selectable(table, best[0].first)) {
    *out = Identity{best[0].first, "the driver's best row identifier"};
    return Status::ok();
  }

  // 2. A primary key of one integer column.
  std::vector<std::string> key;
  read = catalogRows(
      operation, [&](Statement& statement) { return statement.primaryKeys(table); },
      [&](Statement& statement) { key.push_back(statement.textAt(4)); });
  if (read.isOk() && key.size() == 1 && integerColumn(key[0])) {
    *out = Identity{key[0], "its primary key"};
    return Status::ok();
  }

  // 3. A unique index on one integer column.
  std::map<std::string, std::vector<std::string>> indexes;
  read = catalogRows(
      operation, [&](Statement& statement) { return statement.uniqueIndexes(table); },
      [&](Statement& statement) {
        if (statement.shortAt(7) == SQL_TABLE_STAT) return;
        const std::string index = statement.textAt(6);
        const std::string column = statement.textAt(9);
        if (!column.empty()) indexes[index].push_back(column);
      });
  if (read.isOk()) {
    for (const auto& [index, columns] : indexes) {
      if (columns.size() == 1 && integerColumn(columns[0])) {
        *out = Identity{columns[0], "a unique index"};
        return Status::ok();
      }
    }
  }

  // 4. No key: the values of all its columns.
  if (!types.empty()) {
    *out = Identity{"", "the table has no key", true};
    return Status::ok();
  }
  out->reset();
  return Status::ok();
}

const std::vector<OdbcCatalog::Column>& OdbcCatalog::columnsOf(const std::string& table, const std::string& operation,
                                                               Status* read) {
  if (auto known = columns_.find(table); known != columns_.end()) return known->second;
  std::vector<Column> columns;
  *read = catalogRows(
      operation, [&](Statement& statement) { return statement.columns(table); },
      [&](Statement& statement) {
        columns.push_back(Column{statement.textAt(4), statement.shortAt(5)});
      });
  if (!read->isOk()) {
    static const std::vector<Column> none;
    return none;
  }
  return columns_[table] = std::move(columns);
}

const std::string& OdbcCatalog::columnSpelling(const std::string& table, const std::string& column) {
  static const std::string operation = "reading the columns";  // the table's identity has read them already
  Status read;
  const std::vector<Column>& columns = columnsOf(table, operation, &read);
  for (const Column& known : columns) {
    if (known.name == column) return known.name;
  }
  for (const Column& known : columns) {
    if (sameIgnoringCase(known.name, column)) return known.name;
  }
  return column;
}

std::vector<std::string> OdbcCatalog::comparableColumns(const std::string& table, std::size_t limit) {
  Status read;
  std::vector<std::string> comparable;
  for (const Column& column : columnsOf(table, "reading the columns", &read)) {
    if (comparable.size() == limit) break;
    if (isBinaryType(column.type)) continue;
    comparable.push_back(column.name);
  }
  return comparable;
}

std::string OdbcCatalog::respelled(const std::string& table, std::string_view text) {
  return respelledNames(text, [&](std::string_view word) -> std::optional<std::string> {
    const std::string name(word);
    const std::string& spelled = columnSpelling(table, name);
    if (&spelled != &name) return quoted(spelled);
    if (sameIgnoringCase(word, table)) return quoted(table);
    return std::nullopt;
  });
}

bool OdbcCatalog::selectable(const std::string& table, const std::string& column) {
  Statement statement(connection_);
  return statement.valid() &&
         succeeded(statement.executeDirect("SELECT " + quoted(column) + " FROM " + quoted(table) + " WHERE 1 = 0"));
}

}  // namespace kestrova::data
