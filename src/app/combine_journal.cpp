#include "app/combine_journal.h"

#include <cstdlib>
#include <ctime>
#include <system_error>

#include "data/platform.h"
#include "data/shop_path.h"

namespace kestrova::app {

std::string timeText(std::chrono::system_clock::time_point when) {
  const std::tm parts = data::utcCalendarTime(std::chrono::system_clock::to_time_t(when));
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

data::Status CombineJournal::create(const std::filesystem::path& path, data::StoreEngine& shopEngine,
                                    std::unique_ptr<CombineJournal>* out) {
  std::unique_ptr<data::Journal> journal;
  data::Status made = data::Journal::create(path, &journal);
  if (!made.isOk()) return made;
  out->reset(new CombineJournal(std::move(journal), shopEngine));
  return data::Status::ok();
}

data::Status CombineJournal::createOrAppend(const std::filesystem::path& path, data::StoreEngine& shopEngine,
                                            std::unique_ptr<CombineJournal>* out) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return create(path, shopEngine, out);
  std::unique_ptr<data::Journal> journal;
  data::Status opened = data::Journal::openToAppend(path, &journal);
  if (!opened.isOk()) return opened;
  out->reset(new CombineJournal(std::move(journal), shopEngine));
  return data::Status::ok();
}

data::Status CombineJournal::recordRun(std::chrono::system_clock::time_point started, const RunReport& report) {
  const char* outcome = "completed";
  switch (report.outcome) {
    case RunReport::Outcome::kRefused:
      outcome = "refused";
      break;
    case RunReport::Outcome::kDeclined:
      outcome = "declined";
      break;
    case RunReport::Outcome::kProgramEnded:
      outcome = "stopped";
      break;
    case RunReport::Outcome::kCompleted:
      outcome = report.stopped             ? "stopped by the user"
                : report.everyChangeMade() ? "completed"
                                           : "completed with changes not made";
      break;
  }
  data::Status written = data::Status::ok();
  const auto keep = [&](const data::Status& status) {
    if (written.isOk()) written = status;
  };
  keep(journal_->setFact("kind", kindName(report.kind)));
  keep(journal_->setFact("from", report.fromId));
  keep(journal_->setFact("to", report.toId));
  keep(journal_->setFact("started", timeText(started)));
  keep(journal_->setFact("finished", timeText(std::chrono::system_clock::now())));
  keep(journal_->setFact("outcome", outcome));
  for (const combine::Failure& failure : report.failures) {
    keep(journal_->addNote("not changed: " + failureText(failure)));
  }
  for (const combine::MissedArchive& archive : report.archivesNotUpdated) {
    keep(journal_->addNote("archive not updated: " + missedArchiveText(archive)));
  }
  journal_->nextRun();
  return written;
}

data::Status journalFromEnvironment(data::StoreEngine& shopEngine, std::unique_ptr<CombineJournal>* out) {
  out->reset();
  const std::string named = data::environmentVariable(kJournalVariable);
  if (named.empty()) return data::Status::ok();
  return CombineJournal::createOrAppend(data::pathFromUtf8(named), shopEngine, out);
}

}  // namespace kestrova::app
