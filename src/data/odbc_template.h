// A connection template: how a shop file becomes an ODBC data source. It
// is an ODBC connection string in which {path} stands for the file's full
// path (for file-based drivers) and {name} for its bare name without drive,
// folder or extension (for servers).

#pragma once

#include <filesystem>
#include <string>

namespace kestrova::data {

// A connection template, checked and taken apart. Keys keep their case as
// written; lookups ignore case, as drivers do.
class OdbcTemplate {
 public:
  // Checks `text` without connecting to anything: it must be a list of
  // key=value pairs, name {path} or {name} (and nothing else in braces
  // except a braced driver name), and not ask for anything that would let
  // the driver create a file or lose the per-statement undo the store
  // relies on. A SQLite driver that would create a missing file is told not
  // to (NoCreat=1). `*problem` gets the reason of a refusal.
  static bool parse(const std::string& text, OdbcTemplate* out, std::string* problem);

  const std::string& text() const { return text_; }
  // The driver named by Driver=, without braces; empty for a DSN.
  const std::string& driver() const { return driver_; }
  bool usesPath() const { return usesPath_; }
  // Whether the template sets the SQLite driver's own wait for a lock.
  bool setsLockWait() const { return setsLockWait_; }

  // The connection string for one shop file. Fails (false, `*problem`) when
  // the path or name holds characters that would change the connection
  // string's meaning.
  bool connectionString(const std::filesystem::path& path, std::string* out, std::string* problem) const;

 private:
  std::string text_;
  std::string driver_;
  bool usesPath_ = false;
  bool setsLockWait_ = false;
};

}  // namespace kestrova::data
