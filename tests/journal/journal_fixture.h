// What the journal tests share: the sample shop in a TestShop, its files,
// the three sample combines, and a cell-by-cell comparison of a shop file
// before and after a run.

#pragma once

#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "combine/procedures.h"
#include "support/test_shop.h"

namespace kestrova::testing {

struct SampleCombine {
  const char* name;
  combine::CombineKind kind;
  const char* from;
  const char* to;
};

inline void PrintTo(const SampleCombine& combine, std::ostream* out) { *out << combine.name; }

inline const std::vector<SampleCombine>& sampleCombines() {
  static const std::vector<SampleCombine> combines = {
      {"vehicle", combine::CombineKind::kVehicle, "2000002", "2000001"},
      {"customer", combine::CombineKind::kCustomer, "1000002", "1000001"},
      {"employee", combine::CombineKind::kEmployee, "111-22-4444", "111-22-3333"},
  };
  return combines;
}

inline const std::vector<std::string>& sampleFiles() {
  static const std::vector<std::string> files = {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb", "ARC2023.arc",
                                                 "ARC2024.arc"};
  return files;
}

// (file, table, column) -> cells changed; column "" -> rows deleted.
using ChangeCounts = std::map<std::tuple<std::string, std::string, std::string>, std::size_t>;

// Every row of every table of every sample file, by rowid, as text.
using ShopRows = std::map<std::tuple<std::string, std::string, long long>, tools::Row>;

inline ShopRows readRows(const TestShop& shop) {
  ShopRows rows;
  for (const std::string& file : sampleFiles()) {
    tools::ShopDb db = shop.db(file);
    for (const tools::Row& table : db.query("SELECT name FROM sqlite_master WHERE type = 'table'")) {
      for (tools::Row row : db.query("SELECT rowid, * FROM \"" + *table[0] + "\"")) {
        const long long id = std::stoll(*row.front());
        row.erase(row.begin());
        rows[{file, *table[0], id}] = row;
      }
    }
  }
  return rows;
}

// What differs between two readings of the shop: each changed cell under
// its column, each vanished row under "".
inline ChangeCounts differences(const TestShop& shop, const ShopRows& before, const ShopRows& after) {
  ChangeCounts counts;
  for (const auto& [key, row] : before) {
    const auto& [file, table, id] = key;
    const auto now = after.find(key);
    if (now == after.end()) {
      ++counts[{file, table, ""}];
      continue;
    }
    tools::ShopDb db = shop.db(file);
    const std::vector<tools::Row> columns =
        db.query("SELECT name FROM pragma_table_info('" + table + "') ORDER BY cid");
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i] != now->second[i]) ++counts[{file, table, *columns[i][0]}];
    }
  }
  return counts;
}

}  // namespace kestrova::testing
