// Helpers for tests of the vehicle combine: a vehicle's rows in every table
// that refers to it, and the rows a file should hold afterwards, made by
// plain SQL on a copy of the file.

#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "support/test_shop.h"

namespace kestrova::testing {

// Gives vehicle `id` its own record, two History rows, a service, an open
// order in both orders tables, and an archived order in mgmtdata.mdb that
// names `archive` and lies in `archive`.arc (made when missing, in the
// shop's folder).
inline void addVehicle(TestShop& shop, const std::string& id, const std::string& archive) {
  shop.db("kestrova.mdb").run("INSERT INTO Automobile (AutoID, CustID, Make) VALUES (?, '1000001', 'Ford')", {id});
  shop.db("kestrova.mdb")
      .run("INSERT INTO History (AutoID, Description) VALUES (?1, 'oil ' || ?1), (?1, 'brakes ' || ?1)", {id});
  shop.db("mgmtdata.mdb").run("INSERT INTO Services (AutoID, Description) VALUES (?, 'tyres')", {id});
  shop.db("mgmtdata.mdb")
      .run("INSERT INTO Orders (OrderNumber, AutoID, Archive) VALUES ('open', ?1, NULL), ('old', ?1, ?2)",
           {id, archive});
  shop.db("w_orders.mdb").run("INSERT INTO Orders (OrderNumber, AutoID) VALUES ('open', ?)", {id});
  if (!std::filesystem::exists(shop.path(archive + ".arc"))) shop.createArchive(archive);
  shop.db(archive + ".arc").run("INSERT INTO Orders (OrderNumber, AutoID) VALUES ('old', ?)", {id});
}

// The snapshot `fileName` would have after `statements`, run with ?1 bound
// to `from` and ?2 to `to`. The shop's own file is not touched.
inline std::string snapshotAfter(const TestShop& shop, std::string_view fileName,
                                 std::initializer_list<std::string_view> statements, const std::string& from,
                                 const std::string& to) {
  const std::filesystem::path copies = shop.path("expected");
  std::filesystem::create_directories(copies);
  const std::string copy = "expected/" + std::string(fileName);
  std::filesystem::copy_file(shop.path(fileName), shop.path(copy), std::filesystem::copy_options::overwrite_existing);
  {
    tools::ShopDb db = shop.db(copy);
    for (std::string_view sql : statements) db.run(sql, {from, to});
  }
  std::string snapshot = shop.snapshot(copy);
  std::filesystem::remove(shop.path(copy));
  return snapshot;
}

// The statements that re-point a vehicle in each of the shop's files.
inline constexpr std::string_view kHistoryRepointed = "UPDATE History SET AutoID = ?2 WHERE AutoID = ?1";
inline constexpr std::string_view kServicesRepointed = "UPDATE Services SET AutoID = ?2 WHERE AutoID = ?1";
inline constexpr std::string_view kOrdersRepointed = "UPDATE Orders SET AutoID = ?2 WHERE AutoID = ?1";

}  // namespace kestrova::testing
