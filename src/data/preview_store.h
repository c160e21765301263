// PreviewEngine: a store engine that changes nothing and counts instead.
//
// It hands out stores of an inner engine (meant to open every file
// read-only) whose update() and remove() are counted, per file, table and
// column, and not passed on; everything that reads goes to the file. Every
// attempt to open a file is recorded, found or not. A row removed in the
// preview is left out of later selections of the same file and table, as it
// would be gone after the real remove.
//
// Running a combine's passes through it therefore tells how many rows the
// same passes would change, without changing any.

#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/record_store.h"

namespace kestrova::data {

class PreviewEngine final : public ForwardingEngine {
 public:
  struct OpenAttempt {
    std::string name;  // as the caller gave it ("ARC2023.arc", "A:ARC2023.arc")
    Status status;     // ok when the file opened
  };

  // Where a count belongs: the file's name as given, the table, and the
  // column written (empty for removed rows).
  using CountKey = std::tuple<std::string, std::string, std::string>;

  // The inner engine must outlive this one.
  explicit PreviewEngine(StoreEngine& inner) : ForwardingEngine(inner) {}

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;

  const std::vector<OpenAttempt>& openAttempts() const { return openAttempts_; }
  // Rows whose column would be written, by file, table and column.
  const std::map<CountKey, std::size_t>& writes() const { return writes_; }
  // Rows that would be removed, by file and table (column empty).
  const std::map<CountKey, std::size_t>& removals() const { return removals_; }

 private:
  class Store;

  std::vector<OpenAttempt> openAttempts_;
  std::map<CountKey, std::size_t> writes_;
  std::map<CountKey, std::size_t> removals_;
  // (absolute path, table) -> identities of rows removed in the preview
  std::map<std::pair<std::string, std::string>, std::set<RowId>> removed_;
};

}  // namespace kestrova::data
