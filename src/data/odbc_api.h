// A thin layer over the ODBC C API: the environment, connection and
// statement handles with their lifetimes, the driver's diagnostics,
// parameters bound by position and columns fetched by type.
//
// Text crosses the driver manager in the platform's own way, chosen here
// once: on Windows the wide calls carry UTF-16 (the only way the Access
// driver keeps non-ASCII text); elsewhere the narrow calls carry UTF-8,
// which every driver tried reads and writes unchanged. Callers above this
// layer see UTF-8 std::strings only.

#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/record_store.h"

namespace kestrova::data {

#ifdef _WIN32
using SqlChar = SQLWCHAR;
#else
using SqlChar = SQLCHAR;
#endif
using SqlText = std::basic_string<SqlChar>;

inline bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool isIntegerType(SQLSMALLINT type);

// One diagnostic record of a handle.
struct Diagnostic {
  std::string state;  // the SQLSTATE, five characters
  SQLINTEGER native = 0;
  std::string text;  // on one line
};

// The handle's diagnostic records, first first.
std::vector<Diagnostic> diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle);

// The driver manager's environment, for ODBC 3.
struct OdbcEnvironment {
  SQLHENV handle = SQL_NULL_HENV;
  OdbcEnvironment();
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
};

// A connection to one data source; disconnected and freed with the object.
class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Allocates the handle in `environment`; false when the driver manager
  // cannot make one.
  bool allocate(const OdbcEnvironment& environment);
  SQLHDBC get() const { return handle_; }

  SQLRETURN setAttribute(SQLINTEGER attribute, SQLULEN value);
  // Connects without any prompt.
  SQLRETURN connect(const std::string& connectionString);
  // A text the driver gives about itself (SQL_DBMS_NAME, ...).
  std::string infoText(SQLUSMALLINT what);
  // Manual commit (false) or auto-commit (true).
  SQLRETURN setAutoCommit(bool on);
  SQLRETURN endTransaction(bool commit);
  std::vector<Diagnostic> diagnostics() const { return diagnosticsOf(SQL_HANDLE_DBC, handle_); }

 private:
  SQLHDBC handle_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// A statement of one connection, with the buffers of its bound parameters.
class Statement {
 public:
  explicit Statement(SQLHDBC dbc);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return handle_; }
  bool valid() const { return handle_ != SQL_NULL_HSTMT; }
  // After a refused bind, the bind's diagnostics until reset().
  std::vector<Diagnostic> diagnostics() const {
    return bindFailure_.empty() ? diagnosticsOf(SQL_HANDLE_STMT, handle_) : bindFailure_;
  }

  SQLRETURN prepare(const std::string& sql);
  // Refused (SQL_ERROR) after a parameter of it could not be bound: it
  // would run with the parameter missing.
  SQLRETURN execute() { return bindFailure_.empty() ? SQLExecute(handle_) : SQL_ERROR; }
  SQLRETURN executeDirect(const std::string& sql);
  SQLRETURN fetch() { return SQLFetch(handle_); }
  SQLLEN rowCount();
  SQLSMALLINT columnCount();

  // The catalog's rows: tables of a type, and a table's columns, best row
  // identifier, primary key and unique indexes.
  SQLRETURN tables(const std::string& type);
  SQLRETURN columns(const std::string& table);
  SQLRETURN bestRowIdentifier(const std::string& table);
  SQLRETURN primaryKeys(const std::string& table);
  SQLRETURN uniqueIndexes(const std::string& table);

  // Ends a result and drops the bound parameters, so the statement can run
  // again.
  void reset();

  // Parameters, bound by position from 1; their buffers live until reset().
  // An integer goes as a 64-bit one, or, to a driver that has none (the
  // Access driver answers HYC00), as a 32-bit one when it fits.
  SQLRETURN bindInteger(SQLUSMALLINT index, std::int64_t value);
  SQLRETURN bindText(SQLUSMALLINT index, std::string_view utf8);
  SQLRETURN bindStored(SQLUSMALLINT index, const StoredValue& value);

  // Columns of the current row, numbered from 1.
  std::string columnName(SQLUSMALLINT column);
  SQLSMALLINT columnType(SQLUSMALLINT column);
  // As text; Null as none. Long values come in pieces.
  SQLRETURN textData(SQLUSMALLINT column, FieldValue* out);
  // As a 64-bit integer (a narrower type would wrap a large identity
  // without a word); `*isNull` tells a Null.
  SQLRETURN integerData(SQLUSMALLINT column, std::int64_t* out, bool* isNull);
  // As text, empty for Null or a failure; as a short, 0 for Null.
  std::string textAt(SQLUSMALLINT column);
  SQLSMALLINT shortAt(SQLUSMALLINT column);
  // As stored, with a type a journal can give back.
  bool storedValue(SQLUSMALLINT column, StoredValue* out);

 private:
  struct Parameter {
    std::int64_t integer;
    double real;
    SQLINTEGER narrow = 0;
  };
  // Keeps the first failed bind's diagnostics; passes `rc` on.
  SQLRETURN bound(SQLRETURN rc);

  SQLHSTMT handle_ = SQL_NULL_HSTMT;
  std::vector<Diagnostic> bindFailure_;
  // deques: a bound buffer must not move when another is added
  std::deque<Parameter> parameters_;
  std::deque<SqlText> texts_;
  std::deque<std::string> blobs_;
  std::deque<SQLLEN> lengths_;
};

}  // namespace kestrova::data
