// The ODBC engine as the shop's files see it: which data source each file
// name reaches under a connection template.
//
// Under {path}, a file reaches the data source of its path, as SQLite files
// do. Under {name}, only the file's bare name reaches the data source: the
// folder is dropped, and "sub/mgmtdata.arc" is the management database
// itself. Callers that open files named by the shop's data ask here before
// opening one.

#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "data/odbc_store.h"

namespace kestrova::data {

class OdbcSourceEngine final : public StoreEngine {
 public:
  OdbcSourceEngine(const OdbcTemplate& connectionTemplate, std::chrono::milliseconds lockWait,
                   OdbcEngine::Access access);

  Status open(const std::filesystem::path& path, const std::string& name,
              std::unique_ptr<DatabaseStore>* out) override {
    return inner_.open(path, name, out);
  }
  // Under {name}, two names whose bare names differ only in the case of
  // ASCII letters reach the same source: servers and DSNs may fold case.
  bool reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const override;
  bool dropsFolders() const override { return usesName_; }
  std::string sourceKind() const override { return "ODBC: " + template_.text(); }

 private:
  OdbcTemplate template_;
  bool usesName_;
  OdbcEngine inner_;
};

}  // namespace kestrova::data
