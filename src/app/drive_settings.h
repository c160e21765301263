// Drive folders from the program's settings file.
//
// A shop that keeps its diskettes (or drive C's test folder) somewhere else
// on this computer names that folder once, in the [drives] group of the
// settings file shared by the window and the command line:
//
//   [drives]
//   A=/media/floppy
//
// Where the file is: settings_file.h. The environment variables
// KESTROVA_DRIVE_<letter> still win over it, for scripts and tests.

#pragma once

#include <optional>
#include <string>

namespace kestrova::app {

// The settings file a user edits to set up a drive (it need not exist).
std::string driveSettingsFile();

// Reads the [drives] group and hands its folders to the data layer, which
// consults them after the environment. Entries that are not a single letter
// with a folder are passed over. Both faces call it once at start.
void installDriveSettings();

// The window's ODBC connection template from the same file, when a shop
// reaches its files through ODBC without setting KESTROVA_ODBC:
//
//   [odbc]
//   template="Driver=SQLite3;Database={path};NoCreat=1;BigInt=1"
//
// (in double quotes, since the file format takes a bare ';' as the start of
// a comment and a bare ',' as a list). None when it is not set.
std::optional<std::string> odbcTemplateSetting();

}  // namespace kestrova::app
