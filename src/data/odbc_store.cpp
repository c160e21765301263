#include "data/odbc_store.h"

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

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "data/lost_steps.h"
#include "data/shop_path.h"
#include "data/sql_text.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return lowered(haystack).find(lowered(needle)) != std::string::npos;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// ---------------------------------------------------------------------------
// Text across the driver manager. On Linux the narrow calls carry UTF-8,
// which every driver tried reads and writes unchanged; on Windows the wide
// calls carry UTF-16, the only way the Access driver keeps non-ASCII text.

#ifdef _WIN32
using SqlChar = SQLWCHAR;
constexpr SQLSMALLINT kCText = SQL_C_WCHAR;
constexpr SQLSMALLINT kSqlText = SQL_WVARCHAR;

std::basic_string<SQLWCHAR> toSql(std::string_view utf8) {
  std::basic_string<SQLWCHAR> out;
  if (utf8.empty()) return out;
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  out.assign(wide.begin(), wide.end());
  return out;
}

std::string fromSql(const SQLWCHAR* text, std::size_t length) {
  if (length == 0) return {};
  const std::wstring wide(text, text + length);
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}
#else
using SqlChar = SQLCHAR;
constexpr SQLSMALLINT kCText = SQL_C_CHAR;
constexpr SQLSMALLINT kSqlText = SQL_VARCHAR;

std::basic_string<SQLCHAR> toSql(std::string_view utf8) { return {utf8.begin(), utf8.end()}; }
std::string fromSql(const SQLCHAR* text, std::size_t length) { return {text, text + length}; }
#endif

using SqlText = std::basic_string<SqlChar>;

std::string fromSqlTerminated(const SqlChar* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return fromSql(text, length);
}

SqlChar* mutableText(SqlText& text) { return text.data(); }

// The catalog functions take an argument or, for "any", a null pointer.
SqlChar* catalogArgument(std::optional<SqlText>& text) { return text ? text->data() : nullptr; }

SQLRETURN driverConnect(SQLHDBC dbc, const std::string& connection) {
  SqlText text = toSql(connection);
  SqlChar out[1024];
  SQLSMALLINT outLength = 0;
#ifdef _WIN32
  return SQLDriverConnectW(dbc, nullptr, mutableText(text), static_cast<SQLSMALLINT>(text.size()), out, 1024,
                           &outLength, SQL_DRIVER_NOPROMPT);
#else
  return SQLDriverConnect(dbc, nullptr, mutableText(text), static_cast<SQLSMALLINT>(text.size()), out, 1024, &outLength,
                          SQL_DRIVER_NOPROMPT);
#endif
}

SQLRETURN prepareStatement(SQLHSTMT statement, const std::string& sql) {
  SqlText text = toSql(sql);
#ifdef _WIN32
  return SQLPrepareW(statement, mutableText(text), static_cast<SQLINTEGER>(text.size()));
#else
  return SQLPrepare(statement, mutableText(text), static_cast<SQLINTEGER>(text.size()));
#endif
}

SQLRETURN executeDirect(SQLHSTMT statement, const std::string& sql) {
  SqlText text = toSql(sql);
#ifdef _WIN32
  return SQLExecDirectW(statement, mutableText(text), static_cast<SQLINTEGER>(text.size()));
#else
  return SQLExecDirect(statement, mutableText(text), static_cast<SQLINTEGER>(text.size()));
#endif
}

std::string columnName(SQLHSTMT statement, SQLUSMALLINT column) {
  SqlChar name[256] = {};
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
#ifdef _WIN32
  SQLDescribeColW(statement, column, name, 256, &length, &type, &size, &digits, &nullable);
#else
  SQLDescribeCol(statement, column, name, 256, &length, &type, &size, &digits, &nullable);
#endif
  return fromSqlTerminated(name);
}

SQLSMALLINT columnType(SQLHSTMT statement, SQLUSMALLINT column) {
  SqlChar name[8] = {};
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
#ifdef _WIN32
  SQLDescribeColW(statement, column, name, 8, &length, &type, &size, &digits, &nullable);
#else
  SQLDescribeCol(statement, column, name, 8, &length, &type, &size, &digits, &nullable);
#endif
  return type;
}

std::string infoText(SQLHDBC dbc, SQLUSMALLINT what) {
  SqlChar text[256] = {};
  SQLSMALLINT length = 0;
#ifdef _WIN32
  SQLGetInfoW(dbc, what, text, sizeof text, &length);
#else
  SQLGetInfo(dbc, what, text, sizeof text, &length);
#endif
  return fromSqlTerminated(text);
}

struct Diagnostic {
  std::string state;  // the SQLSTATE, five characters
  SQLINTEGER native = 0;
  std::string text;
};

std::vector<Diagnostic> diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT record = 1; record < 10; ++record) {
    SqlChar state[6] = {};
    SqlChar text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
#ifdef _WIN32
    const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &native, text, 1024, &length);
#else
    const SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, text, 1024, &length);
#endif
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

// Reads a column of the current row as text; Null as none. Long values
// come in pieces.
SQLRETURN textData(SQLHSTMT statement, SQLUSMALLINT column, FieldValue* out) {
  std::basic_string<SqlChar> value;
  SqlChar piece[512];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement, column, kCText, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) return rc;
    if (indicator == SQL_NULL_DATA) {
      out->reset();
      return SQL_SUCCESS;
    }
    const std::size_t room = sizeof piece / sizeof(SqlChar) - 1;
    const std::size_t got = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) / sizeof(SqlChar) > room
                                ? room
                                : static_cast<std::size_t>(indicator) / sizeof(SqlChar);
    value.append(piece, got);
    if (rc == SQL_SUCCESS) break;  // the last piece
  }
  out->emplace(fromSql(value.data(), value.size()));
  return SQL_SUCCESS;
}

bool isIntegerType(SQLSMALLINT type) {
  return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIGINT;
}

// ---------------------------------------------------------------------------
// Handles.

class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &handle_))) handle_ = SQL_NULL_HSTMT;
  }
  ~Statement() {
    if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return handle_; }
  bool valid() const { return handle_ != SQL_NULL_HSTMT; }

  // Ends a result and drops the bound parameters, so the statement can run
  // again.
  void reset() {
    SQLFreeStmt(handle_, SQL_CLOSE);
    SQLFreeStmt(handle_, SQL_RESET_PARAMS);
    parameters_.clear();
    texts_.clear();
    blobs_.clear();
    lengths_.clear();
  }

  // Parameters, bound by position from 1; their buffers live until reset().
  SQLRETURN bindInteger(SQLUSMALLINT index, std::int64_t value) {
    parameters_.push_back(Parameter{value, 0});
    lengths_.push_back(0);
    return SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                            &parameters_.back().integer, 0, &lengths_.back());
  }
  SQLRETURN bindText(SQLUSMALLINT index, std::string_view utf8) {
    texts_.push_back(toSql(utf8));
    SqlText& text = texts_.back();
    const auto bytes = static_cast<SQLLEN>(text.size() * sizeof(SqlChar));
    lengths_.push_back(bytes);
    return SQLBindParameter(handle_, index, SQL_PARAM_INPUT, kCText, kSqlText, std::max<SQLULEN>(text.size(), 1), 0,
                            text.data(), bytes, &lengths_.back());
  }
  SQLRETURN bindStored(SQLUSMALLINT index, const StoredValue& value) {
    switch (value.type) {
      case StoredValue::Type::kNull:
        lengths_.push_back(SQL_NULL_DATA);
        return SQLBindParameter(handle_, index, SQL_PARAM_INPUT, kCText, kSqlText, 1, 0, nullptr, 0, &lengths_.back());
      case StoredValue::Type::kInteger:
        return bindInteger(index, value.integer);
      case StoredValue::Type::kReal:
        parameters_.push_back(Parameter{0, value.real});
        lengths_.push_back(0);
        return SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                &parameters_.back().real, 0, &lengths_.back());
      case StoredValue::Type::kText:
        return bindText(index, value.bytes);
      case StoredValue::Type::kBlob: {
        blobs_.push_back(value.bytes);
        std::string& blob = blobs_.back();
        lengths_.push_back(static_cast<SQLLEN>(blob.size()));
        return SQLBindParameter(handle_, index, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                std::max<SQLULEN>(blob.size(), 1), 0, blob.data(), static_cast<SQLLEN>(blob.size()),
                                &lengths_.back());
      }
    }
    return SQL_ERROR;
  }

 private:
  struct Parameter {
    std::int64_t integer;
    double real;
  };
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
  // deques: a bound buffer must not move when another is added
  std::deque<Parameter> parameters_;
  std::deque<SqlText> texts_;
  std::deque<std::string> blobs_;
  std::deque<SQLLEN> lengths_;
};

// What kind of data source is behind the driver: some answers are only
// understood for the drivers that were tried.
enum class Source { kOther, kSqlite, kPostgresql };

// The identity of a table's rows: an integer column the data source keeps
// stable while the row exists.
struct Identity {
  std::string column;  // as the catalog names it ("_ROWID_" for SQLite's rowid)
};

}  // namespace

struct OdbcEngine::Environment {
  SQLHENV handle = SQL_NULL_HENV;
  Environment() {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) {
      handle = SQL_NULL_HENV;
      return;
    }
    SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  ~Environment() {
    if (handle != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, handle);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
};

namespace {

// Turns the driver's diagnostics into words a shop manager can act on. The
// SQLSTATE decides where it is standard; SQLite's and PostgreSQL's own codes
// where their drivers give no standard one.
Status translate(const std::vector<Diagnostic>& diagnostics, Source source, const std::string& file,
                 std::string operation) {
  const Diagnostic first =
      diagnostics.empty() ? Diagnostic{"HY000", 0, "no reason given by the driver"} : diagnostics.front();
  std::string detail = first.text;
  std::string state = first.state;
  const auto busy = [&] {
    return Status::error(Code::kFileInUse, file, operation,
                         "the file is in use by another program; close the shop's programs on every "
                         "computer and run the combine again");
  };
  const auto readOnly = [&] {
    return Status::error(Code::kReadOnly, file, operation,
                         "the file cannot be written (it, its folder or its diskette is read-only)");
  };
  const auto notADatabase = [&] {
    return Status::error(Code::kNotADatabase, file, operation,
                         "the file is not a shop database (the driver cannot read it as one)");
  };
  const auto noTable = [&] {
    return Status::error(Code::kNoSuchTable, file, operation, "the file has no such table (" + detail + ")");
  };
  const auto noColumn = [&] {
    return Status::error(Code::kNoSuchColumn, file, operation, "the table has no such column (" + detail + ")");
  };
  const auto refused = [&] {
    return Status::error(Code::kRowRefused, file, operation, "the database refused the change (" + detail + ")");
  };
  const auto ioError = [&](const std::string& what) { return Status::error(Code::kIoError, file, operation, what); };

  if (source == Source::kSqlite) {
    switch (first.native & 0xff) {
      case 5:  // SQLITE_BUSY
      case 6:  // SQLITE_LOCKED
        return busy();
      case 8:  // SQLITE_READONLY
        return readOnly();
      case 26:  // SQLITE_NOTADB
        return notADatabase();
      case 11:  // SQLITE_CORRUPT
        return ioError("the database file is damaged; restore it from a backup");
      case 13:  // SQLITE_FULL
        return ioError("the disk is full");
      case 10:  // SQLITE_IOERR
        return ioError("the file could not be read or written (" + detail + ")");
      case 14:  // SQLITE_CANTOPEN
        return Status::error(Code::kFileMissing, file, operation, "the file cannot be opened (" + detail + ")");
      case 19:  // SQLITE_CONSTRAINT
        return refused();
      default:
        break;
    }
  }
  if (state == "HYT00" || state == "HYT01" || state == "55P03" || state == "40P01" || state == "55006" ||
      containsIgnoringCase(detail, "lock timeout") || containsIgnoringCase(detail, "database is locked") ||
      containsIgnoringCase(detail, "could not obtain lock")) {
    return busy();
  }
  if (state == "25006" || state == "42501" || containsIgnoringCase(detail, "read-only") ||
      containsIgnoringCase(detail, "readonly")) {
    return readOnly();
  }
  if (state == "3D000" || (state.starts_with("08") && containsIgnoringCase(detail, "does not exist"))) {
    return Status::error(Code::kFileMissing, file, operation, "there is no such database (" + detail + ")");
  }
  if (state.starts_with("08")) {
    return ioError("the data source cannot be reached (" + detail + ")");
  }
  if (containsIgnoringCase(detail, "not a database") || containsIgnoringCase(detail, "file is encrypted")) {
    return notADatabase();
  }
  if (state == "42S02" || state == "42P01" || containsIgnoringCase(detail, "no such table")) return noTable();
  if (state == "42S22" || state == "42703" || containsIgnoringCase(detail, "no such column")) return noColumn();
  if (state.starts_with("23")) return refused();
  if (state == "HY001" || state == "53100") return ioError("the disk or memory is full (" + detail + ")");
  return Status::error(Code::kBadRecordSource, file, std::move(operation),
                       "the database rejected the request (" + detail + ")");
}

// Failures after which a data source may have undone more than the one
// statement: the store then undoes the whole batch itself, so what was kept
// never depends on a guess.
bool mayHaveUndoneBatch(const Status& status) {
  switch (status.code()) {
    case Code::kRowRefused:
    case Code::kNoSuchTable:
    case Code::kNoSuchColumn:
    case Code::kBadRecordSource:
    case Code::kRowGone:
      return false;
    default:
      return true;
  }
}

// Whether `text` ends a statement (a semicolon outside quotes) before its
// end: a driver may run what follows as a second statement.
bool holdsSecondStatement(std::string_view text) {
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == ';' && !trimmed(text.substr(i + 1)).empty()) {
      return true;
    }
  }
  return false;
}

// Where the table name stands in "SELECT list FROM table rest": the first
// FROM outside quotes.
struct SelectParts {
  std::string list;   // the source's columns
  std::string table;  // without quotes
  std::string rest;   // WHERE ..., ORDER BY ...
};

bool splitSelect(std::string_view source, SelectParts* out) {
  if (source.size() < 7 || !sameIgnoringCase(source.substr(0, 6), "select") ||
      !std::isspace(static_cast<unsigned char>(source[6]))) {
    return false;
  }
  char quote = 0;
  for (std::size_t i = 6; i + 5 < source.size(); ++i) {
    const char c = source[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      continue;
    }
    if (c == '[') {
      quote = ']';
      continue;
    }
    if (!std::isspace(static_cast<unsigned char>(c)) || !sameIgnoringCase(source.substr(i + 1, 4), "from") ||
        !std::isspace(static_cast<unsigned char>(source[i + 5]))) {
      continue;
    }
    out->list = std::string(trimmed(source.substr(6, i - 6)));
    std::string_view after = trimmed(source.substr(i + 5));
    std::size_t end = 0;
    if (!after.empty() && (after[0] == '"' || after[0] == '[' || after[0] == '`')) {
      const char close = after[0] == '[' ? ']' : after[0];
      end = after.find(close, 1);
      if (end == std::string_view::npos) return false;
      out->table = std::string(after.substr(1, end - 1));
      ++end;
    } else {
      while (end < after.size() && !std::isspace(static_cast<unsigned char>(after[end])) && after[end] != ';') ++end;
      out->table = std::string(after.substr(0, end));
    }
    out->rest = std::string(after.substr(end));
    return !out->list.empty() && !out->table.empty();
  }
  return false;
}

class OdbcStore final : public DatabaseStore {
 public:
  OdbcStore(std::shared_ptr<OdbcEngine::Environment> environment, SQLHDBC dbc, std::string name, Source source,
            bool readOnly, bool savepoints)
      : environment_(std::move(environment)),
        dbc_(dbc),
        name_(std::move(name)),
        source_(source),
        readOnly_(readOnly),
        savepoints_(savepoints),
        quote_(infoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR)) {
    if (trimmed(quote_).empty()) quote_ = "\"";
  }

  ~OdbcStore() override {
    statements_.clear();
    // A caller that forgot to commit still keeps its rows: the process is
    // ending normally, so what was written is meant to stay.
    if (inBatch_ && !succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    }
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }

  const std::string& name() const override { return name_; }

  // The tables of the data source, read once.
  Status readTables(const std::string& operation) {
    if (tablesRead_) return Status::ok();
    Statement statement(dbc_);
    if (!statement.valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
    std::optional<SqlText> types = toSql("TABLE");
#ifdef _WIN32
    SQLRETURN rc = SQLTablesW(statement.get(), nullptr, 0, nullptr, 0, nullptr, 0, catalogArgument(types), SQL_NTS);
#else
    SQLRETURN rc = SQLTables(statement.get(), nullptr, 0, nullptr, 0, nullptr, 0, catalogArgument(types), SQL_NTS);
#endif
    if (!succeeded(rc)) return failure(statement, operation);
    while (succeeded(rc = SQLFetch(statement.get()))) {
      FieldValue table;
      if (succeeded(textData(statement.get(), 3, &table)) && table) tables_.push_back(*table);
    }
    if (rc != SQL_NO_DATA) return failure(statement, operation);
    tablesRead_ = true;
    return Status::ok();
  }

  Status select(std::string_view recordSource, RowSet* out) override {
    const std::string_view source = trimmed(recordSource);
    const std::string operation = "opening \"" + std::string(source) + "\"";
    out->clear();
    if (holdsSecondStatement(source)) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the request must be exactly one SELECT");
    }
    SelectParts parts;
    if (!splitSelect(source, &parts)) {
      if (source.find_first_of(" \t\r\n;'") != std::string_view::npos) {
        return Status::error(Code::kBadRecordSource, name_, operation,
                             "the request must be one SELECT of one table, or a table's name");
      }
      parts = SelectParts{"*", std::string(source), ""};
    }
    std::string table;
    Identity identity;
    if (Status found = identityOf(parts.table, operation, &table, &identity); !found.isOk()) return found;

    // One statement fixes the keyset and reads the source's values: the
    // identity of every row that meets the source, in its order, fixed now,
    // so writing the very column that selected a row later cannot drop,
    // move or repeat it. Column 1 is the identity; the others are the
    // source's own.
    const std::string sql =
        "SELECT " + quoted(identity.column) + ", " + parts.list + " FROM " + quoted(table) + " " + parts.rest;
    Statement statement(dbc_);
    if (!statement.valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
    if (!succeeded(executeDirect(statement.get(), sql))) return failure(statement, operation);
    SQLSMALLINT count = 0;
    SQLNumResultCols(statement.get(), &count);
    out->table = table;
    for (SQLSMALLINT i = 2; i <= count; ++i) out->columns.push_back(columnName(statement.get(), i));
    if (out->columns.empty()) {
      *out = RowSet{};
      return Status::error(Code::kBadRecordSource, name_, operation, "the request names no column");
    }
    SQLRETURN rc = SQL_SUCCESS;
    while (succeeded(rc = SQLFetch(statement.get()))) {
      SQLBIGINT id = 0;
      SQLLEN indicator = 0;
      // As a 64-bit integer: a narrower type would wrap a large identity
      // without a word.
      if (!succeeded(SQLGetData(statement.get(), 1, SQL_C_SBIGINT, &id, 0, &indicator)) || indicator == SQL_NULL_DATA) {
        Status failed = indicator == SQL_NULL_DATA ? Status::error(Code::kBadRecordSource, name_, operation,
                                                                   "a row of " + table + " has no identity")
                                                   : failure(statement, operation);
        *out = RowSet{};
        return failed;
      }
      out->rows.push_back(static_cast<RowId>(id));
      for (SQLSMALLINT i = 2; i <= count; ++i) {
        FieldValue value;
        if (!succeeded(textData(statement.get(), static_cast<SQLUSMALLINT>(i), &value))) {
          Status failed = failure(statement, operation);
          *out = RowSet{};
          return failed;
        }
        out->values.push_back(std::move(value));
      }
    }
    if (rc != SQL_NO_DATA) {
      Status failed = failure(statement, operation);
      *out = RowSet{};
      return failed;
    }
    return Status::ok();
  }

  Status read(const RowSet& set, RowId row, const std::string& column, FieldValue* out) override {
    const std::string operation = "reading " + column + " in " + set.table;
    return fetchRow(
        set.table, quoted(column), row, operation, [&] { return rowGone(set.table, operation); },
        [&](SQLHSTMT statement) { return succeeded(textData(statement, 1, out)); });
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    const std::string operation = "updating " + set.table;
    std::string head;
    if (Status built = updateHead(set.table, writes, operation, &head); !built.isOk()) return built;
    return writeOne(head + " = ?", set.table, operation, [&](Statement& statement) {
      for (std::size_t i = 0; i < writes.size(); ++i) {
        statement.bindText(static_cast<SQLUSMALLINT>(i + 1), writes[i].value);
      }
      statement.bindInteger(static_cast<SQLUSMALLINT>(writes.size() + 1), row);
    });
  }

  Status remove(const RowSet& set, RowId row) override {
    const std::string operation = "deleting from " + set.table;
    std::string head;
    if (Status built = deleteHead(set.table, operation, &head); !built.isOk()) return built;
    return writeOne(head + " = ?", set.table, operation, [&](Statement& statement) { statement.bindInteger(1, row); });
  }

  // Many rows in one prepared statement each, a chunk of rows at a time.
  // Whatever does not go as planned (a refused row, a row gone, a failure)
  // is done again one row at a time, so that every row gets exactly the
  // outcome update() would give it.
  void updateRows(const RowSet& set, std::span<const RowId> rows, std::span<const FieldWrite> writes,
                  std::vector<RowFailure>* failures) override {
    const std::string operation = "updating " + set.table;
    std::string head;
    if (!updateHead(set.table, writes, operation, &head).isOk() || readOnly_) {
      DatabaseStore::updateRows(set, rows, writes, failures);  // each row is told why
      return;
    }
    inChunks(
        rows, set.table, head, static_cast<SQLUSMALLINT>(writes.size()), operation,
        [&](Statement& statement) {
          for (std::size_t i = 0; i < writes.size(); ++i) {
            statement.bindText(static_cast<SQLUSMALLINT>(i + 1), writes[i].value);
          }
        },
        [&](RowId row) { return update(set, row, writes); }, failures);
  }

  void removeRows(const RowSet& set, std::span<const RowId> rows, std::vector<RowFailure>* failures) override {
    const std::string operation = "deleting from " + set.table;
    std::string head;
    if (!deleteHead(set.table, operation, &head).isOk() || readOnly_) {
      DatabaseStore::removeRows(set, rows, failures);
      return;
    }
    // A DELETE's count cannot tell which rows of a chunk were gone already,
    // and a row once deleted cannot be tried again alone: the rows still
    // there are looked up first, the others are told they are gone, and
    // only the rows found are deleted together.
    for (std::size_t at = 0; at < rows.size(); at += kChunkRows) {
      const std::span<const RowId> chunk = rows.subspan(at, std::min(kChunkRows, rows.size() - at));
      std::unordered_set<RowId> present;
      if (!batchRefusal_.isOk() || chunk.size() == 1 || !rowsPresent(set.table, chunk, operation, &present).isOk()) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
          Status status = remove(set, chunk[i]);
          if (!status.isOk()) failures->push_back(RowFailure{at + i, std::move(status)});
        }
        continue;
      }
      std::vector<RowId> found;
      std::vector<std::size_t> index;  // of each found row in `rows`
      std::vector<RowFailure> chunkFailures;
      for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (present.contains(chunk[i])) {
          found.push_back(chunk[i]);
          index.push_back(at + i);
        } else {
          chunkFailures.push_back(RowFailure{at + i, rowGone(set.table, operation)});
        }
      }
      std::vector<RowFailure> foundFailures;
      inChunks(
          found, set.table, head, 0, operation, [](Statement&) {}, [&](RowId row) { return remove(set, row); },
          &foundFailures);
      for (RowFailure& failure : foundFailures) {
        chunkFailures.push_back(RowFailure{index[failure.index], std::move(failure.status)});
      }
      std::sort(chunkFailures.begin(), chunkFailures.end(),
                [](const RowFailure& a, const RowFailure& b) { return a.index < b.index; });
      for (RowFailure& failure : chunkFailures) failures->push_back(std::move(failure));
    }
  }

  Status findFirst(const RowSet& set, std::string_view condition, std::size_t* position) override {
    const std::string operation = "searching " + set.table + " for " + std::string(condition);
    Identity identity;
    std::string table;
    if (holdsSecondStatement(condition)) {
      return Status::error(Code::kBadRecordSource, name_, operation, "the condition must be one expression");
    }
    if (Status found = identityOf(set.table, operation, &table, &identity); !found.isOk()) return found;
    Statement statement(dbc_);
    if (!statement.valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
    const std::string sql =
        "SELECT " + quoted(identity.column) + " FROM " + quoted(table) + " WHERE " + std::string(condition);
    if (!succeeded(executeDirect(statement.get(), sql))) return failure(statement, operation);
    std::unordered_set<RowId> matching;
    SQLRETURN rc = SQL_SUCCESS;
    while (succeeded(rc = SQLFetch(statement.get()))) {
      SQLBIGINT id = 0;
      SQLLEN indicator = 0;
      if (succeeded(SQLGetData(statement.get(), 1, SQL_C_SBIGINT, &id, 0, &indicator)) && indicator != SQL_NULL_DATA) {
        matching.insert(static_cast<RowId>(id));
      }
    }
    if (rc != SQL_NO_DATA) return failure(statement, operation);
    const auto found =
        std::find_if(set.rows.begin(), set.rows.end(), [&](RowId row) { return matching.contains(row); });
    *position = static_cast<std::size_t>(found - set.rows.begin());
    return Status::ok();
  }

  Status readRow(std::string_view tableName, RowId row, StoredRow* out) override {
    const std::string operation = "reading a row of " + std::string(tableName);
    return fetchRow(
        tableName, "*", row, operation,
        [&] { return Status::error(Code::kRowGone, name_, operation, "there is no such row"); },
        [&](SQLHSTMT statement) {
          out->clear();
          SQLSMALLINT count = 0;
          SQLNumResultCols(statement, &count);
          for (SQLSMALLINT i = 1; i <= count; ++i) {
            StoredField field{columnName(statement, static_cast<SQLUSMALLINT>(i)), {}};
            if (!storedValue(statement, static_cast<SQLUSMALLINT>(i), &field.value)) return false;
            out->push_back(std::move(field));
          }
          return true;
        });
  }

  Status writeRow(std::string_view tableName, RowId row, const StoredRow& fields) override {
    const std::string operation = "writing a row of " + std::string(tableName);
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    std::string sql = "UPDATE " + quoted(table) + " SET ";
    for (std::size_t i = 0; i < fields.size(); ++i) sql += (i > 0 ? ", " : "") + quoted(fields[i].column) + " = ?";
    sql += " WHERE " + quoted(identity.column) + " = ?";
    return writeOne(sql, table, operation, [&](Statement& statement) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        statement.bindStored(static_cast<SQLUSMALLINT>(i + 1), fields[i].value);
      }
      statement.bindInteger(static_cast<SQLUSMALLINT>(fields.size() + 1), row);
    });
  }

  Status insertRow(std::string_view tableName, RowId row, const StoredRow& fields) override {
    const std::string operation = "inserting a row into " + std::string(tableName);
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    // The identity column may be among the row's own columns; it is given
    // once, with the row's identity.
    std::vector<const StoredField*> own;
    for (const StoredField& field : fields) {
      if (!sameIgnoringCase(field.column, identity.column)) own.push_back(&field);
    }
    std::string sql = "INSERT INTO " + quoted(table) + " (" + quoted(identity.column);
    for (const StoredField* field : own) sql += ", " + quoted(field->column);
    sql += ") VALUES (?";
    for (std::size_t i = 0; i < own.size(); ++i) sql += ", ?";
    sql += ")";
    if (Status taken = rowTaken(table, identity, row, operation); !taken.isOk()) return taken;
    return writeOne(sql, table, operation, [&](Statement& statement) {
      statement.bindInteger(1, row);
      for (std::size_t i = 0; i < own.size(); ++i)
        statement.bindStored(static_cast<SQLUSMALLINT>(i + 2), own[i]->value);
    });
  }

  Status commit() override {
    const Status walk = savepoints_ ? endWalk() : Status::ok();
    batchRefusal_ = Status::ok();
    keepWalk();
    std::vector<std::string> steps = std::exchange(walkTables_, {});
    if (!inBatch_) return walk;
    inBatch_ = false;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    if (succeeded(rc)) {
      SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
      return walk;
    }
    // A commit that a reader blocked leaves the transaction open: it is
    // undone here, so that nothing of it is kept later by accident.
    const Status failed = failure(SQL_HANDLE_DBC, dbc_, "saving the changes");
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return Status::error(Code::kChangesUndone, name_, "saving the changes", failed.reason() + "; " + lostSteps(steps));
  }

  // Where the data source takes savepoints, consecutive walks share the
  // batch, each inside a savepoint of its own that is released when the walk
  // ends. A failure that may have cost more than its statement still undoes
  // the whole batch; the release is the proof that the data source still
  // holds the walk: a driver that dropped the transaction without saying so
  // has lost the savepoint with it, and the batch is then reported undone,
  // naming every walk it held.
  Status endWalk() override {
    if (!savepoints_) return commit();
    if (!inWalk_) {
      batchRefusal_ = Status::ok();  // a batch undone by the store ends with its walk
      return Status::ok();
    }
    if (Status released = run("RELEASE SAVEPOINT walk", "saving the changes"); !released.isOk()) {
      return batchUndone(released);
    }
    keepWalk();
    return Status::ok();
  }

  bool walksShareBatch() const override { return savepoints_; }

 private:
  static constexpr std::size_t kChunkRows = 250;

  std::string quoted(std::string_view identifier) const {
    const char close = quote_ == "[" ? ']' : quote_.front();
    std::string out = quote_;
    for (char c : identifier) {
      out += c;
      if (c == close) out += c;
    }
    out += close;
    return out;
  }

  Status failure(SQLSMALLINT type, SQLHANDLE handle, std::string operation) const {
    return translate(diagnosticsOf(type, handle), source_, name_, std::move(operation));
  }
  Status failure(const Statement& statement, std::string operation) const {
    return failure(SQL_HANDLE_STMT, statement.get(), std::move(operation));
  }

  Status rowGone(const std::string& table, const std::string& operation) const {
    return Status::error(Code::kRowGone, name_, operation,
                         "a row of " + table + " was removed by another program during the combine");
  }

  // A statement prepared once per text and kept while the store is open.
  Status cached(const std::string& sql, const std::string& operation, Statement** out) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
      auto statement = std::make_unique<Statement>(dbc_);
      if (!statement->valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
      if (!succeeded(prepareStatement(statement->get(), sql))) return failure(*statement, operation);
      found = statements_.emplace(sql, std::move(statement)).first;
    }
    *out = found->second.get();
    return Status::ok();
  }

  // The table's name as the catalog gives it, and the identity of its rows:
  // the row identifier the driver names as the best one when it is an
  // integer, else a one-column integer primary key, else an integer column
  // with a unique index of its own. A table with none of them cannot be
  // walked safely and is refused by name.
  Status identityOf(std::string_view asGiven, const std::string& operation, std::string* table, Identity* out) {
    if (Status found = catalogName(asGiven, operation, table); !found.isOk()) return found;
    if (auto known = identities_.find(*table); known != identities_.end()) {
      if (!known->second) {
        return Status::error(Code::kBadRecordSource, name_, operation,
                             "the table " + *table +
                                 " has no integer row identity (no row identifier, single integer primary key "
                                 "or unique integer column), so its rows cannot be told apart safely");
      }
      *out = *known->second;
      return Status::ok();
    }
    std::optional<Identity> identity;
    if (Status looked = lookUpIdentity(*table, operation, &identity); !looked.isOk()) return looked;
    identities_[*table] = identity;
    return identityOf(*table, operation, table, out);
  }

  Status catalogName(std::string_view asGiven, const std::string& operation, std::string* out) {
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
    return Status::error(Code::kNoSuchTable, name_, operation, "the file has no such table (" + wanted + ")");
  }

  // Runs a catalog function on `table` and gives each result row to `take`.
  template <class Call, class Take>
  Status catalogRows(const std::string& table, const std::string& operation, Call call, Take take) {
    Statement statement(dbc_);
    if (!statement.valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
    std::optional<SqlText> name = toSql(table);
    SQLRETURN rc = call(statement.get(), catalogArgument(name));
    if (!succeeded(rc)) return failure(statement, operation);
    while (succeeded(rc = SQLFetch(statement.get()))) take(statement.get());
    if (rc != SQL_NO_DATA) return failure(statement, operation);
    return Status::ok();
  }

  static std::string textAt(SQLHSTMT statement, SQLUSMALLINT column) {
    FieldValue value;
    return succeeded(textData(statement, column, &value)) && value ? *value : std::string();
  }
  static SQLSMALLINT shortAt(SQLHSTMT statement, SQLUSMALLINT column) {
    SQLSMALLINT value = 0;
    SQLLEN indicator = 0;
    SQLGetData(statement, column, SQL_C_SSHORT, &value, 0, &indicator);
    return indicator == SQL_NULL_DATA ? SQLSMALLINT(0) : value;
  }

  Status lookUpIdentity(const std::string& table, const std::string& operation, std::optional<Identity>* out) {
    // The column types, to tell an integer key from any other.
    std::map<std::string, SQLSMALLINT> types;
    Status read = catalogRows(
        table, operation,
        [](SQLHSTMT statement, SqlChar* name) {
#ifdef _WIN32
          return SQLColumnsW(statement, nullptr, 0, nullptr, 0, name, SQL_NTS, nullptr, 0);
#else
          return SQLColumns(statement, nullptr, 0, nullptr, 0, name, SQL_NTS, nullptr, 0);
#endif
        },
        [&](SQLHSTMT statement) { types[lowered(textAt(statement, 4))] = shortAt(statement, 5); });
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
        table, operation,
        [](SQLHSTMT statement, SqlChar* name) {
#ifdef _WIN32
          return SQLSpecialColumnsW(statement, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, name, SQL_NTS, SQL_SCOPE_SESSION,
                                    SQL_NULLABLE);
#else
          return SQLSpecialColumns(statement, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, name, SQL_NTS, SQL_SCOPE_SESSION,
                                   SQL_NULLABLE);
#endif
        },
        [&](SQLHSTMT statement) { best.emplace_back(textAt(statement, 2), shortAt(statement, 3)); });
    if (read.isOk() && best.size() == 1 && !sameIgnoringCase(best[0].first, "ctid") &&
        (isIntegerType(best[0].second) || integerColumn(best[0].first)) && selectable(table, best[0].first)) {
      *out = Identity{best[0].first};
      return Status::ok();
    }

    // 2. A primary key of one integer column.
    std::vector<std::string> key;
    read = catalogRows(
        table, operation,
        [](SQLHSTMT statement, SqlChar* name) {
#ifdef _WIN32
          return SQLPrimaryKeysW(statement, nullptr, 0, nullptr, 0, name, SQL_NTS);
#else
          return SQLPrimaryKeys(statement, nullptr, 0, nullptr, 0, name, SQL_NTS);
#endif
        },
        [&](SQLHSTMT statement) { key.push_back(textAt(statement, 4)); });
    if (read.isOk() && key.size() == 1 && integerColumn(key[0])) {
      *out = Identity{key[0]};
      return Status::ok();
    }

    // 3. A unique index on one integer column.
    std::map<std::string, std::vector<std::string>> indexes;
    read = catalogRows(
        table, operation,
        [](SQLHSTMT statement, SqlChar* name) {
#ifdef _WIN32
          return SQLStatisticsW(statement, nullptr, 0, nullptr, 0, name, SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK);
#else
          return SQLStatistics(statement, nullptr, 0, nullptr, 0, name, SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK);
#endif
        },
        [&](SQLHSTMT statement) {
          if (shortAt(statement, 7) == SQL_TABLE_STAT) return;
          const std::string index = textAt(statement, 6);
          const std::string column = textAt(statement, 9);
          if (!column.empty()) indexes[index].push_back(column);
        });
    if (read.isOk()) {
      for (const auto& [index, columns] : indexes) {
        if (columns.size() == 1 && integerColumn(columns[0])) {
          *out = Identity{columns[0]};
          return Status::ok();
        }
      }
    }
    out->reset();
    return Status::ok();
  }

  // Whether the data source takes `column` of `table` in a SELECT: a row
  // identifier that a driver names may not exist for every kind of table.
  bool selectable(const std::string& table, const std::string& column) {
    Statement statement(dbc_);
    return statement.valid() && succeeded(executeDirect(statement.get(), "SELECT " + quoted(column) + " FROM " +
                                                                             quoted(table) + " WHERE 1 = 0"));
  }

  // The value of a column as stored, with a type the journal can give back.
  static bool storedValue(SQLHSTMT statement, SQLUSMALLINT column, StoredValue* out) {
    const SQLSMALLINT type = columnType(statement, column);
    SQLLEN indicator = 0;
    if (isIntegerType(type) || type == SQL_BIT) {
      SQLBIGINT value = 0;
      if (!succeeded(SQLGetData(statement, column, SQL_C_SBIGINT, &value, 0, &indicator))) return false;
      *out = indicator == SQL_NULL_DATA ? StoredValue::null()
                                        : StoredValue{StoredValue::Type::kInteger, value, 0, std::string()};
      return true;
    }
    if (type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE) {
      double value = 0;
      if (!succeeded(SQLGetData(statement, column, SQL_C_DOUBLE, &value, 0, &indicator))) return false;
      *out = indicator == SQL_NULL_DATA ? StoredValue::null()
                                        : StoredValue{StoredValue::Type::kReal, 0, value, std::string()};
      return true;
    }
    if (type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY) {
      std::string bytes;
      char piece[512];
      for (;;) {
        const SQLRETURN rc = SQLGetData(statement, column, SQL_C_BINARY, piece, sizeof piece, &indicator);
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
    if (!succeeded(textData(statement, column, &text))) return false;
    *out = text ? StoredValue::text(*text) : StoredValue::null();
    return true;
  }

  Status updateHead(const std::string& tableName, std::span<const FieldWrite> writes, const std::string& operation,
                    std::string* out) {
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    std::string head = "UPDATE " + quoted(table) + " SET ";
    for (std::size_t i = 0; i < writes.size(); ++i) head += (i > 0 ? ", " : "") + quoted(writes[i].column) + " = ?";
    *out = head + " WHERE " + quoted(identity.column);
    return Status::ok();
  }

  Status deleteHead(const std::string& tableName, const std::string& operation, std::string* out) {
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    *out = "DELETE FROM " + quoted(table) + " WHERE " + quoted(identity.column);
    return Status::ok();
  }

  // Fails with kRowRefused when `table` holds a row whose identity is `row`.
  Status rowTaken(const std::string& table, const Identity& identity, RowId row, const std::string& operation) {
    bool found = false;
    const Status looked = fetchRow(
        table, quoted(identity.column), row, operation, [] { return Status::ok(); },
        [&](SQLHSTMT) { return found = true; });
    if (!looked.isOk() || !found) return looked;
    return Status::error(Code::kRowRefused, name_, operation, "a row with this identity exists already");
  }

  // Which of `rows` (at most kChunkRows) the table still holds.
  Status rowsPresent(const std::string& tableName, std::span<const RowId> rows, const std::string& operation,
                     std::unordered_set<RowId>* out) {
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    const std::string sql = "SELECT " + quoted(identity.column) + " FROM " + quoted(table) + " WHERE " +
                            quoted(identity.column) + " IN (" + placesFor(rows.size()) + ")";
    Statement* statement = nullptr;
    if (Status prepared = cached(sql, operation, &statement); !prepared.isOk()) return prepared;
    bindRows(*statement, 1, rows);
    Status outcome = Status::ok();
    if (!succeeded(SQLExecute(statement->get()))) {
      outcome = failure(*statement, operation);
    } else {
      SQLRETURN rc = SQL_SUCCESS;
      while (succeeded(rc = SQLFetch(statement->get()))) {
        SQLBIGINT id = 0;
        SQLLEN indicator = 0;
        if (succeeded(SQLGetData(statement->get(), 1, SQL_C_SBIGINT, &id, 0, &indicator)) &&
            indicator != SQL_NULL_DATA) {
          out->insert(static_cast<RowId>(id));
        }
      }
      if (rc != SQL_NO_DATA) outcome = failure(*statement, operation);
    }
    statement->reset();
    return outcome;
  }

  // The batch begins with its first write: the connection leaves
  // auto-commit, so every write until commit() is kept or undone together.
  // Where walks share the batch, a walk's first write also opens its
  // savepoint.
  Status beginBatch(const std::string& table, const std::string& operation) {
    if (inWalk_) return Status::ok();
    if (readOnly_) {
      return Status::error(Code::kReadOnly, name_, operation, "the file is open for reading only; nothing is written");
    }
    if (!inBatch_) {
      if (!succeeded(
              SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        return failure(SQL_HANDLE_DBC, dbc_, operation);
      }
      inBatch_ = true;
      batchWritten_ = false;
    }
    walkTable_ = table;
    if (savepoints_) {
      if (Status opened = run("SAVEPOINT walk", operation); !opened.isOk()) return abandonBatch(opened);
    }
    inWalk_ = true;
    return Status::ok();
  }

  // After a failure that may have taken more than its own statement with
  // it, the batch is undone here and every later write refused until the
  // walk ends: what is kept then never depends on the driver. The failed
  // write is told, as every later one, when it took earlier changes with it.
  Status abandonBatch(const Status& failed) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    inBatch_ = false;
    inWalk_ = false;
    std::vector<std::string> earlier = std::exchange(walkTables_, {});
    if (!batchWritten_) {
      batchRefusal_ = failed;  // nothing was undone: every later write is told the same reason
      return failed;
    }
    batchRefusal_ =
        Status::error(Code::kChangesUndone, name_, failed.operation(),
                      failed.reason() + "; the database undid every change of that step" + earlierSteps(earlier));
    return batchRefusal_;
  }

  // The data source no longer holds the batch, or cannot be trusted to: it
  // is undone, and every walk it held is named.
  Status batchUndone(const Status& failed) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    inBatch_ = false;
    inWalk_ = false;
    std::vector<std::string> steps = std::exchange(walkTables_, {});
    if (std::find(steps.begin(), steps.end(), walkTable_) == steps.end()) steps.push_back(walkTable_);
    return Status::error(Code::kChangesUndone, name_, failed.operation(), failed.reason() + "; " + lostSteps(steps));
  }

  // The walk's table joins those of the batch's kept walks.
  void keepWalk() {
    if (!inWalk_) return;
    if (std::find(walkTables_.begin(), walkTables_.end(), walkTable_) == walkTables_.end() && !walkTable_.empty()) {
      walkTables_.push_back(walkTable_);
    }
    inWalk_ = false;
  }

  // Fetches the row of `tableName` whose identity is `row`, selecting
  // `columns`, and gives the statement to `take`, which reads the row and
  // answers whether it could. A row that is not there fails with `gone()`.
  template <class Gone, class Take>
  Status fetchRow(std::string_view tableName, const std::string& columns, RowId row, const std::string& operation,
                  Gone gone, Take take) {
    Identity identity;
    std::string table;
    if (Status found = identityOf(tableName, operation, &table, &identity); !found.isOk()) return found;
    Statement* statement = nullptr;
    if (Status prepared =
            cached("SELECT " + columns + " FROM " + quoted(table) + " WHERE " + quoted(identity.column) + " = ?",
                   operation, &statement);
        !prepared.isOk()) {
      return prepared;
    }
    statement->bindInteger(1, row);
    Status outcome = Status::ok();
    if (!succeeded(SQLExecute(statement->get()))) {
      outcome = failure(*statement, operation);
    } else {
      const SQLRETURN rc = SQLFetch(statement->get());
      if (rc == SQL_NO_DATA) {
        outcome = gone();
      } else if (!succeeded(rc) || !take(statement->get())) {
        outcome = failure(*statement, operation);
      }
    }
    statement->reset();
    return outcome;
  }

  // A statement of the store's own, run once.
  Status run(const std::string& sql, const std::string& operation) {
    Statement statement(dbc_);
    if (!statement.valid()) return failure(SQL_HANDLE_DBC, dbc_, operation);
    if (!succeeded(executeDirect(statement.get(), sql))) return failure(statement, operation);
    return Status::ok();
  }

  // Runs one write statement by identity inside the batch. No row changed
  // (SQL_NO_DATA, or a count of 0) means the row is gone.
  template <class Bind>
  Status writeOne(const std::string& sql, const std::string& table, const std::string& operation, Bind bind) {
    if (!batchRefusal_.isOk()) return batchRefusal_;
    if (Status begun = beginBatch(table, operation); !begun.isOk()) {
      if (begun.code() != Code::kReadOnly) batchRefusal_ = begun;
      return begun;
    }
    Statement* statement = nullptr;
    if (Status prepared = cached(sql, operation, &statement); !prepared.isOk()) return prepared;
    bind(*statement);
    const SQLRETURN rc = SQLExecute(statement->get());
    Status outcome = Status::ok();
    if (rc == SQL_NO_DATA) {
      outcome = rowGone(table, operation);
    } else if (!succeeded(rc)) {
      outcome = failure(*statement, operation);
      if (mayHaveUndoneBatch(outcome)) outcome = abandonBatch(outcome);
    } else {
      SQLLEN changed = 0;
      SQLRowCount(statement->get(), &changed);
      if (changed == 0) {
        outcome = rowGone(table, operation);
      } else {
        batchWritten_ = true;
      }
    }
    statement->reset();
    return outcome;
  }

  // The "?, ?, ..." of an IN list for `rows` rows (at most kChunkRows): as
  // many places as the next power of two, so that chunks of any size share a
  // few prepared statements. bindRows() fills the places past the rows with
  // the last row again, which makes the list name no other row.
  // REQUIRES: at least one row.
  static std::string placesFor(std::size_t rows) {
    std::string places = "?";
    for (std::size_t k = 1; k < placeCount(rows); ++k) places += ", ?";
    return places;
  }
  static std::size_t placeCount(std::size_t rows) { return std::min(std::bit_ceil(rows), kChunkRows); }
  static void bindRows(Statement& statement, SQLUSMALLINT first, std::span<const RowId> rows) {
    for (std::size_t k = 0; k < placeCount(rows.size()); ++k) {
      statement.bindInteger(static_cast<SQLUSMALLINT>(first + k), rows[std::min(k, rows.size() - 1)]);
    }
  }

  // Runs `head` + " IN (?, ?, ...)" over `rows`, kChunkRows at a time,
  // after the `firstKey` parameters that `bind` binds. A chunk that fails
  // or changes fewer rows than it names goes row by row through `oneByOne`:
  // a failed statement is undone alone by the data source, and repeating
  // the rows of a short chunk changes nothing twice (the same values, or
  // rows already removed). A failure that may have undone the batch refuses
  // the rest, as it would for one row.
  template <class Bind, class OneByOne>
  void inChunks(std::span<const RowId> rows, const std::string& table, const std::string& head, SQLUSMALLINT firstKey,
                const std::string& operation, Bind bind, OneByOne oneByOne, std::vector<RowFailure>* failures) {
    for (std::size_t at = 0; at < rows.size(); at += kChunkRows) {
      const std::span<const RowId> chunk = rows.subspan(at, std::min(kChunkRows, rows.size() - at));
      const auto rowByRow = [&] {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
          Status status = oneByOne(chunk[i]);
          if (!status.isOk()) failures->push_back(RowFailure{at + i, std::move(status)});
        }
      };
      if (!batchRefusal_.isOk() || chunk.size() == 1) {
        rowByRow();
        continue;
      }
      if (Status begun = beginBatch(table, operation); !begun.isOk()) {
        rowByRow();  // every row is told why, as alone
        continue;
      }
      Statement* statement = nullptr;
      if (!cached(head + " IN (" + placesFor(chunk.size()) + ")", operation, &statement).isOk()) {
        rowByRow();
        continue;
      }
      bind(*statement);
      bindRows(*statement, firstKey + 1, chunk);
      const SQLRETURN rc = SQLExecute(statement->get());
      SQLLEN changed = 0;
      if (succeeded(rc)) SQLRowCount(statement->get(), &changed);
      const Status failed = succeeded(rc) || rc == SQL_NO_DATA ? Status::ok() : failure(*statement, operation);
      statement->reset();
      if (succeeded(rc) && static_cast<std::size_t>(changed) == chunk.size()) {
        batchWritten_ = true;
        continue;
      }
      if (!failed.isOk() && mayHaveUndoneBatch(failed)) {
        const Status first = abandonBatch(failed);
        failures->push_back(RowFailure{at, first});
        for (std::size_t i = 1; i < chunk.size(); ++i) failures->push_back(RowFailure{at + i, batchRefusal_});
        continue;
      }
      if (succeeded(rc) && changed > 0) batchWritten_ = true;
      rowByRow();
    }
  }

  std::shared_ptr<OdbcEngine::Environment> environment_;  // outlives the connection
  SQLHDBC dbc_;
  std::string name_;
  Source source_;
  bool readOnly_;
  bool savepoints_;  // walks share the batch, each in a savepoint
  std::string quote_;
  std::map<std::string, std::unique_ptr<Statement>> statements_;
  bool tablesRead_ = false;
  std::vector<std::string> tables_;
  std::map<std::string, std::optional<Identity>> identities_;
  bool inBatch_ = false;
  bool inWalk_ = false;  // the walk has written, inside the batch
  std::string walkTable_;
  std::vector<std::string> walkTables_;  // the tables of the walks kept in the batch so far
  bool batchWritten_ = false;            // some row of the batch was changed
  Status batchRefusal_;                  // once the batch cannot go on, every write fails with this until commit()
};

// Whether the data source takes a savepoint inside a manual-commit
// transaction. Asked once, right after connecting and before anything is
// written, so that the store's answer never changes while a walk is under
// way: a savepoint opened and released at once, in a transaction that is
// then undone. Only a refusal of the statements themselves means "no"; a
// file that is busy or cannot be reached fails the opening, so that what a
// run saves when never depends on a passing lock.
Status probeSavepoints(SQLHDBC dbc, Source source, const std::string& name, const std::string& operation, bool* taken) {
  *taken = false;
  if (!succeeded(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
    return Status::ok();  // no transactions: every walk is saved at its end
  }
  Status outcome = Status::ok();
  bool refused = false;
  for (const char* sql : {"SAVEPOINT walk", "RELEASE SAVEPOINT walk"}) {
    if (refused || !outcome.isOk()) break;
    Statement statement(dbc);
    if (!statement.valid()) {
      outcome = translate(diagnosticsOf(SQL_HANDLE_DBC, dbc), source, name, operation);
    } else if (!succeeded(executeDirect(statement.get(), sql))) {
      const Status failed = translate(diagnosticsOf(SQL_HANDLE_STMT, statement.get()), source, name, operation);
      if (failed.code() == Code::kBadRecordSource) {
        refused = true;
      } else {
        outcome = failed;
      }
    }
  }
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  *taken = outcome.isOk() && !refused;
  return outcome;
}

// ---------------------------------------------------------------------------
// Connection templates.

struct Pair {
  std::string key;
  std::string value;
};

// Splits a connection string into key=value pairs; a value in braces may
// hold semicolons.
bool splitPairs(std::string_view text, std::vector<Pair>* out, std::string* problem) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    bool braced = false;
    const std::size_t equals = text.find('=', at);
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == at) {
      ++at;
      continue;
    }
    if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
      *problem = "\"" + std::string(trimmed(text.substr(at, semicolon - at))) + "\" is not of the form key=value";
      return false;
    }
    const std::string key(trimmed(text.substr(at, equals - at)));
    std::size_t valueStart = equals + 1;
    while (valueStart < text.size() && text[valueStart] == ' ') ++valueStart;
    if (valueStart < text.size() && text[valueStart] == '{') {
      end = text.find('}', valueStart);
      if (end == std::string_view::npos) {
        *problem = "the value of " + key + " opens a brace that is never closed";
        return false;
      }
      braced = true;
      ++end;
    }
    const std::size_t stop = text.find(';', braced ? end : valueStart);
    const std::size_t valueEnd = stop == std::string_view::npos ? text.size() : stop;
    if (key.empty()) {
      *problem = "a key=value pair has no key";
      return false;
    }
    out->push_back(Pair{key, std::string(trimmed(text.substr(valueStart, valueEnd - valueStart)))});
    at = valueEnd == text.size() ? valueEnd : valueEnd + 1;
  }
  return true;
}

const Pair* findPair(const std::vector<Pair>& pairs, std::string_view key) {
  for (const Pair& pair : pairs) {
    if (sameIgnoringCase(pair.key, key)) return &pair;
  }
  return nullptr;
}

std::string unbraced(std::string_view value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

bool OdbcTemplate::parse(const std::string& text, OdbcTemplate* out, std::string* problem) {
  std::vector<Pair> pairs;
  if (!splitPairs(text, &pairs, problem)) return false;
  OdbcTemplate result;
  bool placeholder = false;
  for (const Pair& pair : pairs) {
    const bool isDriver = sameIgnoringCase(pair.key, "driver");
    // Every brace outside a driver's name is a placeholder.
    for (std::size_t open = pair.value.find('{'); open != std::string::npos; open = pair.value.find('{', open + 1)) {
      const std::size_t close = pair.value.find('}', open);
      const std::string inside = pair.value.substr(open + 1, close == std::string::npos ? close : close - open - 1);
      if (inside == "path" || inside == "name") {
        placeholder = true;
        if (inside == "path") result.usesPath_ = true;
      } else if (!isDriver) {
        *problem = "unknown placeholder {" + inside + "} in " + pair.key + "; use {path} or {name}";
        return false;
      }
    }
    if (isDriver) result.driver_ = unbraced(pair.value);
  }
  if (!placeholder) {
    *problem = "the template names no shop file; put {path} (the file's full path) or {name} (its bare name) in it";
    return false;
  }
  if (result.driver_.empty() && findPair(pairs, "dsn") == nullptr && findPair(pairs, "filedsn") == nullptr) {
    *problem = "the template names no driver (Driver=...) and no data source (DSN=...)";
    return false;
  }
  // psqlODBC's other protocols undo a whole transaction for one failed
  // statement, or go on and report a commit that kept nothing.
  if (const Pair* protocol = findPair(pairs, "protocol"); protocol != nullptr && protocol->value != "7.4-2") {
    *problem = "Protocol=" + protocol->value +
               " is refused: with it a refused row undoes every change before it, or changes are reported as saved "
               "when they were not; leave Protocol out";
    return false;
  }
  std::string finished = text;
  if (containsIgnoringCase(result.driver_, "sqlite")) {
    // Without NoCreat the SQLite driver makes a missing file, empty.
    if (const Pair* noCreate = findPair(pairs, "nocreat"); noCreate == nullptr) {
      if (!finished.empty() && finished.back() != ';') finished += ';';
      finished += "NoCreat=1";
    } else if (noCreate->value != "1") {
      *problem = "NoCreat=" + noCreate->value + " would let the driver create a missing file; use NoCreat=1";
      return false;
    }
    // Its wait for a locked file: 0 would mean 1,000,000 ms.
    if (const Pair* timeout = findPair(pairs, "timeout");
        timeout != nullptr &&
        (timeout->value.empty() || timeout->value.find_first_not_of("0123456789") != std::string::npos ||
         std::stoll(timeout->value.substr(0, 9)) == 0)) {
      *problem = "Timeout=" + timeout->value +
                 " would let the driver wait without a useful bound for a locked file; give milliseconds above 0 or "
                 "leave Timeout out";
      return false;
    }
    result.setsLockWait_ = findPair(pairs, "timeout") != nullptr;
  }
  result.text_ = std::move(finished);
  *out = std::move(result);
  return true;
}

bool OdbcTemplate::connectionString(const std::filesystem::path& path, std::string* out, std::string* problem) const {
  const std::string full = pathToUtf8(path);
  const std::string bare = pathToUtf8(path.stem());
  for (const std::string* value : {&full, &bare}) {
    for (char c : *value) {
      if (c == ';' || c == '{' || c == '}' || static_cast<unsigned char>(c) < 0x20) {
        *problem = "the name holds a character (" + std::string(1, c) +
                   ") that cannot stand in a connection string; rename the file";
        return false;
      }
    }
  }
  std::string result;
  for (std::size_t at = 0; at < text_.size();) {
    if (text_.compare(at, 6, "{path}") == 0) {
      result += full;
      at += 6;
    } else if (text_.compare(at, 6, "{name}") == 0) {
      result += bare;
      at += 6;
    } else {
      result += text_[at++];
    }
  }
  *out = std::move(result);
  return true;
}

std::vector<std::string> installedOdbcDrivers() {
  std::vector<std::string> drivers;
  OdbcEngine::Environment environment;
  if (environment.handle == SQL_NULL_HENV) return drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SqlChar name[512] = {};
    SqlChar attributes[2048] = {};
    SQLSMALLINT nameLength = 0, attributesLength = 0;
#ifdef _WIN32
    const SQLRETURN rc =
        SQLDriversW(environment.handle, direction, name, 512, &nameLength, attributes, 2048, &attributesLength);
#else
    const SQLRETURN rc =
        SQLDrivers(environment.handle, direction, name, 512, &nameLength, attributes, 2048, &attributesLength);
#endif
    if (!succeeded(rc)) break;
    drivers.push_back(fromSqlTerminated(name));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

OdbcEngine::OdbcEngine(OdbcTemplate connectionTemplate, std::chrono::milliseconds lockWait, Access access)
    : template_(std::move(connectionTemplate)),
      lockWait_(lockWait),
      access_(access),
      environment_(std::make_shared<Environment>()) {}

OdbcEngine::~OdbcEngine() = default;

Status OdbcEngine::open(const std::filesystem::path& given, const std::string& name,
                        std::unique_ptr<DatabaseStore>* out) {
  const std::string operation = "opening the file";
  std::filesystem::path path = given;
  if (template_.usesPath()) {
    // The file is looked up as the shop's disks spelled it, then looked at:
    // no driver is given the chance to make it.
    const Status found = findShopDatabase(given, name, &path);
    if (!found.isOk()) return found;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  std::string connection;
  std::string problem;
  if (!template_.connectionString(error ? path : absolute, &connection, &problem)) {
    return Status::error(Code::kFileMissing, name, operation, problem);
  }
  const bool sqliteDriver = containsIgnoringCase(template_.driver(), "sqlite");
  if (sqliteDriver && !template_.setsLockWait()) {
    // The driver's own wait for a locked file, bounded as the SQLite
    // store's is (its default of 0 would wait for 1,000,000 ms).
    connection += ";Timeout=" + std::to_string(std::max<long long>(1, lockWait_.count()));
  }

  if (environment_->handle == SQL_NULL_HENV) {
    return Status::error(Code::kIoError, name, operation, "the ODBC driver manager cannot be started");
  }
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment_->handle, &dbc))) {
    return Status::error(Code::kIoError, name, operation, "the ODBC driver manager cannot make a connection");
  }
  const auto giveUp = [&](Status status) {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return status;
  };
  SQLSetConnectAttr(
      dbc, SQL_ATTR_LOGIN_TIMEOUT,
      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max<long long>(1, lockWait_.count() / 1000))), 0);
  if (access_ == Access::kReadOnly) {
    SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
  }
  if (!succeeded(driverConnect(dbc, connection))) {
    const std::vector<Diagnostic> diagnostics = diagnosticsOf(SQL_HANDLE_DBC, dbc);
    Status failed = translate(diagnostics, sqliteDriver ? Source::kSqlite : Source::kOther, name, operation);
    if (failed.code() == Code::kBadRecordSource) {
      failed =
          Status::error(Code::kIoError, name, operation,
                        "the data source cannot be reached (" +
                            (diagnostics.empty() ? std::string("no reason given") : diagnostics.front().text) + ")");
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return failed;
  }

  const std::string dbms = infoText(dbc, SQL_DBMS_NAME);
  const Source source = containsIgnoringCase(dbms, "sqlite")       ? Source::kSqlite
                        : containsIgnoringCase(dbms, "postgresql") ? Source::kPostgresql
                                                                   : Source::kOther;
  // Nothing written on opening: only settings of this connection.
  std::vector<std::string> settings;
  if (source == Source::kPostgresql) {
    settings.push_back("SET lock_timeout = " + std::to_string(std::max<long long>(1, lockWait_.count())));
    if (access_ == Access::kReadOnly) settings.push_back("SET default_transaction_read_only = on");
  }
  // The SQLite driver connects to any file; its first read of the file
  // tells whether it is a database at all.
  if (source == Source::kSqlite) settings.push_back("PRAGMA schema_version");
  if (source == Source::kSqlite && access_ == Access::kReadOnly) settings.push_back("PRAGMA query_only = 1");
  for (const std::string& setting : settings) {
    Statement statement(dbc);
    if (!statement.valid() || !succeeded(executeDirect(statement.get(), setting))) {
      return giveUp(translate(diagnosticsOf(SQL_HANDLE_STMT, statement.get()), source, name, operation));
    }
  }

  const bool readOnly = access_ == Access::kReadOnly;
  bool savepoints = false;
  if (!readOnly) {
    if (Status probed = probeSavepoints(dbc, source, name, operation, &savepoints); !probed.isOk()) {
      return giveUp(probed);
    }
  }
  auto store = std::make_unique<OdbcStore>(environment_, dbc, name, source, readOnly, savepoints);
  // Connecting reads nothing; listing the tables tells at once whether this
  // is a database at all.
  if (Status listed = store->readTables(operation); !listed.isOk()) return listed;
  *out = std::move(store);
  return Status::ok();
}

}  // namespace kestrova::data
