// The folders that stand for the shop's drive letters on this computer.
//
// A drive letter ("A:" for the diskette drive, "C:" for test mode) stands
// for the folder named by the environment variable KESTROVA_DRIVE_<letter>,
// or else for the folder the program's settings give it. The data layer
// knows no settings file: the program's faces read it and install its
// folders here at start.

#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::data {

// Installs the folders keyed by upper-case letter, replacing those installed
// before. `source` names where they came from (the settings file), for the
// message about a drive that is not set up.
void installDriveFolders(std::map<char, std::string> folders, std::string source);

// Where the installed folders came from; empty when nothing was installed.
const std::string& driveFoldersSource();

// The upper-case drive letter `name` begins with ("a:x.arc" gives 'A'), or
// '\0' for a name without one.
char driveLetterOf(std::string_view name);

// The folder for drive `letter`: the environment's first, so scripts and
// tests can point a drive elsewhere, then the installed one; empty for none.
std::string driveFolder(char letter);

// The drive of `name` when it begins with one that stands for no folder on
// this computer; nothing for a bare name or a drive that is set up.
std::optional<char> unmappedDrive(std::string_view name);

}  // namespace kestrova::data
