// CountingEngine: hands out an inner engine's stores unchanged and counts
// the rows their writes changed, inserted or deleted, once those writes are
// committed.
//
// A row counts once per committed batch, however many of its columns the
// batch wrote. Writes whose batch is not kept (a failed commit, a batch the
// engine had to undo) are not counted. Everything else goes to the inner
// store as it is.

#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "data/record_store.h"

namespace kestrova::data {

class CountingEngine final : public ForwardingEngine {
 public:
  // The inner engine must outlive this one; this one must outlive its stores.
  explicit CountingEngine(StoreEngine& inner) : ForwardingEngine(inner) {}

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;

  // Rows changed, inserted or deleted by committed batches, in every file.
  std::size_t rowsCommitted() const { return rowsCommitted_; }

 private:
  class Store;

  std::size_t rowsCommitted_ = 0;
};

}  // namespace kestrova::data
