// A journaled combine can be taken back row for row, archives included, and
// the undo touches only what the combine did.

#include <gtest/gtest.h>

#include <fstream>

#include "app/combine_journal.h"
#include "app/undo/undo.h"
#include "journal_fixture.h"
#include "support/store_under_test.h"

namespace kestrova::testing {
namespace {

using Snapshot = std::map<std::string, std::string>;

Snapshot snapshotOf(const TestShop& shop) {
  Snapshot files;
  for (const std::string& file : sampleFiles()) files[file] = shop.snapshot(file);
  return files;
}

class JournaledShop {
 public:
  JournaledShop() { tools::writeSampleShop(shop.folder()); }

  // Runs `combine` through a new journal `name`.
  app::RunReport combine(const SampleCombine& combine, const std::string& name = "combine.journal") {
    std::unique_ptr<app::CombineJournal> journal;
    EXPECT_TRUE(app::CombineJournal::create(shop.path(name), *engine, &journal).isOk());
    RecordingUi ui(combine.kind, combine.from, combine.to);
    app::RunReport report;
    {
      app::CombineCommand command(ui, {}, journal->engine());
      report = command.run(app::CombineRequest{combine.kind, combine.from, combine.to});
    }
    EXPECT_TRUE(journal->recordRun({}, report).isOk());
    return report;
  }

  // Undoes the journal `name`, journaling the undo in `name`.undo.
  app::UndoReport undo(const std::string& name = "combine.journal") {
    std::unique_ptr<data::Journal> journal;
    EXPECT_TRUE(data::Journal::openToRead(shop.path(name), &journal).isOk());
    std::unique_ptr<app::CombineJournal> own;
    EXPECT_TRUE(app::CombineJournal::create(shop.path(name + ".undo"), *engine, &own).isOk());
    app::UndoReport report;
    EXPECT_TRUE(app::undoJournal(*journal, own->engine(), &report).isOk());
    return report;
  }

  TestShop shop;
  std::unique_ptr<data::StoreEngine> engine = makeStoreEngine(std::chrono::milliseconds(200));
};

class UndoTest : public ::testing::TestWithParam<SampleCombine> {};

TEST_P(UndoTest, PutsEveryFileBackRowForRowAndCanItselfBeUndone) {
  JournaledShop shop;
  const Snapshot original = snapshotOf(shop.shop);
  ASSERT_TRUE(shop.combine(GetParam()).everyChangeMade());
  const Snapshot combined = snapshotOf(shop.shop);
  ASSERT_NE(combined, original);

  const app::UndoReport undone = shop.undo();
  EXPECT_TRUE(undone.everythingPutBack());
  EXPECT_GT(undone.putBack, 0u);
  EXPECT_EQ(undone.alreadyBack, 0u);
  EXPECT_EQ(snapshotOf(shop.shop), original);

  const app::UndoReport redone = shop.undo("combine.journal.undo");
  EXPECT_TRUE(redone.everythingPutBack());
  EXPECT_EQ(redone.putBack, undone.putBack);
  EXPECT_EQ(snapshotOf(shop.shop), combined);
}

INSTANTIATE_TEST_SUITE_P(SampleShop, UndoTest, ::testing::ValuesIn(sampleCombines()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Undo, LeavesAloneAndReportsARowChangedSinceTheCombine) {
  JournaledShop shop;
  const Snapshot original = snapshotOf(shop.shop);
  ASSERT_TRUE(shop.combine(sampleCombines()[0]).everyChangeMade());  // vehicle 2000002 -> 2000001
  // Someone re-points one History row again after the combine.
  shop.shop.db("kestrova.mdb").exec("UPDATE History SET AutoID = '2000009' WHERE rowid = 3");

  const app::UndoReport report = shop.undo();
  ASSERT_EQ(report.leftAlone.size(), 1u);
  if (rowsKeepTheirIdentity()) {  // else the row is not found by its values, and nothing names it
    EXPECT_NE(report.leftAlone[0].find("kestrova.mdb, History row 3"), std::string::npos) << report.leftAlone[0];
    EXPECT_NE(report.leftAlone[0].find("'2000009'"), std::string::npos) << report.leftAlone[0];
  }
  EXPECT_EQ(*shop.shop.db("kestrova.mdb").scalar("SELECT AutoID FROM History WHERE rowid = 3"), "2000009");
  EXPECT_EQ(*shop.shop.db("kestrova.mdb").scalar("SELECT AutoID FROM History WHERE rowid = 4"), "2000002");
  for (const char* file : {"mgmtdata.mdb", "w_orders.mdb", "ARC2023.arc", "ARC2024.arc"}) {
    EXPECT_EQ(shop.shop.snapshot(file), original.at(file)) << file;
  }
}

// A re-pointed row deleted after the combine, and a new visit of the To
// vehicle given its rowid: same identity, same AutoID, but not the row the
// combine left. The undo leaves it and says so; the other rows go back.
TEST(Undo, LeavesAloneANewRowGivenTheIdentityAndValueOfARowItChanged) {
  JournaledShop shop;
  ASSERT_TRUE(shop.combine(sampleCombines()[0]).everyChangeMade());  // vehicle 2000002 -> 2000001
  tools::ShopDb kestrova = shop.shop.db("kestrova.mdb");
  ASSERT_EQ(*kestrova.scalar("SELECT AutoID FROM History WHERE rowid = 3"), "2000001");
  kestrova.exec("DELETE FROM History WHERE rowid = 3");
  kestrova.exec(
      "INSERT INTO History (rowid, AutoID, ServiceDate, Mileage, Description, Amount) "
      "VALUES (3, '2000001', '2026-12-01', 99000, 'Tyres', 420)");

  const app::UndoReport report = shop.undo();
  ASSERT_EQ(report.leftAlone.size(), 1u);
  if (rowsKeepTheirIdentity()) {
    EXPECT_NE(report.leftAlone[0].find("kestrova.mdb, History row 3"), std::string::npos) << report.leftAlone[0];
    EXPECT_NE(report.leftAlone[0].find("ServiceDate is now '2026-12-01'"), std::string::npos) << report.leftAlone[0];
  }
  EXPECT_EQ(*kestrova.scalar("SELECT AutoID || ServiceDate FROM History WHERE rowid = 3"), "20000012026-12-01");
  EXPECT_EQ(*kestrova.scalar("SELECT AutoID FROM History WHERE rowid = 4"), "2000002");
  EXPECT_GT(report.putBack, 0u);
}

// A journal of the earlier format kept only the columns written, which
// cannot tell a row from such a new one: it is refused, naming its format.
TEST(Journal, RefusesAJournalOfTheEarlierFormat) {
  JournaledShop shop;
  shop.combine(sampleCombines()[0]);
  shop.shop.db("combine.journal").exec("PRAGMA user_version = 1");
  std::unique_ptr<data::Journal> journal;
  const data::Status opened = data::Journal::openToRead(shop.shop.path("combine.journal"), &journal);
  EXPECT_EQ(opened.code(), data::Status::Code::kNotADatabase);
  EXPECT_NE(opened.reason().find("format 1"), std::string::npos) << opened.reason();
}

TEST(Undo, LeavesAloneADeletedRowWhoseIdentityWasTakenAgain) {
  if (!rowsKeepTheirIdentity()) GTEST_SKIP() << "the rows have no identity that another row could take";
  JournaledShop shop;
  ASSERT_TRUE(shop.combine(sampleCombines()[1]).everyChangeMade());  // customer: deletes billing rows 2, 3, 1
  shop.shop.db("mgmtdata.mdb").run("INSERT INTO ARBillings (rowid, CustID) VALUES (2, ?)", {"1000004"});

  const app::UndoReport report = shop.undo();
  ASSERT_EQ(report.leftAlone.size(), 1u);
  EXPECT_NE(report.leftAlone[0].find("ARBillings row 2"), std::string::npos) << report.leftAlone[0];
  EXPECT_EQ(*shop.shop.db("mgmtdata.mdb").scalar("SELECT CustID FROM ARBillings WHERE rowid = 2"), "1000004");
  EXPECT_EQ(shop.shop.db("mgmtdata.mdb").count("ARBillings"), 4);
}

// A combine whose pass on w_orders.mdb cannot open the file: the journal
// holds what was done, and the undo puts back exactly that.
TEST(Undo, TakesBackACombineWhosePassFailedAndNothingElse) {
  JournaledShop shop;
  const Snapshot original = snapshotOf(shop.shop);
  app::RunReport report;
  {
    tools::ShopDb lock = shop.shop.db("w_orders.mdb");
    lock.exec("BEGIN EXCLUSIVE");
    report = shop.combine(sampleCombines()[0]);
    lock.exec("ROLLBACK");
  }
  ASSERT_FALSE(report.failures.empty());
  EXPECT_EQ(shop.shop.snapshot("w_orders.mdb"), original.at("w_orders.mdb"));
  ASSERT_NE(shop.shop.snapshot("kestrova.mdb"), original.at("kestrova.mdb"));

  const app::UndoReport undone = shop.undo();
  EXPECT_TRUE(undone.everythingPutBack());
  EXPECT_EQ(undone.alreadyBack, 0u);
  EXPECT_EQ(snapshotOf(shop.shop), original);

  std::unique_ptr<data::Journal> journal;
  ASSERT_TRUE(data::Journal::openToRead(shop.shop.path("combine.journal"), &journal).isOk());
  std::vector<data::JournalFact> notes;
  ASSERT_TRUE(journal->readNotes(&notes).isOk());
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(notes[0].value.find("w_orders.mdb"), std::string::npos) << notes[0].value;
}

// A run that stopped after its journal was written but before one file's
// commit: that file's rows still hold their old values and need nothing.
TEST(Undo, PassesOverRowsThatTheJournalNamesButTheFileNeverGot) {
  JournaledShop shop;
  const Snapshot original = snapshotOf(shop.shop);
  const std::string managementBefore = shop.shop.bytes("mgmtdata.mdb");
  ASSERT_TRUE(shop.combine(sampleCombines()[1]).everyChangeMade());
  {
    std::ofstream out(shop.shop.path("mgmtdata.mdb"), std::ios::binary | std::ios::trunc);
    out << managementBefore;
  }

  const app::UndoReport undone = shop.undo();
  EXPECT_TRUE(undone.everythingPutBack());
  EXPECT_GT(undone.alreadyBack, 0u);
  EXPECT_EQ(snapshotOf(shop.shop), original);
}

TEST(Journal, RefusesAnExistingFileAndRecordsTheRun) {
  JournaledShop shop;
  std::unique_ptr<app::CombineJournal> journal;
  EXPECT_EQ(app::CombineJournal::create(shop.shop.path("kestrova.mdb"), *shop.engine, &journal).code(),
            data::Status::Code::kReadOnly);
  EXPECT_EQ(app::CombineJournal::createOrAppend(shop.shop.path("kestrova.mdb"), *shop.engine, &journal).code(),
            data::Status::Code::kNotADatabase);

  shop.combine(sampleCombines()[2]);
  std::unique_ptr<data::Journal> read;
  ASSERT_TRUE(data::Journal::openToRead(shop.shop.path("combine.journal"), &read).isOk());
  std::vector<data::JournalFact> facts;
  ASSERT_TRUE(read->readFacts(&facts).isOk());
  std::map<std::string, std::string> byName;
  for (const auto& fact : facts) byName[fact.name] = fact.value;
  EXPECT_EQ(byName["kind"], "employee");
  EXPECT_EQ(byName["from"], "111-22-4444");
  EXPECT_EQ(byName["to"], "111-22-3333");
  EXPECT_EQ(byName["outcome"], "completed");

  // Appending to a journal keeps its runs apart.
  ASSERT_TRUE(app::CombineJournal::createOrAppend(shop.shop.path("combine.journal"), *shop.engine, &journal).isOk());
  EXPECT_EQ(journal->journal().currentRun(), 2);
}

}  // namespace
}  // namespace kestrova::testing
