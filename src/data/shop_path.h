// Where the shop's file names point on this machine.
//
// The shop's package names its files the DOS way: a bare name looked up in
// the current folder ("mgmtdata.mdb"), a name on a drive ("A:ARCH01.arc"),
// backslashes between folders ("c:\kestrova"). On Windows such names are
// native. Elsewhere a drive letter stands for the folder named by the
// environment variable KESTROVA_DRIVE_<letter> (KESTROVA_DRIVE_A for the
// diskette drive, KESTROVA_DRIVE_C for drive C) or else for the folder the
// program's settings give it (data/drive_map.h), and a backslash is a folder
// separator.

#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "data/status.h"

namespace kestrova::data {

// Resolves `name` to a path. Fails with kFileMissing when the name begins
// with a drive that is not mapped. Does not look at the file itself.
Status resolveShopPath(std::string_view name, std::filesystem::path* out);

// The path's text in UTF-8, as SQLite and the messages want it.
std::string pathToUtf8(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(std::string_view text);

}  // namespace kestrova::data
