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

// What a call into the driver came to: done (with or without a warning),
// no data (no more rows, or no row touched), or failed, its reasons in the
// handle's diagnostics.
enum class CallResult { kSucceeded, kNoData, kFailed };

inline bool succeeded(CallResult result) { return result == CallResult::kSucceeded; }

bool isIntegerType(SQLSMALLINT type);
bool isBinaryType(SQLSMALLINT type);

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
  // Whether the driver manager started.
  bool started() const { return handle != SQL_NULL_HENV; }
  // The drivers it knows, by name.
  std::vector<std::string> driverNames() const;
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

  // Set before connect(): how long a connection may take, and a wish that
  // the data source be opened read-only (where the driver allows it).
  void setLoginTimeout(std::int64_t seconds);
  void askReadOnly();
  // Connects without any prompt.
  CallResult connect(const std::string& connectionString);
  // What the driver says of itself, and the character it quotes names with.
  std::string driverName() const { return infoText(SQL_DRIVER_NAME); }
  std::string dbmsName() const { return infoText(SQL_DBMS_NAME); }
  std::string identifierQuote() const { return infoText(SQL_IDENTIFIER_QUOTE_CHAR); }
  // Manual commit (false) or auto-commit (true).
  CallResult setAutoCommit(bool on);
  CallResult endTransaction(bool commit);
  std::vector<Diagnostic> diagnostics() const { return diagnosticsOf(SQL_HANDLE_DBC, handle_); }

 private:
  SQLHDBC handle_ = SQL_NULL_HDBC;
  bool connected_ = false;

  std::string infoText(SQLUSMALLINT what) const;
};

// A statement of one connection, with the buffers of its bound parameters.
class Statement {
 public:
  explicit Statement(const Connection& connection);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return handle_; }
  bool valid() const { return handle_ != SQL_NULL_HSTMT; }
  // After a refused bind, the bind's diagnostics until reset().
  std::vector<Diagnostic> diagnostics() const {
    return bindFailure_.empty() ? diagnosticsOf(SQL_HANDLE_STMT, handle_) : bindFailure_;
  }

  CallResult prepare(const std::string& sql);
  // Refused (kFailed) after a parameter of it could not be bound: it would
  // run with the parameter missing.
  CallResult execute();
  CallResult executeDirect(const std::string& sql);
  CallResult fetch();
  std::int64_t rowCount();
  std::size_t columnCount();

  // The catalog's rows: tables of a type, and a table's columns, best row
  // identifier, primary key and unique indexes.
  CallResult tables(const std::string& type);
  CallResult columns(const std::string& table);
  CallResult bestRowIdentifier(const std::string& table);
  CallResult primaryKeys(const std::string& table);
  CallResult uniqueIndexes(const std::string& table);

  // Ends a result and drops the bound parameters, so the statement can run
  // again.
  void reset();

  // Parameters, bound by position from 1; their buffers live until reset().
  // An integer goes as a 64-bit one, or, to a driver that has none (the
  // Access driver answers HYC00), as a 32-bit one when it fits.
  CallResult bindInteger(std::size_t index, std::int64_t value);
  CallResult bindText(std::size_t index, std::string_view utf8);
  CallResult bindStored(std::size_t index, const StoredValue& value);

  // Columns of the current row, numbered from 1.
  std::string columnName(std::size_t column);
  SQLSMALLINT columnType(std::size_t column);
  // As text; Null as none. Long values come in pieces.
  CallResult textData(std::size_t column, FieldValue* out);
  // As a 64-bit integer (a narrower type would wrap a large identity
  // without a word); `*isNull` tells a Null.
  CallResult integerData(std::size_t column, std::int64_t* out, bool* isNull);
  // As text, empty for Null or a failure; as a short, 0 for Null.
  std::string textAt(std::size_t column);
  SQLSMALLINT shortAt(std::size_t column);
  // As stored, with a type a journal can give back.
  bool storedValue(std::size_t column, StoredValue* out);

 private:
  struct Parameter {
    std::int64_t integer;
    double real;
    SQLINTEGER narrow = 0;
  };
  // Keeps the first failed bind's diagnostics; passes the result on.
  CallResult bound(SQLRETURN rc);

  SQLHSTMT handle_ = SQL_NULL_HSTMT;
  std::vector<Diagnostic> bindFailure_;
  // deques: a bound buffer must not move when another is added
  std::deque<Parameter> parameters_;
  std::deque<SqlText> texts_;
  std::deque<std::string> blobs_;
  std::deque<SQLLEN> lengths_;
};

}  // namespace kestrova::data
