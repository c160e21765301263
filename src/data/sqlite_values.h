// Stored values in and out of SQLite statements, shared by the SQLite store
// and the journal, which both keep a value with its stored type.

#pragma once

#include <sqlite3.h>

#include "data/record_store.h"

namespace kestrova::data {

// The value of `column` in the statement's current row, with its type.
StoredValue storedValueOf(sqlite3_stmt* statement, int column);

// Binds `value` to parameter `index`; SQLite keeps its own copy.
void bindStoredValue(sqlite3_stmt* statement, int index, const StoredValue& value);

}  // namespace kestrova::data
