// What the Microsoft Access (Jet/ACE) ODBC driver answers where the SQLite
// ODBC driver would answer otherwise: the statements it refuses, the words
// and codes of its errors, the types it reports, its SQLGetInfo values, its
// connection attributes and its catalog rows. Plain functions over text and
// numbers; jet_driver.cpp applies them at the ODBC entry points.

#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::jet {

// A diagnostic record the driver raises itself, in place of the engine's.
struct Diagnostic {
  std::string state;  // five characters
  SQLINTEGER native = 0;
  std::string text;  // UTF-8, with the driver's prefix
};

// The language of the engine's lock messages (Language=de|en).
enum class Language { kGerman, kEnglish };

// The attributes of a connection string the driver reads itself.
struct ConnectionSettings {
  std::string forwarded;            // what the SQLite driver is given
  std::string database;             // the Database= file, empty when none
  std::vector<std::string> linked;  // Linked=: tables reported as SYNONYM
  Language language = Language::kGerman;
  long maxLocksPerFile = 9500;
};
ConnectionSettings readConnectionString(std::string_view text);

// Screens one statement as Jet parses it. Returns the refusal, or none and
// sets *forwarded to the text the SQLite driver is given.
std::optional<Diagnostic> screenStatement(std::string_view sql, std::string* forwarded);

// True when the statement writes rows (INSERT, UPDATE, DELETE, REPLACE).
bool writesRows(std::string_view sql);

// The Jet diagnostic for an error the SQLite driver reported (its first
// record), or none when it passes unchanged.
std::optional<Diagnostic> translateEngineError(std::string_view state, SQLINTEGER native, std::string_view text,
                                               bool writing, Language language);

Diagnostic optionalFeature();
Diagnostic fileNotFound(const std::string& path);
Diagnostic unrecognizedFormat(const std::string& path);
Diagnostic rightTruncated();
Diagnostic invalidPrecision();

// Access TEXT holds at most 255 characters; longer text is MEMO, bound as
// SQL_LONGVARCHAR or SQL_WLONGVARCHAR.
inline constexpr SQLULEN kMaxTextCharacters = 255;

// A column's type as the Access driver reports it.
struct AccessType {
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLLEN octets = 0;      // BUFFER_LENGTH
  const char* name = "";  // TYPE_NAME, empty to keep the engine's
};
AccessType accessType(SQLSMALLINT type, SQLULEN size);

// One SQLGetInfo answer the driver gives itself.
struct InfoAnswer {
  enum class Kind { kText, kSmall, kWide } kind = Kind::kText;
  std::string text;
  SQLUINTEGER number = 0;  // kSmall: SQLUSMALLINT, kWide: SQLUINTEGER
};
std::optional<InfoAnswer> infoAnswer(SQLUSMALLINT infoType);

// The rows of a catalog call, every value as text (none for NULL), to be
// reshaped and run again as a SELECT of constants.
using Cell = std::optional<std::string>;
struct CatalogRows {
  std::vector<std::string> names;  // the columns'
  std::vector<std::vector<Cell>> rows;
};
std::string selectOf(const CatalogRows& rows);

// SQLTables: the linked tables as SYNONYM, then the caller's type filter
// (`types` as given to SQLTables, none for all).
void reshapeTables(CatalogRows* result, const std::vector<std::string>& linked,
                   const std::optional<std::string>& types);
// SQLColumns: DATA_TYPE, TYPE_NAME, sizes as Access reports them.
void reshapeColumns(CatalogRows* result);
// SQLSpecialColumns: only the current row's scope, no pseudo columns.
void reshapeSpecialColumns(CatalogRows* result, SQLUSMALLINT identifierType, SQLUSMALLINT scope);

}  // namespace kestrova::jet
