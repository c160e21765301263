// The Access-shaped test driver, talked to in raw ODBC through the driver
// manager: each rule the tool will meet on the Access driver, with the
// answer it must give (a SQLSTATE and native code, or a value).

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

struct Outcome {
  std::string state;  // empty when the call succeeded
  SQLINTEGER native = 0;
  std::string value;  // the answer, or the message of a failure
};

Outcome failureOf(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLCHAR text[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
  return {reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)};
}

// One ODBC connection; its statement's first column of every row, joined.
class Connection {
 public:
  explicit Connection(const std::string& text) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string in = text;
    const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, nullptr, 0,
                                          nullptr, SQL_DRIVER_NOPROMPT);
    if (rc == SQL_ERROR) opened = failureOf(SQL_HANDLE_DBC, dbc_);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
  }
  ~Connection() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLHDBC dbc() const { return dbc_; }
  SQLHSTMT stmt() const { return stmt_; }

  // The rows of what `rc` left open on the statement (first column), or
  // its failure.
  Outcome result(SQLRETURN rc) {
    if (rc == SQL_ERROR) return failureOf(SQL_HANDLE_STMT, stmt_);
    Outcome outcome;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt_, &columns);
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt_))) {
      char cell[256] = {};
      SQLLEN indicator = 0;
      SQLGetData(stmt_, 1, SQL_C_CHAR, cell, sizeof cell, &indicator);
      outcome.value += std::string(outcome.value.empty() ? "" : ",") + (indicator == SQL_NULL_DATA ? "NULL" : cell);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return outcome;
  }
  Outcome exec(const std::string& sql) {
    return result(SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS));
  }
  // Column `column` of a catalog call's rows.
  Outcome catalog(SQLRETURN rc, SQLUSMALLINT column) {
    if (rc == SQL_ERROR) return failureOf(SQL_HANDLE_STMT, stmt_);
    Outcome outcome;
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      char cell[256] = {};
      SQLLEN indicator = 0;
      SQLGetData(stmt_, column, SQL_C_CHAR, cell, sizeof cell, &indicator);
      outcome.value += std::string(outcome.value.empty() ? "" : ",") + cell;
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return outcome;
  }

  Outcome opened;

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

SQLCHAR* sqlText(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// A shop file in a temporary folder, made through the SQLite driver itself.
class Shop {
 public:
  Shop() {
    char folder[] = "/tmp/kestrova-jet-XXXXXX";
    folder_ = mkdtemp(folder);
    Connection maker(sqliteString());
    for (const char* sql :
         {"CREATE TABLE Customers (Id INTEGER NOT NULL UNIQUE, Code VARCHAR(20), Note TEXT)",
          "CREATE TABLE Visits (CustId INTEGER, Note TEXT)", "CREATE TABLE Tasks (Id INTEGER NOT NULL UNIQUE)",
          "INSERT INTO Customers VALUES (1, 'A1', 'say \"hi\"'), (2, 'B2', NULL), (3, 'C3', NULL)"}) {
      maker.exec(sql);
    }
  }
  ~Shop() { std::filesystem::remove_all(folder_); }
  std::string file() const { return (folder_ / "shop.mdb").string(); }
  std::string sqliteString() const { return "Driver=SQLite3;Database=" + file() + ";"; }
  std::string jetString(const std::string& more = "") const {
    return std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database=" + file() + ";Linked=Tasks;Timeout=100;" + more;
  }

 private:
  std::filesystem::path folder_;
};

// A SELECT of exactly `characters` characters.
std::string ofLength(std::size_t characters) {
  const std::string head = "SELECT Code FROM Customers WHERE Code = '";
  return head + std::string(characters - head.size() - 1, 'x') + "'";
}

std::string manyTerms(int terms, const char* first = "Id = 0") {
  std::string sql = std::string("SELECT Code FROM Customers WHERE ") + first;
  for (int i = 1; i < terms; ++i) sql += " OR Id = " + std::to_string(i);
  return sql;
}

Outcome info(Connection& c, SQLUSMALLINT type, char kind) {
  char text[64] = {};
  SQLUINTEGER wide = 0;
  SQLUSMALLINT small = 0;
  void* target = kind == 't' ? static_cast<void*>(text) : kind == 's' ? static_cast<void*>(&small) : &wide;
  if (!SQL_SUCCEEDED(SQLGetInfo(c.dbc(), type, target, sizeof text, nullptr)))
    return failureOf(SQL_HANDLE_DBC, c.dbc());
  return {"", 0, kind == 't' ? std::string(text) : std::to_string(kind == 's' ? small : wide)};
}

Outcome describedType(Connection& c, const char* select) {
  if (SQLExecDirect(c.stmt(), sqlText(select), SQL_NTS) == SQL_ERROR) return failureOf(SQL_HANDLE_STMT, c.stmt());
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLDescribeCol(c.stmt(), 1, nullptr, 0, nullptr, &type, &size, nullptr, nullptr);
  SQLFreeStmt(c.stmt(), SQL_CLOSE);
  return {"", 0, std::to_string(type) + "/" + std::to_string(size)};
}

Outcome bind(Connection& c, SQLSMALLINT valueType, SQLSMALLINT parameterType, SQLULEN size = 10) {
  static long long value = 2;
  SQLPrepare(c.stmt(), sqlText("SELECT Code FROM Customers WHERE Id = ?"), SQL_NTS);
  if (SQLBindParameter(c.stmt(), 1, SQL_PARAM_INPUT, valueType, parameterType, size, 0, &value, 0, nullptr) ==
      SQL_ERROR) {
    return failureOf(SQL_HANDLE_STMT, c.stmt());
  }
  return c.result(SQLExecute(c.stmt()));
}

// Holds the file's write lock (another program writing) for a statement.
Outcome whileLocked(const Shop& shop, Connection& c, const std::string& sql) {
  Connection holder(shop.sqliteString());
  holder.exec("BEGIN EXCLUSIVE");
  return c.exec(sql);
}

// Three rows changed one by one in a transaction, then rolled back: how
// many changes were kept.
Outcome keptAfterRollback(const Shop& shop, const std::string& more) {
  Connection c(shop.jetString(more));
  SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  for (const char* id : {"1", "2", "3"}) c.exec(std::string("UPDATE Customers SET Code = 'X' WHERE Id = ") + id);
  SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_ROLLBACK);
  return c.exec("SELECT COUNT(*) FROM Customers WHERE Code = 'X'");
}

// A driver's ODBC 2 state (37000) reaches an ODBC 3 program as the driver
// manager maps it (42000).
struct RuleCase {
  const char* rule;
  std::function<Outcome(const Shop&, Connection&)> call;
  Outcome expected;  // for a failure, `value` is a part of its message
};

TEST(JetDriver, AnswersAsTheAccessDriverDoes) {
  const std::string german = "Aktualisierung nicht m\xC3\xB6glich; momentan gesperrt.";
  const RuleCase cases[] = {
      {"DBMS name", [](auto&, auto& c) { return info(c, SQL_DBMS_NAME, 't'); }, {"", 0, "ACCESS"}},
      {"DBMS version", [](auto&, auto& c) { return info(c, SQL_DBMS_VER, 't'); }, {"", 0, "04.00.0000"}},
      {"driver", [](auto&, auto& c) { return info(c, SQL_DRIVER_NAME, 't'); }, {"", 0, "ACEODBC.DLL"}},
      {"quote", [](auto&, auto& c) { return info(c, SQL_IDENTIFIER_QUOTE_CHAR, 't'); }, {"", 0, "`"}},
      {"transactions", [](auto&, auto& c) { return info(c, SQL_TXN_CAPABLE, 's'); }, {"", 0, "1"}},
      {"no bigint", [](auto&, auto& c) { return info(c, SQL_CONVERT_BIGINT, 'w'); }, {"", 0, "0"}},
      {"statement length", [](auto&, auto& c) { return info(c, SQL_MAX_STATEMENT_LEN, 'w'); }, {"", 0, "65000"}},
      {"index columns", [](auto&, auto& c) { return info(c, SQL_MAX_COLUMNS_IN_INDEX, 's'); }, {"", 0, "10"}},
      {"forwarded info", [](auto&, auto& c) { return info(c, SQL_DATA_SOURCE_READ_ONLY, 't'); }, {"", 0, "N"}},
      {"savepoint", [](auto&, auto& c) { return c.exec("SAVEPOINT s"); }, {"42000", -3500, "Invalid SQL statement"}},
      {"release", [](auto&, auto& c) { return c.exec("RELEASE s"); }, {"42000", -3500, "Invalid SQL statement"}},
      {"rollback to", [](auto&, auto& c) { return c.exec("rollback to s"); }, {"42000", -3500, "Invalid SQL"}},
      {"double-quoted name",
       [](auto&, auto& c) { return c.exec("SELECT \"Code\" FROM Customers"); },
       {"07002", -3010, "Too few parameters. Expected 1."}},
      {"unknown column",
       [](auto&, auto& c) { return c.exec("SELECT Nosuch FROM Customers"); },
       {"07002", -3010, "Too few parameters. Expected 1."}},
      {"back-quoted name",
       [](auto&, auto& c) { return c.exec("SELECT `Code` FROM `Customers` WHERE Id = 1"); },
       {"", 0, "A1"}},
      {"quotes inside a string",
       [](auto&, auto& c) { return c.exec("SELECT Code FROM Customers WHERE Note = 'say \"hi\"' OR Code = 'it''s'"); },
       {"", 0, "A1"}},
      {"64,000 characters", [](auto&, auto& c) { return c.exec(ofLength(64000)); }, {"", 0, ""}},
      {"64,001 characters",
       [](auto&, auto& c) { return c.exec(ofLength(64001)); },
       {"42000", -3360, "Query is too complex."}},
      {"40 terms, one a BETWEEN",
       [](auto&, auto& c) { return c.exec(manyTerms(40, "Id BETWEEN 1 AND 1")); },
       {"", 0, "A1,B2,C3"}},
      {"41 terms", [](auto&, auto& c) { return c.exec(manyTerms(41)); }, {"42000", -3360, "Query is too complex."}},
      {"41 items in an IN list",
       [](auto&, auto& c) {
         std::string list = "1";
         for (int i = 2; i <= 41; ++i) list += "," + std::to_string(i);
         return c.exec("SELECT Code FROM Customers WHERE Id IN (" + list + ")");
       },
       {"42000", -3360, "Query is too complex."}},
      {"bigint value",
       [](auto&, auto& c) { return bind(c, SQL_C_SBIGINT, SQL_INTEGER); },
       {"HYC00", 0, "Optional feature not implemented"}},
      {"bigint parameter",
       [](auto&, auto& c) { return bind(c, SQL_C_SLONG, SQL_BIGINT); },
       {"HYC00", 0, "Optional feature not implemented"}},
      {"integer parameter", [](auto&, auto& c) { return bind(c, SQL_C_SLONG, SQL_INTEGER); }, {"", 0, "B2"}},
      {"text parameter over 255",
       [](auto&, auto& c) { return bind(c, SQL_C_CHAR, SQL_VARCHAR, 256); },
       {"HY104", 0, "Invalid precision value"}},
      {"integer column", [](auto&, auto& c) { return describedType(c, "SELECT Id FROM Customers"); }, {"", 0, "4/10"}},
      {"text column", [](auto&, auto& c) { return describedType(c, "SELECT Code FROM Customers"); }, {"", 0, "-9/20"}},
      {"memo column",
       [](auto&, auto& c) { return describedType(c, "SELECT Note FROM Customers"); },
       {"", 0, "-10/1073741823"}},
      {"catalog types",
       [](auto&, auto& c) {
         return c.catalog(SQLColumns(c.stmt(), nullptr, 0, nullptr, 0, sqlText("Customers"), SQL_NTS, nullptr, 0), 5);
       },
       {"", 0, "4,-9,-10"}},
      {"no primary keys",
       [](auto&, auto& c) {
         return c.result(SQLPrimaryKeys(c.stmt(), nullptr, 0, nullptr, 0, sqlText("Customers"), SQL_NTS));
       },
       {"IM001", 0, "Driver does not support this function"}},
      {"unique index, current row",
       [](auto&, auto& c) {
         return c.catalog(SQLSpecialColumns(c.stmt(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0, sqlText("Customers"),
                                            SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE),
                          2);
       },
       {"", 0, "Id"}},
      {"nothing for a session",
       [](auto&, auto& c) {
         return c.catalog(SQLSpecialColumns(c.stmt(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0, sqlText("Customers"),
                                            SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE),
                          2);
       },
       {"", 0, ""}},
      {"no row-id pseudo column",
       [](auto&, auto& c) {
         return c.catalog(SQLSpecialColumns(c.stmt(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0, sqlText("Visits"),
                                            SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE),
                          2);
       },
       {"", 0, ""}},
      {"linked table",
       [](auto&, auto& c) { return c.catalog(SQLTables(c.stmt(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), 4); },
       {"", 0, "TABLE,TABLE,SYNONYM"}},
      {"tables only",
       [](auto&, auto& c) {
         return c.catalog(SQLTables(c.stmt(), nullptr, 0, nullptr, 0, nullptr, 0, sqlText("'TABLE'"), SQL_NTS), 3);
       },
       {"", 0, "Customers,Visits"}},
      {"locked row",
       [](auto& s, auto& c) { return whileLocked(s, c, "UPDATE Customers SET Code = 'Z'"); },
       {"HY000", -3218, german}},
      {"file in use",
       [](auto& s, auto& c) { return whileLocked(s, c, "SELECT Code FROM Customers"); },
       {"HY000", -1102, "bereits verwendet"}},
      {"locked, in English",
       [](auto& s, auto&) {
         Connection english(s.jetString("Language=en"));
         return whileLocked(s, english, "DELETE FROM Visits");
       },
       {"HY000", -3218, "Could not update; currently locked."}},
      {"transaction past its locks",
       [](auto& s, auto&) { return keptAfterRollback(s, "MaxLocksPerFile=2"); },
       {"", 0, "3"}},
      {"transaction within its locks", [](auto& s, auto&) { return keptAfterRollback(s, ""); }, {"", 0, "0"}},
      {"missing file",
       [](auto& s, auto&) {
         return Connection(std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database=" + s.file() + ".gone;").opened;
       },
       {"HY000", -1811, "Could not find file"}},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.rule);
    Shop shop;
    Connection jet(shop.jetString());
    ASSERT_EQ(jet.opened.state, "") << jet.opened.value;
    const Outcome got = c.call(shop, jet);
    EXPECT_EQ(got.state, c.expected.state) << got.value;
    EXPECT_EQ(got.native, c.expected.native);
    if (c.expected.state.empty()) {
      EXPECT_EQ(got.value, c.expected.value);
    } else {
      EXPECT_NE(got.value.find(c.expected.value), std::string::npos) << got.value;
    }
  }
}

// The wide entry points screen and rewrite as the narrow ones do, and keep
// text beyond the Basic Multilingual Plane whole.
TEST(JetDriver, WideStatementsFollowTheSameRules) {
  Shop shop;
  Connection jet(shop.jetString());
  std::u16string refused = u"SAVEPOINT s";
  std::u16string quoted = u"SELECT '\U0001F697' || `Code` FROM Customers WHERE Id = 3";
  EXPECT_EQ(SQLExecDirectW(jet.stmt(), reinterpret_cast<SQLWCHAR*>(refused.data()), SQL_NTS), SQL_ERROR);
  SQLWCHAR state[6] = {};
  SQLWCHAR text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, jet.stmt(), 1, state, &native, text, 512, &length), SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(state)), u"42000");
  EXPECT_EQ(native, -3500);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepareW(jet.stmt(), reinterpret_cast<SQLWCHAR*>(quoted.data()), SQL_NTS)));
  EXPECT_EQ(jet.result(SQLExecute(jet.stmt())).value,
            "\xF0\x9F\x9A\x97"
            "C3");
}

}  // namespace
