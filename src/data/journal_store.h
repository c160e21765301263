// The journal: a record, in a SQLite file of its own, of every row a run
// changed, inserted or deleted, with the values before and after, so that
// the run can be taken back.
//
// Journal is the file. JournalEngine hands out stores of an inner engine
// whose writes are journaled: before a store commits a batch, the batch's
// entries are written to the journal and committed there first, so a change
// that reached a shop file always has its entry. If the shop file's commit
// then fails, the entries are taken out again; if the program dies between
// the two commits, the journal names changes that were never made, and
// whoever reads it finds the row still holding its old value.
//
// The journal knows nothing of what the run was for; callers add facts
// (name and value) and notes of their own to each run in it.

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/record_store.h"

struct sqlite3;

namespace kestrova::data {

struct JournalField {
  std::string column;
  StoredValue before;  // Null for an inserted row
  StoredValue after;   // Null for a deleted row
};

struct JournalEntry {
  enum class Action { kUpdate, kDelete, kInsert };
  std::int64_t sequence = 0;  // order of the changes; later changes have larger numbers
  std::int64_t run = 0;
  std::string path;      // the file's absolute path
  std::string fileName;  // the file's name as the run gave it, for messages
  std::string table;
  RowId row = 0;
  Action action = Action::kUpdate;
  // An update: the columns written. A delete or an insert: every column.
  std::vector<JournalField> fields;
  // An update or an insert: every column of the row as stored right after
  // the write, so that the very row can be told later from any other that
  // has since taken its identity. Empty for a delete.
  StoredRow left;
};

struct JournalFact {
  std::int64_t run = 0;
  std::string name;
  std::string value;
};

class Journal {
 public:
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Makes a new journal file. Never replaces a file: when `path` exists,
  // fails with kReadOnly and leaves it alone.
  static Status create(const std::filesystem::path& path, std::unique_ptr<Journal>* out);
  // Opens an existing journal to add further runs to it. A file that is not
  // a journal, or a journal of another format than this version writes,
  // fails with kNotADatabase and is not changed. An empty file, as a program
  // killed while it made the journal leaves it, is made a journal.
  static Status openToAppend(const std::filesystem::path& path, std::unique_ptr<Journal>* out);
  // Opens an existing journal to read it, writing nothing (but rolling back
  // what a killed program left half-written); refuses the same files, and
  // reads an empty file as a journal that holds nothing.
  static Status openToRead(const std::filesystem::path& path, std::unique_ptr<Journal>* out);

  // The run that entries, facts and notes go to now. A new journal starts
  // at run 1; nextRun() moves on.
  std::int64_t currentRun() const { return run_; }
  void nextRun() { ++run_; }

  Status setFact(std::string_view name, std::string_view value);
  Status addNote(std::string_view text);

  // Writes `entries` in one transaction and sets their sequence numbers.
  Status append(std::vector<JournalEntry>& entries);
  // Takes out entries whose changes were not kept after all.
  Status discard(const std::vector<JournalEntry>& entries);

  Status readEntries(std::vector<JournalEntry>* out) const;
  Status readFacts(std::vector<JournalFact>* out) const;
  Status readNotes(std::vector<JournalFact>* out) const;  // name empty, value the note

  const std::string& name() const { return name_; }

 private:
  Journal(sqlite3* db, std::string name, std::int64_t run) : db_(db), name_(std::move(name)), run_(run) {}
  static Status openExisting(const std::filesystem::path& path, bool readOnly, std::unique_ptr<Journal>* out);
  Status exec(std::string_view sql, std::string_view operation) const;

  sqlite3* db_;
  std::string name_;
  std::int64_t run_;
  // Opened to be read, a journal whose making was cut short: it holds nothing.
  bool empty_ = false;
};

// Hands out the inner engine's stores with their writes journaled in
// `journal`. Both must outlive the engine and its stores. A store refuses a
// write whose row it cannot read first, and when the journal cannot be
// written it undoes its batch and commits nothing (kChangesUndone).
//
// Each run's shop is recorded in the journal before the run's first file is
// opened: the facts kShopFolderFact (the folder its bare file names are
// found in, as shopFolderText() gives it) and kShopStoreFact (the inner
// engine's sourceKind()), so that the journal cannot later be taken for a
// journal of another shop.
class JournalEngine final : public ForwardingEngine {
 public:
  JournalEngine(StoreEngine& inner, Journal& journal) : ForwardingEngine(inner), journal_(journal) {}

  Status open(const std::filesystem::path& path, const std::string& name, std::unique_ptr<DatabaseStore>* out) override;

 private:
  Journal& journal_;
  std::int64_t shopRecordedFor_ = 0;  // the run whose shop is in the journal
};

inline constexpr char kShopFolderFact[] = "shop folder";
inline constexpr char kShopStoreFact[] = "shop store";

// The current folder, absolute and with its links resolved, as the journal
// records a run's shop.
std::string shopFolderText();

}  // namespace kestrova::data
