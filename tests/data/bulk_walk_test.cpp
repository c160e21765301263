// Walks that the gateway makes many rows at a time (updateToEnd,
// deleteToEnd, held updates): every row still gets the outcome it would get
// alone. A row the database refuses is left as it was and told once; a row
// removed by another program is told as gone; every other row is changed.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "data/shop_data_control.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova {
namespace {

using data::Status;
using Code = Status::Code;

// More rows than one statement takes, so that a refusal falls in a middle chunk.
constexpr int kRows = 600;
constexpr int kRefusedRow = 377;  // its Description is "refuse"
constexpr int kGoneRow = 123;     // removed by another program after the set opened

enum class Walk { kUpdateToEnd, kHeldUpdates, kHeldManyKinds, kDeleteToEnd };
enum class Trouble { kNone, kRefusedRow, kGoneRow };

struct Case {
  const char* name;
  Walk walk;
  Trouble trouble;
};

TEST(BulkWalkTest, EveryRowGetsItsOwnOutcome) {
  const Case cases[] = {
      {"update, clean", Walk::kUpdateToEnd, Trouble::kNone},
      {"update, a refused row", Walk::kUpdateToEnd, Trouble::kRefusedRow},
      {"update, a row gone", Walk::kUpdateToEnd, Trouble::kGoneRow},
      {"held, clean", Walk::kHeldUpdates, Trouble::kNone},
      {"held, a refused row", Walk::kHeldUpdates, Trouble::kRefusedRow},
      {"held, a row gone", Walk::kHeldUpdates, Trouble::kGoneRow},
      {"held, seven kinds of writes in turn, a refused row", Walk::kHeldManyKinds, Trouble::kRefusedRow},
      {"delete, clean", Walk::kDeleteToEnd, Trouble::kNone},
      {"delete, a refused row", Walk::kDeleteToEnd, Trouble::kRefusedRow},
      {"delete, a row gone", Walk::kDeleteToEnd, Trouble::kGoneRow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TestShop shop;
    shop.createFiles();
    {
      tools::ShopDb main = shop.db("kestrova.mdb");
      main.exec("BEGIN");
      for (int i = 0; i < kRows; ++i) {
        main.run("INSERT INTO History (rowid, AutoID, Description) VALUES (?, '5000005', ?)",
                 {std::to_string(2 * i + 1), i == kRefusedRow ? "refuse" : "n" + std::to_string(i)});
        main.run("INSERT INTO History (AutoID, Description) VALUES ('1000001', 'other')", {});
      }
      main.exec("COMMIT");
      if (c.trouble == Trouble::kRefusedRow) {
        main.exec(R"(
CREATE TRIGGER RefuseUpdate BEFORE UPDATE ON History WHEN old.Description = 'refuse'
  BEGIN SELECT RAISE(ABORT, 'refused'); END;
CREATE TRIGGER RefuseDelete BEFORE DELETE ON History WHEN old.Description = 'refuse'
  BEGIN SELECT RAISE(ABORT, 'refused'); END;)");
      }
    }

    const std::unique_ptr<data::StoreEngine> engine = testing::makeStoreEngine(std::chrono::milliseconds(200));
    data::ShopDataControl gateway{*engine};
    gateway.setDatabaseName("kestrova.mdb");
    gateway.setRecordSource("Select AutoID,Description from History where AutoID = '5000005'");
    ASSERT_TRUE(gateway.refresh().isOk());
    if (c.trouble == Trouble::kGoneRow) {
      shop.db("kestrova.mdb").run("DELETE FROM History WHERE rowid = ?", {std::to_string(2 * kGoneRow + 1)});
    }

    std::vector<Status> failures;
    const std::function<void(const Status&)> failed = [&](const Status& s) { failures.push_back(s); };
    switch (c.walk) {
      case Walk::kUpdateToEnd:
        ASSERT_TRUE(gateway.updateToEnd("AutoID", "7000007", failed).isOk());
        break;
      case Walk::kHeldUpdates:
        // Rows that get different writes, as the payments' order numbers do.
        for (int i = 0; i < kRows; ++i) {
          ASSERT_TRUE(gateway.edit().isOk());
          ASSERT_TRUE(gateway.setField("AutoID", "7000007").isOk());
          if (i % 3 == 0) {
            ASSERT_TRUE(gateway.setField("Description", "third").isOk());
          }
          ASSERT_TRUE(gateway.holdUpdate().isOk());
          ASSERT_TRUE(gateway.moveNext().isOk());
        }
        ASSERT_TRUE(gateway.saveHeldUpdates(failed).isOk());
        break;
      case Walk::kHeldManyKinds:
        // More kinds than the gateway looks back at while holding them.
        for (int i = 0; i < kRows; ++i) {
          ASSERT_TRUE(gateway.edit().isOk());
          ASSERT_TRUE(gateway.setField("AutoID", "7000007").isOk());
          ASSERT_TRUE(gateway.setField("Description", "kind " + std::to_string(i % 7)).isOk());
          ASSERT_TRUE(gateway.holdUpdate().isOk());
          ASSERT_TRUE(gateway.moveNext().isOk());
        }
        ASSERT_TRUE(gateway.saveHeldUpdates(failed).isOk());
        break;
      case Walk::kDeleteToEnd:
        ASSERT_TRUE(gateway.deleteToEnd(failed).isOk());
        break;
    }
    bool atEnd = false;
    ASSERT_TRUE(gateway.eof(&atEnd).isOk());
    EXPECT_TRUE(atEnd);
    ASSERT_TRUE(gateway.commitWrites().isOk());
    gateway.close();

    // The one troubled row is told, with the reason it would have alone.
    if (c.trouble == Trouble::kNone) {
      EXPECT_TRUE(failures.empty());
    } else {
      ASSERT_EQ(failures.size(), 1u);
      EXPECT_EQ(failures[0].code(), c.trouble == Trouble::kRefusedRow ? Code::kRowRefused : Code::kRowGone);
    }
    const int left = c.trouble == Trouble::kRefusedRow ? 1 : 0;
    const int gone = c.trouble == Trouble::kGoneRow ? 1 : 0;
    tools::ShopDb main = shop.db("kestrova.mdb");
    EXPECT_EQ(main.count("History", "AutoID = '1000001'"), kRows);
    EXPECT_EQ(main.count("History", "AutoID = '5000005'"), left);
    if (c.walk == Walk::kDeleteToEnd) {
      EXPECT_EQ(main.count("History", "AutoID = '7000007'"), 0);
    } else {
      EXPECT_EQ(main.count("History", "AutoID = '7000007'"), kRows - left - gone);
    }
    if (c.walk == Walk::kHeldUpdates) {
      // Every third row also got its second write; the refused row neither.
      const int thirds = kRows / 3 - (c.trouble == Trouble::kGoneRow && kGoneRow % 3 == 0 ? 1 : 0) -
                         (c.trouble == Trouble::kRefusedRow && kRefusedRow % 3 == 0 ? 1 : 0);
      EXPECT_EQ(main.count("History", "Description = 'third'"), thirds);
    }
    if (c.walk == Walk::kHeldManyKinds) {
      EXPECT_EQ(main.count("History", "Description = 'kind ' || (rowid / 2 % 7)"), kRows - left);
    }
    if (c.trouble == Trouble::kRefusedRow) {
      EXPECT_EQ(main.count("History", "Description = 'refuse' AND AutoID = '5000005'"), 1);
    }
  }
}

}  // namespace
}  // namespace kestrova
