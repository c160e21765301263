#include "app/undo/undo.h"

#include <algorithm>
#include <map>
#include <memory>

#include "app/undo/undo_check.h"
#include "data/shop_path.h"

namespace kestrova::app {
namespace {

using data::JournalEntry;
using data::StoredRow;
using data::StoredValue;

const StoredValue* valueIn(const StoredRow& row, const std::string& column) {
  for (const data::StoredField& field : row) {
    if (field.column == column) return &field.value;
  }
  return nullptr;
}

// Whether two rows hold the same columns with the same values, in any order.
bool sameRow(const StoredRow& a, const StoredRow& b) {
  if (a.size() != b.size()) return false;
  for (const data::StoredField& field : a) {
    const StoredValue* other = valueIn(b, field.column);
    if (other == nullptr || !(*other == field.value)) return false;
  }
  return true;
}

// The row as it was before the entry's write: as left, with the written
// columns holding their old values.
StoredRow rowBefore(const JournalEntry& entry) {
  StoredRow row = entry.left;
  for (data::StoredField& field : row) {
    for (const data::JournalField& written : entry.fields) {
      if (written.column == field.column) field.value = written.before;
    }
  }
  return row;
}

enum class Holds { kAfter, kBefore, kOther };

// Whether the row is the very row the entry's write left, that row with its
// old values back, or anything else: a row changed since in any column, or
// another row that has taken its identity.
Holds whatRowHolds(const StoredRow& current, const JournalEntry& entry) {
  if (entry.left.empty()) return Holds::kOther;  // nothing to recognise it by
  if (sameRow(current, entry.left)) return Holds::kAfter;
  return sameRow(current, rowBefore(entry)) ? Holds::kBefore : Holds::kOther;
}

// The values the entry's write replaced: the columns an update wrote, or a
// deleted row whole.
StoredRow oldValues(const JournalEntry& entry) {
  StoredRow row;
  for (const data::JournalField& field : entry.fields) row.push_back(data::StoredField{field.column, field.before});
  return row;
}

// A deleted row is journaled whole: only that row counts as back.
bool holdsDeletedRow(const StoredRow& current, const JournalEntry& entry) {
  return sameRow(current, oldValues(entry));
}


struct OpenFile {
  std::unique_ptr<data::DatabaseStore> store;
  data::Status opened;
  std::size_t putBack = 0;
};

class Undoer {
 public:
  Undoer(data::StoreEngine& engine, UndoReport& report) : engine_(engine), report_(report) {}

  void undo(const JournalEntry& entry) {
    OpenFile& file = fileOf(entry);
    if (!file.opened.isOk()) return leave(entry, file.opened.reason());
    data::DatabaseStore& store = *file.store;

    // Where the table's rows keep no identity, the row is found by the
    // values the journal kept: as the write left it, else, for an update,
    // as it was before.
    data::RowId row = entry.row;
    data::Status located = store.rowNow(entry.table, entry.row,
                                        entry.action == JournalEntry::Action::kDelete ? oldValues(entry) : entry.left,
                                        &row);
    if (located.code() == data::Status::Code::kRowGone && entry.action == JournalEntry::Action::kUpdate) {
      located = store.rowNow(entry.table, entry.row, rowBefore(entry), &row);
    }
    StoredRow current;
    const data::Status read = located.isOk() ? store.readRow(entry.table, row, &current) : located;
    const bool gone = read.code() == data::Status::Code::kRowGone;
    if (!read.isOk() && !gone) return leave(entry, read.reason());

    data::Status written = data::Status::ok();
    switch (entry.action) {
      case JournalEntry::Action::kUpdate:
        if (gone) {
          return leave(entry, located.isOk() ? "the row has been deleted since"
                                             : "no row holds the values the combine left: it has been changed or "
                                               "deleted since");
        }
        switch (whatRowHolds(current, entry)) {
          case Holds::kBefore:
            ++report_.alreadyBack;
            return;
          case Holds::kOther:
            return leave(entry, "the row has been changed or replaced since (" + describe(current, entry) + ")");
          case Holds::kAfter:
            written = store.writeRow(entry.table, row, oldValues(entry));
            break;
        }
        break;
      case JournalEntry::Action::kDelete:
        if (!gone) {
          if (holdsDeletedRow(current, entry)) {
            ++report_.alreadyBack;
            return;
          }
          return leave(entry, "another row has taken its place");
        }
        written = store.insertRow(entry.table, row, oldValues(entry));
        break;
      case JournalEntry::Action::kInsert:
        if (gone) {
          ++report_.alreadyBack;
          return;
        }
        if (whatRowHolds(current, entry) != Holds::kAfter) {
          return leave(entry, "the row has been changed since it was put back");
        }
        written = store.remove(data::RowSet{entry.table, {}, {row}}, row);
        break;
    }
    if (!written.isOk()) return leave(entry, written.reason());
    ++file.putBack;
  }

  // Commits every file; a file whose commit fails keeps none of its rows.
  void finish() {
    for (auto& [path, file] : files_) {
      if (!file.opened.isOk()) continue;
      const data::Status committed = file.store->commit();
      if (committed.isOk()) {
        report_.putBack += file.putBack;
      } else if (file.putBack > 0) {
        report_.leftAlone.push_back(file.store->name() + ": " + std::to_string(file.putBack) +
                                    " rows could not be saved (" + committed.reason() + ")");
      }
      file.store.reset();
    }
  }

 private:
  OpenFile& fileOf(const JournalEntry& entry) {
    auto found = files_.find(entry.path);
    if (found != files_.end()) return found->second;
    OpenFile file;
    file.opened = engine_.open(data::pathFromUtf8(entry.path), entry.fileName, &file.store);
    return files_.emplace(entry.path, std::move(file)).first->second;
  }

  // The columns in which the row differs from the row the combine left.
  static std::string describe(const StoredRow& current, const JournalEntry& entry) {
    if (entry.left.empty()) return "the journal holds no copy of the row as it was left";
    std::string text;
    for (const data::StoredField& left : entry.left) {
      const StoredValue* value = valueIn(current, left.column);
      if (value != nullptr && *value == left.value) continue;
      if (!text.empty()) text += ", ";
      text += left.column + " is now ";
      if (value == nullptr) {
        text += "missing";
      } else if (value->type == StoredValue::Type::kNull) {
        text += "Null";
      } else if (value->type == StoredValue::Type::kText) {
        text += "'" + value->bytes + "'";
      } else {
        text += "another value";
      }
    }
    if (text.empty()) text = "the row has other columns than it had";
    return text;
  }

  void leave(const JournalEntry& entry, const std::string& reason) {
    report_.leftAlone.push_back(entry.fileName + ", " + entry.table + " row " + std::to_string(entry.row) + ": " +
                                reason);
  }

  data::StoreEngine& engine_;
  UndoReport& report_;
  std::map<std::string, OpenFile> files_;
};

}  // namespace

data::Status undoJournal(const data::Journal& journal, data::StoreEngine& engine, UndoReport* report) {
  *report = UndoReport{};
  std::vector<JournalEntry> entries;
  std::filesystem::path shopFolder;
  const data::Status checked = checkJournalForUndo(journal, std::nullopt, engine, &entries, &shopFolder);
  if (!checked.isOk()) return checked;
  undoEntries(entries, engine, report);
  return data::Status::ok();
}

void undoEntries(const std::vector<data::JournalEntry>& entries, data::StoreEngine& engine, UndoReport* report) {
  *report = UndoReport{};
  Undoer undoer(engine, *report);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) undoer.undo(*it);
  undoer.finish();
}

}  // namespace kestrova::app
