#include "app/run_report.h"

#include "data/visible_text.h"

namespace kestrova::app {

namespace {

std::string withTimes(std::string text, std::size_t times) {
  if (times > 1) text += " (" + std::to_string(times) + " times)";
  return text;
}

}  // namespace

NotChanged notChanged(const RunReport& report, const Wording& wording) {
  NotChanged out;
  for (const combine::Failure& failure : report.failures) {
    out.changes.push_back(withTimes(wording.status(failure.status), failure.times));
  }
  for (const combine::MissedArchive& archive : report.archivesNotUpdated) out.archives.push_back(wording.archive(archive));
  return out;
}

std::string statusText(const data::Status& status) { return data::visibleText(status.message()); }

std::string missedArchiveText(const combine::MissedArchive& archive) {
  return archive.name + " (" + archive.reason + ")";
}

std::string failureText(const combine::Failure& failure) { return withTimes(statusText(failure.status), failure.times); }

std::string closingMessage(const RunReport& report) {
  const NotChanged lines = notChanged(report, kCommandLineWording);
  std::string text = "Done.";
  if (!lines.changes.empty()) {
    constexpr std::size_t kShown = 10;
    text += "\n\nThese changes could not be made:";
    for (std::size_t i = 0; i < lines.changes.size() && i < kShown; ++i) text += "\n- " + lines.changes[i];
    if (lines.changes.size() > kShown) {
      text += "\n- and " + std::to_string(lines.changes.size() - kShown) + " more.";
    }
  }
  if (!lines.archives.empty()) {
    text += "\n\nThese archives were not updated, and their orders in mgmtdata.mdb keep the From ID:";
    for (const std::string& archive : lines.archives) text += "\n- " + archive;
    text += "\nRun the same combine again with these archives at hand to finish it.";
  }
  return text;
}

}  // namespace kestrova::app
