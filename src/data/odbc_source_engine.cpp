#include "data/odbc_source_engine.h"

#include <algorithm>

#include "data/shop_path.h"

namespace kestrova::data {
namespace {

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

OdbcSourceEngine::OdbcSourceEngine(const OdbcTemplate& connectionTemplate, std::chrono::milliseconds lockWait,
                                   OdbcEngine::Access access)
    : template_(connectionTemplate),
      usesName_(connectionTemplate.text().find("{name}") != std::string::npos),
      inner_(connectionTemplate, lockWait, access) {}

bool OdbcSourceEngine::reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const {
  if (template_.usesPath() && sameShopFile(a, b)) return true;
  return usesName_ && sameIgnoringAsciiCase(pathToUtf8(a.stem()), pathToUtf8(b.stem()));
}

}  // namespace kestrova::data
