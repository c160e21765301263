// The tables and columns the three combines use in each of the shop's
// files, read off their procedures, for the check a shop runs before its
// first combine.

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::combine {

struct TableUse {
  std::string table;
  std::vector<std::string> columns;  // in the order the procedures first name them
  bool mayBeMissing = false;         // a file without it has nothing of the kind there
};

struct FileUse {
  std::string file;  // "kestrova.mdb", ...; empty for every archive file
  std::vector<TableUse> tables;
};

// The three main files in the order the combines open them, then the
// archives' share.
std::vector<FileUse> tablesTheCombinesUse();

}  // namespace kestrova::combine
