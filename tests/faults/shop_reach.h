// The sample shop that the fault tests combine in, and what each kind's
// combine may touch in it.
//
// The sample shop's duplicates have only a handful of rows each, so a
// combine of them is over in a few milliseconds. The fault tests give each
// duplicate thousands of rows more in every table the combine walks, in the
// current files and in both archives, so that a run lasts long enough to be
// interrupted inside every one of its steps.

#pragma once

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fault_support.h"

namespace kestrova::testing {

enum class Kind { kCustomer, kVehicle, kEmployee };

struct KindCase {
  Kind kind;
  const char* name;                    // for test names
  std::vector<std::string> arguments;  // the kind, From and To, and --yes for customers
};

// Names a case in test output.
inline void PrintTo(const KindCase& kindCase, std::ostream* out) { *out << kindCase.name; }

// The three kinds, combining the sample shop's duplicates.
const std::vector<KindCase>& sampleCombines();

// Adds `rows` rows of each duplicate to every table that a combine walks,
// in the shop in `folder` (its archives ARC2023 and ARC2024 included).
void addRowsOfDuplicates(const std::filesystem::path& folder, int rows);

// What `kind`'s combine may change or delete in the shop in `original`
// (a folder that must stay as it is while this object is used), so that a
// later state of a copy of that shop can be checked for any other change.
class CombineReach {
 public:
  CombineReach(std::filesystem::path original, Kind kind);

  // Every table of the shop in `folder` in which a row outside the
  // combine's reach differs from the original, is missing, or was added;
  // empty when there is none.
  std::vector<std::string> changesOutsideReach(const std::filesystem::path& folder) const;

  // The tables in `folder` that still hold rows of the From ID (or, for
  // customers, a billing cycle of either customer): empty when the combine
  // is complete.
  std::vector<std::string> rowsLeftToCombine(const std::filesystem::path& folder) const;

 private:
  std::filesystem::path original_;
  // file ("*.arc" for every archive) -> table -> the condition that picks the rows in reach
  std::map<std::string, std::map<std::string, std::string>> reach_;
};

}  // namespace kestrova::testing
