// Putting a user's or a file's text into SQL.

#pragma once

#include <string>
#include <string_view>

namespace kestrova::data {

// Returns `text` made safe to stand between single quotes in an SQL
// statement: every single quote is doubled, so the text can never end the
// quoted literal early and widen a selection. Every SELECT or condition that
// carries an ID, a nickname or an archive name builds it through here.
std::string sqlQuoteBody(std::string_view text);

}  // namespace kestrova::data
