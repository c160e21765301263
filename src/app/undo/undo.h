// Taking back the combines of a journal.
//
// Every change in the journal is undone, newest first, provided its row is
// still the very row the combine left, equal in every column to the copy
// the journal keeps: an updated row gets its old values back, a deleted row
// is inserted again with its own identity where that is free, an inserted
// row (from an earlier undo) is deleted. Any other row (changed since in any
// column, or a new row given the same identity) is reported and left alone. A row that still holds its old values (a
// run that stopped between writing its journal and committing its file) needs nothing.
//
// The undo's own writes go through `engine`; give it a journaled engine so
// that the undo can itself be undone.

#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "data/journal_store.h"

namespace kestrova::app {

struct UndoReport {
  std::size_t putBack = 0;             // rows put back as they were
  std::size_t alreadyBack = 0;         // rows that held their old values already
  std::vector<std::string> leftAlone;  // "mgmtdata.mdb, Payments row 3: ...", one per row not put back

  bool everythingPutBack() const { return leftAlone.empty(); }
};

// Fails when the journal cannot be read or is refused by
// checkJournalForUndo() (undo_check.h), in the shop the journal records;
// then nothing is written. Rows that cannot be put back are in the report.
data::Status undoJournal(const data::Journal& journal, data::StoreEngine& engine, UndoReport* report);

// Puts back the rows of `entries`, checked by checkJournalForUndo(), newest
// first.
void undoEntries(const std::vector<data::JournalEntry>& entries, data::StoreEngine& engine, UndoReport* report);

}  // namespace kestrova::app
