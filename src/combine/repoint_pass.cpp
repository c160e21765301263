#include "combine/repoint_pass.h"

#include "combine/group_passes.h"
#include "data/sql_text.h"

namespace kestrova::combine {
namespace {

// Opens the pass's selection; tells whether there is a record set to walk.
bool openSelection(std::optional<std::string_view> databaseFile, std::string_view selectPrefix, const std::string& key,
                   bool tableMayBeMissing, CombineRun& run) {
  nameFile(databaseFile, run);
  run.data.setRecordSource(std::string(selectPrefix) + data::sqlQuoteBody(key) + "'");
  return openedSelection(tableMayBeMissing, run);
}

// Whether the record set holds rows; the count bounds nothing.
bool hasRows(CombineRun& run) {
  std::size_t count = 0;
  return run.trap(run.data.recordCount(&count)) && count > 0;
}

}  // namespace

void nameFile(std::optional<std::string_view> databaseFile, CombineRun& run) {
  if (!databaseFile) return;
  const std::string name(*databaseFile);
  // The open file's walks are saved before another file is opened, and a
  // save that fails is told as this file's failure, not the next one's.
  if (!run.data.namesOpenFile(name)) run.trap(run.data.commitWrites());
  run.data.setDatabaseName(name);
}

bool openedSelection(bool tableMayBeMissing, CombineRun& run) {
  const data::Status opened = run.data.refresh();
  // Some shops' files have no technician table: nothing to do, nothing to report.
  if (tableMayBeMissing && opened.code() == data::Status::Code::kNoSuchTable) return false;
  return run.trap(opened);
}

bool leftOutForWantOfNickname(const RepointPass& pass, const CombineIds& ids) {
  return pass.keyText.id == IdText::Id::kFromNickname && ids.fromNicknameUnknown;
}

data::Status nicknameUnread() {
  return data::Status::error(data::Status::Code::kNoRecordSet, "",
                             "re-pointing the tasks that name the From employee by nickname",
                             "the nickname could not be read, so these tasks were left as they are");
}

std::optional<std::string> textOf(const IdText& text, const CombineIds& ids) {
  const std::string* id = nullptr;
  switch (text.id) {
    case IdText::Id::kFrom:
      id = &ids.from;
      break;
    case IdText::Id::kTo:
      id = &ids.to;
      break;
    case IdText::Id::kFromNickname:
      if (!ids.fromNickname) return std::nullopt;
      id = &*ids.fromNickname;
      break;
  }
  return std::string(text.literal) + *id;
}

void RepointRows(CombineRun& run, std::string_view setColumn, const std::string& setValue, BeforeEdit beforeEdit,
                 ExtraWrites extraWrites) {
  auto& data = run.data;
  auto& trap = run.trap;
  const auto record = [&](const data::Status& status) { trap(status); };
  const bool walk = hasRows(run);
  if (walk && beforeEdit == nullptr && extraWrites == nullptr) {
    // The same value on every row: the gateway makes the whole walk at once.
    trap(data.updateToEnd(setColumn, setValue, record));
  } else if (walk) {
    for (bool atEnd = false; trap(data.eof(&atEnd)) && !atEnd;) {
      const bool change = beforeEdit == nullptr || beforeEdit(run) == RowAction::kEdit;
      // A row whose edit cannot start is left as it was; the walk goes on.
      if (change && trap(data.edit()) && trap(data.setField(setColumn, setValue))) {
        if (extraWrites != nullptr) extraWrites(run);
        // Held and made with the walk's other rows at its end, in fewer
        // statements; each row still gets its own outcome.
        trap(data.holdUpdate());
      }
      if (!trap(data.moveNext())) break;  // a walk that cannot advance ends
    }
    trap(data.saveHeldUpdates(record));
  }
  // Kept with the file's other walks, saved before another file is opened
  // or anything waits for the user.
  trap(data.endWalk());
}

void runRepointPass(const RepointPass& pass, CombineRun& run) {
  if (run.isGroup()) return runGroupRepointPass(pass, run);
  const std::optional<std::string> key = textOf(pass.keyText, run.ids);
  const std::optional<std::string> value = textOf(pass.setValue, run.ids);
  // Without its key (no From nickname) the pass would select every row whose
  // column is empty; it is left out instead.
  if (key && value && openSelection(pass.databaseFile, pass.selectPrefix, *key, pass.tableMayBeMissing, run)) {
    RepointRows(run, pass.setColumn, *value, pass.beforeEdit, pass.extraWrites);
  } else if (!key && leftOutForWantOfNickname(pass, run.ids)) {
    run.trap(nicknameUnread());
  }
  if (pass.progressPercent) run.feedback.setProgress(*pass.progressPercent);
}

void runDeletePass(const DeletePass& pass, CombineRun& run) {
  if (run.isGroup()) return runGroupDeletePass(pass, run);
  const std::optional<std::string> key = textOf(pass.keyText, run.ids);
  if (key && openSelection(pass.databaseFile, pass.selectPrefix, *key, false, run)) {
    auto& data = run.data;
    auto& trap = run.trap;
    if (hasRows(run)) trap(data.deleteToEnd([&](const data::Status& status) { trap(status); }));
    trap(data.endWalk());
  }
  if (pass.progressPercent) run.feedback.setProgress(*pass.progressPercent);
}

}  // namespace kestrova::combine
