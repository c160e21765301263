#include "data/preview_store.h"

#include <algorithm>
#include <system_error>

#include "data/read_through_store.h"
#include "data/shop_path.h"

namespace kestrova::data {

class PreviewEngine::Store final : public ReadThroughStore {
 public:
  Store(PreviewEngine& engine, std::unique_ptr<DatabaseStore> inner, std::string path)
      : ReadThroughStore(std::move(inner)), engine_(engine), path_(std::move(path)) {}

  Status select(std::string_view recordSource, RowSet* out) override {
    Status selected = inner().select(recordSource, out);
    if (!selected.isOk()) return selected;
    const auto removed = engine_.removed_.find({path_, out->table});
    if (removed == engine_.removed_.end()) return selected;
    // The rows and, when the engine keeps them, their values (row by row)
    // lose the removed rows together.
    const std::size_t width = out->columns.size();
    const bool withValues = !out->values.empty();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out->rows.size(); ++i) {
      if (removed->second.contains(out->rows[i])) continue;
      if (withValues && kept != i) {
        std::move(out->values.begin() + static_cast<std::ptrdiff_t>(i * width),
                  out->values.begin() + static_cast<std::ptrdiff_t>((i + 1) * width),
                  out->values.begin() + static_cast<std::ptrdiff_t>(kept * width));
      }
      out->rows[kept++] = out->rows[i];
    }
    out->rows.resize(kept);
    if (withValues) out->values.resize(kept * width);
    return selected;
  }

  Status update(const RowSet& set, RowId, std::span<const FieldWrite> writes) override {
    for (const FieldWrite& write : writes) ++engine_.writes_[{name(), set.table, write.column}];
    return Status::ok();
  }

  Status remove(const RowSet& set, RowId row) override {
    ++engine_.removals_[{name(), set.table, std::string()}];
    engine_.removed_[{path_, set.table}].insert(row);
    return Status::ok();
  }

  Status commit() override { return Status::ok(); }

 private:
  PreviewEngine& engine_;
  std::string path_;
};

Status PreviewEngine::open(const std::filesystem::path& path, const std::string& name,
                           std::unique_ptr<DatabaseStore>* out) {
  std::unique_ptr<DatabaseStore> inner;
  Status opened = inner_.open(path, name, &inner);
  openAttempts_.push_back(OpenAttempt{name, opened});
  if (!opened.isOk()) return opened;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(path, error);
  if (error) absolute = std::filesystem::absolute(path, error);
  *out = std::make_unique<Store>(*this, std::move(inner), pathToUtf8(absolute));
  return Status::ok();
}

}  // namespace kestrova::data
