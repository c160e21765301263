// The floor of a combine: the same changes as set-based SQL, one UPDATE or
// DELETE per table and one transaction per file, on a plain read-write
// connection (SQLite's C API, or ODBC through a connection template).

#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "shop_builder/shop_builder.h"

namespace kestrova::bench {

struct FloorResult {
  double seconds = 0;
  long long rowsChanged = 0;
};

FloorResult timeSqliteFloor(const std::filesystem::path& folder, const tools::BenchmarkRecord& record);
FloorResult timeOdbcFloor(const std::string& text, const std::filesystem::path& folder,
                          const tools::BenchmarkRecord& record);

// A batch's combines of one kind.
struct IdPair {
  std::string from;
  std::string to;
};

// The floor of a batch of combines of one kind (customer or vehicle) that
// name no ID of one another: a mapping table of its pairs in each file, one
// UPDATE or DELETE per table through it, one transaction per file.
FloorResult timeSqliteBatchFloor(const std::filesystem::path& folder, Kind kind, const std::vector<IdPair>& pairs);
FloorResult timeOdbcBatchFloor(const std::string& text, const std::filesystem::path& folder, Kind kind,
                               const std::vector<IdPair>& pairs);

// The first column of every row `sql` gives in a SQLite file.
std::vector<std::string> columnOf(const std::filesystem::path& file, const std::string& sql);

// Rows that are in one copy of a file and not in the other, by rowid and
// every column, over every table.
long long differingRows(const std::filesystem::path& a, const std::filesystem::path& b,
                        const std::vector<std::string>& files);

}  // namespace kestrova::bench
