// The vehicle combine end to end on a shop's files: what moves, what stays,
// and IDs that carry SQL.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_shop.h"
#include "support/vehicle_shop.h"

namespace kestrova {
namespace {

using combine::CombineKind;
using testing::addVehicle;
using ::testing::ElementsAre;
using testing::kHistoryRepointed;
using testing::kOrdersRepointed;
using testing::kServicesRepointed;
using testing::RecordingUi;
using testing::snapshotAfter;

// What the user saw of a run: beeps, prompts and messages.
std::vector<std::string> shown(const RecordingUi& ui) {
  std::vector<std::string> seen;
  for (const std::string& event : ui.events) {
    if (event == "beep" || event.starts_with("diskette") || event.starts_with("message")) seen.push_back(event);
  }
  return seen;
}

class VehicleCombineTest : public ::testing::Test {
 protected:
  void SetUp() override { shop.createFiles(); }

  struct Expected {
    std::string main, management, workOrders;
  };
  Expected expectedFor(const std::string& from, const std::string& to) {
    return {snapshotAfter(shop, "kestrova.mdb", {kHistoryRepointed}, from, to),
            snapshotAfter(shop, "mgmtdata.mdb", {kServicesRepointed, kOrdersRepointed}, from, to),
            snapshotAfter(shop, "w_orders.mdb", {kOrdersRepointed}, from, to)};
  }
  void expectFiles(const Expected& expected) {
    EXPECT_EQ(shop.snapshot("kestrova.mdb"), expected.main);
    EXPECT_EQ(shop.snapshot("mgmtdata.mdb"), expected.management);
    EXPECT_EQ(shop.snapshot("w_orders.mdb"), expected.workOrders);
  }

  testing::TestShop shop;
};

TEST_F(VehicleCombineTest, EveryRowOfTheFromVehicleMovesAndNoOtherRowChanges) {
  addVehicle(shop, "2000002", "ARC1");
  addVehicle(shop, "2000001", "ARC1");
  addVehicle(shop, "2000003", "ARC2");
  const Expected expected = expectedFor("2000002", "2000001");
  const std::string archive1 = snapshotAfter(shop, "ARC1.arc", {kOrdersRepointed}, "2000002", "2000001");
  const std::string archive2 = shop.bytes("ARC2.arc");

  RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
  const app::RunReport report = shop.combine(ui);

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_THAT(shown(ui), ElementsAre("message none: Done."));
  expectFiles(expected);
  EXPECT_EQ(shop.snapshot("ARC1.arc"), archive1);
  EXPECT_EQ(shop.bytes("ARC2.arc"), archive2);
  // The To vehicle ends with both histories; the From vehicle's own record stays.
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '2000001'"), 4);
  EXPECT_EQ(shop.db("kestrova.mdb").count("Automobile", "AutoID = '2000002'"), 1);
}

TEST_F(VehicleCombineTest, AVehicleWithNoRowsChangesNoByteAndShowsOnlyDone) {
  addVehicle(shop, "2000001", "ARC1");
  const std::vector<std::string> files = {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb", "ARC1.arc"};
  std::vector<std::string> before;
  for (const std::string& file : files) before.push_back(shop.bytes(file));

  RecordingUi ui(CombineKind::kVehicle, "2000009", "2000001");
  shop.combine(ui);

  EXPECT_THAT(ui.progressValues(), ElementsAre(0, 20, 40, 60, 80, 100, 100));
  EXPECT_THAT(shown(ui), ElementsAre("message none: Done."));
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(shop.bytes(files[i]), before[i]) << files[i];
}

// Put between quotes as it stands, each of the first two IDs would end the
// literal early and select every row of every table; the third holds a
// character beyond the first 65,536, which a driver without wide entry
// points would cut the statement at.
TEST_F(VehicleCombineTest, AFromIdWithQuotesOrAnyCharacterChangesOnlyItsOwnRows) {
  for (const std::string quoted : {"'OR''='", "'OR 1--", "200\xF0\x9F\x9A\x97" "001"}) {
    SCOPED_TRACE(quoted);
    testing::TestShop fresh;  // the current folder while it lives
    fresh.createFiles();
    addVehicle(fresh, quoted, "ARCQ");
    addVehicle(fresh, "2000001", "ARCO");
    addVehicle(fresh, "2000003", "ARCO");
    addVehicle(fresh, "", "ARCO");
    addVehicle(fresh, "OR", "ARCQ");
    const std::string main = snapshotAfter(fresh, "kestrova.mdb", {kHistoryRepointed}, quoted, "2000009");
    const std::string management =
        snapshotAfter(fresh, "mgmtdata.mdb", {kServicesRepointed, kOrdersRepointed}, quoted, "2000009");
    const std::string workOrders = snapshotAfter(fresh, "w_orders.mdb", {kOrdersRepointed}, quoted, "2000009");
    const std::string archiveQ = snapshotAfter(fresh, "ARCQ.arc", {kOrdersRepointed}, quoted, "2000009");
    const std::string archiveO = fresh.bytes("ARCO.arc");

    RecordingUi ui(CombineKind::kVehicle, quoted, "2000009");
    const app::RunReport report = fresh.combine(ui);

    EXPECT_TRUE(report.everyChangeMade());
    EXPECT_THAT(shown(ui), ElementsAre("message none: Done."));
    EXPECT_EQ(fresh.snapshot("kestrova.mdb"), main);
    EXPECT_EQ(fresh.snapshot("mgmtdata.mdb"), management);
    EXPECT_EQ(fresh.snapshot("w_orders.mdb"), workOrders);
    EXPECT_EQ(fresh.snapshot("ARCQ.arc"), archiveQ);
    EXPECT_EQ(fresh.bytes("ARCO.arc"), archiveO);
    EXPECT_EQ(fresh.db("kestrova.mdb").count("History", "AutoID = '2000009'"), 2);
  }
}

// A pass whose file cannot be opened changes nothing there; the passes on
// the other files still do their work, and the run says what it missed.
TEST_F(VehicleCombineTest, AFileThatCannotBeOpenedLeavesTheOtherFilesCombined) {
  addVehicle(shop, "2000002", "ARC1");
  addVehicle(shop, "2000003", "ARC1");
  const Expected expected = expectedFor("2000002", "2000001");
  const std::string archive = snapshotAfter(shop, "ARC1.arc", {kOrdersRepointed}, "2000002", "2000001");
  const std::string workOrders = shop.bytes("w_orders.mdb");
  {
    tools::ShopDb other = shop.db("w_orders.mdb");
    other.exec("BEGIN EXCLUSIVE");

    RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
    const app::RunReport report = shop.combine(ui);

    EXPECT_FALSE(report.everyChangeMade());
    const std::vector<std::string> messages = ui.eventsStartingWith("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_THAT(messages[0], ::testing::StartsWith("message warning: Done."));
    EXPECT_THAT(messages[0], ::testing::HasSubstr("w_orders.mdb"));
    other.exec("ROLLBACK");
  }
  EXPECT_EQ(shop.snapshot("kestrova.mdb"), expected.main);
  EXPECT_EQ(shop.snapshot("mgmtdata.mdb"), expected.management);
  EXPECT_EQ(shop.bytes("w_orders.mdb"), workOrders);
  EXPECT_EQ(shop.snapshot("ARC1.arc"), archive);
}

}  // namespace
}  // namespace kestrova
