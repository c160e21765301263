// Where the shop's file names point on this machine.
//
// The shop's package names its files the DOS way: a bare name looked up in
// the current folder ("mgmtdata.mdb"), a name on a drive ("A:ARCH01.arc"),
// backslashes between folders ("c:\kestrova"). A drive letter stands for the
// folder named by the environment variable KESTROVA_DRIVE_<letter>
// (KESTROVA_DRIVE_A for the diskette drive, KESTROVA_DRIVE_C for drive C) or
// else for the folder the program's settings give it (data/drive_map.h). On
// Windows a drive without such a folder is the computer's own drive, and
// the names are native; elsewhere it is not available, and a backslash is a
// folder separator.

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "data/platform.h"
#include "data/status.h"

namespace kestrova::data {

// Resolves `name` to a path. Fails with kFileMissing when the name begins
// with a drive that is not mapped. Does not look at the file itself.
Status resolveShopPath(std::string_view name, std::filesystem::path* out);

// Finds the file that `path` names the way the shop's disks wrote it, where
// the case of a file name does not matter ("KESTROVA.MDB", "Arc2023.ARC"):
// the file of exactly that name when there is one, otherwise the one file in
// the same folder whose name differs from it only in the case of ASCII
// letters. Sets `*out` to the file to open: `path` itself when neither is
// there, so that opening it reports it missing. Fails with kNameAmbiguous,
// naming the candidates, when two or more names differ only in case and
// none is exact: none of them is to be opened. `name` is used in messages.
// Never creates or renames a file. Every engine that opens files by path
// looks them up through here.
Status findShopFile(const std::filesystem::path& path, const std::string& name, std::filesystem::path* out);

// findShopFile(), then a look at what was found, before any engine is given
// the chance to open (or make) it: fails with kFileMissing when there is no
// such file or it cannot be reached, and with kNotADatabase when it is a
// folder, a device or an empty file.
Status findShopDatabase(const std::filesystem::path& path, const std::string& name, std::filesystem::path* out);

// Whether a part of `name` ("CON", "nul.arc", "COM1 .x") is a name that
// Windows gives to a device rather than to a file, whatever follows its
// first dot. Judged from the text alone, on every platform: the shop's
// names are Windows names.
bool namesADevice(std::string_view name);

// The first of the folders that `name` leads through (as resolveShopPath()
// resolves it: "sub" of "sub/ARCH.arc", "x" of "A:x/ARCH.arc") that is a
// link or junction, which may lead out of the folder the name is looked up
// in (`base` for a name without a drive, the current folder when empty);
// nothing when none is. Looks at the folders' entries, opens nothing.
std::optional<std::string> linkedFolderOf(std::string_view name, const std::filesystem::path& base = {});

// Whether `a` and `b` name the same file, found as findShopFile() finds
// it: through a link, a hard link or another spelling of its folder. Names
// of files that are not there are compared as absolute paths.
bool sameShopFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace kestrova::data
