#include "data/odbc_source_engine.h"

#include <algorithm>

#include "data/ascii_text.h"
#include "data/shop_path.h"

namespace kestrova::data {
namespace {

}  // namespace

OdbcSourceEngine::OdbcSourceEngine(const OdbcTemplate& connectionTemplate, std::chrono::milliseconds lockWait,
                                   OdbcEngine::Access access)
    : template_(connectionTemplate),
      usesName_(connectionTemplate.text().find("{name}") != std::string::npos),
      inner_(connectionTemplate, lockWait, access) {}

bool OdbcSourceEngine::reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const {
  if (template_.usesPath() && sameShopFile(a, b)) return true;
  return usesName_ && sameIgnoringCase(pathToUtf8(a.stem()), pathToUtf8(b.stem()));
}

}  // namespace kestrova::data
