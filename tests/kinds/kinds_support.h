// Small helpers shared by the customer and employee combine tests.

#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/test_shop.h"

namespace kestrova::testing {

// The one column of a query, in its order; Null stays Null.
inline std::vector<tools::Value> columnOf(const TestShop& shop, std::string_view file, std::string_view sql) {
  std::vector<tools::Value> values;
  for (const tools::Row& row : shop.db(file).query(sql)) values.push_back(row.front());
  return values;
}

inline tools::Value scalarOf(const TestShop& shop, std::string_view file, std::string_view sql) {
  return shop.db(file).scalar(sql);
}

inline std::string show(const tools::Value& value) { return value ? "'" + *value + "'" : std::string("Null"); }

// The messages the run showed, as "message ICON: TEXT".
inline std::vector<std::string> messagesOf(const RecordingUi& ui) { return ui.eventsStartingWith("message"); }

}  // namespace kestrova::testing
