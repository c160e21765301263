// FileKindEngine: the engine used when no connection template is given. It
// opens each shop file as what its first bytes say it is (data/file_kind.h):
// a SQLite file through the SQLite store, an Access file through the ODBC
// store over the Access driver that is installed. Anything else goes to the
// SQLite store, which reports what it is (missing, empty, not a database)
// in its usual words.
//
// An Access file on a computer with no Access driver fails with kNoDriver,
// saying what to install; like any file that cannot be opened, it is left
// as it was and the run goes on.

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/odbc_engine.h"
#include "data/record_store.h"
#include "data/sqlite_store.h"

namespace kestrova::data {

class FileKindEngine final : public StoreEngine {
 public:
  // kReadOnly: every file is opened read-only, whichever store opens it.
  enum class Access { kReadWrite, kReadOnly };

  // `drivers` lists the installed ODBC drivers; it is asked once, when the
  // first Access file is opened.
  using DriverList = std::function<std::vector<std::string>()>;

  explicit FileKindEngine(Access access = Access::kReadWrite, DriverList drivers = installedOdbcDrivers);
  ~FileKindEngine() override;

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;

 private:
  Status openAccessFile(const std::filesystem::path& path, const std::string& name,
                        std::unique_ptr<DatabaseStore>* out);

  Access access_;
  DriverList drivers_;
  SqliteEngine sqlite_;
  bool driversAsked_ = false;
  std::unique_ptr<OdbcEngine> accessEngine_;  // none when no Access driver is installed
  std::string accessProblem_;                 // then why not
};

}  // namespace kestrova::data
