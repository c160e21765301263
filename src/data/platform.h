// What each operating system holds in its own way: the text of file names
// and of the environment, links between folders, drive letters, the
// folders of settings files and the clock's calendar. The one place where
// the tool's UTF-8 meets them; the rest of the tool sees UTF-8 only.
//
// POSIX keeps names and variables as bytes, taken as they stand. Windows
// keeps them in UTF-16: they are read wide (never through the ANSI code
// page) and converted here. No conversion throws: what has no spelling on
// the other side is replaced by U+FFFD, and the exact forms below say so.

#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Whether the computer has drive letters of its own (Windows): a shop file's
// name on a drive that no folder is set up for is then on that very drive.
// Elsewhere such a drive is not available.
bool hasOwnDriveLetters();

// A shop file's name as the computer's file functions take it: the
// backslashes of a Windows name made the folder separators of POSIX.
std::string withOwnSeparators(std::string_view name);

// The folders that hold settings for this user and then for every user,
// most particular first: %APPDATA% and %ProgramData% on Windows;
// $XDG_CONFIG_HOME (or ~/.config) and each of $XDG_CONFIG_DIRS (or
// /etc/xdg) elsewhere. A folder whose variable is not set is left out.
std::vector<std::filesystem::path> settingsFolders();

// `when` as a date and time in UTC.
std::tm utcCalendarTime(std::time_t when);

// A shop file's path as an ODBC driver is to read it in a connection
// string: the path itself, in UTF-8. Under Wine the driver behind Wine's
// odbc32 is the host's own, which opens files by their host path:
// "C:\users\shop\kestrova.mdb" is handed on as the host file that drive C
// stands for.
std::string pathForDriver(const std::filesystem::path& path);

}  // namespace kestrova::data
