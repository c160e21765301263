// The shop's files through ODBC: any data source an ODBC driver reaches
// (the shop package's own Access files on Windows, SQLite files, a database
// server on which each shop file is a database). The engine promises what
// the SQLite engine promises: it never creates a file or a database, and a
// source that another program holds is waited for a bounded time and then
// reported in the shop's words.
//
// A connection template (data/odbc_template.h) says which data source each
// file name reaches: under {path}, the data source of its path, as SQLite
// files do; under {name}, only the file's bare name counts: the folder is
// dropped, and "sub/mgmtdata.arc" is the management database itself.
// Callers that open files named by the shop's data ask here before opening
// one.

#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/odbc_template.h"
#include "data/record_store.h"

namespace kestrova::data {

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
  // Under {name}, two names whose bare names differ only in the case of
  // ASCII letters reach the same source: servers and DSNs may fold case.
  bool reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const override;
  bool dropsFolders() const override { return usesName_; }
  std::string sourceKind() const override { return "ODBC: " + template_.text(); }

 private:
  OdbcTemplate template_;
  bool usesName_;
  std::chrono::milliseconds lockWait_;
  Access access_;
  std::shared_ptr<OdbcEnvironment> environment_;  // the driver manager's, shared with the stores
};

}  // namespace kestrova::data
