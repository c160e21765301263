// The floor of a combine: the same changes as set-based SQL, one UPDATE or
// DELETE per table and one transaction per file, on a plain read-write
// connection (SQLite's C API, or ODBC through a connection template).

#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "shop_builder/shop_builder.h"

namespace kestrova::bench {

struct FloorResult {
  double seconds = 0;
  long long rowsChanged = 0;
};

FloorResult timeSqliteFloor(const std::filesystem::path& folder, const tools::BenchmarkRecord& record);
FloorResult timeOdbcFloor(const std::string& text, const std::filesystem::path& folder,
                          const tools::BenchmarkRecord& record);

// Rows that are in one copy of a file and not in the other, by rowid and
// every column, over every table.
long long differingRows(const std::filesystem::path& a, const std::filesystem::path& b,
                        const std::vector<std::string>& files);

}  // namespace kestrova::bench
