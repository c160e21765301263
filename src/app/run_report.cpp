#include "app/run_report.h"

#include "data/visible_text.h"

namespace kestrova::app {

std::string failureText(const combine::Failure& failure) {
  std::string text = data::visibleText(failure.status.message());
  if (failure.times > 1) text += " (" + std::to_string(failure.times) + " times)";
  return text;
}

std::string missedArchiveText(const combine::MissedArchive& archive) {
  return archive.name + " (" + archive.reason + ")";
}

std::string closingMessage(const RunReport& report) {
  std::string text = "Done.";
  if (!report.failures.empty()) {
    constexpr std::size_t kShown = 10;
    text += "\n\nThese changes could not be made:";
    for (std::size_t i = 0; i < report.failures.size() && i < kShown; ++i) {
      text += "\n- " + failureText(report.failures[i]);
    }
    if (report.failures.size() > kShown) {
      text += "\n- and " + std::to_string(report.failures.size() - kShown) + " more.";
    }
  }
  if (!report.archivesNotUpdated.empty()) {
    text += "\n\nThese archives were not updated, and their orders in mgmtdata.mdb keep the From ID:";
    for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
      text += "\n- " + missedArchiveText(archive);
    }
    text += "\nRun the same combine again with these archives at hand to finish it.";
  }
  return text;
}

}  // namespace kestrova::app
