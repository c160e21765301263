// The store the behavioural suites run on. By default the SQLite store; with
// KESTROVA_TEST_STORE=sqlite-odbc in the environment, the ODBC store over the
// SQLite ODBC driver, on the very same SQLite files; with jet-odbc, the ODBC
// store through the Access-shaped test driver in front of it. KESTROVA_ODBC
// is then set for the whole test program, so a kestrova-combine that a test
// starts runs on the same store.

#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "data/record_store.h"

namespace kestrova::testing {

// The connection template the ODBC run uses.
inline constexpr char kSqliteOdbcTemplate[] = "Driver=SQLite3;Database={path};NoCreat=1;BigInt=1";

bool odbcUnderTest();
// Whether the store under test keeps each row's identity: not through the
// Access-shaped driver, where the shop's tables have no key.
bool rowsKeepTheirIdentity();
// The connection template of the ODBC run; empty on the SQLite store.
const std::string& odbcTemplateUnderTest();

// An engine of the store under test; `readOnly` for a preview's inner engine.
std::unique_ptr<data::StoreEngine> makeStoreEngine(std::chrono::milliseconds lockWait, bool readOnly = false);

}  // namespace kestrova::testing
