// The check a shop runs before its first combine: what the combines would
// meet in the shop's files of the current folder, told file by file, with
// nothing changed (every write it tries is taken back at once, and it
// keeps no journal).

#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "data/record_store.h"

namespace kestrova::app {

// Looks at the three main files and at every archive that mgmtdata.mdb
// names, through `engine`: how each is opened, each table and column the
// combines use, how each table's rows are told apart, and whether the file
// takes a write. An archive not in the folder is listed as on a diskette in
// drive A. Writes what it finds to `out` and returns the things to mend
// before a combine can run ("mgmtdata.mdb: table Services has no column
// EmplID"), none when one can.
std::vector<std::string> checkShop(data::StoreEngine& engine, std::ostream& out);

}  // namespace kestrova::app
