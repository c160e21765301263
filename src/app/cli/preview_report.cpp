#include "app/cli/preview_report.h"

#include <algorithm>
#include <map>
#include <vector>

#include "app/combine_request.h"
#include "data/ascii_text.h"
#include "data/visible_text.h"

namespace kestrova::app {

std::string rowsText(std::size_t count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

void writePreviewCounts(const data::PreviewEngine& preview, std::ostream& out) {
  // Files in the order the combine first opened them.
  std::vector<std::string> files;
  for (const auto& attempt : preview.openAttempts()) {
    if (attempt.status.isOk() && std::find(files.begin(), files.end(), attempt.name) == files.end()) {
      files.push_back(attempt.name);
    }
  }
  bool anything = false;
  for (const std::string& file : files) {
    for (const auto& [key, count] : preview.writes()) {
      const auto& [name, table, column] = key;
      if (name != file) continue;
      anything = true;
      out << "  " << data::visibleText(name) << ", " << table << ": ";
      // The column as the file spells it: names in SQL ignore case.
      if (data::sameIgnoringCase(column, "OrderNumber")) {
        out << count << (count == 1 ? " order number" : " order numbers") << " rewritten\n";
      } else {
        out << rowsText(count) << " re-pointed (" << column << ")\n";
      }
    }
    for (const auto& [key, count] : preview.removals()) {
      const auto& [name, table, column] = key;
      if (name != file) continue;
      anything = true;
      out << "  " << data::visibleText(name) << ", " << table << ": " << rowsText(count) << " deleted\n";
    }
  }
  if (!anything) out << "  no row would change\n";
}

void writePreview(const data::PreviewEngine& preview, const RunReport& report, std::ostream& out) {
  out << "Preview of the " << kindName(report.kind) << " combine from " << report.fromId << " to " << report.toId
      << "; nothing was changed.\n";
  writePreviewCounts(preview, out);

  // Each archive: where the combine found it, or that it found it nowhere.
  std::vector<std::string> archives;
  std::map<std::string, std::string> whereFound;
  for (const auto& attempt : preview.openAttempts()) {
    const std::string& name = attempt.name;
    if (!name.ends_with(".arc")) continue;
    const bool onDriveA = name.starts_with("A:");
    const std::string archive = name.substr(onDriveA ? 2 : 0, name.size() - 4 - (onDriveA ? 2 : 0));
    if (std::find(archives.begin(), archives.end(), archive) == archives.end()) archives.push_back(archive);
    if (attempt.status.isOk()) {
      const std::string shown = data::visibleText(name);
      whereFound[archive] = onDriveA ? "on drive A (" + shown + ")" : "in the current folder (" + shown + ")";
    } else if (attempt.status.code() == data::Status::Code::kNameAmbiguous) {
      // Found, but under several names that differ only in case: none is opened.
      whereFound[archive] = std::string("under several names ") + (onDriveA ? "on drive A" : "in the current folder") +
                            ", so none would be opened";
    }
  }
  if (!archives.empty()) out << "Archives:\n";
  for (const std::string& archive : archives) {
    const auto found = whereFound.find(archive);
    out << "  " << data::visibleText(archive) << ": "
        << (found != whereFound.end() ? "found " + found->second : std::string("found nowhere")) << '\n';
  }

  if (!report.failures.empty() || !report.archivesNotUpdated.empty()) {
    out << "The combine would not make every change:\n";
    for (const auto& failure : report.failures) out << "  " << failure.status.message() << '\n';
    for (const auto& archive : report.archivesNotUpdated) out << "  archive " << missedArchiveText(archive) << '\n';
  }
}

}  // namespace kestrova::app
