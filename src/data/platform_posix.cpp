#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

#include "data/new_file.h"
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

bool hasOwnDriveLetters() { return false; }

std::string withOwnSeparators(std::string_view name) {
  std::string local(name);
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  return local;
}

std::vector<std::filesystem::path> settingsFolders() {
  std::vector<std::filesystem::path> folders;
  std::string user = environmentVariable("XDG_CONFIG_HOME");
  if (user.empty() && !environmentVariable("HOME").empty()) user = environmentVariable("HOME") + "/.config";
  if (!user.empty()) folders.emplace_back(user);
  std::string all = environmentVariable("XDG_CONFIG_DIRS");
  if (all.empty()) all = "/etc/xdg";
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t end = std::min(all.find(':', start), all.size());
    if (end > start) folders.emplace_back(all.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

std::tm utcCalendarTime(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  return parts;
}

std::string pathForDriver(const std::filesystem::path& path) { return pathToUtf8(path); }

std::FILE* createNewFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace kestrova::data
