// kestrova-sample-shop: writes a sample shop into a new folder, for trying
// the combining tool, for its tests and for its benchmark.

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "shop_builder/shop_builder.h"

namespace {

constexpr char kUsage[] =
    R"(Usage: kestrova-sample-shop FOLDER [--scale X] [--seed N] [--archives N] [--benchmark-records]

Writes kestrova.mdb, mgmtdata.mdb, w_orders.mdb and the archive files
ARC2023.arc and ARC2024.arc into FOLDER, which is created if needed and must
not hold shop files yet. The shop holds duplicates worth combining:
  customers 1000002 -> 1000001, vehicles 2000002 -> 2000001,
  employees 111-22-4444 -> 111-22-3333.
  --scale X  add generated rows of other customers, vehicles and employees;
             1.0 gives a large shop of a million History rows (default 0)
  --seed N   the seed of the generated rows (default 20261208)
  --archives N
             with --scale, also write N generated archive files ARCH01.arc,
             ..., each of 20,000 orders at scale 1.0, named by half of the
             generated management orders (default 0)
  --benchmark-records
             with --scale and --archives 50, add the benchmark's records:
             fleet customer 5100001, vehicle 5200001 and employee
             900-00-0001 with about 100,000 rows each, and smaller ones
The same options always write the same rows.
)";

}  // namespace

int main(int argc, char** argv) {
  kestrova::tools::SampleShopOptions options;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (word == "--benchmark-records") {
      options.benchmarkRecords = true;
    } else if ((word == "--scale" || word == "--seed" || word == "--archives") && i + 1 < argc) {
      const std::string value = argv[++i];
      try {
        if (word == "--scale") {
          options.scale = std::stod(value);
        } else if (word == "--archives") {
          options.archiveFiles = std::stoi(value);
        } else {
          options.seed = std::stoull(value);
        }
      } catch (const std::exception&) {
        std::cerr << "kestrova-sample-shop: " << word << " wants a number, not '" << value << "'\n";
        return 64;
      }
    } else if (folder.empty() && !word.starts_with("-")) {
      folder = word;
    } else {
      std::cerr << kUsage;
      return 64;
    }
  }
  if (folder.empty()) {
    std::cerr << kUsage;
    return 64;
  }
  try {
    kestrova::tools::writeSampleShop(folder, options);
  } catch (const std::exception& error) {
    std::cerr << "kestrova-sample-shop: " << error.what() << '\n';
    return 1;
  }
  std::cout << "Sample shop written to " << folder << '\n';
  return 0;
}
