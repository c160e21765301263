#include "data/file_kind.h"

#include <algorithm>
#include <fstream>

#include "data/ascii_text.h"

namespace kestrova::data {

FileKind fileKindOfHeader(std::string_view header) {
  using namespace std::string_view_literals;
  if (header.starts_with("SQLite format 3\0"sv)) return FileKind::kSqlite;
  const std::string_view engine = header.size() > 4 ? header.substr(4) : std::string_view();
  if (engine.starts_with("Standard Jet DB"sv) || engine.starts_with("Standard ACE DB"sv)) return FileKind::kAccess;
  return FileKind::kOther;
}

FileKind fileKindOf(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  char header[kFileKindHeaderSize] = {};
  file.read(header, sizeof header);
  return fileKindOfHeader(std::string_view(header, static_cast<std::size_t>(file.gcount())));
}

std::optional<std::string> accessTemplateFor(const std::vector<std::string>& installed) {
  for (const char* wanted : kAccessDrivers) {
    const auto found = std::find_if(installed.begin(), installed.end(),
                                    [&](const std::string& driver) { return sameIgnoringCase(driver, wanted); });
    if (found != installed.end()) return "Driver={" + *found + "};DBQ={path}";
  }
  return std::nullopt;
}

std::string noAccessDriverReason() {
  // The driver must be of the program's own width: a 32-bit program sees
  // only 32-bit drivers, among them the Access driver that comes with
  // Windows; the 64-bit Access Database Engine comes with 64-bit Office.
  const bool wide = sizeof(void*) == 8;
  const std::string width = wide ? "64-bit" : "32-bit";
  const std::string otherBuild =
      wide ? "or use the 32-bit Kestrova Combining Tool, which reaches the Access driver that comes with Windows"
           : "or use the 64-bit Kestrova Combining Tool where 64-bit Office is installed";
  return "this is a Microsoft Access file, and no Microsoft Access ODBC driver is installed on this computer for "
         "this " +
         width + " program: install Microsoft's Access Database Engine (the " + width + " one, like this program), " +
         otherBuild +
         ", or reach the file another way with a connection template (--odbc, KESTROVA_ODBC or [odbc] in the "
         "settings file)";
}

}  // namespace kestrova::data
