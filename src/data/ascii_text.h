// Small text helpers every layer shares: blanks at the ends of a text, and
// the case of ASCII letters. Names in the shop's files, keys of the settings
// file and words of the command line are ASCII; other bytes are left as they
// stand and must match exactly.

#pragma once

#include <string>
#include <string_view>

namespace kestrova::data {

// `text` without the `blanks` at either end (white space unless told).
std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\n\v\f\r");

// `text` with its ASCII letters in lower case.
std::string lowered(std::string_view text);

// Whether two names (of tables, columns, keywords, drivers, files) are the
// same but for letter case, as the shop's files and ODBC take them: only A-Z
// and a-z are folded.
bool sameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kestrova::data
