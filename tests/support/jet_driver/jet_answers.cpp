#include "jet_answers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kestrova::jet {
namespace {

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

bool sameWord(std::string_view a, std::string_view b) { return upper(a) == upper(b); }

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// Every message carries the driver's name as the Access driver's do; a
// German installation names it in German.
Diagnostic accessError(const char* state, SQLINTEGER native, const std::string& text,
                       Language language = Language::kEnglish) {
  const char* prefix = language == Language::kGerman ? "[Microsoft][ODBC Microsoft Access-Treiber] "
                                                     : "[Microsoft][ODBC Microsoft Access Driver] ";
  return Diagnostic{state, native, prefix + text};
}

// Jet reads a name it does not know as a parameter with no value: "Too few
// parameters. Expected 1.", SQLSTATE 07002, native -3010 (the Access
// driver's best-known error, documented in Microsoft's knowledge base for
// misspelt field names).
Diagnostic tooFewParameters() { return accessError("07002", -3010, "Too few parameters. Expected 1."); }

// Jet SQL has no SAVEPOINT, RELEASE or ROLLBACK TO: a statement starting
// with a word it does not know is "Invalid SQL statement; expected
// 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'." (42000, -3500).
Diagnostic invalidStatement() {
  return accessError("42000", -3500,
                     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
}

// Jet error 3360, "Query is too complex", reported here as SQLSTATE 37000
// (the ODBC 2 syntax-error class the Access driver uses; the driver manager
// hands it to an ODBC 3 program as 42000) with native -3360.
Diagnostic tooComplex() { return accessError("37000", -3360, "Query is too complex."); }

// Microsoft's table of Access limits: "Number of characters in an SQL statement:
// approximately 64,000" (SQLGetInfo still says 65000).
constexpr std::size_t kMaxStatementCharacters = 64000;
// Jet 3.5's documented limits: 40 ANDs in a WHERE or HAVING clause. Read
// strictly: more than 40 terms joined by AND or OR is too complex.
constexpr int kMaxWhereTerms = 40;

std::size_t characterCount(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::vector<std::string> wordsOf(std::string_view sql) {
  std::vector<std::string> words;
  std::string word;
  char quote = 0;  // the character closing the string or name being skipped
  for (char c : sql) {
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled '' reopens at once: no word is lost
      continue;
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += c;
      continue;
    }
    if (!word.empty()) words.push_back(upper(word));
    word.clear();
    if (c == '\'' || c == '`') quote = c;
    if (c == '[') quote = ']';
  }
  if (!word.empty()) words.push_back(upper(word));
  return words;
}

bool tooManyTerms(const std::vector<std::string>& words) {
  int terms = 0;
  bool inCondition = false;
  bool betweenOpen = false;
  for (const std::string& word : words) {
    if (word == "WHERE" || word == "HAVING") {
      inCondition = true;
      terms = 1;
    } else if (word == "GROUP" || word == "ORDER") {
      inCondition = false;
    } else if (inCondition && word == "BETWEEN") {
      betweenOpen = true;  // its AND joins no terms
    } else if (inCondition && word == "AND" && betweenOpen) {
      betweenOpen = false;
    } else if (inCondition && (word == "AND" || word == "OR")) {
      if (++terms > kMaxWhereTerms) return true;
    }
  }
  return false;
}

// An IN list is read as its items joined by OR: more than 40 of them are
// too complex too.
bool inListTooLong(std::string_view sql) {
  const std::string text = upper(sql);
  for (std::size_t at = text.find(" IN ("); at != std::string::npos; at = text.find(" IN (", at + 1)) {
    const std::size_t close = text.find(')', at);
    const std::string_view list = std::string_view(text).substr(at, close - at);
    if (std::count(list.begin(), list.end(), ',') + 1 > kMaxWhereTerms) return true;
  }
  return false;
}

}  // namespace

ConnectionSettings readConnectionString(std::string_view text) {
  ConnectionSettings settings;
  bool timeoutGiven = false;
  std::size_t at = 0;
  while (at < text.size()) {
    // key=value; a value in braces may hold ';'.
    std::size_t end = text.find('=', at);
    if (end == std::string_view::npos) break;
    const std::string key = trimmed(text.substr(at, end - at));
    std::size_t valueStart = end + 1;
    std::size_t valueEnd;
    if (valueStart < text.size() && text[valueStart] == '{') {
      valueEnd = text.find('}', valueStart);
      valueEnd = valueEnd == std::string_view::npos ? text.size() : valueEnd + 1;
    } else {
      valueEnd = std::min(text.find(';', valueStart), text.size());
    }
    const std::string pair(text.substr(at, valueEnd - at));
    std::string value = trimmed(text.substr(valueStart, valueEnd - valueStart));
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}') value = value.substr(1, value.size() - 2);
    at = std::min(text.find(';', valueEnd), text.size()) + 1;

    std::string forward = pair;
    if (sameWord(key, "Linked")) {
      for (std::size_t from = 0; from <= value.size();) {
        const std::size_t comma = std::min(value.find(',', from), value.size());
        if (const std::string name = trimmed(std::string_view(value).substr(from, comma - from)); !name.empty()) {
          settings.linked.push_back(name);
        }
        from = comma + 1;
      }
      forward.clear();
    } else if (sameWord(key, "Language")) {
      settings.language = sameWord(value, "en") ? Language::kEnglish : Language::kGerman;
      forward.clear();
    } else if (sameWord(key, "MaxLocksPerFile")) {
      settings.maxLocksPerFile = std::max(1L, std::strtol(value.c_str(), nullptr, 10));
      forward.clear();
    } else if (sameWord(key, "NoCreat")) {
      forward.clear();  // given below, always 1
    } else if (sameWord(key, "Database")) {
      settings.database = value;
    } else if (sameWord(key, "Timeout")) {
      timeoutGiven = true;
    }
    if (!forward.empty()) settings.forwarded += forward + ";";
  }
  // The Access driver opens only a file that exists; it never makes one.
  settings.forwarded += "NoCreat=1;";
  // Jet retries a locked page LockRetry (20) times LockDelay (100 ms) apart
  // (Jet registry settings), not the SQLite driver's minutes.
  if (!timeoutGiven) settings.forwarded += "Timeout=2000;";
  return settings;
}

std::optional<Diagnostic> screenStatement(std::string_view sql, std::string* forwarded) {
  if (characterCount(sql) > kMaxStatementCharacters) return tooComplex();
  std::string out;
  out.reserve(sql.size());
  for (std::size_t at = 0; at < sql.size(); ++at) {
    const char c = sql[at];
    if (c == '\'' || c == '[') {
      // A string or a bracketed name, copied whole.
      const char close = c == '[' ? ']' : '\'';
      const std::size_t end = std::min(sql.find(close, at + 1), sql.size() - 1);
      out.append(sql.substr(at, end - at + 1));
      at = end;
    } else if (c == '"') {
      // Jet takes "..." as text, never as a name: a statement naming a
      // column that way never reaches it. Refused as the unknown name it is.
      return tooFewParameters();
    } else if (c == '`') {
      // The Access driver's identifier quote (SQL_IDENTIFIER_QUOTE_CHAR);
      // SQLite quotes names with '"'.
      const std::size_t end = std::min(sql.find('`', at + 1), sql.size());
      out += '"';
      for (char n : sql.substr(at + 1, end - at - 1)) out += n == '"' ? std::string("\"\"") : std::string(1, n);
      out += '"';
      at = end;
    } else {
      out += c;
    }
  }
  const std::vector<std::string> words = wordsOf(sql);
  if (!words.empty()) {
    const std::string& first = words[0];
    const bool rollbackTo = first == "ROLLBACK" && words.size() > 1 &&
                            (words[1] == "TO" || (words[1] == "TRANSACTION" && words.size() > 2 && words[2] == "TO"));
    if (first == "SAVEPOINT" || first == "RELEASE" || rollbackTo) return invalidStatement();
  }
  if (tooManyTerms(words) || inListTooLong(sql)) return tooComplex();
  *forwarded = std::move(out);
  return std::nullopt;
}

bool writesRows(std::string_view sql) {
  const std::vector<std::string> words = wordsOf(sql);
  if (words.empty()) return false;
  return words[0] == "INSERT" || words[0] == "UPDATE" || words[0] == "DELETE" || words[0] == "REPLACE";
}

std::optional<Diagnostic> translateEngineError(std::string_view, SQLINTEGER native, std::string_view text, bool writing,
                                               Language language) {
  if (contains(text, "no such column")) return tooFewParameters();
  // SQLITE_CONSTRAINT (19), a rule of the table that refuses the row: an
  // integrity constraint violation, SQLSTATE 23000, in Jet's words for a
  // validation rule. Only the state is relied on.
  if ((native & 0xff) == 19) {
    return accessError("23000", 0, "One or more values are prohibited by the validation rule set for the table.",
                       language);
  }
  // SQLITE_BUSY (5) and SQLITE_LOCKED (6). Jet reports a lock in the words
  // of the installed language, under the general SQLSTATE HY000: a held row
  // is error 3218 "Could not update; currently locked.", a file another
  // program holds "Could not use the file; file already in use." (3045,
  // -1102 through ODBC).
  if (native == 5 || native == 6 || contains(text, "database is locked") || contains(text, "table is locked")) {
    const bool german = language == Language::kGerman;
    if (writing) {
      return accessError(
          "HY000", -3218,
          german ? "Aktualisierung nicht m\xC3\xB6glich; momentan gesperrt." : "Could not update; currently locked.",
          language);
    }
    return accessError("HY000", -1102,
                       german ? "Die Datei kann nicht verwendet werden; sie wird bereits verwendet."
                              : "Could not use the file; file already in use.",
                       language);
  }
  return std::nullopt;
}

// The Access driver has no 64-bit integer type: binding one is "Optional
// feature not implemented" (HYC00), raised by the driver, not the engine.
Diagnostic optionalFeature() { return accessError("HYC00", 0, "Optional feature not implemented"); }

// Jet's "Could not find file" (native -1811) for a Database= that is absent.
Diagnostic fileNotFound(const std::string& path) {
  return accessError("HY000", -1811, "Could not find file '" + path + "'.");
}

// A file that is not a Jet database: "Unrecognized database format" (Jet
// error 3343, native -1206 through ODBC), at connection.
Diagnostic unrecognizedFormat(const std::string& path) {
  return accessError("HY000", -1206, "Unrecognized database format '" + path + "'.");
}

Diagnostic rightTruncated() { return accessError("01004", 0, "String data, right truncated"); }

// A TEXT parameter wider than TEXT can be: "Invalid precision value"
// (HY104), as the driver answers SQLBindParameter.
Diagnostic invalidPrecision() { return accessError("HY104", 0, "Invalid precision value"); }

AccessType accessType(SQLSMALLINT type, SQLULEN size) {
  switch (type) {
    // Microsoft's ODBC Desktop Database Drivers, Access data types: LONG
    // and COUNTER are SQL_INTEGER; there is no SQL_BIGINT.
    case SQL_BIGINT:
    case SQL_INTEGER:
      return {SQL_INTEGER, 10, 4, "INTEGER"};
    // TEXT holds at most 255 characters and is reported as SQL_WVARCHAR;
    // anything longer can only be MEMO, SQL_WLONGVARCHAR ("LONGCHAR").
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      if (size > 0 && size <= 255) return {SQL_WVARCHAR, size, static_cast<SQLLEN>(size * 2), "VARCHAR"};
      [[fallthrough]];
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return {SQL_WLONGVARCHAR, 1073741823, 2147483646, "LONGCHAR"};
    default:
      return {type, size, -1, ""};
  }
}

std::optional<InfoAnswer> infoAnswer(SQLUSMALLINT infoType) {
  using Kind = InfoAnswer::Kind;
  switch (infoType) {
    // SQLGetInfo as the Access driver answers it (ACE's ACEODBC.DLL over
    // the Jet 4 file format).
    case SQL_DBMS_NAME:
      return InfoAnswer{Kind::kText, "ACCESS", 0};
    case SQL_DBMS_VER:
      return InfoAnswer{Kind::kText, "04.00.0000", 0};
    case SQL_DRIVER_NAME:
      return InfoAnswer{Kind::kText, "ACEODBC.DLL", 0};
    case SQL_IDENTIFIER_QUOTE_CHAR:
      return InfoAnswer{Kind::kText, "`", 0};
    // Transactions cover data changes only; DDL inside one is refused.
    case SQL_TXN_CAPABLE:
      return InfoAnswer{Kind::kSmall, "", SQL_TC_DML};
    // No BIGINT type, so nothing converts to it.
    case SQL_CONVERT_BIGINT:
      return InfoAnswer{Kind::kWide, "", 0};
    case SQL_MAX_STATEMENT_LEN:
      return InfoAnswer{Kind::kWide, "", 65000};
    // Microsoft's table of Access limits: 255 fields in a table or a query, 10 fields in
    // an index, a sort or a grouping; names up to 64 characters.
    case SQL_MAX_COLUMNS_IN_TABLE:
    case SQL_MAX_COLUMNS_IN_SELECT:
      return InfoAnswer{Kind::kSmall, "", 255};
    case SQL_MAX_COLUMNS_IN_INDEX:
    case SQL_MAX_COLUMNS_IN_ORDER_BY:
    case SQL_MAX_COLUMNS_IN_GROUP_BY:
      return InfoAnswer{Kind::kSmall, "", 10};
    case SQL_MAX_TABLE_NAME_LEN:
    case SQL_MAX_COLUMN_NAME_LEN:
      return InfoAnswer{Kind::kSmall, "", 64};
    default:
      return std::nullopt;
  }
}

std::string selectOf(const CatalogRows& rows) {
  auto quoted = [](const std::string& text, char quote) {
    std::string out(1, quote);
    for (char c : text) out += c == quote ? std::string(2, c) : std::string(1, c);
    return out + quote;
  };
  std::string select = "SELECT ";
  for (std::size_t c = 0; c < rows.names.size(); ++c) {
    select += (c > 0 ? ", " : "") + (rows.rows.empty() ? "NULL" : "column" + std::to_string(c + 1)) + " AS " +
              quoted(rows.names[c], '"');
  }
  if (rows.rows.empty()) return select + " WHERE 0";
  select += " FROM (VALUES ";
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    select += r > 0 ? ", (" : "(";
    for (std::size_t c = 0; c < rows.rows[r].size(); ++c) {
      const Cell& cell = rows.rows[r][c];
      select += (c > 0 ? ", " : "") + (cell ? quoted(*cell, '\'') : std::string("NULL"));
    }
    select += ")";
  }
  return select + ")";
}

void reshapeTables(CatalogRows* result, const std::vector<std::string>& linked,
                   const std::optional<std::string>& types) {
  constexpr std::size_t kName = 2, kType = 3;
  std::vector<std::string> wanted;
  if (types && *types != "%") {
    for (std::size_t from = 0; from <= types->size();) {
      const std::size_t comma = std::min(types->find(',', from), types->size());
      std::string type = trimmed(std::string_view(*types).substr(from, comma - from));
      if (type.size() >= 2 && type.front() == '\'' && type.back() == '\'') type = type.substr(1, type.size() - 2);
      if (!type.empty()) wanted.push_back(upper(type));
      from = comma + 1;
    }
  }
  std::vector<std::vector<Cell>> kept;
  for (std::vector<Cell>& row : result->rows) {
    if (row.size() <= kType || !row[kName] || !row[kType]) continue;
    // A table linked from another file is listed with TABLE_TYPE "SYNONYM".
    const bool isLinked =
        std::any_of(linked.begin(), linked.end(), [&](const std::string& name) { return sameWord(name, *row[kName]); });
    if (isLinked && *row[kType] == "TABLE") row[kType] = "SYNONYM";
    if (wanted.empty() || std::find(wanted.begin(), wanted.end(), upper(*row[kType])) != wanted.end()) {
      kept.push_back(std::move(row));
    }
  }
  result->rows = std::move(kept);
}

namespace {

// Writes the Access type of a catalog row's DATA_TYPE/COLUMN_SIZE cells.
void rewriteType(std::vector<Cell>& row, std::size_t dataType, std::size_t typeName, std::size_t columnSize,
                 std::size_t bufferLength) {
  if (!row[dataType]) return;
  const auto type = static_cast<SQLSMALLINT>(std::strtol(row[dataType]->c_str(), nullptr, 10));
  const SQLULEN size = row[columnSize] ? std::strtoull(row[columnSize]->c_str(), nullptr, 10) : 0;
  const AccessType access = accessType(type, size);
  row[dataType] = std::to_string(access.type);
  if (*access.name != '\0') row[typeName] = access.name;
  row[columnSize] = std::to_string(access.size);
  if (access.octets >= 0) row[bufferLength] = std::to_string(access.octets);
}

}  // namespace

void reshapeColumns(CatalogRows* result) {
  constexpr std::size_t kDataType = 4, kTypeName = 5, kSize = 6, kBuffer = 7, kSqlDataType = 13, kOctets = 15;
  for (std::vector<Cell>& row : result->rows) {
    if (row.size() <= kOctets) continue;
    rewriteType(row, kDataType, kTypeName, kSize, kBuffer);
    row[kSqlDataType] = row[kDataType];
    const long type = row[kDataType] ? std::strtol(row[kDataType]->c_str(), nullptr, 10) : 0;
    row[kOctets] = type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR ? row[kBuffer] : Cell();
  }
}

void reshapeSpecialColumns(CatalogRows* result, SQLUSMALLINT identifierType, SQLUSMALLINT scope) {
  constexpr std::size_t kScope = 0, kDataType = 2, kTypeName = 3, kSize = 4, kBuffer = 5, kDigits = 6, kPseudo = 7;
  // The Access driver names a table's unique index for the current row
  // only: Jet promises no row identity over a transaction or a session,
  // and has no row version column and no row-id pseudo column.
  if (identifierType != SQL_BEST_ROWID || scope != SQL_SCOPE_CURROW) {
    result->rows.clear();
    return;
  }
  std::vector<std::vector<Cell>> kept;
  for (std::vector<Cell>& row : result->rows) {
    if (row.size() <= kPseudo) continue;
    if (row[kPseudo] && std::strtol(row[kPseudo]->c_str(), nullptr, 10) == SQL_PC_PSEUDO) continue;
    row[kScope] = std::to_string(SQL_SCOPE_CURROW);
    rewriteType(row, kDataType, kTypeName, kSize, kBuffer);
    if (row[kDataType] == std::to_string(SQL_INTEGER)) row[kDigits] = "0";
    kept.push_back(std::move(row));
  }
  result->rows = std::move(kept);
}

}  // namespace kestrova::jet
