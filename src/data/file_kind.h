// What a shop file is, told by its first bytes rather than by its name: the
// shop's package writes Access files under names of its own (".mdb",
// ".arc"), and a shop that moved to SQLite kept those names.

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::data {

enum class FileKind {
  kSqlite,  // begins with "SQLite format 3" and a NUL
  kAccess,  // names the Jet or ACE engine at byte 4 ("Standard Jet DB", "Standard ACE DB")
  kOther,   // anything else, a file too short to tell, or one that cannot be read
};

// The kind of a file whose first bytes are `header` (as many as there are,
// up to kFileKindHeaderSize).
inline constexpr std::size_t kFileKindHeaderSize = 32;
FileKind fileKindOfHeader(std::string_view header);

// Reads the first bytes of `path`; kOther when it cannot be read.
FileKind fileKindOf(const std::filesystem::path& path);

// The Access ODBC drivers, in the order they are preferred: the one of the
// Access Database Engine, which reads .mdb and .accdb files alike, then the
// one older 32-bit Windows brings.
inline constexpr const char* kAccessDrivers[] = {
    "Microsoft Access Driver (*.mdb, *.accdb)",
    "Microsoft Access Driver (*.mdb)",
};

// The connection template for Access files through the first of
// kAccessDrivers among `installed` ("Driver={...};DBQ={path}"), with the
// driver's name as `installed` spells it; none when neither is installed.
std::optional<std::string> accessTemplateFor(const std::vector<std::string>& installed);

// Why an Access file cannot be opened when no Access driver is installed,
// and what to install, in the words a shop manager acts on.
std::string noAccessDriverReason();

}  // namespace kestrova::data
