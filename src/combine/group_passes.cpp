#include "combine/group_passes.h"

#include <cassert>

#include "data/ascii_text.h"

namespace kestrova::combine {
namespace {

std::string_view trimmedRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string folded(std::string_view text) { return data::lowered(trimmedRight(text)); }

}  // namespace

KeyedSelect keyedSelectOf(std::string_view selectPrefix) {
  const std::size_t quote = selectPrefix.rfind('\'');
  std::string_view condition = data::trimmed(selectPrefix.substr(0, quote));
  assert(quote != std::string_view::npos && condition.ends_with('='));
  condition = data::trimmed(condition.substr(0, condition.size() - 1));
  const std::size_t where = data::lowered(condition).rfind(" where ");
  assert(where != std::string::npos);
  return KeyedSelect{std::string(condition.substr(0, where)), std::string(condition.substr(where + 7)),
                     std::string(selectPrefix.substr(quote + 1))};
}

bool GroupKeys::add(const std::string& text, std::size_t index) {
  if (!exact_.try_emplace(text, index).second) return false;
  folded_.try_emplace(folded(text), index);
  texts_.push_back(text);
  return true;
}

std::optional<std::size_t> GroupKeys::combineOf(const data::FieldValue& value) const {
  if (!value) return std::nullopt;
  if (const auto found = exact_.find(*value); found != exact_.end()) return found->second;
  if (const auto found = folded_.find(folded(*value)); found != folded_.end()) return found->second;
  return std::nullopt;
}

void repointGroupRows(CombineRun& run, const GroupKeys& keys, std::string_view keyColumn, std::string_view setColumn,
                      const std::vector<std::string>& values, BeforeEdit beforeEdit, ExtraWrites extraWrites) {
  auto& data = run.data;
  auto& trap = run.trap;
  std::vector<data::FieldValue> held;
  if (trap(data.columnToEnd(keyColumn, &held))) {
    std::optional<std::size_t> inHand;
    for (const data::FieldValue& key : held) {
      if (const std::optional<std::size_t> combine = keys.combineOf(key)) {
        if (combine != inHand) {
          inHand = combine;
          run.current = *combine;
          run.ids = run.group[*combine];
        }
        const bool change = beforeEdit == nullptr || beforeEdit(run) == RowAction::kEdit;
        if (change && trap(data.edit()) && trap(data.setField(setColumn, values[*combine]))) {
          if (extraWrites != nullptr) extraWrites(run);
          if (trap(data.holdUpdate())) ++run.rowsOf[*combine];
        }
      }
      if (!trap(data.moveNext())) break;
    }
    trap(data.saveHeldUpdates([&](const data::Status& status) { trap(status); }));
  }
  trap(data.endWalk());
}

void runGroupRepointPass(const RepointPass& pass, CombineRun& run) {
  const KeyedSelect select = keyedSelectOf(pass.selectPrefix);
  GroupKeys keys;
  std::vector<std::string> values(run.group.size());
  for (std::size_t combine : run.concerned) {
    const CombineIds& ids = run.group[combine];
    const std::optional<std::string> key = textOf(pass.keyText, ids);
    const std::optional<std::string> value = textOf(pass.setValue, ids);
    if (key && value) {
      if (keys.add(select.literal + *key, combine)) values[combine] = *value;
    } else if (!key && leftOutForWantOfNickname(pass, ids)) {
      run.trap(nicknameUnread());
    }
  }
  if (!keys.texts().empty()) {
    nameFile(pass.databaseFile, run);
    run.data.setRecordSourceOfKeys(select.select, select.column, keys.texts());
    if (openedSelection(pass.tableMayBeMissing, run)) {
      repointGroupRows(run, keys, select.column, pass.setColumn, values, pass.beforeEdit, pass.extraWrites);
    }
  }
  if (pass.progressPercent) run.feedback.setProgress(*pass.progressPercent);
}

void runGroupDeletePass(const DeletePass& pass, CombineRun& run) {
  const KeyedSelect select = keyedSelectOf(pass.selectPrefix);
  GroupKeys keys;
  for (std::size_t combine : run.concerned) {
    if (const std::optional<std::string> key = textOf(pass.keyText, run.group[combine])) {
      keys.add(select.literal + *key, combine);
    }
  }
  if (!keys.texts().empty()) {
    nameFile(pass.databaseFile, run);
    run.data.setRecordSourceOfKeys(select.select, select.column, keys.texts());
    if (openedSelection(false, run)) {
      auto& trap = run.trap;
      std::vector<data::FieldValue> held;
      if (trap(run.data.columnToEnd(select.column, &held))) {
        for (const data::FieldValue& key : held) {
          if (const std::optional<std::size_t> combine = keys.combineOf(key)) ++run.rowsOf[*combine];
        }
        if (!held.empty()) trap(run.data.deleteToEnd([&](const data::Status& status) { trap(status); }));
      }
      trap(run.data.endWalk());
    }
  }
  if (pass.progressPercent) run.feedback.setProgress(*pass.progressPercent);
}

}  // namespace kestrova::combine
