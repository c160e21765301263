#include "app/window_messages.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "data/drive_map.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

// A shown line longer than this many characters is cut short there; the
// details hold it whole.
constexpr std::size_t kLongestShownLine = 240;

// `line` cut to its first `count` characters (code points), or none when it
// is no longer than that.
std::optional<std::string> cutShort(const std::string& line, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t at = 0; at < line.size(); ++at) {
    if ((static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) continue;  // inside a character
    if (seen++ == count) return line.substr(0, at);
  }
  return std::nullopt;
}

bool endsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string archiveInShopWords(const combine::MissedArchive& archive) {
  if (archive.attempts.empty()) return archive.name + ": " + archive.reason;
  std::string line = archive.name + ": ";
  for (std::size_t i = 0; i < archive.attempts.size(); ++i) {
    line += (i == 0 ? "" : "; ") + inShopWords(archive.attempts[i]);
  }
  return line;
}

// inShopWords() before the control characters are made visible.
std::string inShopWordsAsTold(const data::Status& status);

std::string inShopWords(const data::Status& status) {
  if (status.isOk()) return "OK";
  // The file's name and the reason may hold text from the shop's data.
  return data::visibleText(inShopWordsAsTold(status));
}

std::string inShopWordsAsTold(const data::Status& status) {
  const std::string& file = status.file();
  if (status.code() == data::Status::Code::kFileMissing) {
    if (const std::optional<char> drive = data::unmappedDrive(file)) {
      const std::string name = std::string(1, *drive) + ":";
      return file + ": there is no drive " + name +
             " on this computer: " + (endsWith(file, ".arc") ? "put the archive file in the shop's folder, or " : "") +
             "set up drive " + name + " in the settings file named in the README";
    }
    // The gateway names the folder it looked in; the shop knows it as its
    // own folder, or as the drive the name is on.
    if (status.isNoSuchFile()) {
      const bool onDrive = file.size() >= 2 && file[1] == ':';
      return file + ": there is no such file " +
             (onDrive ? "on drive " + file.substr(0, 2) : std::string("in the shop's folder"));
    }
    return file + ": " + status.reason();
  }
  return status.message();
}

ClosingBoxText closingBoxText(const RunReport& report, std::size_t linesShown) {
  const NotChanged notMade = notChanged(report, kShopWording);
  std::vector<std::string> lines = notMade.changes;
  lines.insert(lines.end(), notMade.archives.begin(), notMade.archives.end());

  std::string text = "Done.";
  if (lines.empty()) return {text, {}};
  text += "\n\n";
  if (!report.archivesNotUpdated.empty()) {
    const std::size_t count = report.archivesNotUpdated.size();
    text += counted(count, "archive was", "archives were") + " not updated; " + (count == 1 ? "its" : "their") +
            " orders in mgmtdata.mdb keep the From ID. Run the same combine again with " +
            (count == 1 ? "it" : "them") + " at hand to finish it.";
    if (!report.failures.empty()) text += "\n";
  }
  if (!report.failures.empty()) {
    text += counted(report.failures.size(), "change", "changes") + " could not be made.";
  }
  std::string shown = text + (linesShown > 0 ? "\n" : "");
  bool allShown = lines.size() <= linesShown;
  for (std::size_t i = 0; i < lines.size() && i < linesShown; ++i) {
    std::string line = lines[i];
    if (cutShort(line, kLongestShownLine)) {
      line = *cutShort(line, kLongestShownLine - 1) + "\u2026";
      allShown = false;
    }
    shown += "\n- " + line;
  }
  if (allShown) return {shown, {}};
  if (lines.size() > linesShown && linesShown > 0) {
    shown += "\n- and " + std::to_string(lines.size() - linesShown) + " more.";
  }
  shown += "\n\nShow Details... lists them all.";
  std::string details;
  for (const std::string& line : lines) details += "- " + line + "\n";
  return {shown, details};
}

}  // namespace kestrova::app
