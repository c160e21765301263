// The check an undo makes of its journal before it writes anything.
//
// A journal is a file like any other: it may have been edited, damaged or
// copied from another shop. An undo writes only into the files of the shop
// whose combines the journal holds: each entry must name one of the shop's
// three files or one of its archives, its path and its file name agreeing,
// and be whole (its columns named once each, a deleted row with every
// column of its table, its identity a whole number). One entry that is not
// refuses the whole journal, and nothing is written.

#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "data/journal_store.h"

namespace kestrova::app {

// Checks `journal` for an undo through `engine`, which is only read from.
// The shop is the folder the journal records for its runs, or `movedTo`
// when given (the shop moved or copied there): every entry must name a file
// of it, and the journal's store must be the engine's. On success
// `*entries` holds the journal's entries, each naming the path of the
// shop's file it is to be put back into, and `*shopFolder` the shop's
// folder. A refusal (kBadRecordSource) names the first entry at fault.
data::Status checkJournalForUndo(const data::Journal& journal, const std::optional<std::filesystem::path>& movedTo,
                                 data::StoreEngine& engine, std::vector<data::JournalEntry>* entries,
                                 std::filesystem::path* shopFolder);

}  // namespace kestrova::app
