// RepointPass: one pass over one table, the unit of work of every combine.
//
// A pass opens its file (or stays on the file the previous pass opened),
// selects the rows whose key holds the key text, writes its value into one
// column of each, and then sets the progress panel. A kind's procedure is a
// table of such records; adding a table to a combine is adding a row.

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "combine/combine_run.h"

namespace kestrova::combine {

// A text built from the run's IDs: a literal followed by one of them
// ("~" followed by the To number, or just the From ID).
struct IdText {
  enum class Id { kFrom, kTo, kFromNickname };
  Id id;
  std::string_view literal = {};
};

inline constexpr IdText kFromId{IdText::Id::kFrom};
inline constexpr IdText kToId{IdText::Id::kTo};
inline constexpr IdText kFromNickname{IdText::Id::kFromNickname};

// The text, or none when it names the From nickname and the run has none.
std::optional<std::string> textOf(const IdText& text, const CombineIds& ids);

// What a pass does with the row in hand after its beforeEdit step.
enum class RowAction { kEdit, kLeave };

using BeforeEdit = RowAction (*)(CombineRun& run);
using ExtraWrites = void (*)(CombineRun& run);

struct RepointPass {
  std::optional<std::string_view> databaseFile = {};  // none: the file the previous pass opened
  std::string_view selectPrefix = {};                 // up to and including the opening quote
  IdText keyText = kFromId;
  std::string_view setColumn = {};
  IdText setValue = kToId;
  std::optional<int> progressPercent = {};
  BeforeEdit beforeEdit = nullptr;    // may leave a row as it is
  ExtraWrites extraWrites = nullptr;  // further writes before the row is saved
  bool tableMayBeMissing = false;     // a file without the table is passed over silently
};

// Deletes every selected row instead of changing it.
struct DeletePass {
  std::string_view databaseFile = {};
  std::string_view selectPrefix = {};
  IdText keyText = kFromId;
  std::optional<int> progressPercent = {};
};

// Makes `databaseFile` the file the next refresh opens, saving the open
// file's walks first when it is another; none keeps the open file.
void nameFile(std::optional<std::string_view> databaseFile, CombineRun& run);
// Opens the record source set; tells whether there is a record set to walk
// (a missing table that may be missing is none, and no failure).
bool openedSelection(bool tableMayBeMissing, CombineRun& run);

// Whether a pass without its key was left out for want of the From
// employee's nickname, which could not be read: not for want of rows, but a
// failure (nicknameUnread()), so that an archive it runs in keeps its orders
// for the next run.
bool leftOutForWantOfNickname(const RepointPass& pass, const CombineIds& ids);
data::Status nicknameUnread();

// In a run of many combines (CombineRun::group), each pass walks its table
// once for all of them (group_passes.h).
void runRepointPass(const RepointPass& pass, CombineRun& run);
void runDeletePass(const DeletePass& pass, CombineRun& run);

// The row walk alone, over the record set the gateway holds open: every
// selected row is visited once, in the set's order, and the walk's writes are
// saved together when it ends.
void RepointRows(CombineRun& run, std::string_view setColumn, const std::string& setValue,
                 BeforeEdit beforeEdit = nullptr, ExtraWrites extraWrites = nullptr);

}  // namespace kestrova::combine
