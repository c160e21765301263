// Walks over one file share its batch: nothing of them reaches the file
// until the file is left, saved or closed, and a save that fails names every
// walk it lost, leaves the file as it was, and takes their entries out of
// the journal.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/journal_store.h"
#include "data/shop_data_control.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova {
namespace {

using data::Status;

class WalkBatchTest : public ::testing::Test {
 protected:
  void SetUp() override { shop.createFiles(); }

  // The rows the walks change, and others; what was there goes.
  void fill() {
    shop.db("kestrova.mdb").exec(R"(
DELETE FROM History; DELETE FROM Labor;
INSERT INTO History (AutoID, Description) VALUES ('5000005','a1'), ('1000001','b'), ('5000005','a2');
INSERT INTO Labor (IDNumber, OrderNumber) VALUES ('111-22-3333','o1'), ('999-99-9999','o2');
)");
  }

  // Walks over History and Labor of kestrova.mdb, each ended as a combine
  // ends its walks.
  static void walkTwoTables(data::ShopDataControl& gateway) {
    const auto walk = [&](const std::string& source, const std::string& column, const std::string& value) {
      gateway.setDatabaseName("kestrova.mdb");
      gateway.setRecordSource(source);
      ASSERT_TRUE(gateway.refresh().isOk());
      ASSERT_TRUE(gateway.updateToEnd(column, value, [](const Status& failed) { FAIL() << failed.message(); }).isOk());
      ASSERT_TRUE(gateway.endWalk().isOk());
    };
    walk("Select AutoID from History where AutoID = '5000005'", "AutoID", "2000002");
    walk("Select IDNumber from Labor where IDNumber = '111-22-3333'", "IDNumber", "111-22-4444");
  }

  // Whether the file's walks wait for one save: an engine without
  // savepoints (the Access driver) saves each walk as it ends instead.
  bool walksShareBatch() {
    std::unique_ptr<data::DatabaseStore> store;
    return engine->open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk() && store->walksShareBatch();
  }

  long long changedRows() {
    tools::ShopDb db = shop.db("kestrova.mdb");
    return db.count("History", "AutoID = '2000002'") + db.count("Labor", "IDNumber = '111-22-4444'");
  }

  testing::TestShop shop;
  std::unique_ptr<data::StoreEngine> engine = testing::makeStoreEngine(std::chrono::milliseconds(100));
};

TEST_F(WalkBatchTest, TheFilesWalksReachItTogetherWhenItIsLeftSavedOrClosed) {
  if (!walksShareBatch()) GTEST_SKIP() << "the engine saves each walk as it ends";
  struct Case {
    const char* end;
    std::function<Status(data::ShopDataControl&)> act;
    long long rowsAfter;  // 3 once both walks are saved
  };
  const auto openNext = [](const char* file) {
    return [file](data::ShopDataControl& gateway) {
      gateway.setDatabaseName(file);
      gateway.setRecordSource("Select CustID from Customers");
      return gateway.refresh();
    };
  };
  const std::vector<Case> cases = {
      {"another file is opened",
       [](data::ShopDataControl& g) {
         g.setDatabaseName("mgmtdata.mdb");
         g.setRecordSource("Select CustID from Orders");
         return g.refresh();
       },
       3},
      {"the same file is named again", openNext("kestrova.mdb"), 0},
      {"commitWrites", [](data::ShopDataControl& g) { return g.commitWrites(); }, 3},
      {"close", [](data::ShopDataControl& g) { return g.close(); }, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.end);
    fill();
    data::ShopDataControl gateway(*engine);
    walkTwoTables(gateway);
    EXPECT_EQ(changedRows(), 0) << "a walk reached the file before its batch was saved";
    EXPECT_TRUE(c.act(gateway).isOk());
    EXPECT_EQ(changedRows(), c.rowsAfter);
    EXPECT_TRUE(gateway.close().isOk());
    EXPECT_EQ(changedRows(), 3);
  }
}

// A reader that holds the file past the wait keeps the save from happening:
// both walks are lost together, the Status names them, the file and the
// journal hold nothing of them, and the same walks saved later succeed.
TEST_F(WalkBatchTest, ASaveThatFailsNamesEveryWalkItLostAndTakesTheirEntriesOut) {
  if (!walksShareBatch()) GTEST_SKIP() << "the engine saves each walk as it ends";
  for (const bool journaled : {false, true}) {
    SCOPED_TRACE(journaled ? "journaled" : "not journaled");
    fill();
    const std::string journalName = journaled ? "run.journal" : "";
    std::unique_ptr<data::Journal> journal;
    std::unique_ptr<data::JournalEngine> journalEngine;
    if (journaled) {
      ASSERT_TRUE(data::Journal::create(shop.path(journalName), &journal).isOk());
      journalEngine = std::make_unique<data::JournalEngine>(*engine, *journal);
    }
    data::ShopDataControl gateway(journaled ? static_cast<data::StoreEngine&>(*journalEngine) : *engine);
    const std::string before = shop.snapshot("kestrova.mdb");
    walkTwoTables(gateway);
    Status saved;
    {
      tools::ShopDb reader = shop.db("kestrova.mdb");
      reader.exec("BEGIN; SELECT count(*) FROM History;");
      saved = gateway.commitWrites();
      reader.exec("COMMIT");
    }
    EXPECT_EQ(saved.code(), Status::Code::kChangesUndone) << saved.message();
    EXPECT_NE(saved.reason().find("History, Labor"), std::string::npos) << saved.message();
    EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
    if (journaled) {
      std::vector<data::JournalEntry> entries;
      ASSERT_TRUE(journal->readEntries(&entries).isOk());
      EXPECT_TRUE(entries.empty()) << entries.size() << " entries of changes that were not made";
    }
    walkTwoTables(gateway);
    EXPECT_TRUE(gateway.close().isOk());
    EXPECT_EQ(changedRows(), 3);
    if (journaled) {
      std::vector<data::JournalEntry> entries;
      ASSERT_TRUE(journal->readEntries(&entries).isOk());
      EXPECT_EQ(entries.size(), 3u);
    }
  }
}

}  // namespace
}  // namespace kestrova
