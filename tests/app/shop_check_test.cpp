// kestrova-combine check as a shop runs it before its first combine: ready
// or not, each thing to mend named, and nothing of the shop changed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "journal/journal_fixture.h"
#include "support/run_tool.h"

namespace kestrova::testing {
namespace {

// Every file of the folder with its bytes.
std::map<std::string, std::string> folderBytes(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files[entry.path().filename().string()] = readBytes(entry.path());
  }
  return files;
}

TEST(ShopCheckTest, TellsWhetherACombineCanRunAndChangesNothing) {
  const struct {
    const char* name;
    std::function<void(TestShop&)> damage;
    int status;
    std::vector<std::string> said;
    bool held = false;  // another program holds kestrova.mdb for writing
  } cases[] = {
      {"the sample shop", [](TestShop&) {}, 0,
       {"ARC2024.arc:\n  opened as a SQLite file", "Orders: found, with AutoID, Archive, CustID, EmplID; rows told "
        "apart by SQLite's rowid", "can be written", "Ready: a combine can run in this shop."}},
      {"an archive on a diskette", [](TestShop& shop) { std::filesystem::remove(shop.path("ARC2023.arc")); },
       0, {"ARC2023.arc: not in the folder: on a diskette in drive A", "Ready"}},
      {"a missing file", [](TestShop& shop) { std::filesystem::remove(shop.path("w_orders.mdb")); }, 1,
       {"Not ready: 1 thing to mend", "  w_orders.mdb: there is no such file"}},
      {"a missing table", [](TestShop& shop) { shop.db("mgmtdata.mdb").exec("DROP TABLE Invoices"); }, 1,
       {"  mgmtdata.mdb: there is no table Invoices"}},
      {"a missing column",
       [](TestShop& shop) {
         shop.db("mgmtdata.mdb").exec("DROP INDEX ServicesEmplID; ALTER TABLE Services DROP COLUMN EmplID");
       },
       1, {"  mgmtdata.mdb: table Services has no column EmplID"}},
      // Held from here once the bytes are read: closing any file of the
      // process would end its lock on the file.
      {"a file another program writes to", [](TestShop&) {}, 1,
       {"  kestrova.mdb: cannot be written: the file is in use by another program"}, true},
      {"an Access file without its driver",
       [](TestShop& shop) {
         std::ofstream(shop.path("kestrova.mdb"), std::ios::binary | std::ios::trunc)
             << std::string("\0\1\0\0Standard Jet DB\0", 20) << std::string(2028, '\0');
       },
       1, {"  kestrova.mdb: this is a Microsoft Access file"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestShop shop;
    tools::writeSampleShop(shop.folder());
    c.damage(shop);
    const auto before = folderBytes(shop.folder());
    std::unique_ptr<tools::ShopDb> holder;
    if (c.held) {
      holder = std::make_unique<tools::ShopDb>(shop.path("kestrova.mdb"));
      holder->exec("BEGIN IMMEDIATE");
    }
    const Outcome outcome = runTool("check");
    EXPECT_EQ(outcome.status, c.status) << outcome.output;
    for (const std::string& said : c.said) EXPECT_TRUE(contains(outcome.output, said)) << said << "\n" << outcome.output;
    holder.reset();
    EXPECT_EQ(folderBytes(shop.folder()), before) << "the check changed or left a file";
  }
  TestShop shop;
  for (const char* usage : {"check more", "check --yes", "check --journal j", "check --colour"}) {
    EXPECT_EQ(runTool(usage).status, 2) << usage;
  }
}

}  // namespace
}  // namespace kestrova::testing
