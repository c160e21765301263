#include "data/drive_map.h"

#include <cctype>
#include <cstdlib>
#include <utility>

#include "data/platform.h"

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

}  // namespace

void installDriveFolders(std::map<char, std::string> folders, std::string source) {
  installedDrives() = InstalledDrives{std::move(folders), std::move(source)};
}

const std::string& driveFoldersSource() { return installedDrives().source; }

char driveLetterOf(std::string_view name) {
  const bool onDrive = name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
  return onDrive ? static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))) : '\0';
}

std::string driveFolder(char letter) {
  const std::string variable = std::string("KESTROVA_DRIVE_") + letter;
  if (std::string folder = environmentVariable(variable.c_str()); !folder.empty()) return folder;
  const auto installed = installedDrives().folders.find(letter);
  return installed != installedDrives().folders.end() ? installed->second : std::string();
}

std::optional<char> unmappedDrive(std::string_view name) {
  // Where drive letters are the computer's own, every drive is there.
  if (hasOwnDriveLetters()) return std::nullopt;
  const char drive = driveLetterOf(name);
  if (drive == '\0' || !driveFolder(drive).empty()) return std::nullopt;
  return drive;
}

}  // namespace kestrova::data
