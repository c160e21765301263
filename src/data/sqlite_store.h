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

  // kReadOnly opens every file read-only: nothing can be written through
  // it, and every write fails with kReadOnly. A preview uses it.
  enum class Access { kReadWrite, kReadOnly };

  explicit SqliteEngine(std::chrono::milliseconds lockWait = kDefaultLockWait, Access access = Access::kReadWrite)
      : lockWait_(lockWait), access_(access) {}

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;

 private:
  std::chrono::milliseconds lockWait_;
  Access access_;
};

}  // namespace kestrova::data
