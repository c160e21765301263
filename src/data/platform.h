// What each operating system holds in its own way: the text of file names
// and of the environment, and links between folders. The one place where
// the tool's UTF-8 meets them; the rest of the tool sees UTF-8 only.
//
// POSIX keeps names and variables as bytes, taken as they stand. Windows
// keeps them in UTF-16: they are read wide (never through the ANSI code
// page) and converted here. No conversion throws: what has no spelling on
// the other side is replaced by U+FFFD, and the exact forms below say so.

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::data {

// The path's text in UTF-8, as SQLite and the messages want it.
std::string pathToUtf8(const std::filesystem::path& path);

// The path that UTF-8 `text` names. Text that is not UTF-8 names no file on
// Windows; callers that take text from the data check it first (isUtf8).
std::filesystem::path pathFromUtf8(std::string_view text);

// The path's text when it has an exact UTF-8 spelling: nothing for a name
// that is not text (on Windows a lone UTF-16 surrogate, on POSIX bytes that
// are not UTF-8), which no UTF-8 name can stand for.
std::optional<std::string> exactUtf8Of(const std::filesystem::path& path);

// The environment variable `name` in UTF-8; empty when unset.
std::string environmentVariable(const char* name);

// Whether `path` is a symbolic link or, on Windows, a junction or another
// reparse point, which may lead anywhere. Looks at the entry, never opens it.
bool isLinkOrJunction(const std::filesystem::path& path);

}  // namespace kestrova::data
