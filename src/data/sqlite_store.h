// The shop's files as SQLite databases.
//
// A file is opened read-write without the create flag, so a missing file is
// never made. Another program's lock is waited for up to `lockWait`, then the
// operation fails. The shop's files keep their rollback journal: switching
// them to WAL would change their format for every other program that reads
// them, and fails on network shares.

#pragma once

#include <chrono>

#include "data/record_store.h"

namespace kestrova::data {

class SqliteEngine final : public StoreEngine {
 public:
  static constexpr std::chrono::milliseconds kDefaultLockWait{5000};

  explicit SqliteEngine(std::chrono::milliseconds lockWait = kDefaultLockWait) : lockWait_(lockWait) {}

  Status open(const std::filesystem::path& path, const std::string& name,
              std::unique_ptr<DatabaseStore>* out) override;

 private:
  std::chrono::milliseconds lockWait_;
};

}  // namespace kestrova::data
