#include <cstdlib>
#include <system_error>

#include "data/platform.h"
#include "data/utf8_text.h"

namespace kestrova::data {

std::string pathToUtf8(const std::filesystem::path& path) { return path.native(); }

std::filesystem::path pathFromUtf8(std::string_view text) { return std::filesystem::path(std::string(text)); }

std::optional<std::string> exactUtf8Of(const std::filesystem::path& path) {
  if (!isUtf8(path.native())) return std::nullopt;
  return path.native();
}

std::string environmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool isLinkOrJunction(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::symlink;
}

}  // namespace kestrova::data
