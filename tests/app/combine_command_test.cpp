// The combine command through its user interface: the checks of the IDs,
// the busy state and the common end in their order, the closing message, and
// test mode.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/id_text.h"
#include "data/shop_path.h"
#include "support/scoped_env.h"
#include "support/test_shop.h"
#include "support/vehicle_shop.h"

namespace kestrova {
namespace {

using app::RunReport;
using combine::CombineKind;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::RecordingUi;
using testing::ScopedEnv;

constexpr char kRefusal[] = "message critical: Not all vehicle IDs have been entered.";

std::vector<std::string> filesOf(const testing::TestShop& shop) {
  return {shop.snapshot("kestrova.mdb"), shop.snapshot("mgmtdata.mdb"), shop.snapshot("w_orders.mdb"),
          shop.snapshot("ARC1.arc")};
}

class CombineCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.createFiles();
    testing::addVehicle(shop, "2000002", "ARC1");
    testing::addVehicle(shop, "2000001", "ARC1");
    testing::addVehicle(shop, "AB00002", "ARC1");
  }

  testing::TestShop shop;
  ScopedEnv noDiskette{"KESTROVA_DRIVE_A", std::nullopt};
};

TEST_F(CombineCommandTest, ARefusedIdBeepsOnceShowsOneMessageAndTouchesNothingElse) {
  struct Case {
    const char* from;
    const char* to;
  };
  const Case cases[] = {
      {"200000", "2000001"},
      {"20000020", "2000001"},
      {"2000002 ", "2000001"},
      {" 2000002", "2000001"},
      {"2000002", "200000"},
      {"2000002", "20000010"},
      {"2000002", "2000001 "},
      {"20", "20"},
      {"", ""},
      {"ab0002", "2000001"},
  };
  const std::vector<std::string> before = filesOf(shop);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.from + "' -> '" + c.to + "'");
    RecordingUi ui(CombineKind::kVehicle, c.from, c.to);
    const RunReport report = shop.combine(ui);
    EXPECT_EQ(report.outcome, RunReport::Outcome::kRefused);
    EXPECT_THAT(ui.events, ElementsAre("box 2 = " + app::upperCased(c.from),
                                       "box 3 = " + app::upperCased(c.to), "beep", kRefusal));
  }
  EXPECT_EQ(filesOf(shop), before);
}

TEST_F(CombineCommandTest, LowerCaseLettersAreUpperCasedIntoTheBoxesAndAccepted) {
  RecordingUi ui(CombineKind::kVehicle, "ab00002", "zz00001");
  const RunReport report = shop.combine(ui);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kCompleted);
  EXPECT_THAT(std::vector(ui.events.begin(), ui.events.begin() + 2), ElementsAre("box 2 = AB00002", "box 3 = ZZ00001"));
  EXPECT_EQ(ui.boxes[2], "AB00002");
  EXPECT_EQ(ui.boxes[3], "ZZ00001");
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = 'ZZ00001'"), 2);
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = 'AB00002'"), 0);
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = 'zz00001'"), 0);
}

TEST_F(CombineCommandTest, TheBusyStateAndTheCommonEndComeInTheirOrder) {
  RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
  const RunReport report = shop.combine(ui);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kCompleted);
  EXPECT_THAT(ui.events,
              ElementsAre("box 2 = 2000002", "box 3 = 2000001", "label hidden", "progress 0", "panel shown",
                          "pointer wait", "progress 20", "progress 40", "progress 60", "progress 80", "progress 100",
                          "progress 100", "panel hidden", "pointer default", "label shown", "message none: Done."));
}

// With the archive missing, its prompt shows that the archive stage ran too.
TEST_F(CombineCommandTest, FromEqualToToRunsEveryPassAndChangesNoValue) {
  std::filesystem::rename(shop.path("ARC1.arc"), shop.path("ARC1.bak"));
  const std::string main = shop.snapshot("kestrova.mdb");
  const std::string management = shop.snapshot("mgmtdata.mdb");
  const std::string workOrders = shop.snapshot("w_orders.mdb");

  RecordingUi ui(CombineKind::kVehicle, "2000002", "2000002");
  const RunReport report = shop.combine(ui);

  EXPECT_EQ(report.outcome, RunReport::Outcome::kCompleted);
  EXPECT_THAT(ui.progressValues(), ElementsAre(0, 20, 40, 60, 80, 100, 100));
  EXPECT_THAT(ui.eventsStartingWith("diskette"), ::testing::SizeIs(1));
  EXPECT_EQ(shop.snapshot("kestrova.mdb"), main);
  EXPECT_EQ(shop.snapshot("mgmtdata.mdb"), management);
  EXPECT_EQ(shop.snapshot("w_orders.mdb"), workOrders);
}

// A run in which a file is missing still ends as every run does, but its
// closing message does not pass for plain success: it names the file. The
// other files are combined all the same, and the missing one is not made.
TEST_F(CombineCommandTest, AMissingDatabaseFileEndsWithTheCommonEndAndAWarningNamingIt) {
  for (const std::string missing : {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb"}) {
    SCOPED_TRACE(missing);
    testing::TestShop fresh;
    fresh.createFiles();
    testing::addVehicle(fresh, "2000002", "ARC1");
    std::filesystem::remove(fresh.path(missing));

    RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
    const RunReport report = fresh.combine(ui);

    EXPECT_EQ(report.outcome, RunReport::Outcome::kCompleted);
    ASSERT_GE(ui.events.size(), 5u);
    const std::vector<std::string> end(ui.events.end() - 5, ui.events.end() - 1);
    EXPECT_THAT(end, ElementsAre("progress 100", "panel hidden", "pointer default", "label shown"));
    EXPECT_THAT(ui.events.back(), ::testing::StartsWith("message warning: Done."));
    EXPECT_THAT(ui.events.back(), HasSubstr(missing));
    EXPECT_THAT(ui.eventsStartingWith("message"), ::testing::SizeIs(1));
    EXPECT_FALSE(std::filesystem::exists(fresh.path(missing)));
    if (missing != "kestrova.mdb") {
      EXPECT_EQ(fresh.db("kestrova.mdb").count("History", "AutoID = '2000001'"), 2);
    }
    if (missing != "w_orders.mdb") {
      EXPECT_EQ(fresh.db("w_orders.mdb").count("Orders", "AutoID = '2000001'"), 1);
    }
    EXPECT_EQ(fresh.db("ARC1.arc").count("Orders", "AutoID = '2000001'"), missing == "mgmtdata.mdb" ? 0 : 1);
  }
}

// The drive C of the shop's names stands for a folder; test mode makes its
// kestrova folder current, which holds a shop of its own.
class TestModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.createFiles();
    testing::addVehicle(shop, "2000002", "ARC1");
    std::filesystem::create_directories(testFolder);
    tools::createShopFiles(testFolder);
    tools::ShopDb(testFolder / "kestrova.mdb").exec("INSERT INTO History (AutoID) VALUES ('2000002')");
  }

  long long movedHere() { return shop.db("kestrova.mdb").count("History", "AutoID = '2000001'"); }
  long long movedInTestFolder() {
    return tools::ShopDb(testFolder / "kestrova.mdb").count("History", "AutoID = '2000001'");
  }

  testing::TestShop shop;
  std::filesystem::path driveC = shop.path("drive-c");
  std::filesystem::path testFolder = driveC / "kestrova";
  ScopedEnv mappedC{"KESTROVA_DRIVE_C", data::pathToUtf8(driveC)};
  ScopedEnv noDiskette{"KESTROVA_DRIVE_A", std::nullopt};
};

TEST_F(TestModeTest, TheTwoWordsAnywhereInAnyCaseSwitchToTheTestFolder) {
  struct Case {
    std::vector<std::string> commandLine;
    bool switches;
  };
  const Case cases[] = {
      {{"/x", "test", "mode", "/y"}, true},
      {{"TEST MODE"}, true},
      {{"-q", "tEsT", "MoDe"}, true},
      {{"contest", "model"}, true},  // the words are searched for anywhere in the line
      {{"testmode"}, false},
      {{"test  mode"}, false},
      {{"test", "", "mode"}, false},
      {{"test-mode"}, false},
      {{}, false},
  };
  const std::filesystem::path start = std::filesystem::current_path();
  for (const Case& c : cases) {
    std::string words;
    for (const std::string& word : c.commandLine) words += word + "|";
    SCOPED_TRACE(words);
    std::filesystem::current_path(start);
    const long long hereBefore = movedHere();
    const long long testBefore = movedInTestFolder();
    RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
    shop.combine(ui, c.commandLine);
    EXPECT_EQ(std::filesystem::equivalent(std::filesystem::current_path(), c.switches ? testFolder : start), true);
    EXPECT_EQ(movedInTestFolder() - testBefore, c.switches ? 1 : 0);
    EXPECT_EQ(movedHere() - hereBefore, c.switches ? 0 : 2);
    // Back to the start for the next case.
    shop.db("kestrova.mdb").exec("UPDATE History SET AutoID = '2000002'");
    tools::ShopDb(testFolder / "kestrova.mdb").exec("UPDATE History SET AutoID = '2000002'");
  }
}

TEST_F(TestModeTest, TestModeSwitchesEvenWhenTheIdsAreThenRefused) {
  RecordingUi ui(CombineKind::kVehicle, "200", "2000001");
  const RunReport report = shop.combine(ui, {"test", "mode"});
  EXPECT_EQ(report.outcome, RunReport::Outcome::kRefused);
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), testFolder));
  EXPECT_THAT(ui.events, ElementsAre("box 2 = 200", "box 3 = 2000001", "beep", kRefusal));
}

// Without the folder the program says so and ends, before any check.
TEST_F(TestModeTest, TestModeWithoutItsFolderReportsItAndEndsTheProgram) {
  const std::string before = shop.snapshot("kestrova.mdb");
  for (const bool driveMapped : {false, true}) {
    SCOPED_TRACE(driveMapped ? "drive C has no kestrova folder" : "drive C not mapped");
    std::optional<ScopedEnv> driveC;
    if (driveMapped) {
      driveC.emplace("KESTROVA_DRIVE_C", data::pathToUtf8(shop.path("empty-drive")));
    } else {
      driveC.emplace("KESTROVA_DRIVE_C", std::nullopt);
    }
    RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
    const RunReport report = shop.combine(ui, {"TEST", "MODE"});
    EXPECT_EQ(report.outcome, RunReport::Outcome::kProgramEnded);
    ASSERT_EQ(ui.events.size(), 2u) << ::testing::PrintToString(ui.events);
    EXPECT_THAT(ui.events[0], ::testing::StartsWith("message critical: "));
    EXPECT_THAT(ui.events[0], HasSubstr("c:\\kestrova"));
    EXPECT_EQ(ui.events[1], "end program");
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), shop.folder()));
  }
  EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
  EXPECT_EQ(movedInTestFolder(), 0);
}

}  // namespace
}  // namespace kestrova
