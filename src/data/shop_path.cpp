#include "data/shop_path.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace kestrova::data {
namespace {

struct InstalledDrives {
  std::map<char, std::string> folders;
  std::string source;
};

InstalledDrives& installedDrives() {
  static InstalledDrives drives;
  return drives;
}

[[maybe_unused]] char driveLetterOf(std::string_view name) {
  const bool onDrive = name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
  return onDrive ? static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))) : '\0';
}

// The environment first, so scripts and tests can point a drive elsewhere
// without touching the settings file; then the installed folders.
[[maybe_unused]] std::string driveFolder(char drive) {
  const std::string variable = std::string("KESTROVA_DRIVE_") + drive;
  const char* folder = std::getenv(variable.c_str());
  if (folder != nullptr && *folder != '\0') return folder;
  const auto installed = installedDrives().folders.find(drive);
  return installed != installedDrives().folders.end() ? installed->second : std::string();
}

}  // namespace

void installDriveFolders(std::map<char, std::string> folders, std::string source) {
  installedDrives() = InstalledDrives{std::move(folders), std::move(source)};
}

std::optional<char> unmappedDrive(std::string_view name) {
#ifdef _WIN32
  (void)name;
  return std::nullopt;
#else
  const char drive = driveLetterOf(name);
  if (drive == '\0' || !driveFolder(drive).empty()) return std::nullopt;
  return drive;
#endif
}

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
    const std::string& source = installedDrives().source;
    return Status::error(
        Status::Code::kFileMissing, std::string(name), "open",
        std::string("drive ") + drive + ": is not available on this computer (set KESTROVA_DRIVE_" + drive +
            " to the folder that stands for it" +
            (source.empty() ? "" : ", or " + std::string(1, drive) + "= in the [drives] group of " + source) + ")");
  }
  std::string rest = local.substr(2);
  while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
  *out = pathFromUtf8(folder) / pathFromUtf8(rest);
  return Status::ok();
#endif
}

}  // namespace kestrova::data
