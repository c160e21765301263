// The command line's --dry-run, --journal and undo, as a script sees them:
// what is printed and the exit status.

#include <gtest/gtest.h>

#include <cstdio>

#include "journal_fixture.h"
#include "support/run_tool.h"

namespace kestrova::testing {
namespace {

class JournalCliTest : public ::testing::Test {
 protected:
  void SetUp() override { tools::writeSampleShop(shop.folder()); }

  std::map<std::string, std::string> allBytes() const {
    std::map<std::string, std::string> files;
    for (const std::string& file : sampleFiles()) files[file] = shop.bytes(file);
    return files;
  }

  TestShop shop;
};

TEST_F(JournalCliTest, DryRunPrintsTheCountsAndArchivesAndChangesNothing) {
  const auto before = allBytes();
  // No --yes and no terminal: a preview asks nothing.
  const Outcome outcome = runTool("customer 1000002 1000001 --dry-run");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  for (const char* line :
       {"kestrova.mdb, Automobile: 2 rows re-pointed (CustID)", "mgmtdata.mdb, ARBillings: 3 rows deleted",
        "mgmtdata.mdb, Payments: 1 order number rewritten", "ARC2023: found in the current folder (ARC2023.arc)"}) {
    EXPECT_TRUE(contains(outcome.output, line)) << line << "\n" << outcome.output;
  }
  EXPECT_FALSE(contains(outcome.output, "Done."));
  EXPECT_EQ(allBytes(), before);
}

TEST_F(JournalCliTest, DryRunKeepsTheExitStatusOfEachCheck) {
  const struct {
    const char* arguments;
    int status;
    const char* message;
  } cases[] = {
      {"vehicle 200000 2000001 --dry-run", 2, "Not all vehicle IDs have been entered."},
      {"employee 999-99-9999 111-22-3333 --dry-run", 4, "Unable to locate the From employee"},
      {"vehicle 2000002 2000001 --dry-run --journal j.db", 64, "no journal"},
  };
  const auto before = allBytes();
  for (const auto& c : cases) {
    const Outcome outcome = runTool(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.output;
    EXPECT_TRUE(contains(outcome.output, c.message)) << c.arguments << "\n" << outcome.output;
  }
  EXPECT_EQ(allBytes(), before);
  EXPECT_FALSE(std::filesystem::exists(shop.path("j.db")));
}

TEST_F(JournalCliTest, DryRunTellsAnArchiveFoundNowhereWithoutWaiting) {
  std::filesystem::remove(shop.path("ARC2024.arc"));
  const Outcome outcome = runTool("vehicle 2000002 2000001 --dry-run");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "Place the diskette containing the ARC2024 file")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "ARC2024: found nowhere")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "The combine would not make every change")) << outcome.output;
}

TEST_F(JournalCliTest, JournalThenUndoPutsTheShopBack) {
  const std::string original = shop.snapshot("mgmtdata.mdb");
  Outcome combined = runTool("customer 1000002 1000001 --yes --journal combine.journal");
  ASSERT_EQ(combined.status, 0) << combined.output;
  EXPECT_NE(shop.snapshot("mgmtdata.mdb"), original);

  // An existing file is never taken for a journal.
  const auto before = allBytes();
  const Outcome refused = runTool("customer 1000002 1000001 --yes --journal combine.journal");
  EXPECT_EQ(refused.status, 64) << refused.output;
  EXPECT_TRUE(contains(refused.output, "exists already")) << refused.output;
  EXPECT_EQ(allBytes(), before);

  shop.db("mgmtdata.mdb").exec("UPDATE Invoices SET CustID = '1000003' WHERE InvoiceNumber = 'IN5001'");
  const Outcome partly = runTool("undo combine.journal");
  EXPECT_EQ(partly.status, 1) << partly.output;
  EXPECT_TRUE(contains(partly.output, "left alone: mgmtdata.mdb, Invoices row 1")) << partly.output;
  EXPECT_TRUE(std::filesystem::exists(shop.path("combine.journal.undo")));

  shop.db("mgmtdata.mdb").exec("UPDATE Invoices SET CustID = '1000001' WHERE InvoiceNumber = 'IN5001'");
  const Outcome rest = runTool("undo combine.journal");
  EXPECT_EQ(rest.status, 0) << rest.output;
  EXPECT_TRUE(std::filesystem::exists(shop.path("combine.journal.undo2")));
  EXPECT_EQ(shop.snapshot("mgmtdata.mdb"), original);
}

TEST_F(JournalCliTest, UndoRefusesWhatIsNotAJournal) {
  for (const char* arguments : {"undo", "undo kestrova.mdb", "undo missing.journal", "undo a b"}) {
    const Outcome outcome = runTool(arguments);
    EXPECT_EQ(outcome.status, 64) << arguments << "\n" << outcome.output;
  }
}

}  // namespace
}  // namespace kestrova::testing
