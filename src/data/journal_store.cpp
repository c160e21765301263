#include "data/journal_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

#include "data/new_file.h"
#include "data/read_through_store.h"
#include "data/shop_path.h"
#include "data/sqlite_values.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

// 'KSTJ': tells a journal from any other SQLite file.
constexpr int kApplicationId = 0x4B53544A;
// 2: every updated or inserted row is kept whole as the write left it
// (RowsLeft). Format 1 kept only the columns written, which cannot tell a
// row from a new one given the same identity and value; it is not read.
constexpr int kFormatVersion = 2;

constexpr const char* kSchema = R"(
CREATE TABLE Facts (Run INTEGER, Name TEXT, Value TEXT, PRIMARY KEY (Run, Name));
CREATE TABLE Notes (Seq INTEGER PRIMARY KEY, Run INTEGER, Text TEXT);
CREATE TABLE Entries (Seq INTEGER PRIMARY KEY, Run INTEGER, Path TEXT, FileName TEXT, TableName TEXT,
                      RowIdentity INTEGER, Action TEXT);
CREATE TABLE Fields (Seq INTEGER, Position INTEGER, ColumnName TEXT, Before, After, PRIMARY KEY (Seq, Position));
CREATE TABLE RowsLeft (Seq INTEGER, Position INTEGER, ColumnName TEXT, Value, PRIMARY KEY (Seq, Position));
)";

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql) {
    rc_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepared() const { return rc_ == SQLITE_OK; }
  sqlite3_stmt* get() const { return statement_; }
  void bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int index, std::int64_t number) { sqlite3_bind_int64(statement_, index, number); }
  void bind(int index, const StoredValue& value) { bindStoredValue(statement_, index, value); }
  // Steps once and makes the statement ready for the next bindings.
  int run() {
    const int rc = sqlite3_step(statement_);
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return rc;
  }
  std::string text(int column) const {
    const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return value == nullptr ? std::string()
                            : std::string(value, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
  }
  StoredValue stored(int column) const { return storedValueOf(statement_, column); }

 private:
  sqlite3_stmt* statement_ = nullptr;
  int rc_ = SQLITE_OK;
};

Status journalError(sqlite3* db, const std::string& name, std::string operation) {
  return Status::error(Code::kIoError, name, std::move(operation),
                       std::string("the journal could not be written or read (") +
                           (db != nullptr ? sqlite3_errmsg(db) : "out of memory") + ")");
}

const char* actionName(JournalEntry::Action action) {
  switch (action) {
    case JournalEntry::Action::kUpdate:
      return "update";
    case JournalEntry::Action::kDelete:
      return "delete";
    case JournalEntry::Action::kInsert:
      break;
  }
  return "insert";
}

std::string absolutePath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(path, error);
  if (error) absolute = std::filesystem::absolute(path, error);
  return pathToUtf8(absolute);
}

// The journal's tables and marks, made in one transaction: a program killed
// while making them leaves the file empty.
std::string setupSql() {
  return std::string("BEGIN; PRAGMA application_id = ") + std::to_string(kApplicationId) +
         "; PRAGMA user_version = " + std::to_string(kFormatVersion) + ";" + kSchema + "COMMIT;";
}

// Whether the file holds nothing at all: no table, no mark of any program.
bool madeEmpty(sqlite3* db) {
  Statement objects(db, "SELECT (SELECT count(*) FROM sqlite_master) + (SELECT application_id FROM "
                        "pragma_application_id) + (SELECT user_version FROM pragma_user_version)");
  return objects.prepared() && sqlite3_step(objects.get()) == SQLITE_ROW && sqlite3_column_int64(objects.get(), 0) == 0;
}

}  // namespace

Journal::~Journal() { sqlite3_close_v2(db_); }

Status Journal::exec(std::string_view sql, std::string_view operation) const {
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return journalError(db_, name_, std::string(operation));
  }
  return Status::ok();
}

Status Journal::create(const std::filesystem::path& path, std::unique_ptr<Journal>* out) {
  const std::string name = pathToUtf8(path);
  // The file is made here or not at all, so an existing one is never taken
  // over, even if it appeared a moment ago.
  std::FILE* made = createNewFile(path);
  if (made == nullptr) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
      return Status::error(Code::kReadOnly, name, "creating the journal",
                           "a file of that name exists already; name a new file for the journal");
    }
    return Status::error(Code::kFileMissing, name, "creating the journal", "the file cannot be created");
  }
  std::fclose(made);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    const Status failed = journalError(db, name, "creating the journal");
    sqlite3_close_v2(db);
    return failed;
  }
  std::unique_ptr<Journal> journal(new Journal(db, name, 1));
  sqlite3_busy_timeout(db, 5000);
  Status made2 = journal->exec(setupSql(), "creating the journal");
  if (!made2.isOk()) return made2;
  *out = std::move(journal);
  return Status::ok();
}

Status Journal::openExisting(const std::filesystem::path& path, bool readOnly, std::unique_ptr<Journal>* out) {
  const std::string name = pathToUtf8(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return Status::noSuchFile(name, "opening the journal", "");
  }
  sqlite3* db = nullptr;
  // Even to be read, the journal is opened for writing where it can be: a
  // program killed while it wrote leaves a rollback file beside it, which
  // only a connection that may write rolls back, and the journal reads as
  // it stood before. (Where the file cannot be written, SQLite opens it
  // read-only.)
  const int rc = sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<Journal> journal(new Journal(db, name, 1));
  if (rc != SQLITE_OK) return journalError(db, name, "opening the journal");
  sqlite3_busy_timeout(db, 5000);
  // A journal whose making was cut short (the program was killed between
  // making the file and writing its tables) holds nothing: read, it tells
  // so; added to, it is made whole now, so that running the same batch
  // again goes on with it.
  if (madeEmpty(db)) {
    if (readOnly) {
      journal->empty_ = true;
      *out = std::move(journal);
      return Status::ok();
    }
    if (Status made = journal->exec(setupSql(), "opening the journal"); !made.isOk()) return made;
  }
  Statement check(db, "PRAGMA application_id");
  if (!check.prepared() || sqlite3_step(check.get()) != SQLITE_ROW ||
      sqlite3_column_int(check.get(), 0) != kApplicationId) {
    return Status::error(Code::kNotADatabase, name, "opening the journal", "the file is not a combine journal");
  }
  Statement version(db, "PRAGMA user_version");
  if (!version.prepared() || sqlite3_step(version.get()) != SQLITE_ROW) {
    return journalError(db, name, "opening the journal");
  }
  const int format = sqlite3_column_int(version.get(), 0);
  if (format != kFormatVersion) {
    std::string reason = "the journal is of format " + std::to_string(format) +
                         ", and this version reads only format " + std::to_string(kFormatVersion);
    if (format < kFormatVersion) {
      reason +=
          ": that format does not keep the rows whole, so its rows cannot be told from rows changed since, "
          "and it is neither undone nor added to";
    }
    return Status::error(Code::kNotADatabase, name, "opening the journal", reason);
  }
  Statement last(db,
                 "SELECT max(Run) FROM (SELECT Run FROM Entries UNION ALL SELECT Run FROM Facts "
                 "UNION ALL SELECT Run FROM Notes)");
  if (!last.prepared() || sqlite3_step(last.get()) != SQLITE_ROW) return journalError(db, name, "opening the journal");
  // Appending starts a run of its own after the runs already there.
  journal->run_ = sqlite3_column_int64(last.get(), 0) + 1;
  *out = std::move(journal);
  return Status::ok();
}

Status Journal::openToAppend(const std::filesystem::path& path, std::unique_ptr<Journal>* out) {
  return openExisting(path, false, out);
}

Status Journal::openToRead(const std::filesystem::path& path, std::unique_ptr<Journal>* out) {
  return openExisting(path, true, out);
}

Status Journal::setFact(std::string_view name, std::string_view value) {
  Statement statement(db_, "INSERT OR REPLACE INTO Facts (Run, Name, Value) VALUES (?1, ?2, ?3)");
  if (!statement.prepared()) return journalError(db_, name_, "writing a fact");
  statement.bind(1, run_);
  statement.bind(2, name);
  statement.bind(3, value);
  return statement.run() == SQLITE_DONE ? Status::ok() : journalError(db_, name_, "writing a fact");
}

Status Journal::addNote(std::string_view text) {
  Statement statement(db_, "INSERT INTO Notes (Run, Text) VALUES (?1, ?2)");
  if (!statement.prepared()) return journalError(db_, name_, "writing a note");
  statement.bind(1, run_);
  statement.bind(2, text);
  return statement.run() == SQLITE_DONE ? Status::ok() : journalError(db_, name_, "writing a note");
}

Status Journal::append(std::vector<JournalEntry>& entries) {
  const std::string operation = "writing the journal";
  Status begun = exec("BEGIN IMMEDIATE", operation);
  if (!begun.isOk()) return begun;
  Statement entry(
      db_, "INSERT INTO Entries (Run, Path, FileName, TableName, RowIdentity, Action) VALUES (?1,?2,?3,?4,?5,?6)");
  Statement field(db_, "INSERT INTO Fields (Seq, Position, ColumnName, Before, After) VALUES (?1,?2,?3,?4,?5)");
  Statement left(db_, "INSERT INTO RowsLeft (Seq, Position, ColumnName, Value) VALUES (?1,?2,?3,?4)");
  bool written = entry.prepared() && field.prepared() && left.prepared();
  for (std::size_t i = 0; written && i < entries.size(); ++i) {
    JournalEntry& e = entries[i];
    e.run = run_;
    entry.bind(1, run_);
    entry.bind(2, e.path);
    entry.bind(3, e.fileName);
    entry.bind(4, e.table);
    entry.bind(5, static_cast<std::int64_t>(e.row));
    entry.bind(6, std::string_view(actionName(e.action)));
    written = entry.run() == SQLITE_DONE;
    e.sequence = sqlite3_last_insert_rowid(db_);
    for (std::size_t p = 0; written && p < e.fields.size(); ++p) {
      field.bind(1, e.sequence);
      field.bind(2, static_cast<std::int64_t>(p));
      field.bind(3, e.fields[p].column);
      field.bind(4, e.fields[p].before);
      field.bind(5, e.fields[p].after);
      written = field.run() == SQLITE_DONE;
    }
    for (std::size_t p = 0; written && p < e.left.size(); ++p) {
      left.bind(1, e.sequence);
      left.bind(2, static_cast<std::int64_t>(p));
      left.bind(3, e.left[p].column);
      left.bind(4, e.left[p].value);
      written = left.run() == SQLITE_DONE;
    }
  }
  if (written && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return Status::ok();
  const Status failed = journalError(db_, name_, operation);
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return failed;
}

Status Journal::discard(const std::vector<JournalEntry>& entries) {
  const std::string operation = "taking entries out of the journal";
  Status begun = exec("BEGIN IMMEDIATE", operation);
  if (!begun.isOk()) return begun;
  Statement entry(db_, "DELETE FROM Entries WHERE Seq = ?1");
  Statement fields(db_, "DELETE FROM Fields WHERE Seq = ?1");
  Statement left(db_, "DELETE FROM RowsLeft WHERE Seq = ?1");
  bool done = entry.prepared() && fields.prepared() && left.prepared();
  for (std::size_t i = 0; done && i < entries.size(); ++i) {
    entry.bind(1, entries[i].sequence);
    fields.bind(1, entries[i].sequence);
    left.bind(1, entries[i].sequence);
    done = entry.run() == SQLITE_DONE && fields.run() == SQLITE_DONE && left.run() == SQLITE_DONE;
  }
  if (done && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return Status::ok();
  const Status failed = journalError(db_, name_, operation);
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return failed;
}

Status Journal::readEntries(std::vector<JournalEntry>* out) const {
  const std::string operation = "reading the journal";
  out->clear();
  if (empty_) return Status::ok();
  Statement entries(db_, "SELECT Seq, Run, Path, FileName, TableName, RowIdentity, Action FROM Entries ORDER BY Seq");
  Statement fields(db_, "SELECT ColumnName, Before, After FROM Fields WHERE Seq = ?1 ORDER BY Position");
  Statement left(db_, "SELECT ColumnName, Value FROM RowsLeft WHERE Seq = ?1 ORDER BY Position");
  if (!entries.prepared() || !fields.prepared() || !left.prepared()) return journalError(db_, name_, operation);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(entries.get())) == SQLITE_ROW) {
    JournalEntry e;
    e.sequence = sqlite3_column_int64(entries.get(), 0);
    e.run = sqlite3_column_int64(entries.get(), 1);
    e.path = entries.text(2);
    e.fileName = entries.text(3);
    e.table = entries.text(4);
    e.row = sqlite3_column_int64(entries.get(), 5);
    if (sqlite3_column_type(entries.get(), 5) != SQLITE_INTEGER) {
      // Taken as a number, Null or a text would be row 0 or another row.
      return Status::error(Code::kBadRecordSource, name_, operation,
                           "entry " + std::to_string(e.sequence) + " (" + e.fileName + ", " + e.table +
                               ") has an identity that is not a whole number; the journal is damaged or was "
                               "changed by hand");
    }
    const std::string action = entries.text(6);
    if (action == "update") {
      e.action = JournalEntry::Action::kUpdate;
    } else if (action == "delete") {
      e.action = JournalEntry::Action::kDelete;
    } else if (action == "insert") {
      e.action = JournalEntry::Action::kInsert;
    } else {
      return Status::error(Code::kBadRecordSource, name_, operation,
                           "the journal names an unknown change '" + action + "'");
    }
    fields.bind(1, e.sequence);
    int frc = SQLITE_OK;
    while ((frc = sqlite3_step(fields.get())) == SQLITE_ROW) {
      e.fields.push_back(JournalField{fields.text(0), fields.stored(1), fields.stored(2)});
    }
    sqlite3_reset(fields.get());
    if (frc != SQLITE_DONE) return journalError(db_, name_, operation);
    left.bind(1, e.sequence);
    while ((frc = sqlite3_step(left.get())) == SQLITE_ROW) e.left.push_back(StoredField{left.text(0), left.stored(1)});
    sqlite3_reset(left.get());
    if (frc != SQLITE_DONE) return journalError(db_, name_, operation);
    out->push_back(std::move(e));
  }
  return rc == SQLITE_DONE ? Status::ok() : journalError(db_, name_, operation);
}

Status Journal::readFacts(std::vector<JournalFact>* out) const {
  out->clear();
  if (empty_) return Status::ok();
  Statement facts(db_, "SELECT Run, Name, Value FROM Facts ORDER BY Run, rowid");
  if (!facts.prepared()) return journalError(db_, name_, "reading the journal");
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(facts.get())) == SQLITE_ROW) {
    out->push_back(JournalFact{sqlite3_column_int64(facts.get(), 0), facts.text(1), facts.text(2)});
  }
  return rc == SQLITE_DONE ? Status::ok() : journalError(db_, name_, "reading the journal");
}

Status Journal::readNotes(std::vector<JournalFact>* out) const {
  out->clear();
  if (empty_) return Status::ok();
  Statement notes(db_, "SELECT Run, Text FROM Notes ORDER BY Seq");
  if (!notes.prepared()) return journalError(db_, name_, "reading the journal");
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(notes.get())) == SQLITE_ROW) {
    out->push_back(JournalFact{sqlite3_column_int64(notes.get(), 0), std::string(), notes.text(1)});
  }
  return rc == SQLITE_DONE ? Status::ok() : journalError(db_, name_, "reading the journal");
}

namespace {

StoredValue valueOf(const StoredRow& row, std::string_view column) {
  for (const StoredField& field : row) {
    if (field.column == column) return field.value;
  }
  return StoredValue::null();
}

class JournalStore final : public ReadThroughStore {
 public:
  JournalStore(std::unique_ptr<DatabaseStore> inner, Journal& journal, std::string path)
      : ReadThroughStore(std::move(inner)), journal_(journal), path_(std::move(path)) {}

  ~JournalStore() override {
    // The inner store keeps an uncommitted batch when it closes; its entries
    // must reach the journal first.
    if (!pending_.empty()) commit();
  }

  Status update(const RowSet& set, RowId row, std::span<const FieldWrite> writes) override {
    StoredRow before;
    Status read = inner().readRow(set.table, row, &before);
    if (!read.isOk()) return read;
    Status written = inner().update(set, row, writes);
    if (!written.isOk()) return refused(written);
    std::vector<std::string> columns;
    for (const FieldWrite& write : writes) columns.push_back(write.column);
    record(set.table, row, JournalEntry::Action::kUpdate, before, columns);
    return written;
  }

  Status writeRow(std::string_view table, RowId row, const StoredRow& fields) override {
    StoredRow before;
    Status read = inner().readRow(table, row, &before);
    if (!read.isOk()) return read;
    Status written = inner().writeRow(table, row, fields);
    if (!written.isOk()) return refused(written);
    std::vector<std::string> columns;
    for (const StoredField& field : fields) columns.push_back(field.column);
    record(std::string(table), row, JournalEntry::Action::kUpdate, before, columns);
    return written;
  }

  Status remove(const RowSet& set, RowId row) override {
    StoredRow before;
    Status read = inner().readRow(set.table, row, &before);
    if (!read.isOk()) return read;
    Status removed = inner().remove(set, row);
    if (!removed.isOk()) return refused(removed);
    JournalEntry entry = entryFor(set.table, row, JournalEntry::Action::kDelete);
    for (StoredField& field : before) entry.fields.push_back(JournalField{field.column, std::move(field.value), {}});
    pending_.push_back(std::move(entry));
    return removed;
  }

  Status insertRow(std::string_view table, RowId row, const StoredRow& fields) override {
    Status inserted = inner().insertRow(table, row, fields);
    if (!inserted.isOk()) return refused(inserted);
    StoredRow after;
    // What the file keeps may differ in type from what was given (a column's
    // affinity); the entry holds what is there.
    if (!inner().readRow(table, row, &after).isOk()) after = fields;
    JournalEntry entry = entryFor(std::string(table), row, JournalEntry::Action::kInsert);
    for (const StoredField& field : after) entry.fields.push_back(JournalField{field.column, {}, field.value});
    entry.left = std::move(after);
    pending_.push_back(std::move(entry));
    return inserted;
  }

  bool walksShareBatch() const override { return inner().walksShareBatch(); }

  // Over an engine that keeps walks in one batch, a walk's entries wait for
  // the batch's commit; a walk the engine undid alone takes its entries out.
  // Over any other engine, the walk's end is a commit, journal first.
  Status endWalk() override {
    if (!inner().walksShareBatch()) return commit();
    Status ended = inner().endWalk();
    if (ended.code() == Status::Code::kWalkUndone) pending_.resize(std::min(walkStart_, pending_.size()));
    // The end of a walk can also cost the file's whole batch: then none of
    // its entries names a change that was kept.
    if (ended.code() == Status::Code::kChangesUndone) pending_.clear();
    walkStart_ = pending_.size();
    return ended;
  }

  Status commit() override {
    // The last walk is settled first, so that what follows is kept or lost
    // as a whole.
    const Status walk = inner().walksShareBatch() ? endWalk() : Status::ok();
    walkStart_ = 0;
    if (pending_.empty()) {
      const Status committed = inner().commit();
      return committed.isOk() ? walk : committed;
    }
    std::vector<JournalEntry> batch = std::move(pending_);
    pending_.clear();
    Status journaled = journal_.append(batch);
    if (!journaled.isOk()) {
      // Changes that the journal does not hold are not kept: the batch is
      // put back as it was before it is committed.
      takeBack(batch);
      inner().commit();
      return Status::error(
          Status::Code::kChangesUndone, name(), "saving the changes",
          journaled.reason() + "; none of the rows changed in this file since it was last saved were kept");
    }
    Status committed = inner().commit();
    if (!committed.isOk()) journal_.discard(batch);
    return committed.isOk() ? walk : committed;
  }

 private:
  JournalEntry entryFor(std::string table, RowId row, JournalEntry::Action action) const {
    JournalEntry entry;
    entry.path = path_;
    entry.fileName = name();
    entry.table = std::move(table);
    entry.row = row;
    entry.action = action;
    return entry;
  }

  // Journals an update whose old row is `before`; the new values are read
  // back as the file keeps them.
  void record(std::string table, RowId row, JournalEntry::Action action, const StoredRow& before,
              const std::vector<std::string>& columns) {
    StoredRow after;
    const bool readBack = inner().readRow(table, row, &after).isOk();
    JournalEntry entry = entryFor(std::move(table), row, action);
    for (const std::string& column : columns) {
      entry.fields.push_back(
          JournalField{column, valueOf(before, column), readBack ? valueOf(after, column) : StoredValue::null()});
    }
    // Without the row as left, an undo cannot recognise it and leaves it.
    if (readBack) entry.left = std::move(after);
    pending_.push_back(std::move(entry));
  }

  // A write the engine refused changed nothing; one that made the engine
  // undo its whole batch took the batch's earlier writes with it.
  Status refused(const Status& status) {
    if (status.code() == Status::Code::kChangesUndone) {
      pending_.clear();
      walkStart_ = 0;
    }
    return status;
  }

  void takeBack(const std::vector<JournalEntry>& batch) {
    for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
      StoredRow fields;
      switch (it->action) {
        case JournalEntry::Action::kUpdate:
        case JournalEntry::Action::kDelete:
          for (const JournalField& field : it->fields) fields.push_back(StoredField{field.column, field.before});
          if (it->action == JournalEntry::Action::kUpdate) {
            inner().writeRow(it->table, it->row, fields);
          } else {
            inner().insertRow(it->table, it->row, fields);
          }
          break;
        case JournalEntry::Action::kInsert:
          inner().remove(RowSet{it->table, {}, {it->row}}, it->row);
          break;
      }
    }
  }

  Journal& journal_;
  std::string path_;
  std::vector<JournalEntry> pending_;
  std::size_t walkStart_ = 0;  // the current walk's first entry in pending_
};

}  // namespace

std::string shopFolderText() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string() : absolutePath(folder);
}

Status JournalEngine::open(const std::filesystem::path& path, const std::string& name,
                           std::unique_ptr<DatabaseStore>* out) {
  if (shopRecordedFor_ != journal_.currentRun()) {
    // Before anything of the run can reach the journal.
    Status recorded = journal_.setFact(kShopFolderFact, shopFolderText());
    if (recorded.isOk()) recorded = journal_.setFact(kShopStoreFact, inner_.sourceKind());
    if (!recorded.isOk()) return recorded;
    shopRecordedFor_ = journal_.currentRun();
  }
  // The journal names the file that was opened, as the disk spells it, so
  // that an undo goes back to that very file.
  std::filesystem::path found;
  Status located = findShopFile(path, name, &found);
  if (!located.isOk()) return located;
  std::unique_ptr<DatabaseStore> inner;
  Status opened = inner_.open(found, name, &inner);
  if (!opened.isOk()) return opened;
  *out = std::make_unique<JournalStore>(std::move(inner), journal_, absolutePath(found));
  return Status::ok();
}

}  // namespace kestrova::data
