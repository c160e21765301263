// kestrova-combine with the customer and employee kinds: what a script sees
// (exit status, standard output) and what the shop's files hold afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kinds_support.h"
#include "support/run_tool.h"

namespace kestrova::testing {
namespace {

using tools::Value;

// Runs the program with no terminal on standard input, in `shop`'s folder.
Outcome runCombine(const TestShop& shop, const std::string& arguments) {
  std::vector<std::string> words = shellWords(arguments);
  words.insert(words.end(), {"--dir", shop.folder().string()});
  return testing::runCombine(words);
}

// A shop where customer 1000002 and employee 111-22-4444 each have a row in
// every kind of place, and employee 999-99-9999 does not exist.
void fillShop(TestShop& shop) {
  shop.createFiles();
  shop.db("kestrova.mdb").exec(R"(
INSERT INTO Automobile VALUES ('2000002','1000002','Ford','Focus',2014,'K-2');
INSERT INTO Employees VALUES ('111-22-4444','JOEY','Miller','Joe','2012-04-01');
INSERT INTO Labor VALUES ('111-22-4444','2025-06-01',1,40,'W1');
)");
  shop.db("mgmtdata.mdb").exec(R"(
INSERT INTO ARBillings VALUES ('1000002','2025-05-31',10,'2025-06-30'), ('1000001','2025-05-31',10,'2025-06-30');
INSERT INTO Payments VALUES ('P1','1000002','AR1000002','2025-06-01',5);
INSERT INTO TimeSheets VALUES ('999-99-9999','2025-06-01','08:00','16:00');
)");
  shop.db("w_orders.mdb").exec(R"(
INSERT INTO Orders VALUES ('W1','2000002','1000002','999-99-9999','2025-06-01','open');
INSERT INTO Tasks VALUES ('W1','JOEY','Work',1), ('W1','~999-99-9999','Work',1);
)");
}

std::vector<std::string> snapshots(const TestShop& shop) {
  std::vector<std::string> all;
  for (const char* file : {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb"}) all.push_back(shop.snapshot(file));
  return all;
}

TEST(KindsCommandLineTest, ExitStatusAndFilesForEachOutcome) {
  struct Case {
    const char* arguments;
    int exitStatus;
    bool filesChange;
    const char* printed;  // a line standard output must hold
  };
  const std::vector<Case> cases = {
      {"customer 1000002 1000001 --yes", 0, true, "Done."},
      {"customer 1000002 1000001", 3, false, "Do you want to continue?"},
      {"employee 111-22-4444 111-22-3333", 0, true, "Done."},
      {"employee 999-99-9999 111-22-3333", 4, false, "Unable to locate the From employee in the database."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    TestShop shop;
    fillShop(shop);
    const std::vector<std::string> before = snapshots(shop);

    const Outcome outcome = runCombine(shop, c.arguments);

    EXPECT_EQ(outcome.status, c.exitStatus);
    EXPECT_NE(outcome.out.find(c.printed), std::string::npos) << outcome.out;
    if (c.filesChange) {
      EXPECT_NE(snapshots(shop), before);
    } else {
      EXPECT_EQ(snapshots(shop), before);
      EXPECT_EQ(outcome.out.find("Done."), std::string::npos) << outcome.out;
    }
  }
}

TEST(KindsCommandLineTest, ConfirmedCustomerCombineChangesWhatTheWindowWould) {
  TestShop shop;
  fillShop(shop);

  ASSERT_EQ(runCombine(shop, "customer 1000002 1000001 --yes").status, 0);

  EXPECT_EQ(shop.db("mgmtdata.mdb").count("ARBillings"), 0);
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID || ' ' || OrderNumber FROM Payments"),
            (std::vector<Value>{"1000001 AR1000001"}));
  EXPECT_EQ(columnOf(shop, "kestrova.mdb", "SELECT CustID FROM Automobile"), (std::vector<Value>{"1000001"}));
  EXPECT_EQ(columnOf(shop, "w_orders.mdb", "SELECT CustID FROM Orders"), (std::vector<Value>{"1000001"}));
}

}  // namespace
}  // namespace kestrova::testing
