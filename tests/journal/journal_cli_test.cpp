// The command line's --dry-run, --journal and undo, as a script sees them:
// what is printed and the exit status.

#include <gtest/gtest.h>

#include <cstdio>

#include "journal_fixture.h"
#include "support/run_tool.h"
#include "support/store_under_test.h"

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

  // The row's value reaches the terminal visibly, never as an escape sequence.
  shop.db("mgmtdata.mdb").exec("UPDATE Invoices SET CustID = '1000003' || char(27) || '[2J' WHERE InvoiceNumber = 'IN5001'");
  const Outcome partly = runTool("undo combine.journal");
  EXPECT_EQ(partly.status, 1) << partly.output;
  if (rowsKeepTheirIdentity()) {  // else the changed row is not found, and its values are not shown
    EXPECT_TRUE(contains(partly.output, "left alone: mgmtdata.mdb, Invoices row 1")) << partly.output;
    EXPECT_TRUE(contains(partly.output, "1000003\\x1b[2J")) << partly.output;
  }
  EXPECT_FALSE(contains(partly.output, "\x1b")) << partly.output;
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

// A journal is a file like any other. One that names a file outside the
// shop, a copy of one of its files, an entry that is not whole or another
// shop is refused whole before anything is written, the entry named; with
// --dir a moved shop is undone in its new folder.
TEST_F(JournalCliTest, UndoRefusesAForgedOrMalformedJournalBeforeWritingAnything) {
  ASSERT_EQ(runTool("customer 1000002 1000001 --yes --journal combine.journal").status, 0);
  const std::filesystem::path outside = shop.path("outside");
  tools::writeSampleShop(outside);
  const std::string inShop = (std::filesystem::canonical(shop.folder()) / "mgmtdata.mdb").string();
  const std::string firstDelete = "(SELECT min(Seq) FROM Entries WHERE Action = 'delete')";
  const struct {
    const char* name;
    std::string forgery;  // SQL run on a copy of the journal
    std::string said;
  } cases[] = {
      {"a file outside the shop", "UPDATE Entries SET Path = '" + (outside / "mgmtdata.mdb").string() + "'",
       "which is not kestrova.mdb of the shop"},
      {"a relative path", "UPDATE Entries SET Path = 'mgmtdata.mdb' WHERE FileName = 'mgmtdata.mdb'",
       "which is not mgmtdata.mdb of the shop"},
      {"a name that is no shop file", "UPDATE Entries SET FileName = 'notes.db'", "is not one of the shop's files"},
      {"a main file named as an archive",
       "UPDATE Entries SET FileName = 'mgmtdata.mdb.arc' WHERE Path = '" + inShop + "'", "entry"},
      {"another shop's folder", "UPDATE Facts SET Value = '" + outside.string() + "' WHERE Name = 'shop folder'",
       "which is not kestrova.mdb of the shop at " + outside.string()},
      {"no shop recorded", "DELETE FROM Facts WHERE Name = 'shop folder'", "give --dir"},
      // Judged from the text: Windows would reach the host or the pipe.
      {"a network folder", "UPDATE Facts SET Value = '\\\\host\\share\\shop' WHERE Name = 'shop folder'",
       "'\\\\host\\share\\shop', and it is a network, device or pipe path"},
      {"a long network folder", "UPDATE Facts SET Value = '\\\\?\\UNC\\host\\s' WHERE Name = 'shop folder'",
       "network, device or pipe path"},
      {"a pipe", "UPDATE Facts SET Value = '\\\\.\\pipe\\x' WHERE Name = 'shop folder'", "give its folder with --dir"},
      {"a device", "UPDATE Facts SET Value = 'C:\\shop\\NUL' WHERE Name = 'shop folder'", "names a device"},
      {"a folder that is not text", "UPDATE Facts SET Value = Value || CAST(X'FF' AS TEXT) WHERE Name = 'shop folder'",
       "\\xff', and it is not UTF-8 text"},
      {"a file name that is not text", "UPDATE Entries SET Path = Path || CAST(X'FF' AS TEXT) WHERE Seq = 2",
       "names its file in bytes that are not UTF-8"},
      {"another store", "UPDATE Facts SET Value = 'ODBC: DSN=x;Database={name}' WHERE Name = 'shop store'",
       "was changed through ODBC"},
      {"an identity of Null", "UPDATE Entries SET RowIdentity = NULL WHERE Seq = 3", "entry 3"},
      {"an identity of text", "UPDATE Entries SET RowIdentity = 'two' WHERE Seq = 2", "not a whole number"},
      {"a deleted row without its columns", "DELETE FROM Fields WHERE Seq = " + firstDelete,
       "the deleted row's columns are missing"},
      {"a deleted row missing a column", "DELETE FROM Fields WHERE Position = 1 AND Seq = " + firstDelete,
       "the deleted row's column"},
      {"a column named twice",
       "UPDATE Fields SET ColumnName = (SELECT ColumnName FROM Fields WHERE Position = 0 AND Seq = " + firstDelete +
           ") WHERE Position = 1 AND Seq = " + firstDelete,
       "is named twice"},
  };
  const auto before = allBytes();
  const std::string outsideBefore = readBytes(outside / "mgmtdata.mdb");
  for (const auto& c : cases) {
    // Removed first: MinGW's copy_file does not overwrite.
    std::filesystem::remove(shop.path("forged.journal"));
    std::filesystem::copy_file(shop.path("combine.journal"), shop.path("forged.journal"));
    tools::ShopDb(shop.path("forged.journal")).exec(c.forgery);
    const Outcome outcome = runTool("undo forged.journal");
    EXPECT_EQ(outcome.status, 64) << c.name << "\n" << outcome.output;
    EXPECT_TRUE(contains(outcome.output, c.said)) << c.name << "\n" << outcome.output;
    EXPECT_EQ(allBytes(), before) << c.name;
    EXPECT_EQ(readBytes(outside / "mgmtdata.mdb"), outsideBefore) << c.name;
    EXPECT_FALSE(std::filesystem::exists(shop.path("forged.journal.undo"))) << c.name;
  }

  // The shop moved: undone in its new folder (ending as the untouched
  // sample shop), the old one left alone.
  const std::filesystem::path moved = shop.path("moved");
  std::filesystem::create_directory(moved);
  for (const std::string& file : sampleFiles()) std::filesystem::copy_file(shop.path(file), moved / file);
  const Outcome undone = runTool("undo combine.journal --dir moved");
  EXPECT_EQ(undone.status, 0) << undone.output;
  EXPECT_EQ(allBytes(), before);
  for (const std::string& file : sampleFiles()) {
    EXPECT_TRUE(shop.snapshot("moved/" + file) == shop.snapshot("outside/" + file)) << file;
  }
}

}  // namespace
}  // namespace kestrova::testing
