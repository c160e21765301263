// A batch stopped in the middle of a combine and run again through its
// journal ends where an uninterrupted batch ends: the same rows in the shop,
// the same changes in the journal, and undo takes the whole batch back.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/batch/batch_run.h"
#include "app/undo/undo.h"
#include "data/sqlite_store.h"
#include "journal/journal_fixture.h"

namespace kestrova::testing {
namespace {

constexpr char kBatch[] =
    "kind,from,to\nvehicle,2000002,2000001\ncustomer,1000002,1000001\nemployee,111-22-4444,111-22-3333\n"
    "vehicle,2000001,2000003\n";

// A journal's changes without their run numbers: what was changed, and how.
std::vector<std::string> changesIn(const std::filesystem::path& path) {
  std::unique_ptr<data::Journal> journal;
  EXPECT_TRUE(data::Journal::openToRead(path, &journal).isOk());
  std::vector<data::JournalEntry> entries;
  EXPECT_TRUE(journal->readEntries(&entries).isOk());
  std::vector<std::string> changes;
  for (const data::JournalEntry& entry : entries) {
    std::string text = entry.fileName + " " + entry.table + " " + std::to_string(entry.row) + " " +
                       std::to_string(static_cast<int>(entry.action));
    for (const data::JournalField& field : entry.fields) {
      text += " " + field.column + "=" + field.before.bytes + ">" + field.after.bytes;
    }
    changes.push_back(text);
  }
  return changes;
}

struct BatchEnd {
  ShopRows rows;
  std::vector<std::string> changes;
};

struct BatchRun {
  int status;
  std::string out;
  std::string report;
};

// Runs the batch; `stopAfter` checks after line 2 has ended, a stop is asked.
BatchRun runBatch(TestShop& shop, const std::string& report, int stopAfter = -1) {
  std::ostringstream out;
  std::ostringstream err;
  app::BatchConsole console{out, err};
  int checks = 0;
  console.stopRequested = [&] {
    if (stopAfter >= 0 && out.str().find("line 3:") != std::string::npos) ++checks;
    return stopAfter >= 0 && checks > stopAfter;
  };
  app::BatchOptions options{shop.path("batch.csv"), true, false, shop.path("batch.journal"), shop.path(report), {}};
  const int status = app::runBatch(options, console);
  return {status, out.str() + err.str(), readBytes(shop.path(report))};
}

TEST(BatchResumeTest, AStoppedBatchRunAgainEndsAsAnUninterruptedOne) {
  BatchEnd whole;
  {
    TestShop shop;
    tools::writeSampleShop(shop.folder());
    std::ofstream(shop.path("batch.csv"), std::ios::binary) << kBatch;
    const BatchRun run = runBatch(shop, "whole.csv");
    ASSERT_EQ(run.status, 0) << run.out;
    whole = {readRows(shop), changesIn(shop.path("batch.journal"))};
  }

  TestShop shop;
  tools::writeSampleShop(shop.folder());
  std::ofstream(shop.path("batch.csv"), std::ios::binary) << kBatch;
  const ShopRows original = readRows(shop);
  const BatchRun stopped = runBatch(shop, "stopped.csv", 3);
  EXPECT_EQ(stopped.status, 130) << stopped.out;
  EXPECT_TRUE(
      stopped.report.starts_with("line,kind,from,to,outcome,rows_changed,archives_not_updated\n"
                                 "2,vehicle,2000002,2000001,done,11,\n3,customer,1000002,1000001,done,20,\n"
                                 "4,employee,111-22-4444,111-22-3333,interrupted,"))
      << stopped.report;
  // It stopped inside the employee combine, after some of its walks.
  EXPECT_EQ(stopped.report.find("interrupted,0,"), std::string::npos) << stopped.report;
  EXPECT_TRUE(stopped.report.ends_with("\n5,vehicle,2000001,2000003,not_run,0,\n")) << stopped.report;
  EXPECT_NE(readRows(shop), whole.rows);

  const BatchRun resumed = runBatch(shop, "resumed.csv");
  EXPECT_EQ(resumed.status, 0) << resumed.out;
  EXPECT_TRUE(resumed.out.find("Skipping 2 lines finished in an earlier run") != std::string::npos) << resumed.out;
  EXPECT_TRUE(resumed.report.find("\n2,vehicle,2000002,2000001,skipped,0,\n") != std::string::npos) << resumed.report;
  EXPECT_TRUE(resumed.report.ends_with(",done,15,\n")) << resumed.report;
  EXPECT_EQ(readRows(shop), whole.rows);
  EXPECT_EQ(changesIn(shop.path("batch.journal")), whole.changes);

  // Undo takes the whole batch back, newest combine first.
  std::unique_ptr<data::Journal> journal;
  ASSERT_TRUE(data::Journal::openToRead(shop.path("batch.journal"), &journal).isOk());
  data::SqliteEngine engine;
  app::UndoReport undone;
  ASSERT_TRUE(app::undoJournal(*journal, engine, &undone).isOk());
  EXPECT_TRUE(undone.everythingPutBack());
  EXPECT_EQ(readRows(shop), original);
}

}  // namespace
}  // namespace kestrova::testing
