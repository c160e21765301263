// CombineJournal: the journal of the combines run through it, and the
// engine that journals their writes.
//
// The command line makes one for --journal FILE; the window makes one from
// the environment variable KESTROVA_JOURNAL (journalFromEnvironment). Every
// row a combine changes or deletes is in the journal before the change is
// committed, and `kestrova-combine undo FILE` puts the rows back (undo.h).
// After a run, recordRun() adds what the run was: its kind, IDs, times and
// the changes it could not make; a later run through the same journal is
// kept as a run of its own.

#pragma once

#include <chrono>
#include <filesystem>
#include <memory>

#include "app/combine_request.h"
#include "app/run_report.h"
#include "combine/procedures.h"
#include "data/journal_store.h"

namespace kestrova::app {

inline constexpr char kJournalVariable[] = "KESTROVA_JOURNAL";

class CombineJournal {
 public:
  // A new journal file at `path`; an existing file is refused and left
  // alone. `shopEngine` opens the shop's files and must outlive this.
  static data::Status create(const std::filesystem::path& path, data::StoreEngine& shopEngine,
                             std::unique_ptr<CombineJournal>* out);
  // As create(), but an existing journal is added to; any other existing
  // file is refused and left alone.
  static data::Status createOrAppend(const std::filesystem::path& path, data::StoreEngine& shopEngine,
                                     std::unique_ptr<CombineJournal>* out);

  // The engine to give the combine command.
  data::StoreEngine& engine() { return engine_; }
  data::Journal& journal() { return *journal_; }

  // Writes what the run was (its kind and IDs as the command took them) and
  // moves on to the next run.
  data::Status recordRun(std::chrono::system_clock::time_point started, const RunReport& report);

 private:
  explicit CombineJournal(std::unique_ptr<data::Journal> journal, data::StoreEngine& shopEngine)
      : journal_(std::move(journal)), engine_(shopEngine, *journal_) {}

  std::unique_ptr<data::Journal> journal_;
  data::JournalEngine engine_;
};

// The journal the window is to combine through: none (ok, `*out` empty)
// when KESTROVA_JOURNAL is not set or empty; otherwise the journal file it
// names, made anew or added to. A failure means the window must not combine
// without the journal its user asked for.
data::Status journalFromEnvironment(data::StoreEngine& shopEngine, std::unique_ptr<CombineJournal>* out);

// "2025-06-01 14:03:22 UTC"
std::string timeText(std::chrono::system_clock::time_point when);

}  // namespace kestrova::app
