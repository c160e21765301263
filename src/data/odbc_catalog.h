// What the catalog of a data source says: its tables, how it quotes a
// name, and the identity of each table's rows, read once and kept while
// the connection is open.

#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/odbc_api.h"
#include "data/odbc_errors.h"
#include "data/status.h"

namespace kestrova::data {

// The identity of a table's rows: an integer column the data source keeps
// stable while the row exists, or, for a table without one, the values of
// all its columns (byValues).
struct Identity {
  std::string column;  // as the catalog names it ("_ROWID_" for SQLite's rowid); empty byValues
  std::string_view found = {};  // where it was found: "the driver's best row identifier", ...
  bool byValues = false;
};

class OdbcCatalog {
 public:
  // `file` and `source` are for the words of a failure.
  OdbcCatalog(Connection& connection, const std::string& file, OdbcSource source);

  // `identifier` between the data source's quotes, inner quotes doubled.
  std::string quoted(std::string_view identifier) const;

  // The tables of the data source, read once.
  Status readTables(const std::string& operation);

  // The table's name as the catalog gives it (the exact spelling first,
  // else one that differs only in case), and the identity of its rows: the
  // row identifier the driver names as the best one when it is an integer,
  // else a one-column integer primary key, else an integer column with a
  // unique index of its own. A table with none of them has its rows told
  // apart by their values (byValues); one whose columns the catalog cannot
  // list is refused by name.
  Status identityOf(std::string_view asGiven, const std::string& operation, std::string* table, Identity* out);

  // A column of `table` (as the catalog names the table) as the catalog
  // spells it: the exact spelling first, else one that differs only in
  // case; `column` itself when the catalog knows no such column, so that
  // the data source names what is missing.
  const std::string& columnSpelling(const std::string& table, const std::string& column);

  // The columns of `table` (as the catalog names it) whose values a
  // condition can compare, at most `limit`: every column but binary ones.
  std::vector<std::string> comparableColumns(const std::string& table, std::size_t limit);

  // `text`, a part of a statement on `table` (a column list, a condition,
  // an ORDER BY), with every bare name of one of its columns, or of the
  // table itself, quoted in the catalog's spelling: a data source that
  // folds bare names to one case then finds names kept in their own case.
  std::string respelled(const std::string& table, std::string_view text);

 private:
  struct Column {
    std::string name;
    SQLSMALLINT type;
  };
  // The columns of `table`, read once; empty when the catalog cannot say.
  const std::vector<Column>& columnsOf(const std::string& table, const std::string& operation, Status* read);
  Status failure(const Statement& statement, const std::string& operation) const;
  Status catalogName(std::string_view asGiven, const std::string& operation, std::string* out);
  Status lookUpIdentity(const std::string& table, const std::string& operation, std::optional<Identity>* out);
  // Runs a catalog call on a fresh statement and gives each result row to
  // `take`.
  template <class Call, class Take>
  Status catalogRows(const std::string& operation, Call call, Take take);
  // Whether the data source takes `column` of `table` in a SELECT: a row
  // identifier that a driver names may not exist for every kind of table.
  bool selectable(const std::string& table, const std::string& column);

  Connection& connection_;
  const std::string& file_;
  OdbcSource source_;
  std::string quote_;
  bool tablesRead_ = false;
  std::vector<std::string> tables_;
  std::map<std::string, std::optional<Identity>> identities_;
  std::map<std::string, std::vector<Column>> columns_;
};

}  // namespace kestrova::data
