#include "data/file_kind_engine.h"

#include <utility>

#include "data/file_kind.h"
#include "data/shop_path.h"

namespace kestrova::data {

FileKindEngine::FileKindEngine(Access access, DriverList drivers)
    : access_(access),
      drivers_(std::move(drivers)),
      sqlite_(SqliteEngine::kDefaultLockWait,
              access == Access::kReadOnly ? SqliteEngine::Access::kReadOnly : SqliteEngine::Access::kReadWrite) {}

FileKindEngine::~FileKindEngine() = default;

Status FileKindEngine::open(const std::filesystem::path& path, const std::string& name,
                            std::unique_ptr<DatabaseStore>* out) {
  // The header is read from the file the SQLite store would open; every
  // failure to find it is left to that store, which reports it as always.
  std::filesystem::path found;
  if (findShopDatabase(path, name, &found).isOk() && fileKindOf(found) == FileKind::kAccess) {
    return openAccessFile(found, name, out);
  }
  return sqlite_.open(path, name, out);
}

Status FileKindEngine::openAccessFile(const std::filesystem::path& path, const std::string& name,
                                      std::unique_ptr<DatabaseStore>* out) {
  out->reset();
  if (!driversAsked_) {
    driversAsked_ = true;
    OdbcTemplate parsed;
    std::string problem;
    const std::optional<std::string> text = accessTemplateFor(drivers_());
    if (!text) {
      accessProblem_ = noAccessDriverReason();
    } else if (!OdbcTemplate::parse(*text, &parsed, &problem)) {
      accessProblem_ =
          "this is a Microsoft Access file, and the connection template for its driver cannot be used: " + problem;
    } else {
      accessEngine_ = std::make_unique<OdbcEngine>(
          std::move(parsed), OdbcEngine::kDefaultLockWait,
          access_ == Access::kReadOnly ? OdbcEngine::Access::kReadOnly : OdbcEngine::Access::kReadWrite);
    }
  }
  if (accessEngine_ == nullptr) return Status::error(Status::Code::kNoDriver, name, "opening the file", accessProblem_);
  return accessEngine_->open(path, name, out);
}

}  // namespace kestrova::data
