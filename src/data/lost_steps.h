// Words for the walks over one file that a failed save took with it, the same
// in every store, so a user reads the same sentence whichever store runs.

#pragma once

#include <string>
#include <vector>

namespace kestrova::data {

inline std::string joinedTables(const std::vector<std::string>& tables) {
  std::string out;
  for (std::size_t i = 0; i < tables.size(); ++i) out += (i == 0 ? "" : ", ") + tables[i];
  return out;
}

// "none of the rows of the steps on History, Labor in this file were changed"
inline std::string lostSteps(const std::vector<std::string>& tables) {
  if (tables.size() <= 1) return "none of the rows of that step were changed";
  return "none of the rows of the steps on " + joinedTables(tables) + " in this file were changed";
}

// ", nor of the earlier steps on History in this file", or nothing.
inline std::string earlierSteps(const std::vector<std::string>& tables) {
  return tables.empty() ? "" : ", nor of the earlier steps on " + joinedTables(tables) + " in this file";
}

}  // namespace kestrova::data
