// Taking apart the texts the ODBC store is handed: record sources and
// conditions (which the driver, unlike SQLite, would run as several
// statements), and connection strings. Nothing here talks to a driver.

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::data {

// Whether `haystack` holds `needle`, ignoring the case of ASCII letters.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// Whether `text` ends a statement (a semicolon outside quotes) before its
// end: a driver may run what follows as a second statement.
bool holdsSecondStatement(std::string_view text);

// "SELECT list FROM table rest", taken apart at the first FROM outside
// quotes.
struct SelectParts {
  std::string list;   // the source's columns
  std::string table;  // without quotes
  std::string rest;   // WHERE ..., ORDER BY ...

  friend bool operator==(const SelectParts&, const SelectParts&) = default;
};

// False when `source` is not a SELECT of that form, or names no column or
// no table.
bool splitSelect(std::string_view source, SelectParts* out);

// `text` with every bare name in it (outside quotes, not a number) for
// which `spelling` has an answer replaced by that answer. Literals and
// names quoted already stay as they are.
std::string respelledNames(std::string_view text,
                           const std::function<std::optional<std::string>(std::string_view)>& spelling);

// A statement whose texts travel beside it rather than inside it.
struct WithParameters {
  std::string sql;                  // a parameter marker where each text stood
  std::vector<std::string> values;  // the texts, in order, their quotes undoubled

  friend bool operator==(const WithParameters&, const WithParameters&) = default;
};

// `sql` with every text between single quotes (outside quoted names) made a
// parameter, so that an ID or a name from the data reaches the driver bound
// and never inside the SQL text: a driver without wide entry points would
// cut the whole statement at a character it cannot narrow. A text left open
// stays as it is, for the data source to refuse.
WithParameters textsAsParameters(std::string_view sql);

// One key=value pair of a connection string, as written.
struct ConnectionPair {
  std::string key;
  std::string value;  // braces kept

  friend bool operator==(const ConnectionPair&, const ConnectionPair&) = default;
};

// Splits a connection string into key=value pairs; a value in braces may
// hold semicolons. False, with `*problem`, when a part is not a pair.
bool splitPairs(std::string_view text, std::vector<ConnectionPair>* out, std::string* problem);

// The first pair whose key is `key` but for case, or null.
const ConnectionPair* findPair(const std::vector<ConnectionPair>& pairs, std::string_view key);

// A value without the braces around it.
std::string unbraced(std::string_view value);

}  // namespace kestrova::data
