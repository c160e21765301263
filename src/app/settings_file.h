// The program's settings file, read the same way by every face on every
// platform.
//
// An INI file: [group] lines, key=value lines, comments from ';' or '#' at a
// line's start. A value may be written in double quotes, so that it can
// hold ';' and ',' (in quotes \\ is a backslash and \" before another quote
// a quote; any other backslash is kept, "D:\copies" being a folder);
// outside quotes, ';' starts a comment and a ',' separates the parts of a
// list, which is read back as its parts joined by ", ". Keys ignore case.
// The file is UTF-8, or UTF-16 as Notepad saves "Unicode".
//
// The user's own file is read first; the computer's file for every user
// fills in what the user's does not set:
//   Linux:   $XDG_CONFIG_HOME/Kestrova/combining-tool.ini (~/.config when
//            unset), then Kestrova/combining-tool.ini in each folder of
//            $XDG_CONFIG_DIRS (/etc/xdg when unset)
//   Windows: %APPDATA%\Kestrova\combining-tool.ini, then
//            %ProgramData%\Kestrova\combining-tool.ini

#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova::app {

class SettingsFile {
 public:
  // The files of this computer, in the order they are consulted.
  static std::vector<std::filesystem::path> standardFiles();
  // Reads `files` in order; a file that is missing or unreadable is passed over.
  static SettingsFile read(const std::vector<std::filesystem::path>& files);

  // Parses one file's text, for the tests.
  static SettingsFile parse(std::string_view text);

  std::optional<std::string> value(std::string_view group, std::string_view key) const;
  // The keys of a group with their values, keys as first written.
  std::vector<std::pair<std::string, std::string>> group(std::string_view group) const;

 private:
  void merge(const SettingsFile& other);

  // group (lower case) -> key (lower case) -> (key as written, value)
  std::map<std::string, std::map<std::string, std::pair<std::string, std::string>>> groups_;
};

}  // namespace kestrova::app
