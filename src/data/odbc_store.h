// The shop's files through ODBC: any data source an ODBC driver reaches
// (the shop package's own Access files on Windows, SQLite files, a database
// server on which each shop file is a database).
//
// A connection template says how a shop file becomes a data source: an ODBC
// connection string in which {path} stands for the file's full path (for
// file-based drivers) and {name} for its bare name without drive, folder or
// extension (for servers). The store promises what the SQLite store
// promises: it never creates a file or a database; a source that another
// program holds is waited for a bounded time and then reported in the shop's
// words; rows are kept by an integer identity read when a selection is
// opened, so writing the column that selected a row never drops, moves or
// repeats it; writes go into one manual-commit batch that commit() ends.
// It uses no driver cursor and no positioned update: every write is a
// prepared statement by identity.

#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/record_store.h"

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

// The ODBC drivers installed on this machine, by name.
std::vector<std::string> installedOdbcDrivers();

struct OdbcEnvironment;

class OdbcEngine final : public StoreEngine {
 public:
  static constexpr std::chrono::milliseconds kDefaultLockWait{5000};

  // kReadOnly: nothing is ever written through the engine's stores (every
  // write fails with kReadOnly before it reaches the driver), and the data
  // source is asked to be read-only where the driver allows it.
  enum class Access { kReadWrite, kReadOnly };

  explicit OdbcEngine(OdbcTemplate connectionTemplate, std::chrono::milliseconds lockWait = kDefaultLockWait,
                      Access access = Access::kReadWrite);
  ~OdbcEngine() override;

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;


 private:
  OdbcTemplate template_;
  std::chrono::milliseconds lockWait_;
  Access access_;
  std::shared_ptr<OdbcEnvironment> environment_;  // the driver manager's, shared with the stores
};

}  // namespace kestrova::data
