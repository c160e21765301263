#include "app/drive_settings.h"

#include <QSettings>
#include <map>
#include <string>

#include "data/drive_map.h"

namespace kestrova::app {
namespace {

// An INI file on every platform, so a shop edits the same kind of file
// everywhere and Windows keeps it out of the registry.
QSettings driveSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, "Kestrova", "combining-tool");
}

}  // namespace

QString driveSettingsFile() { return driveSettings().fileName(); }

void installDriveSettings() {
  QSettings settings = driveSettings();
  std::map<char, std::string> folders;
  settings.beginGroup("drives");
  for (const QString& key : settings.childKeys()) {
    const QString folder = settings.value(key).toString();
    if (key.size() != 1 || !key[0].isLetter() || key[0].unicode() > 127 || folder.isEmpty()) continue;
    folders[static_cast<char>(key[0].toUpper().unicode())] = folder.toStdString();
  }
  settings.endGroup();
  data::installDriveFolders(std::move(folders), settings.fileName().toStdString());
}

std::optional<std::string> odbcTemplateSetting() {
  const QVariant value = driveSettings().value("odbc/template");
  // An unquoted template with a comma comes back as a list: put it together again.
  const QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(", ") : value.toString();
  if (text.trimmed().isEmpty()) return std::nullopt;
  return text.toStdString();
}

}  // namespace kestrova::app
