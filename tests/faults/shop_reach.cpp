#include "shop_reach.h"

#include <utility>

#include "shop_builder/shop_builder.h"

namespace kestrova::testing {
namespace {

// The sample shop's duplicates: customers 1000002 -> 1000001, vehicles
// 2000002 -> 2000001, employees 111-22-4444 (JOEY) -> 111-22-3333.
constexpr char kFromCustomer[] = "1000002";
constexpr char kToCustomer[] = "1000001";
constexpr char kFromVehicle[] = "2000002";
constexpr char kFromEmployee[] = "111-22-4444";
constexpr char kFromNickname[] = "JOEY";

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The rows each kind may change, by file ("*.arc" for every archive) and table.
std::map<std::string, std::map<std::string, std::string>> reachOf(Kind kind) {
  const std::string customer = quoted(kFromCustomer);
  const std::string vehicle = quoted(kFromVehicle);
  const std::string employee = quoted(kFromEmployee);
  switch (kind) {
    case Kind::kVehicle:
      return {{"kestrova.mdb", {{"History", "AutoID = " + vehicle}}},
              {"mgmtdata.mdb", {{"Services", "AutoID = " + vehicle}, {"Orders", "AutoID = " + vehicle}}},
              {"w_orders.mdb", {{"Orders", "AutoID = " + vehicle}}},
              {"*.arc", {{"Orders", "AutoID = " + vehicle}}}};
    case Kind::kCustomer:
      return {{"kestrova.mdb", {{"Automobile", "CustID = " + customer}}},
              {"mgmtdata.mdb",
               {{"ARBillings", "CustID IN (" + customer + ", " + quoted(kToCustomer) + ")"},
                {"Invoices", "CustID = " + customer},
                {"Orders", "CustID = " + customer},
                {"Payments", "CustID = " + customer}}},
              {"w_orders.mdb", {{"Orders", "CustID = " + customer}}},
              {"*.arc", {{"Orders", "CustID = " + customer}}}};
    case Kind::kEmployee:
      break;
  }
  const std::string tasks = "Tech IN ('~" + std::string(kFromEmployee) + "', " + quoted(kFromNickname) + ")";
  return {{"kestrova.mdb", {{"Labor", "IDNumber = " + employee}}},
          {"mgmtdata.mdb",
           {{"Invoices", "EmplID = " + employee},
            {"Services", "EmplID = " + employee},
            {"TimeSheets", "IDNumber = " + employee},
            {"Orders", "EmplID = " + employee}}},
          {"w_orders.mdb", {{"Orders", "EmplID = " + employee}, {"Tasks", tasks}, {"Techs", "TechID = " + employee}}},
          {"*.arc", {{"Orders", "EmplID = " + employee}, {"Tasks", tasks}, {"Techs", "TechID = " + employee}}}};
}

std::string predicateFor(const std::map<std::string, std::map<std::string, std::string>>& reach,
                         const std::string& file, const std::string& table) {
  const std::string key = file.ends_with(".arc") ? "*.arc" : file;
  const auto byFile = reach.find(key);
  if (byFile == reach.end()) return {};
  const auto byTable = byFile->second.find(table);
  return byTable == byFile->second.end() ? std::string() : byTable->second;
}

}  // namespace

const std::vector<KindCase>& sampleCombines() {
  static const std::vector<KindCase> cases = {
      {Kind::kVehicle, "Vehicle", {"vehicle", kFromVehicle, "2000001"}},
      {Kind::kCustomer, "Customer", {"customer", kFromCustomer, kToCustomer, "--yes"}},
      {Kind::kEmployee, "Employee", {"employee", kFromEmployee, "111-22-3333"}},
  };
  return cases;
}

void addRowsOfDuplicates(const std::filesystem::path& folder, int rows) {
  const std::string n = std::to_string(rows);
  const std::string series = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + n + ") ";
  // Orders of all three duplicates at once, spread over both archives and
  // over the marks that name no archive.
  const std::string archiveMark = "CASE i % 4 WHEN 0 THEN 'ARC2023' WHEN 1 THEN 'ARC2024' WHEN 2 THEN NULL ELSE '' END";
  const std::string tech = "CASE i % 3 WHEN 0 THEN 'JOEY' WHEN 1 THEN '~111-22-4444' ELSE 'MIA' END";

  tools::ShopDb main(folder / "kestrova.mdb");
  main.exec("BEGIN");
  main.exec(series + "INSERT INTO History SELECT '2000002', '2024-01-01', i, 'Thick', 1 FROM n");
  main.exec(series + "INSERT INTO Automobile SELECT 2100000 + i, '1000002', 'Make', 'Model', 2001, 'T' || i FROM n");
  main.exec(series + "INSERT INTO Labor SELECT '111-22-4444', '2024-01-01', 1, 40, 'WT' || i FROM n");
  main.exec("COMMIT");

  tools::ShopDb management(folder / "mgmtdata.mdb");
  management.exec("BEGIN");
  management.exec(series + "INSERT INTO Services SELECT '2000002', '111-22-4444', '2024-01-01', 'Thick', 1 FROM n");
  management.exec(series + "INSERT INTO Orders SELECT 'WT' || i, '2000002', '1000002', '111-22-4444', " + archiveMark +
                  ", '2024-01-01', i FROM n");
  management.exec(series +
                  "INSERT INTO ARBillings SELECT CASE i % 2 WHEN 0 THEN '1000002' ELSE '1000001' END, "
                  "'2024-01-01', i, '2024-02-01' FROM n");
  management.exec(series + "INSERT INTO Invoices SELECT 'IT' || i, '1000002', '111-22-4444', '2024-01-01', i FROM n");
  management.exec(series +
                  "INSERT INTO Payments SELECT 'PT' || i, '1000002', "
                  "CASE i % 3 WHEN 0 THEN 'AR1000002' WHEN 1 THEN 'WT' || i ELSE NULL END, '2024-01-01', i FROM n");
  management.exec(series + "INSERT INTO TimeSheets SELECT '111-22-4444', '2024-01-01', '08:00', '16:00' FROM n");
  management.exec("COMMIT");

  for (const char* file : {"w_orders.mdb", "ARC2023.arc", "ARC2024.arc"}) {
    tools::ShopDb orders(folder / file);
    orders.exec("BEGIN");
    orders.exec(series +
                "INSERT INTO Orders SELECT 'WT' || i, '2000002', '1000002', '111-22-4444', '2024-01-01', "
                "'closed' FROM n");
    orders.exec(series + "INSERT INTO Tasks SELECT 'WT' || i, " + tech + ", 'Thick', 1 FROM n");
    if (!orders.query("SELECT 1 FROM sqlite_master WHERE name = 'Techs'").empty()) {
      orders.exec(series + "INSERT INTO Techs SELECT '111-22-4444', i % 8, 'yes' FROM n WHERE i % 50 = 0");
    }
    orders.exec("COMMIT");
  }
}

CombineReach::CombineReach(std::filesystem::path original, Kind kind)
    : original_(std::move(original)), reach_(reachOf(kind)) {}

std::vector<std::string> CombineReach::changesOutsideReach(const std::filesystem::path& folder) const {
  std::vector<std::string> changes;
  const std::vector<std::string> files = shopFilesIn(original_);
  if (shopFilesIn(folder) != files) changes.push_back("the folder holds other files than before");
  for (const std::string& file : files) {
    if (!std::filesystem::exists(folder / file)) continue;
    tools::ShopDb db(folder / file);
    db.exec("ATTACH DATABASE " + sqlLiteral((original_ / file).string()) + " AS original");
    for (const tools::Row& row : db.query("SELECT name FROM original.sqlite_master WHERE type = 'table'")) {
      const std::string table = "\"" + *row[0] + "\"";
      const std::string predicate = predicateFor(reach_, file, *row[0]);
      // Rows the combine may not touch must all be there as they were, and
      // no row may be added.
      const std::string outside = predicate.empty() ? "" : " WHERE (" + predicate + ") IS NOT 1";
      const std::string count = *db.scalar("SELECT (SELECT count(*) FROM (SELECT rowid, * FROM original." + table +
                                           outside + " EXCEPT SELECT rowid, * FROM main." + table +
                                           ")) + (SELECT count(*) FROM (SELECT rowid FROM main." + table +
                                           " EXCEPT SELECT rowid FROM original." + table + "))");
      if (count != "0") changes.push_back(file + " " + *row[0] + ": " + count + " rows");
    }
    db.exec("DETACH DATABASE original");
  }
  return changes;
}

std::vector<std::string> CombineReach::rowsLeftToCombine(const std::filesystem::path& folder) const {
  std::vector<std::string> left;
  for (const std::string& file : shopFilesIn(folder)) {
    tools::ShopDb db(folder / file);
    for (const tools::Row& row : db.query("SELECT name FROM sqlite_master WHERE type = 'table'")) {
      const std::string predicate = predicateFor(reach_, file, *row[0]);
      if (predicate.empty()) continue;
      const long long count = db.count(*row[0], predicate);
      if (count > 0) left.push_back(file + " " + *row[0] + ": " + std::to_string(count) + " rows");
    }
  }
  return left;
}

}  // namespace kestrova::testing
