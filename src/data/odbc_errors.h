// What a driver's diagnostics mean for the shop: its SQLSTATE, and where a
// driver gives no standard one, its data source's own code, mapped to the
// tool's Status codes and words.

#pragma once

#include <string>
#include <vector>

#include "data/odbc_api.h"
#include "data/status.h"

namespace kestrova::data {

// What kind of data source is behind the driver: some answers are only
// understood for the drivers that were tried.
enum class OdbcSource { kOther, kSqlite, kPostgresql, kAccess };

// The Status for a failure of `operation` on `file` that the driver
// described with `diagnostics` (the first record decides).
Status translateDiagnostics(const std::vector<Diagnostic>& diagnostics, OdbcSource source, const std::string& file,
                            std::string operation);

// Failures after which a data source may have undone more than the one
// statement: the store then undoes the whole batch itself, so what was kept
// never depends on a guess.
bool mayHaveUndoneBatch(const Status& status);

}  // namespace kestrova::data
