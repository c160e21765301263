// An ODBC driver that the driver manager loads like any other and that
// answers as the Microsoft Access driver does, so that the tool's Access
// handling runs on a machine with no Access driver. It loads the SQLite ODBC
// driver and forwards every call to it; jet_answers.cpp says where the
// answers differ. Each handle given out wraps the SQLite driver's handle and
// keeps the diagnostics this driver raised itself; a descriptor handle is
// the SQLite driver's own, passed through.

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "jet_answers.h"

#define JET_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace kestrova::jet;

// The SQLite ODBC driver, loaded while an environment of ours lives.
std::mutex engineMutex;
void* engineLibrary = nullptr;
int engineUsers = 0;

bool loadEngine() {
  std::lock_guard<std::mutex> lock(engineMutex);
  if (engineUsers == 0) {
    const char* path = std::getenv("KESTROVA_JET_REAL_DRIVER");
    engineLibrary =
        dlopen(path != nullptr && *path != '\0' ? path : KESTROVA_SQLITE_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
    if (engineLibrary == nullptr) return false;
  }
  ++engineUsers;
  return true;
}

void unloadEngine() {
  std::lock_guard<std::mutex> lock(engineMutex);
  if (--engineUsers == 0) {
    dlclose(engineLibrary);
    engineLibrary = nullptr;
  }
}

// Calls the SQLite driver's entry point of the same name. An entry point it
// lacks fails as the driver manager fails one no driver has.
template <typename Function, typename... Args>
SQLRETURN callEngine(const char* name, Args... args) {
  auto function = reinterpret_cast<Function>(dlsym(engineLibrary, name));
  return function != nullptr ? function(args...) : SQL_ERROR;
}
#define ENGINE(name, ...) callEngine<decltype(&::name)>(#name, __VA_ARGS__)

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct Handle {
  SQLHANDLE real = SQL_NULL_HANDLE;
  std::vector<Diagnostic> raised;  // when not empty, in place of the engine's
};
struct Dbc;
struct Env : Handle {
  std::vector<Dbc*> connections;
};
struct Dbc : Handle {
  Env* env = nullptr;
  ConnectionSettings settings;
  bool autocommit = true;
  long changed = 0;  // rows written in the open transaction
};
struct Stmt : Handle {
  Dbc* dbc = nullptr;
  bool writing = false;  // the prepared or last statement writes rows
};

Env* envOf(SQLHANDLE h) { return static_cast<Env*>(static_cast<Handle*>(h)); }
Dbc* dbcOf(SQLHANDLE h) { return static_cast<Dbc*>(static_cast<Handle*>(h)); }
Stmt* stmtOf(SQLHANDLE h) { return static_cast<Stmt*>(static_cast<Handle*>(h)); }
Handle* wrapperOf(SQLSMALLINT type, SQLHANDLE h) {
  return type == SQL_HANDLE_DESC || h == SQL_NULL_HANDLE ? nullptr : static_cast<Handle*>(h);
}
SQLHANDLE realOf(SQLSMALLINT type, SQLHANDLE h) {
  Handle* wrapper = wrapperOf(type, h);
  return wrapper != nullptr ? wrapper->real : h;
}

// A statement handle starting a new call: no diagnostics of the last one.
Stmt* freshStmt(SQLHSTMT h) {
  Stmt* stmt = stmtOf(h);
  stmt->raised.clear();
  return stmt;
}

SQLRETURN raise(Handle* handle, Diagnostic diagnostic, SQLRETURN rc = SQL_ERROR) {
  handle->raised.push_back(std::move(diagnostic));
  return rc;
}

std::string textOf(const SQLCHAR* text, SQLLEN length) {
  if (text == nullptr) return {};
  const char* chars = reinterpret_cast<const char*>(text);
  return length == SQL_NTS ? std::string(chars) : std::string(chars, static_cast<std::size_t>(length));
}

std::string utf8Of(const SQLWCHAR* text, SQLLEN length) {
  std::string out;
  if (text == nullptr) return out;
  for (SQLLEN i = 0; length == SQL_NTS ? text[i] != 0 : i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && (length == SQL_NTS || i + 1 < length) && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

// Copies text into a caller's buffer of `capacity` bytes, terminated;
// false when it had to be cut.
bool copyOut(const std::string& text, void* buffer, SQLLEN capacity) {
  if (buffer == nullptr || capacity <= 0) return text.empty();
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
  std::memcpy(buffer, text.data(), n);
  static_cast<char*>(buffer)[n] = 0;
  return n == text.size();
}

// What the engine's error becomes: the first record decides.
SQLRETURN afterEngine(Stmt* stmt, SQLRETURN rc, bool ran) {
  if (rc == SQL_ERROR) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    if (succeeded(ENGINE(SQLGetDiagRec, SQLSMALLINT{SQL_HANDLE_STMT}, stmt->real, SQLSMALLINT{1}, state, &native, text,
                         SQLSMALLINT{sizeof text}, &length))) {
      if (auto jet = translateEngineError(reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text),
                                          stmt->writing, stmt->dbc->settings.language)) {
        return raise(stmt, *jet);
      }
    }
    return rc;
  }
  if (!ran || !stmt->writing || stmt->dbc->autocommit || !(succeeded(rc) || rc == SQL_NO_DATA)) return rc;
  // Jet registry settings, MaxLocksPerFile: "If the locks in a transaction
  // attempt to exceed this value, then the transaction is split into two or
  // more parts and partially committed." Counted here in rows, at the end
  // of the statement that crosses the limit.
  SQLLEN rows = 0;
  if (succeeded(ENGINE(SQLRowCount, stmt->real, &rows)) && rows > 0) stmt->dbc->changed += rows;
  if (stmt->dbc->changed > stmt->dbc->settings.maxLocksPerFile) {
    ENGINE(SQLEndTran, SQLSMALLINT{SQL_HANDLE_DBC}, stmt->dbc->real, SQLSMALLINT{SQL_COMMIT});
    stmt->dbc->changed = 0;
  }
  return rc;
}

SQLRETURN execDirect(Stmt* stmt, std::string_view sql) {
  std::string text;
  if (auto refusal = screenStatement(sql, &text)) return raise(stmt, *refusal);
  stmt->writing = writesRows(text);
  const SQLRETURN rc =
      ENGINE(SQLExecDirect, stmt->real, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
  return afterEngine(stmt, rc, true);
}

SQLRETURN prepare(Stmt* stmt, std::string_view sql) {
  std::string text;
  if (auto refusal = screenStatement(sql, &text)) return raise(stmt, *refusal);
  stmt->writing = writesRows(text);
  const SQLRETURN rc =
      ENGINE(SQLPrepare, stmt->real, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
  return afterEngine(stmt, rc, false);
}

// Reads the engine's whole catalog result, lets `reshape` change its rows,
// and has the SQLite driver run them as a SELECT of constants on the same
// statement: every later call on the result is the engine's own.
template <typename Reshape>
SQLRETURN reissue(Stmt* stmt, SQLRETURN rc, Reshape reshape) {
  if (!succeeded(rc)) return afterEngine(stmt, rc, false);
  CatalogRows result;
  SQLSMALLINT count = 0;
  ENGINE(SQLNumResultCols, stmt->real, &count);
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ENGINE(SQLDescribeCol, stmt->real, c, name, SQLSMALLINT{sizeof name}, &nameLength, &type, &size, &digits,
           &nullable);
    result.names.emplace_back(reinterpret_cast<char*>(name));
  }
  SQLRETURN fetched = SQL_SUCCESS;
  while (succeeded(fetched = ENGINE(SQLFetch, stmt->real))) {
    std::vector<Cell> row;
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
      char part[512];
      SQLLEN indicator = 0;
      Cell cell;
      while (true) {
        const SQLRETURN got = ENGINE(SQLGetData, stmt->real, c, SQLSMALLINT{SQL_C_CHAR}, static_cast<SQLPOINTER>(part),
                                     SQLLEN{sizeof part}, &indicator);
        if (!succeeded(got) || indicator == SQL_NULL_DATA) break;
        cell = cell.value_or("") + part;
        if (got == SQL_SUCCESS) break;
      }
      row.push_back(std::move(cell));
    }
    result.rows.push_back(std::move(row));
  }
  if (fetched != SQL_NO_DATA) return afterEngine(stmt, fetched, false);  // a catalog that cannot be read fails
  ENGINE(SQLFreeStmt, stmt->real, SQLUSMALLINT{SQL_CLOSE});
  reshape(&result);
  std::string select = selectOf(result);
  return ENGINE(SQLExecDirect, stmt->real, reinterpret_cast<SQLCHAR*>(select.data()),
                static_cast<SQLINTEGER>(select.size()));
}

}  // namespace

// Handles.

JET_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  SQLHANDLE real = SQL_NULL_HANDLE;
  switch (type) {
    case SQL_HANDLE_ENV: {
      if (!loadEngine()) return SQL_ERROR;
      const SQLRETURN rc = ENGINE(SQLAllocHandle, type, input, &real);
      if (!succeeded(rc)) {
        unloadEngine();
        return rc;
      }
      *output = static_cast<Handle*>(new Env{{real, {}}, {}});
      return rc;
    }
    case SQL_HANDLE_DBC: {
      Env* env = envOf(input);
      const SQLRETURN rc = ENGINE(SQLAllocHandle, type, env->real, &real);
      if (!succeeded(rc)) return rc;
      auto* dbc = new Dbc;
      dbc->real = real;
      dbc->env = env;
      env->connections.push_back(dbc);
      *output = static_cast<Handle*>(dbc);
      return rc;
    }
    case SQL_HANDLE_STMT: {
      Dbc* dbc = dbcOf(input);
      const SQLRETURN rc = ENGINE(SQLAllocHandle, type, dbc->real, &real);
      if (!succeeded(rc)) return rc;
      auto* stmt = new Stmt;
      stmt->real = real;
      stmt->dbc = dbc;
      *output = static_cast<Handle*>(stmt);
      return rc;
    }
    default:
      return ENGINE(SQLAllocHandle, type, realOf(SQL_HANDLE_DBC, input), output);
  }
}

JET_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  const SQLRETURN rc = ENGINE(SQLFreeHandle, type, realOf(type, handle));
  if (!succeeded(rc)) return rc;
  if (type == SQL_HANDLE_ENV) {
    delete envOf(handle);
    unloadEngine();  // the last environment closes the SQLite driver
  } else if (type == SQL_HANDLE_DBC) {
    Dbc* dbc = dbcOf(handle);
    std::erase(dbc->env->connections, dbc);
    delete dbc;
  } else if (type == SQL_HANDLE_STMT) {
    delete stmtOf(handle);
  }
  return rc;
}

JET_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  if (option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, handle);
  Stmt* stmt = stmtOf(handle);
  stmt->raised.clear();
  return ENGINE(SQLFreeStmt, stmt->real, option);
}

JET_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return ENGINE(SQLSetEnvAttr, realOf(SQL_HANDLE_ENV, env), attribute, value, length);
}

JET_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                                           SQLINTEGER* length) {
  return ENGINE(SQLGetEnvAttr, realOf(SQL_HANDLE_ENV, env), attribute, value, capacity, length);
}

// Connections.

// Whether the file begins as a database of the engine behind the driver.
static bool holdsADatabase(const std::string& path) {
  static constexpr char kHeader[] = "SQLite format 3";
  char head[sizeof kHeader] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(head, sizeof head);
  return file && std::memcmp(head, kHeader, sizeof kHeader) == 0;
}

JET_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                              SQLCHAR* out, SQLSMALLINT outCapacity, SQLSMALLINT* outLength,
                                              SQLUSMALLINT completion) {
  Dbc* dbc = dbcOf(handle);
  dbc->raised.clear();
  dbc->settings = readConnectionString(textOf(in, inLength));
  struct stat file;
  if (!dbc->settings.database.empty() && stat(dbc->settings.database.c_str(), &file) != 0) {
    return raise(dbc, fileNotFound(dbc->settings.database));
  }
  if (!dbc->settings.database.empty() && file.st_size > 0 && !holdsADatabase(dbc->settings.database)) {
    return raise(dbc, unrecognizedFormat(dbc->settings.database));
  }
  std::string forwarded = dbc->settings.forwarded;
  const SQLRETURN rc = ENGINE(SQLDriverConnect, dbc->real, window, reinterpret_cast<SQLCHAR*>(forwarded.data()),
                              static_cast<SQLSMALLINT>(forwarded.size()), out, outCapacity, outLength, completion);
  if (!succeeded(rc)) return rc;
  // Jet reads the file's system tables as it opens it: a file another
  // program holds for writing is "already in use" at once.
  SQLHSTMT probe = SQL_NULL_HSTMT;
  ENGINE(SQLAllocHandle, SQLSMALLINT{SQL_HANDLE_STMT}, dbc->real, &probe);
  SQLCHAR read[] = "PRAGMA schema_version";
  const SQLRETURN opened = ENGINE(SQLExecDirect, probe, read, SQLINTEGER{SQL_NTS});
  std::optional<Diagnostic> refused;
  if (!succeeded(opened)) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    ENGINE(SQLGetDiagRec, SQLSMALLINT{SQL_HANDLE_STMT}, probe, SQLSMALLINT{1}, state, &native, text,
           SQLSMALLINT{sizeof text}, &length);
    refused = translateEngineError(reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text), false,
                                   dbc->settings.language);
  }
  ENGINE(SQLFreeHandle, SQLSMALLINT{SQL_HANDLE_STMT}, probe);
  if (refused) {
    ENGINE(SQLDisconnect, dbc->real);
    return raise(dbc, *refused);
  }
  return rc;
}

JET_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                                        SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) {
  std::string text = "DSN=" + textOf(dsn, dsnLength) + ";";
  if (user != nullptr) text += "UID=" + textOf(user, userLength) + ";";
  if (password != nullptr) text += "PWD=" + textOf(password, passwordLength) + ";";
  return SQLDriverConnect(handle, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                          static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
}

JET_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
  Dbc* dbc = dbcOf(handle);
  dbc->raised.clear();
  dbc->changed = 0;
  return ENGINE(SQLDisconnect, dbc->real);
}

JET_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER length) {
  Dbc* dbc = dbcOf(handle);
  dbc->raised.clear();
  const SQLRETURN rc = ENGINE(SQLSetConnectAttr, dbc->real, attribute, value, length);
  if (succeeded(rc) && attribute == SQL_ATTR_AUTOCOMMIT) {
    dbc->autocommit = reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_ON;
    dbc->changed = 0;
  }
  return rc;
}

JET_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER capacity, SQLINTEGER* length) {
  return ENGINE(SQLGetConnectAttr, realOf(SQL_HANDLE_DBC, handle), attribute, value, capacity, length);
}

JET_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT capacity,
                                        SQLSMALLINT* length) {
  Dbc* dbc = dbcOf(handle);
  dbc->raised.clear();
  const std::optional<InfoAnswer> answer = infoAnswer(infoType);
  if (!answer) return ENGINE(SQLGetInfo, dbc->real, infoType, value, capacity, length);
  SQLSMALLINT size = 0;
  SQLRETURN rc = SQL_SUCCESS;
  if (answer->kind == InfoAnswer::Kind::kText) {
    if (!copyOut(answer->text, value, capacity)) rc = raise(dbc, rightTruncated(), SQL_SUCCESS_WITH_INFO);
    size = static_cast<SQLSMALLINT>(answer->text.size());
  } else if (answer->kind == InfoAnswer::Kind::kSmall) {
    const auto number = static_cast<SQLUSMALLINT>(answer->number);
    if (value != nullptr) std::memcpy(value, &number, sizeof number);
    size = sizeof number;
  } else {
    if (value != nullptr) std::memcpy(value, &answer->number, sizeof answer->number);
    size = sizeof answer->number;
  }
  if (length != nullptr) *length = size;
  return rc;
}

JET_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  const SQLRETURN rc = ENGINE(SQLEndTran, type, realOf(type, handle), completion);
  if (succeeded(rc) && type == SQL_HANDLE_DBC) dbcOf(handle)->changed = 0;
  if (succeeded(rc) && type == SQL_HANDLE_ENV) {
    for (Dbc* dbc : envOf(handle)->connections) dbc->changed = 0;
  }
  return rc;
}

// Statements.

JET_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  return execDirect(freshStmt(handle), textOf(text, length));
}

JET_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  return execDirect(freshStmt(handle), utf8Of(text, length));
}

JET_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  return prepare(freshStmt(handle), textOf(text, length));
}

JET_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  return prepare(freshStmt(handle), utf8Of(text, length));
}

JET_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
  Stmt* stmt = freshStmt(handle);
  return afterEngine(stmt, ENGINE(SQLExecute, stmt->real), true);
}

JET_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT direction,
                                              SQLSMALLINT valueType, SQLSMALLINT parameterType, SQLULEN size,
                                              SQLSMALLINT digits, SQLPOINTER value, SQLLEN capacity,
                                              SQLLEN* indicator) {
  Stmt* stmt = stmtOf(handle);
  stmt->raised.clear();
  if (valueType == SQL_C_SBIGINT || valueType == SQL_C_UBIGINT || parameterType == SQL_BIGINT) {
    return raise(stmt, optionalFeature());
  }
  if (parameterType == SQL_VARCHAR || parameterType == SQL_WVARCHAR || parameterType == SQL_CHAR ||
      parameterType == SQL_WCHAR) {
    if (size > kMaxTextCharacters) return raise(stmt, invalidPrecision());
  }
  return ENGINE(SQLBindParameter, stmt->real, number, direction, valueType, parameterType, size, digits, value,
                capacity, indicator);
}

JET_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT capacity,
                                            SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                                            SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* stmt = freshStmt(handle);
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  const SQLRETURN rc =
      ENGINE(SQLDescribeCol, stmt->real, column, name, capacity, nameLength, &type, &size, digits, nullable);
  if (!succeeded(rc)) return rc;
  const AccessType access = accessType(type, size);
  if (dataType != nullptr) *dataType = access.type;
  if (columnSize != nullptr) *columnSize = access.size;
  return rc;
}

JET_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                             SQLSMALLINT capacity, SQLSMALLINT* length, SQLLEN* number) {
  Stmt* stmt = freshStmt(handle);
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  const bool typeField = field == SQL_DESC_TYPE || field == SQL_DESC_CONCISE_TYPE || field == SQL_DESC_LENGTH ||
                         field == SQL_COLUMN_LENGTH || field == SQL_DESC_OCTET_LENGTH || field == SQL_DESC_TYPE_NAME;
  if (!typeField || !succeeded(ENGINE(SQLDescribeCol, stmt->real, column, static_cast<SQLCHAR*>(nullptr),
                                      SQLSMALLINT{0}, static_cast<SQLSMALLINT*>(nullptr), &type, &size,
                                      static_cast<SQLSMALLINT*>(nullptr), static_cast<SQLSMALLINT*>(nullptr)))) {
    return ENGINE(SQLColAttribute, stmt->real, column, field, text, capacity, length, number);
  }
  // The same Access type SQLDescribeCol gives.
  const AccessType access = accessType(type, size);
  if (field == SQL_DESC_TYPE_NAME) {
    if (*access.name == '\0') return ENGINE(SQLColAttribute, stmt->real, column, field, text, capacity, length, number);
    if (length != nullptr) *length = static_cast<SQLSMALLINT>(std::strlen(access.name));
    return copyOut(std::string(access.name), text, capacity) ? SQL_SUCCESS
                                                             : raise(stmt, rightTruncated(), SQL_SUCCESS_WITH_INFO);
  }
  if (number != nullptr) {
    const bool octets = field == SQL_DESC_OCTET_LENGTH && access.octets >= 0;
    *number = field == SQL_DESC_TYPE || field == SQL_DESC_CONCISE_TYPE ? access.type
              : octets                                                 ? access.octets
                                                                       : static_cast<SQLLEN>(access.size);
  }
  return SQL_SUCCESS;
}

// Calls passed on as they are, on the SQLite driver's statement handle.
#define FORWARD_STMT(name, params, ...)                         \
  JET_EXPORT SQLRETURN SQL_API name params {                    \
    Stmt* stmt = freshStmt(handle);                             \
    return ENGINE(name, stmt->real __VA_OPT__(, ) __VA_ARGS__); \
  }

FORWARD_STMT(SQLNumResultCols, (SQLHSTMT handle, SQLSMALLINT* n), n)
FORWARD_STMT(SQLFetch, (SQLHSTMT handle))
FORWARD_STMT(SQLFetchScroll, (SQLHSTMT handle, SQLSMALLINT o, SQLLEN f), o, f)
FORWARD_STMT(SQLGetData, (SQLHSTMT handle, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN n, SQLLEN* l), c, t, v,
             n, l)
FORWARD_STMT(SQLBindCol, (SQLHSTMT handle, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN n, SQLLEN* l), c, t, v,
             n, l)
FORWARD_STMT(SQLRowCount, (SQLHSTMT handle, SQLLEN* n), n)
FORWARD_STMT(SQLMoreResults, (SQLHSTMT handle))
FORWARD_STMT(SQLCloseCursor, (SQLHSTMT handle))
FORWARD_STMT(SQLCancel, (SQLHSTMT handle))
FORWARD_STMT(SQLGetStmtAttr, (SQLHSTMT handle, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l), a, v, n, l)
FORWARD_STMT(SQLSetStmtAttr, (SQLHSTMT handle, SQLINTEGER a, SQLPOINTER v, SQLINTEGER l), a, v, l)
FORWARD_STMT(SQLNumParams, (SQLHSTMT handle, SQLSMALLINT* n), n)
FORWARD_STMT(SQLDescribeParam,
             (SQLHSTMT handle, SQLUSMALLINT p, SQLSMALLINT* t, SQLULEN* s, SQLSMALLINT* d, SQLSMALLINT* n), p, t, s, d,
             n)
FORWARD_STMT(SQLParamData, (SQLHSTMT handle, SQLPOINTER* v), v)
FORWARD_STMT(SQLPutData, (SQLHSTMT handle, SQLPOINTER v, SQLLEN l), v, l)
FORWARD_STMT(SQLSetPos, (SQLHSTMT handle, SQLSETPOSIROW r, SQLUSMALLINT o, SQLUSMALLINT l), r, o, l)
FORWARD_STMT(SQLBulkOperations, (SQLHSTMT handle, SQLSMALLINT o), o)
FORWARD_STMT(SQLGetCursorName, (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT n, SQLSMALLINT* l), c, n, l)
FORWARD_STMT(SQLSetCursorName, (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT l), c, l)
FORWARD_STMT(SQLGetTypeInfo, (SQLHSTMT handle, SQLSMALLINT t), t)
FORWARD_STMT(SQLStatistics,
             (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl,
              SQLUSMALLINT u, SQLUSMALLINT r),
             c, cl, s, sl, t, tl, u, r)
FORWARD_STMT(SQLForeignKeys,
             (SQLHSTMT handle, SQLCHAR* pc, SQLSMALLINT pcl, SQLCHAR* ps, SQLSMALLINT psl, SQLCHAR* pt, SQLSMALLINT ptl,
              SQLCHAR* fc, SQLSMALLINT fcl, SQLCHAR* fs, SQLSMALLINT fsl, SQLCHAR* ft, SQLSMALLINT ftl),
             pc, pcl, ps, psl, pt, ptl, fc, fcl, fs, fsl, ft, ftl)
FORWARD_STMT(SQLProcedures,
             (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* p, SQLSMALLINT pl), c,
             cl, s, sl, p, pl)
FORWARD_STMT(SQLProcedureColumns,
             (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* p, SQLSMALLINT pl,
              SQLCHAR* n, SQLSMALLINT nl),
             c, cl, s, sl, p, pl, n, nl)
FORWARD_STMT(SQLTablePrivileges,
             (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl), c,
             cl, s, sl, t, tl)
FORWARD_STMT(SQLColumnPrivileges,
             (SQLHSTMT handle, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl,
              SQLCHAR* n, SQLSMALLINT nl),
             c, cl, s, sl, t, tl, n, nl)

// Catalog calls answered from the engine's rows, reshaped. SQLPrimaryKeys
// is not exported at all: the Access driver does not support it, and the
// driver manager answers IM001 "Driver does not support this function".

JET_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT handle, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                       SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                                       SQLCHAR* types, SQLSMALLINT typesLength) {
  Stmt* stmt = freshStmt(handle);
  const std::optional<std::string> wanted =
      types != nullptr ? std::optional<std::string>(textOf(types, typesLength)) : std::nullopt;
  // All types from the engine (a linked table is a TABLE to it), then the
  // caller's types.
  return reissue(stmt,
                 ENGINE(SQLTables, stmt->real, catalog, catalogLength, schema, schemaLength, table, tableLength,
                        static_cast<SQLCHAR*>(nullptr), SQLSMALLINT{0}),
                 [&](CatalogRows* rows) { reshapeTables(rows, stmt->dbc->settings.linked, wanted); });
}

JET_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT handle, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                        SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                                        SQLCHAR* column, SQLSMALLINT columnLength) {
  Stmt* stmt = freshStmt(handle);
  return reissue(stmt,
                 ENGINE(SQLColumns, stmt->real, catalog, catalogLength, schema, schemaLength, table, tableLength,
                        column, columnLength),
                 reshapeColumns);
}

JET_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT handle, SQLUSMALLINT identifierType, SQLCHAR* catalog,
                                               SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength,
                                               SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT scope,
                                               SQLUSMALLINT nullable) {
  Stmt* stmt = freshStmt(handle);
  // The best row id whatever the caller asked: its columns, for any answer.
  return reissue(stmt,
                 ENGINE(SQLSpecialColumns, stmt->real, SQLUSMALLINT{SQL_BEST_ROWID}, catalog, catalogLength, schema,
                        schemaLength, table, tableLength, SQLUSMALLINT{SQL_SCOPE_CURROW}, nullable),
                 [&](CatalogRows* rows) { reshapeSpecialColumns(rows, identifierType, scope); });
}

// Descriptors are the SQLite driver's own handles, passed on as they are.
#define FORWARD(name, params, ...) \
  JET_EXPORT SQLRETURN SQL_API name params { return ENGINE(name, __VA_ARGS__); }

FORWARD(SQLGetDescField, (SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l), d, r, f,
        v, n, l)
FORWARD(SQLSetDescField, (SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f, SQLPOINTER v, SQLINTEGER l), d, r, f, v, l)
FORWARD(SQLGetDescRec,
        (SQLHDESC d, SQLSMALLINT r, SQLCHAR* name, SQLSMALLINT n, SQLSMALLINT* l, SQLSMALLINT* t, SQLSMALLINT* st,
         SQLLEN* o, SQLSMALLINT* p, SQLSMALLINT* s, SQLSMALLINT* nu),
        d, r, name, n, l, t, st, o, p, s, nu)
FORWARD(SQLSetDescRec,
        (SQLHDESC d, SQLSMALLINT r, SQLSMALLINT t, SQLSMALLINT st, SQLLEN o, SQLSMALLINT p, SQLSMALLINT s, SQLPOINTER v,
         SQLLEN* l, SQLLEN* i),
        d, r, t, st, o, p, s, v, l, i)
FORWARD(SQLCopyDesc, (SQLHDESC from, SQLHDESC to), from, to)

// Diagnostics: the driver's own when it raised any, else the engine's.

JET_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                                           SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT capacity,
                                           SQLSMALLINT* length) {
  Handle* wrapper = wrapperOf(type, handle);
  if (wrapper == nullptr || wrapper->raised.empty()) {
    return ENGINE(SQLGetDiagRec, type, realOf(type, handle), record, state, native, text, capacity, length);
  }
  if (record < 1 || static_cast<std::size_t>(record) > wrapper->raised.size()) return SQL_NO_DATA;
  const Diagnostic& diagnostic = wrapper->raised[record - 1];
  if (state != nullptr) std::memcpy(state, diagnostic.state.c_str(), 6);
  if (native != nullptr) *native = diagnostic.native;
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(diagnostic.text.size());
  return copyOut(diagnostic.text, text, capacity) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

// A wide program's diagnostics reach it through these, converted by the
// driver manager.
JET_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                                             SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT* length) {
  Handle* wrapper = wrapperOf(type, handle);
  const bool own = field == SQL_DIAG_NUMBER || field == SQL_DIAG_SQLSTATE || field == SQL_DIAG_NATIVE ||
                   field == SQL_DIAG_MESSAGE_TEXT;
  if (wrapper == nullptr || wrapper->raised.empty() || !own) {
    return ENGINE(SQLGetDiagField, type, realOf(type, handle), record, field, value, capacity, length);
  }
  const bool inRange = record >= 1 && static_cast<std::size_t>(record) <= wrapper->raised.size();
  if (field == SQL_DIAG_NUMBER || field == SQL_DIAG_NATIVE) {
    if (field == SQL_DIAG_NATIVE && !inRange) return SQL_NO_DATA;
    const SQLINTEGER number =
        field == SQL_DIAG_NUMBER ? static_cast<SQLINTEGER>(wrapper->raised.size()) : wrapper->raised[record - 1].native;
    std::memcpy(value, &number, sizeof number);
    return SQL_SUCCESS;
  }
  if (!inRange) return SQL_NO_DATA;
  const Diagnostic& diagnostic = wrapper->raised[record - 1];
  const std::string& answer = field == SQL_DIAG_SQLSTATE ? diagnostic.state : diagnostic.text;
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(answer.size());
  return copyOut(answer, value, capacity) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}
