#include "app/settings_file.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "data/ascii_text.h"
#include "data/platform.h"
#include "data/shop_path.h"
#include "data/utf8_text.h"

namespace kestrova::app {
namespace {

namespace fs = std::filesystem;
using data::lowered;
using data::trimmed;

// The blanks around keys, values and group names (a line's end may be CRLF).
constexpr std::string_view kBlanks = " \t\r";

// A value as written after the '=': quoted parts taken as they stand (a
// backslash too, "D:\copies" being a folder; \\ and \" are escapes), bare
// parts up to a ';', the parts of a list joined by ", ".
std::string valueOf(std::string_view text) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  std::string bare;  // the bare text of the current part, trimmed when the part ends
  const auto endPart = [&] {
    parts.back() += std::string(trimmed(bare, kBlanks));
    bare.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < text.size() &&
                 (text[i + 1] == '\\' || (text[i + 1] == '"' && text.find('"', i + 2) != std::string_view::npos))) {
        // \\ is a backslash and \" a quote, unless it is the quotes' end
        // ("C:\copies\"); any other backslash stands as written.
        parts.back() += text[++i];
      } else {
        parts.back() += c;
      }
    } else if (c == '"') {
      endPart();
      quoted = true;
    } else if (c == ';') {
      break;
    } else if (c == ',') {
      endPart();
      parts.emplace_back();
    } else {
      bare += c;
    }
  }
  endPart();
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) joined += (i == 0 ? "" : ", ") + parts[i];
  return joined;
}

}  // namespace

std::vector<fs::path> SettingsFile::standardFiles() {
  const fs::path own = fs::path("Kestrova") / "combining-tool.ini";
  std::vector<fs::path> files;
  for (const fs::path& folder : data::settingsFolders()) files.push_back(folder / own);
  return files;
}

SettingsFile SettingsFile::read(const std::vector<fs::path>& files) {
  SettingsFile settings;
  for (const fs::path& file : files) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) continue;
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) continue;
    settings.merge(parse(text));
  }
  return settings;
}

SettingsFile SettingsFile::parse(std::string_view text) {
  SettingsFile settings;
  // Notepad's "Unicode" is UTF-16.
  std::string decoded;
  if (std::optional<data::Utf16Text> utf16 = data::utf16Text(text)) {
    decoded = std::move(utf16->utf8);
    text = decoded;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string group = "general";
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trimmed(text.substr(0, end), kBlanks);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string_view::npos) group = lowered(trimmed(line.substr(1, close - 1), kBlanks));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, equals), kBlanks);
    if (key.empty()) continue;
    settings.groups_[group][lowered(key)] = {std::string(key), valueOf(line.substr(equals + 1))};
  }
  return settings;
}

void SettingsFile::merge(const SettingsFile& other) {
  for (const auto& [group, keys] : other.groups_) {
    for (const auto& [key, entry] : keys) groups_[group].try_emplace(key, entry);
  }
}

std::optional<std::string> SettingsFile::value(std::string_view group, std::string_view key) const {
  const auto found = groups_.find(lowered(group));
  if (found == groups_.end()) return std::nullopt;
  const auto entry = found->second.find(lowered(key));
  if (entry == found->second.end()) return std::nullopt;
  return entry->second.second;
}

std::vector<std::pair<std::string, std::string>> SettingsFile::group(std::string_view group) const {
  std::vector<std::pair<std::string, std::string>> out;
  const auto found = groups_.find(lowered(group));
  if (found == groups_.end()) return out;
  for (const auto& [key, entry] : found->second) out.push_back(entry);
  return out;
}

}  // namespace kestrova::app
