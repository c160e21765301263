#include "data/odbc_api.h"

#include <algorithm>
#include <limits>

#include "data/ascii_text.h"
#include "data/odbc_parsing.h"

namespace kestrova::data {
namespace {

// The platform's text: the one place that knows which calls and which C
// type carry it. KESTROVA_ODBC_TEXT(SQLPrepare) names SQLPrepareW on Windows.
#ifdef _WIN32
#define KESTROVA_ODBC_TEXT(call) call##W
constexpr SQLSMALLINT kCText = SQL_C_WCHAR;
constexpr SQLSMALLINT kSqlText = SQL_WVARCHAR;
constexpr SQLSMALLINT kSqlLongText = SQL_WLONGVARCHAR;

SqlText toSql(std::string_view utf8) {
  SqlText out;
  if (utf8.empty()) return out;
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  out.assign(wide.begin(), wide.end());
  return out;
}

std::string fromSql(const SqlChar* text, std::size_t length) {
  if (length == 0) return {};
  const std::wstring wide(text, text + length);
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}
#else
#define KESTROVA_ODBC_TEXT(call) call
constexpr SQLSMALLINT kCText = SQL_C_CHAR;
constexpr SQLSMALLINT kSqlText = SQL_VARCHAR;
constexpr SQLSMALLINT kSqlLongText = SQL_LONGVARCHAR;

SqlText toSql(std::string_view utf8) { return {utf8.begin(), utf8.end()}; }
std::string fromSql(const SqlChar* text, std::size_t length) { return {text, text + length}; }
#endif

constexpr std::size_t kMaxShortText = 255;

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

CallResult resultOf(SQLRETURN rc) {
  return succeeded(rc) ? CallResult::kSucceeded : rc == SQL_NO_DATA ? CallResult::kNoData : CallResult::kFailed;
}

SQLUSMALLINT numbered(std::size_t index) { return static_cast<SQLUSMALLINT>(index); }

std::string fromSqlTerminated(const SqlChar* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return fromSql(text, length);
}

}  // namespace

bool isIntegerType(SQLSMALLINT type) {
  return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIGINT;
}

bool isBinaryType(SQLSMALLINT type) {
  return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

std::vector<Diagnostic> diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT record = 1; record < 10; ++record) {
    SqlChar state[6] = {};
    SqlChar text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        KESTROVA_ODBC_TEXT(SQLGetDiagRec)(handleType, handle, record, state, &native, text, 1024, &length);
    if (!succeeded(rc)) break;
    // Servers write their messages over several lines; a message of the
    // tool keeps to one.
    std::string message = fromSqlTerminated(text);
    std::replace_if(
        message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    out.push_back(Diagnostic{fromSqlTerminated(state), native, std::string(trimmed(message))});
  }
  return out;
}

// ---------------------------------------------------------------------------
// The environment and the drivers it knows.

OdbcEnvironment::OdbcEnvironment() {
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) {
    handle = SQL_NULL_HENV;
    return;
  }
  SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

OdbcEnvironment::~OdbcEnvironment() {
  if (handle != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, handle);
}

std::vector<std::string> OdbcEnvironment::driverNames() const {
  std::vector<std::string> drivers;
  if (!started()) return drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SqlChar name[512] = {};
    SqlChar attributes[2048] = {};
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    const SQLRETURN rc = KESTROVA_ODBC_TEXT(SQLDrivers)(handle, direction, name, 512, &nameLength,
                                                        attributes, 2048, &attributesLength);
    if (!succeeded(rc)) break;
    drivers.push_back(fromSqlTerminated(name));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

// ---------------------------------------------------------------------------
// Connections.

Connection::~Connection() {
  if (handle_ == SQL_NULL_HDBC) return;
  if (connected_) SQLDisconnect(handle_);
  SQLFreeHandle(SQL_HANDLE_DBC, handle_);
}

bool Connection::allocate(const OdbcEnvironment& environment) {
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment.handle, &handle_))) handle_ = SQL_NULL_HDBC;
  return handle_ != SQL_NULL_HDBC;
}

void Connection::setLoginTimeout(std::int64_t seconds) {
  SQLSetConnectAttr(handle_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
}

void Connection::askReadOnly() {
  SQLSetConnectAttr(handle_, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
}

CallResult Connection::connect(const std::string& connectionString) {
  SqlText text = toSql(connectionString);
  SqlChar out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = KESTROVA_ODBC_TEXT(SQLDriverConnect)(
      handle_, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
  connected_ = succeeded(rc);
  return resultOf(rc);
}

std::string Connection::infoText(SQLUSMALLINT what) const {
  SqlChar text[256] = {};
  SQLSMALLINT length = 0;
  KESTROVA_ODBC_TEXT(SQLGetInfo)(handle_, what, text, sizeof text, &length);
  return fromSqlTerminated(text);
}

CallResult Connection::setAutoCommit(bool on) {
  const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  return resultOf(SQLSetConnectAttr(handle_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0));
}

CallResult Connection::endTransaction(bool commit) {
  return resultOf(SQLEndTran(SQL_HANDLE_DBC, handle_, commit ? SQL_COMMIT : SQL_ROLLBACK));
}

// ---------------------------------------------------------------------------
// Statements.

Statement::Statement(const Connection& connection) {
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &handle_))) handle_ = SQL_NULL_HSTMT;
}

Statement::~Statement() {
  if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

CallResult Statement::prepare(const std::string& sql) {
  SqlText text = toSql(sql);
  return resultOf(KESTROVA_ODBC_TEXT(SQLPrepare)(handle_, text.data(), static_cast<SQLINTEGER>(text.size())));
}

CallResult Statement::execute() { return bindFailure_.empty() ? resultOf(SQLExecute(handle_)) : CallResult::kFailed; }

CallResult Statement::executeDirect(const std::string& sql) {
  SqlText text = toSql(sql);
  return resultOf(KESTROVA_ODBC_TEXT(SQLExecDirect)(handle_, text.data(), static_cast<SQLINTEGER>(text.size())));
}

CallResult Statement::fetch() { return resultOf(SQLFetch(handle_)); }

std::int64_t Statement::rowCount() {
  SQLLEN changed = 0;
  SQLRowCount(handle_, &changed);
  return static_cast<std::int64_t>(changed);
}

std::size_t Statement::columnCount() {
  SQLSMALLINT count = 0;
  SQLNumResultCols(handle_, &count);
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

CallResult Statement::tables(const std::string& type) {
  SqlText types = toSql(type);
  return resultOf(KESTROVA_ODBC_TEXT(SQLTables)(handle_, nullptr, 0, nullptr, 0, nullptr, 0, types.data(), SQL_NTS));
}

CallResult Statement::columns(const std::string& table) {
  SqlText name = toSql(table);
  return resultOf(KESTROVA_ODBC_TEXT(SQLColumns)(handle_, nullptr, 0, nullptr, 0, name.data(), SQL_NTS, nullptr, 0));
}

CallResult Statement::bestRowIdentifier(const std::string& table) {
  SqlText name = toSql(table);
  return resultOf(KESTROVA_ODBC_TEXT(SQLSpecialColumns)(handle_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, name.data(), SQL_NTS,
                                               SQL_SCOPE_SESSION, SQL_NULLABLE));
}

CallResult Statement::primaryKeys(const std::string& table) {
  SqlText name = toSql(table);
  return resultOf(KESTROVA_ODBC_TEXT(SQLPrimaryKeys)(handle_, nullptr, 0, nullptr, 0, name.data(), SQL_NTS));
}

CallResult Statement::uniqueIndexes(const std::string& table) {
  SqlText name = toSql(table);
  return resultOf(KESTROVA_ODBC_TEXT(SQLStatistics)(handle_, nullptr, 0, nullptr, 0, name.data(), SQL_NTS, SQL_INDEX_UNIQUE,
                                           SQL_QUICK));
}

void Statement::reset() {
  SQLFreeStmt(handle_, SQL_CLOSE);
  SQLFreeStmt(handle_, SQL_RESET_PARAMS);
  bindFailure_.clear();
  parameters_.clear();
  texts_.clear();
  blobs_.clear();
  lengths_.clear();
}

CallResult Statement::bound(SQLRETURN rc) {
  if (!succeeded(rc) && bindFailure_.empty()) {
    bindFailure_ = diagnosticsOf(SQL_HANDLE_STMT, handle_);
    if (bindFailure_.empty()) bindFailure_.push_back(Diagnostic{"HY000", 0, "a parameter could not be bound"});
  }
  return resultOf(rc);
}

CallResult Statement::bindInteger(std::size_t column, std::int64_t value) {
  const SQLUSMALLINT index = numbered(column);
  Parameter& parameter = parameters_.emplace_back(Parameter{value, 0});
  lengths_.push_back(0);
  SQLRETURN rc = SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &parameter.integer,
                                  0, &lengths_.back());
  const bool fits = value >= std::numeric_limits<SQLINTEGER>::min() && value <= std::numeric_limits<SQLINTEGER>::max();
  if (!succeeded(rc) && fits) {
    const std::vector<Diagnostic> refused = diagnosticsOf(SQL_HANDLE_STMT, handle_);
    if (!refused.empty() && refused.front().state == "HYC00") {
      parameter.narrow = static_cast<SQLINTEGER>(value);
      rc = SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &parameter.narrow, 0,
                            &lengths_.back());
    }
  }
  return bound(rc);
}

CallResult Statement::bindText(std::size_t column, std::string_view utf8) {
  const SQLUSMALLINT index = numbered(column);
  texts_.push_back(toSql(utf8));
  SqlText& text = texts_.back();
  const auto bytes = static_cast<SQLLEN>(text.size() * sizeof(SqlChar));
  lengths_.push_back(bytes);
  // A text longer than the shortest text type's 255 characters goes as
  // long text: the Access driver takes no longer TEXT, only MEMO.
  const SQLSMALLINT type = text.size() > kMaxShortText ? kSqlLongText : kSqlText;
  return bound(SQLBindParameter(handle_, index, SQL_PARAM_INPUT, kCText, type, std::max<SQLULEN>(text.size(), 1), 0,
                                text.data(), bytes, &lengths_.back()));
}

CallResult Statement::bindStored(std::size_t column, const StoredValue& value) {
  const SQLUSMALLINT index = numbered(column);
  switch (value.type) {
    case StoredValue::Type::kNull:
      lengths_.push_back(SQL_NULL_DATA);
      return bound(
          SQLBindParameter(handle_, index, SQL_PARAM_INPUT, kCText, kSqlText, 1, 0, nullptr, 0, &lengths_.back()));
    case StoredValue::Type::kInteger:
      return bindInteger(column, value.integer);
    case StoredValue::Type::kReal:
      parameters_.push_back(Parameter{0, value.real});
      lengths_.push_back(0);
      return bound(SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                    &parameters_.back().real, 0, &lengths_.back()));
    case StoredValue::Type::kText:
      return bindText(column, value.bytes);
    case StoredValue::Type::kBlob: {
      blobs_.push_back(value.bytes);
      std::string& blob = blobs_.back();
      lengths_.push_back(static_cast<SQLLEN>(blob.size()));
      return bound(SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                    std::max<SQLULEN>(blob.size(), 1), 0, blob.data(),
                                    static_cast<SQLLEN>(blob.size()), &lengths_.back()));
    }
  }
  return CallResult::kFailed;
}

std::string Statement::columnName(std::size_t column) {
  SqlChar name[256] = {};
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  KESTROVA_ODBC_TEXT(SQLDescribeCol)(handle_, numbered(column), name, 256, &length, &type, &size, &digits, &nullable);
  return fromSqlTerminated(name);
}

SQLSMALLINT Statement::columnType(std::size_t column) {
  SqlChar name[8] = {};
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  KESTROVA_ODBC_TEXT(SQLDescribeCol)(handle_, numbered(column), name, 8, &length, &type, &size, &digits, &nullable);
  return type;
}

CallResult Statement::textData(std::size_t column, FieldValue* out) {
  SqlText value;
  SqlChar piece[512];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(handle_, numbered(column), kCText, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) return resultOf(rc);
    if (indicator == SQL_NULL_DATA) {
      out->reset();
      return CallResult::kSucceeded;
    }
    const std::size_t room = sizeof piece / sizeof(SqlChar) - 1;
    const std::size_t got = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) / sizeof(SqlChar) > room
                                ? room
                                : static_cast<std::size_t>(indicator) / sizeof(SqlChar);
    value.append(piece, got);
    if (rc == SQL_SUCCESS) break;  // the last piece
  }
  out->emplace(fromSql(value.data(), value.size()));
  return CallResult::kSucceeded;
}

CallResult Statement::integerData(std::size_t column, std::int64_t* out, bool* isNull) {
  SQLBIGINT value = 0;
  SQLLEN indicator = 0;
  const SQLRETURN rc = SQLGetData(handle_, numbered(column), SQL_C_SBIGINT, &value, 0, &indicator);
  *isNull = indicator == SQL_NULL_DATA;
  *out = static_cast<std::int64_t>(value);
  return resultOf(rc);
}

std::string Statement::textAt(std::size_t column) {
  FieldValue value;
  return succeeded(textData(column, &value)) && value ? *value : std::string();
}

SQLSMALLINT Statement::shortAt(std::size_t column) {
  SQLSMALLINT value = 0;
  SQLLEN indicator = 0;
  SQLGetData(handle_, numbered(column), SQL_C_SSHORT, &value, 0, &indicator);
  return indicator == SQL_NULL_DATA ? SQLSMALLINT(0) : value;
}

bool Statement::storedValue(std::size_t position, StoredValue* out) {
  const SQLUSMALLINT column = numbered(position);
  const SQLSMALLINT type = columnType(position);
  SQLLEN indicator = 0;
  if (isIntegerType(type) || type == SQL_BIT) {
    SQLBIGINT value = 0;
    if (!succeeded(SQLGetData(handle_, column, SQL_C_SBIGINT, &value, 0, &indicator))) return false;
    *out = indicator == SQL_NULL_DATA ? StoredValue::null()
                                      : StoredValue{StoredValue::Type::kInteger, value, 0, std::string()};
    return true;
  }
  if (type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE) {
    double value = 0;
    if (!succeeded(SQLGetData(handle_, column, SQL_C_DOUBLE, &value, 0, &indicator))) return false;
    *out = indicator == SQL_NULL_DATA ? StoredValue::null()
                                      : StoredValue{StoredValue::Type::kReal, 0, value, std::string()};
    return true;
  }
  if (isBinaryType(type)) {
    std::string bytes;
    char piece[512];
    for (;;) {
      const SQLRETURN rc = SQLGetData(handle_, column, SQL_C_BINARY, piece, sizeof piece, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) return false;
      if (indicator == SQL_NULL_DATA) {
        *out = StoredValue::null();
        return true;
      }
      const std::size_t got = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > sizeof piece
                                  ? sizeof piece
                                  : static_cast<std::size_t>(indicator);
      bytes.append(piece, got);
      if (rc == SQL_SUCCESS) break;
    }
    *out = StoredValue{StoredValue::Type::kBlob, 0, 0, std::move(bytes)};
    return true;
  }
  // Text, and every type kept exactly as its text (decimals, dates).
  FieldValue text;
  if (!succeeded(textData(position, &text))) return false;
  *out = text ? StoredValue::text(*text) : StoredValue::null();
  return true;
}

}  // namespace kestrova::data
