// kestrova-combine as a script sees it: exit statuses, standard output and
// standard error, with no terminal on standard input.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/shop_path.h"
#include "support/platform.h"
#include "support/run_tool.h"
#include "support/scoped_env.h"
#include "support/test_shop.h"
#include "support/vehicle_shop.h"

namespace kestrova {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ScopedEnv;

using testing::Outcome;

// Runs the program in the current folder with `arguments`, no terminal on
// standard input, and waits for it.
Outcome runProgram(const std::vector<std::string>& arguments) { return testing::runCombine(arguments); }

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.createFiles();
    testing::addVehicle(shop, "2000002", "ARC1");
    shop.db("kestrova.mdb").exec("INSERT INTO Employees (IDNumber, NickName) VALUES ('111-22-4444','JOEY')");
    shop.db("mgmtdata.mdb")
        .exec(
            "INSERT INTO ARBillings (CustID) VALUES ('1000002'); INSERT INTO TimeSheets (IDNumber) VALUES "
            "('111-22-4444'); INSERT INTO Payments (CustID, OrderNumber) VALUES ('1000002','AR1000002')");
  }

  std::vector<std::string> files() const {
    return {shop.snapshot("kestrova.mdb"), shop.snapshot("mgmtdata.mdb"), shop.snapshot("w_orders.mdb"),
            shop.snapshot("ARC1.arc")};
  }

  testing::TestShop shop;
  ScopedEnv noDiskette{"KESTROVA_DRIVE_A", std::nullopt};
};

TEST_F(CommandLineTest, ACompletedCombineExitsZeroWithDoneAndProgressLines) {
  const Outcome run = runProgram({"vehicle", "2000002", "2000001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Done.\n");
  EXPECT_EQ(run.err, "progress 0\nprogress 20\nprogress 40\nprogress 60\nprogress 80\nprogress 100\nprogress 100\n");
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '2000001'"), 2);
  EXPECT_EQ(shop.db("ARC1.arc").count("Orders", "AutoID = '2000001'"), 1);
}

TEST_F(CommandLineTest, DirChoosesTheShopsFolder) {
  const std::filesystem::path elsewhere = shop.path("elsewhere");
  std::filesystem::create_directories(elsewhere);
  std::filesystem::current_path(elsewhere);
  const Outcome run = runProgram({"--dir", data::pathToUtf8(shop.folder()), "vehicle", "2000002", "2000001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '2000001'"), 2);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST_F(CommandLineTest, SomethingNotChangedExitsOneAndListsItOnStandardError) {
  std::filesystem::remove(shop.path("w_orders.mdb"));
  std::filesystem::rename(shop.path("ARC1.arc"), shop.path("ARC1.bak"));
  const Outcome run = runProgram({"vehicle", "2000002", "2000001"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out,
              ::testing::StartsWith("Place the diskette containing the ARC1 file in the A drive and click Ok.\n"
                                    "Unable to update archive file: ARC1\nDone."));
  EXPECT_THAT(run.err, HasSubstr("w_orders.mdb"));
  EXPECT_THAT(run.err, HasSubstr("ARC1"));
  EXPECT_FALSE(std::filesystem::exists(shop.path("w_orders.mdb")));
  // What could be changed was changed; the archive's orders wait for it.
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '2000001'"), 2);
  EXPECT_EQ(shop.db("mgmtdata.mdb").count("Orders", "AutoID = '2000002' AND Archive = 'ARC1'"), 1);
}

// Nothing changes on any of these: the IDs are refused, the confirmation
// cannot be given, or the From employee is missing.
TEST_F(CommandLineTest, RunsThatChangeNothingExitWithTheirOwnStatus) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
  };
  const std::string customerQuestion =
      "The accounts receivable information for the two customers will be combined and the previous billing "
      "cycles will be removed since they will no longer be accurate.  The combined customers account will be "
      "updated on the next billing cycle.  Do you want to continue?\n";
  const Case cases[] = {
      {{"vehicle", "200000", "2000001"}, 2, "Not all vehicle IDs have been entered.\n"},
      {{"vehicle", "2000002", "2000001 "}, 2, "Not all vehicle IDs have been entered.\n"},
      {{"customer", "100000", "1000001"}, 2, "Not all customer IDs have been entered.\n"},
      {{"employee", "111224444", "111-22-3333"}, 2, "Not all employee IDs have been entered.\n"},
      {{"employee", "111-22-4444", "111-22-333"}, 2, "Not all employee IDs have been entered.\n"},
      {{"employee", "111-22-4444", "111_22_3333"}, 2, "Not all employee IDs have been entered.\n"},
      {{"employee", "111-22-4444", "abc-de-fghi"}, 2, "Not all employee IDs have been entered.\n"},
      {{"customer", "1000002", "1000001"}, 3, customerQuestion},
      {{"employee", "999-99-9999", "111-22-4444"}, 4, "Unable to locate the From employee in the database.\n"},
  };
  const std::vector<std::string> before = files();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const Outcome run = runProgram(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_THAT(run.err, ::testing::Not(HasSubstr("progress 20")));
  }
  EXPECT_EQ(files(), before);
}

TEST_F(CommandLineTest, ACommandLineNotUnderstoodExits64AndChangesNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"vehicle"},
      {"vehicle", "2000002"},
      {"truck", "2000002", "2000001"},
      {"Vehicle", "2000002", "2000001"},
      {"vehicle", "2000002", "2000001", "2000003"},
      {"vehicle", "2000002", "2000001", "--dir", "no-such-folder"},
      {"vehicle", "2000002", "2000001", "--dir"},
      {"vehicle", "2000002", "2000001", "--frobnicate"},
  };
  const std::vector<std::string> before = files();
  for (const std::vector<std::string>& arguments : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const Outcome run = runProgram(arguments);
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, HasSubstr("--help"));
  }
  EXPECT_EQ(files(), before);
}

TEST_F(CommandLineTest, HelpExitsZeroAndNamesEveryKindOptionAndStatus) {
  const Outcome run = runProgram({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"customer", "vehicle", "employee", "--yes", "--dir", "--help", "KESTROVA_DRIVE_A"}) {
    EXPECT_THAT(run.out, HasSubstr(word));
  }
  for (const char* status : {"0", "1", "2", "3", "4", "64"}) {
    EXPECT_THAT(run.out, HasSubstr(std::string("\n  ") + status + " ")) << status;  // no regex: Windows' gtest has few
  }
  // The reference in the docs is the help text itself.
  EXPECT_THAT(testing::readBytes(std::filesystem::path(testing::buildPath(KESTROVA_SOURCE_DIR)) / "docs" / "command-line.md"),
              HasSubstr("```\n" + run.out + "```\n"));
}

TEST_F(CommandLineTest, AnIdThatBeginsWithADashFollowsTheEndOfOptions) {
  shop.db("kestrova.mdb").exec("INSERT INTO History (AutoID) VALUES ('-200000')");
  const Outcome run = runProgram({"vehicle", "--", "-200000", "2000001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '-200000'"), 0);
}

}  // namespace
}  // namespace kestrova
