#include "data/shop_path.h"

#include <cctype>
#include <cstdlib>

#include "data/drive_map.h"

namespace kestrova::data {

std::filesystem::path pathFromUtf8(std::string_view text) {
  std::u8string utf8(text.size(), u8'\0');
  for (std::size_t i = 0; i < text.size(); ++i) utf8[i] = static_cast<char8_t>(text[i]);
  return std::filesystem::path(utf8);
}

std::string pathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

Status resolveShopPath(std::string_view name, std::filesystem::path* out) {
#ifdef _WIN32
  *out = pathFromUtf8(name);
  return Status::ok();
#else
  std::string local(name);
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  const char drive = driveLetterOf(local);
  if (drive == '\0') {
    *out = pathFromUtf8(local);
    return Status::ok();
  }
  const std::string folder = driveFolder(drive);
  if (folder.empty()) {
    const std::string variable = std::string("KESTROVA_DRIVE_") + drive;
    const std::string settings =
        driveFoldersSource().empty()
            ? std::string()
            : ", or " + std::string(1, drive) + "= in the [drives] group of " + driveFoldersSource();
    return Status::error(Status::Code::kFileMissing, std::string(name), "open",
                         std::string("drive ") + drive + ": is not available on this computer (set " + variable +
                             " to the folder that stands for it" + settings + ")");
  }
  std::string rest = local.substr(2);
  while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
  *out = pathFromUtf8(folder) / pathFromUtf8(rest);
  return Status::ok();
#endif
}

}  // namespace kestrova::data
