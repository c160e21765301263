#include "floor.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "bench_support.h"
#include "data/odbc_engine.h"

namespace kestrova::bench {
namespace {

namespace fs = std::filesystem;
using tools::BenchmarkRecord;

// --- the floor: the same changes as set-based SQL --------------------------------

class Connection {
 public:
  explicit Connection(const fs::path& file) {
    // As the tool opens a shop file: read-write, never create, one thread,
    // default rollback journal, temporary data in memory.
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      die("cannot open " + file.string());
    }
    sqlite3_busy_timeout(db_, 5000);
    exec("PRAGMA temp_store = MEMORY");
  }
  ~Connection() { sqlite3_close_v2(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : "?";
      sqlite3_free(error);
      die(sql + ": " + message);
    }
  }

  // Runs `sql` with ?1, ?2, ... bound to `values`; returns the first column
  // of every row.
  std::vector<std::optional<std::string>> run(const std::string& sql, const std::vector<std::string>& values) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      die(sql + ": " + sqlite3_errmsg(db_));
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<std::optional<std::string>> out;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      out.push_back(text != nullptr ? std::optional<std::string>(text) : std::nullopt);
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) die(sql + ": " + sqlite3_errmsg(db_));
    return out;
  }

  long long changes() const { return sqlite3_total_changes64(db_); }
  sqlite3* handle() const { return db_; }
  void begin() { exec("BEGIN IMMEDIATE"); }
  void commit() { exec("COMMIT"); }

 private:
  sqlite3* db_ = nullptr;
};

// The floor through an ODBC driver: one manual-commit transaction, each
// statement sent as it is, with ?1, ?2... given as quoted texts.
class OdbcConnection {
 public:
  explicit OdbcConnection(const std::string& connectionString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string in = connectionString;
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    check(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out, sizeof out, &outLength,
                           SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc_, "connecting with " + connectionString);
    check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc_, "turning autocommit off");
  }
  ~OdbcConnection() {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  std::vector<std::optional<std::string>> run(const std::string& sql, const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t i = 0; i < sql.size(); ++i) {
      if (sql[i] == '?' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
        const std::size_t n = static_cast<std::size_t>(sql[++i] - '1');
        text += '\'';
        for (char c : values.at(n)) text += c == '\'' ? std::string("''") : std::string(1, c);
        text += '\'';
      } else {
        text += sql[i];
      }
    }
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement);
    const SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, statement, text);
    std::vector<std::optional<std::string>> rows;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(statement, &columns);
    if (columns == 0) {
      SQLLEN count = 0;
      if (rc != SQL_NO_DATA && SQL_SUCCEEDED(SQLRowCount(statement, &count)) && count > 0) changes_ += count;
    }
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(statement))) {
      char value[256];
      SQLLEN length = 0;
      SQLGetData(statement, 1, SQL_C_CHAR, value, sizeof value, &length);
      rows.push_back(length == SQL_NULL_DATA ? std::nullopt : std::optional<std::string>(value));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return rows;
  }
  void begin() {}  // the driver begins the transaction with the first statement
  void commit() { check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "COMMIT"); }
  long long changes() const { return changes_; }

 private:
  static void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    if (SQL_SUCCEEDED(rc)) return;
    SQLCHAR state[6] = {};
    SQLCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    die(what + ": " + reinterpret_cast<char*>(state) + " " + reinterpret_cast<char*>(message));
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  long long changes_ = 0;
};

// One transaction per file; one statement per table. `open` connects to
// a file of the shop, by its name.
template <class Db>
FloorResult timeFloor(const BenchmarkRecord& record,
                      const std::function<std::unique_ptr<Db>(const std::string&)>& open) {
  const std::vector<std::string> ids = {record.fromId, record.toId};
  long long changed = 0;
  const auto start = Clock::now();
  const auto inFile = [&](const std::string& file, const std::function<void(Db&)>& work) {
    const std::unique_ptr<Db> db = open(file);
    db->begin();
    work(*db);
    db->commit();
    changed += db->changes();
  };
  std::vector<std::string> archives;
  const auto gatherArchives = [&](Db& db, const std::string& column) {
    for (const auto& name : db.run("SELECT DISTINCT Archive FROM Orders WHERE " + column + " = ?1", {record.fromId})) {
      if (name && name->find_first_not_of(' ') != std::string::npos) archives.push_back(*name);
    }
  };
  const auto repoint = [&](Db& db, const std::string& table, const std::string& column) {
    db.run("UPDATE " + table + " SET " + column + " = ?2 WHERE " + column + " = ?1", ids);
  };

  switch (record.kind) {
    case Kind::kCustomer:
      inFile("kestrova.mdb", [&](Db& db) { repoint(db, "Automobile", "CustID"); });
      inFile("mgmtdata.mdb", [&](Db& db) {
        gatherArchives(db, "CustID");
        db.run("DELETE FROM ARBillings WHERE CustID IN (?1, ?2)", ids);
        repoint(db, "Invoices", "CustID");
        repoint(db, "Orders", "CustID");
        db.run(
            "UPDATE Payments SET CustID = ?2, OrderNumber = CASE WHEN substr(OrderNumber, 1, 2) = 'AR' "
            "THEN 'AR' || ?2 ELSE OrderNumber END WHERE CustID = ?1",
            ids);
      });
      inFile("w_orders.mdb", [&](Db& db) { repoint(db, "Orders", "CustID"); });
      for (const std::string& name : archives) {
        inFile(name + ".arc", [&](Db& db) { repoint(db, "Orders", "CustID"); });
      }
      break;
    case Kind::kVehicle:
      inFile("kestrova.mdb", [&](Db& db) { repoint(db, "History", "AutoID"); });
      inFile("mgmtdata.mdb", [&](Db& db) {
        gatherArchives(db, "AutoID");
        repoint(db, "Services", "AutoID");
        repoint(db, "Orders", "AutoID");
      });
      inFile("w_orders.mdb", [&](Db& db) { repoint(db, "Orders", "AutoID"); });
      for (const std::string& name : archives) {
        inFile(name + ".arc", [&](Db& db) { repoint(db, "Orders", "AutoID"); });
      }
      break;
    case Kind::kEmployee: {
      std::string nickname;
      inFile("kestrova.mdb", [&](Db& db) {
        const auto found = db.run("SELECT NickName FROM Employees WHERE IDNumber = ?1", {record.fromId});
        if (found.empty() || !found.front()) die("no nickname for " + record.fromId);
        nickname = *found.front();
        repoint(db, "Labor", "IDNumber");
      });
      inFile("mgmtdata.mdb", [&](Db& db) {
        gatherArchives(db, "EmplID");
        repoint(db, "Invoices", "EmplID");
        repoint(db, "Services", "EmplID");
        repoint(db, "TimeSheets", "IDNumber");
        repoint(db, "Orders", "EmplID");
      });
      const auto workOrders = [&](Db& db) {
        repoint(db, "Orders", "EmplID");
        db.run("UPDATE Tasks SET Tech = '~' || ?2 WHERE Tech IN ('~' || ?1, ?3)",
               {record.fromId, record.toId, nickname});
        repoint(db, "Techs", "TechID");
      };
      inFile("w_orders.mdb", workOrders);
      for (const std::string& name : archives) inFile(name + ".arc", workOrders);
      break;
    }
  }
  return {seconds(Clock::now() - start), changed};
}

// The batch's floor: its pairs in a temporary mapping table of each file's
// connection, and each table re-pointed through it.
template <class Db>
FloorResult timeBatchFloor(Kind kind, const std::vector<IdPair>& pairs,
                           const std::function<std::unique_ptr<Db>(const std::string&)>& open) {
  long long changed = 0;
  const auto start = Clock::now();
  // `mapped`: the pairs of the file's mapping table.
  const auto inFileOf = [&](const std::string& file, const std::vector<IdPair>& mapped,
                            const std::function<void(Db&)>& work) {
    const std::unique_ptr<Db> db = open(file);
    db->begin();
    db->run("CREATE TEMP TABLE IdMap (FromID TEXT PRIMARY KEY, ToID TEXT)", {});
    for (std::size_t first = 0; first < mapped.size(); first += 500) {
      std::string insert = "INSERT INTO IdMap VALUES ";
      for (std::size_t i = first; i < std::min(mapped.size(), first + 500); ++i) {
        insert += (i == first ? "('" : ", ('") + mapped[i].from + "', '" + mapped[i].to + "')";
      }
      db->run(insert, {});
    }
    const long long before = db->changes();
    work(*db);
    db->commit();
    changed += db->changes() - before;
  };
  const auto inFile = [&](const std::string& file, const std::function<void(Db&)>& work) {
    inFileOf(file, pairs, work);
  };
  const auto repoint = [](Db& db, const std::string& table, const std::string& column) {
    db.run("UPDATE " + table + " SET " + column + " = (SELECT ToID FROM IdMap WHERE FromID = " + table + "." + column +
               ") WHERE " + column + " IN (SELECT FromID FROM IdMap)",
           {});
  };
  const std::string column = kind == Kind::kCustomer ? "CustID" : "AutoID";
  // Each archive with the pairs whose management orders name it: the only
  // ones re-pointed in it.
  std::map<std::string, std::vector<IdPair>> archives;
  std::map<std::string, std::string> toOf;
  for (const IdPair& pair : pairs) toOf[pair.from] = pair.to;
  if (kind == Kind::kCustomer) {
    inFile("kestrova.mdb", [&](Db& db) { repoint(db, "Automobile", "CustID"); });
  } else {
    inFile("kestrova.mdb", [&](Db& db) { repoint(db, "History", "AutoID"); });
  }
  inFile("mgmtdata.mdb", [&](Db& db) {
    for (const auto& named : db.run("SELECT DISTINCT " + column + " || '|' || Archive FROM Orders WHERE " + column +
                                        " IN (SELECT FromID FROM IdMap) AND Archive IS NOT NULL",
                                    {})) {
      const std::size_t bar = named->find('|');
      const std::string name = named->substr(bar + 1);
      const std::string from = named->substr(0, bar);
      if (name.find_first_not_of(' ') != std::string::npos) archives[name].push_back({from, toOf.at(from)});
    }
    if (kind == Kind::kCustomer) {
      db.run("DELETE FROM ARBillings WHERE CustID IN (SELECT FromID FROM IdMap UNION SELECT ToID FROM IdMap)", {});
      repoint(db, "Invoices", "CustID");
      repoint(db, "Orders", "CustID");
      db.run(
          "UPDATE Payments SET OrderNumber = CASE WHEN substr(OrderNumber, 1, 2) = 'AR' THEN 'AR' || (SELECT ToID "
          "FROM IdMap WHERE FromID = Payments.CustID) ELSE OrderNumber END, CustID = (SELECT ToID FROM IdMap WHERE "
          "FromID = Payments.CustID) WHERE CustID IN (SELECT FromID FROM IdMap)",
          {});
    } else {
      repoint(db, "Services", "AutoID");
      repoint(db, "Orders", "AutoID");
    }
  });
  inFile("w_orders.mdb", [&](Db& db) { repoint(db, "Orders", column); });
  for (const auto& [name, mapped] : archives) {
    inFileOf(name + ".arc", mapped, [&](Db& db) { repoint(db, "Orders", column); });
  }
  return {seconds(Clock::now() - start), changed};
}

}  // namespace

FloorResult timeSqliteBatchFloor(const fs::path& folder, Kind kind, const std::vector<IdPair>& pairs) {
  return timeBatchFloor<Connection>(kind, pairs,
                                    [&](const std::string& file) { return std::make_unique<Connection>(folder / file); });
}

std::vector<std::string> columnOf(const fs::path& file, const std::string& sql) {
  Connection db(file);
  std::vector<std::string> values;
  for (const auto& value : db.run(sql, {})) values.push_back(value.value_or(""));
  return values;
}

FloorResult timeSqliteFloor(const fs::path& folder, const BenchmarkRecord& record) {
  return timeFloor<Connection>(record,
                               [&](const std::string& file) { return std::make_unique<Connection>(folder / file); });
}

// The connection string of a template for one file.
std::string connectionFor(const std::string& text, const fs::path& file) {
  kestrova::data::OdbcTemplate parsed;
  std::string problem;
  std::string out;
  if (!kestrova::data::OdbcTemplate::parse(text, &parsed, &problem) || !parsed.connectionString(file, &out, &problem)) {
    die("the template " + text + ": " + problem);
  }
  return out;
}

FloorResult timeOdbcFloor(const std::string& text, const fs::path& folder, const BenchmarkRecord& record) {
  return timeFloor<OdbcConnection>(record, [&](const std::string& file) {
    return std::make_unique<OdbcConnection>(connectionFor(text, folder / file));
  });
}

FloorResult timeOdbcBatchFloor(const std::string& text, const fs::path& folder, Kind kind,
                               const std::vector<IdPair>& pairs) {
  return timeBatchFloor<OdbcConnection>(kind, pairs, [&](const std::string& file) {
    return std::make_unique<OdbcConnection>(connectionFor(text, folder / file));
  });
}

long long differingRows(const fs::path& a, const fs::path& b, const std::vector<std::string>& files) {
  long long differing = 0;
  for (const std::string& file : files) {
    Connection db(a / file);
    const std::string attach = "ATTACH DATABASE '" + (b / file).string() + "' AS other";
    db.exec(attach);
    for (const auto& table : db.run("SELECT name FROM main.sqlite_master WHERE type = 'table'", {})) {
      const std::string t = "\"" + *table + "\"";
      for (const auto& [left, right] : {std::pair{"main", "other"}, std::pair{"other", "main"}}) {
        const auto count = db.run(std::string("SELECT count(*) FROM (SELECT rowid, * FROM ") + left + "." + t +
                                      " EXCEPT SELECT rowid, * FROM " + right + "." + t + ")",
                                  {});
        differing += std::stoll(*count.front());
      }
    }
  }
  return differing;
}

}  // namespace kestrova::bench
