// The passes of a run of many combines at once (CombineRun::group): each
// pass walks its table once for all of them, and every row it selects gets
// the value of the combine whose key it holds. The combines name no ID of
// one another, so walking them together ends where walking them one after
// the other would.

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "combine/repoint_pass.h"

namespace kestrova::combine {

// A pass's SELECT prefix taken apart: "Select Tech from Tasks where Tech ='~"
// is the select "Select Tech from Tasks", the key column "Tech", and "~",
// the text before the key inside the quotes.
struct KeyedSelect {
  std::string select;
  std::string column;
  std::string literal;
};
KeyedSelect keyedSelectOf(std::string_view selectPrefix);

// Which combine of the group a row is for, by the text its key column holds.
class GroupKeys {
 public:
  // Gives the text to combine `index`, unless an earlier combine has it (as
  // two employees may share a nickname): that one would have taken the rows
  // first. Returns whether the text is the combine's.
  bool add(const std::string& text, std::size_t index);
  // The combine whose text the value is; where no text is exactly that, the
  // one whose text differs only in the case of ASCII letters or in trailing
  // blanks, as some databases compare texts.
  std::optional<std::size_t> combineOf(const data::FieldValue& value) const;
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::unordered_map<std::string, std::size_t> exact_;
  std::unordered_map<std::string, std::size_t> folded_;
  std::vector<std::string> texts_;
};

void runGroupRepointPass(const RepointPass& pass, CombineRun& run);
void runGroupDeletePass(const DeletePass& pass, CombineRun& run);

// The row walk of a group over the record set the gateway holds open:
// every row whose `keyColumn` holds a text of `keys` gets that combine's
// value of `values` (indexed by combine) in `setColumn`, after beforeEdit
// and with extraWrites as in a single walk; `run.ids` and `run.current`
// name the row's combine meanwhile.
void repointGroupRows(CombineRun& run, const GroupKeys& keys, std::string_view keyColumn,
                      std::string_view setColumn, const std::vector<std::string>& values,
                      BeforeEdit beforeEdit = nullptr, ExtraWrites extraWrites = nullptr);

}  // namespace kestrova::combine
