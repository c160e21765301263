// Text from the shop's files shown to a person.
//
// An archive name or a file name comes from the data, not from the user,
// and may hold control characters: an escape sequence that retitles or
// clears a terminal, or a line break followed by words that fake a line of
// the tool's own output. Wherever such text is shown (the terminal, the
// report, the window) each control character is written visibly instead, as
// \x1b (a C1 control as \u009b), and so is each byte that is not part of
// UTF-8 text (\xff: a name from an old code page); every other character is
// kept as it is.

#pragma once

#include <string>
#include <string_view>

namespace kestrova::data {

// `text` with every control character written visibly, line breaks too.
std::string visibleText(std::string_view text);

// The same, keeping the line breaks: for a message whose own lines are
// meant, built from parts already made visible.
std::string visibleLines(std::string_view text);

}  // namespace kestrova::data
