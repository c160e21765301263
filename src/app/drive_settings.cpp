#include "app/drive_settings.h"

#include <map>
#include <string>

#include "app/settings_file.h"
#include "data/drive_map.h"
#include "data/shop_path.h"

namespace kestrova::app {
namespace {

SettingsFile settings() { return SettingsFile::read(SettingsFile::standardFiles()); }

}  // namespace

std::string driveSettingsFile() {
  const std::vector<std::filesystem::path> files = SettingsFile::standardFiles();
  return files.empty() ? std::string("the settings file") : data::pathToUtf8(files.front());
}

void installDriveSettings() {
  std::map<char, std::string> folders;
  for (const auto& [key, folder] : settings().group("drives")) {
    const char letter = key.size() == 1 ? key[0] : '\0';
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (!isLetter || folder.empty()) continue;
    folders[static_cast<char>(letter & ~0x20)] = folder;
  }
  data::installDriveFolders(std::move(folders), driveSettingsFile());
}

std::optional<std::string> odbcTemplateSetting() {
  std::optional<std::string> text = settings().value("odbc", "template");
  if (!text || text->find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  return text;
}

}  // namespace kestrova::app
