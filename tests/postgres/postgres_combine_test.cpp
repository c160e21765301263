// Each kind's combine on a PostgreSQL server, through the ODBC store, ends
// row for row as the same combine on the SQLite files; so does a combine
// killed part-way and run again. The server is a private cluster in a
// temporary folder; the shop's SQLite files next to it are never touched.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../faults/fault_support.h"
#include "../faults/shop_reach.h"
#include "data/odbc_engine.h"
#include "data/shop_data_control.h"
#include "shop_builder/shop_builder.h"
#include "support/postgres_cluster.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

namespace fs = std::filesystem;

// Enough rows of each duplicate that a run can be stopped inside it.
constexpr int kRowsPerDuplicate = 300;

class PostgresCombineTest : public ::testing::TestWithParam<KindCase> {
 protected:
  static void SetUpTestSuite() {
    if (!PostgresCluster::unavailableReason()) cluster_ = new PostgresCluster();
  }
  static void TearDownTestSuite() {
    delete cluster_;  // stops the server by its pid, also after a failure
    cluster_ = nullptr;
  }
  void SetUp() override {
    if (auto reason = PostgresCluster::unavailableReason()) GTEST_SKIP() << *reason;
    ASSERT_NE(cluster_, nullptr);
  }

  static std::vector<std::string> command(const KindCase& kind, const fs::path& folder, bool odbc) {
    std::vector<std::string> arguments = kind.arguments;
    arguments.insert(arguments.end(), {"--dir", folder.string()});
    if (odbc) arguments.insert(arguments.end(), {"--odbc", cluster_->odbcTemplate()});
    return arguments;
  }

  // Every row of every database of the shop, with the file it belongs to.
  static std::vector<std::string> dumpShop(const std::vector<std::string>& stems, const std::string& prefix) {
    std::vector<std::string> rows;
    for (const std::string& stem : stems) {
      for (std::string& row : cluster_->dump(prefix + stem)) rows.push_back(stem + " " + std::move(row));
    }
    return rows;
  }

  static PostgresCluster* cluster_;
};

PostgresCluster* PostgresCombineTest::cluster_ = nullptr;

TEST_P(PostgresCombineTest, EndsAsOnTheSqliteFilesWhetherRunOnceOrKilledAndRunAgain) {
  const KindCase& kind = GetParam();
  TestShop work;
  const fs::path shop = work.folder() / "shop";
  const fs::path onSqlite = work.folder() / "sqlite";
  tools::writeSampleShop(shop);
  addRowsOfDuplicates(shop, kRowsPerDuplicate);
  copyFolder(shop, onSqlite);
  const ProgramResult reference = runCombineProgram(command(kind, onSqlite, false));
  ASSERT_EQ(reference.exitStatus, 0) << reference.out << reference.err;

  std::vector<std::string> stems;
  for (const std::string& file : shopFilesIn(shop)) stems.push_back(fs::path(file).stem().string());
  cluster_->loadShop(onSqlite, "sqlite_");
  const std::vector<std::string> expected = dumpShop(stems, "sqlite_");
  std::vector<std::string> bytesBefore;
  for (const std::string& file : shopFilesIn(shop)) bytesBefore.push_back(readBytes(shop / file));

  // Progress lines to wait for before the kill; 0 runs the combine once.
  for (const int killAfter : {0, 1, 3}) {
    SCOPED_TRACE("killed after progress line " + std::to_string(killAfter));
    cluster_->loadShop(shop);
    ASSERT_FALSE(dumpShop(stems, "") == expected) << "the combine would change nothing on the server";
    if (killAfter > 0) {
      CombineProcess killed(command(kind, shop, true));
      killed.waitForProgressLines(killAfter);
      killed.kill();
    }
    const ProgramResult run = runCombineProgram(command(kind, shop, true));
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    const std::vector<std::string> now = dumpShop(stems, "");
    EXPECT_EQ(now.size(), expected.size());
    EXPECT_TRUE(now == expected) << "the databases differ from the combine on the SQLite files";
  }
  std::vector<std::string> bytesAfter;
  for (const std::string& file : shopFilesIn(shop)) bytesAfter.push_back(readBytes(shop / file));
  EXPECT_TRUE(bytesAfter == bytesBefore) << "a combine on the server changed the SQLite files";
}

// A shop moved to the server by a tool that quotes every name keeps them in
// their own case ("History"."AutoID"), which the shop's SQL, naming them
// bare, would not find: each kind's combine still ends as on the SQLite
// files, and its undo puts every database back as it was.
TEST_P(PostgresCombineTest, NamesKeptInTheirOwnCaseAreFoundByTheCombineAndItsUndo) {
  const KindCase& kind = GetParam();
  TestShop work;
  const fs::path shop = work.folder() / "shop";
  const fs::path onSqlite = work.folder() / "sqlite";
  tools::writeSampleShop(shop);
  copyFolder(shop, onSqlite);
  const ProgramResult reference = runCombineProgram(command(kind, onSqlite, false));
  ASSERT_EQ(reference.exitStatus, 0) << reference.out << reference.err;

  std::vector<std::string> stems;
  for (const std::string& file : shopFilesIn(shop)) stems.push_back(fs::path(file).stem().string());
  cluster_->loadShop(onSqlite, "sqlite_", PostgresCluster::Names::kQuoted);
  const std::vector<std::string> expected = dumpShop(stems, "sqlite_");
  cluster_->loadShop(shop, "", PostgresCluster::Names::kQuoted);
  const std::vector<std::string> before = dumpShop(stems, "");
  ASSERT_FALSE(before == expected) << "the combine would change nothing on the server";

  const std::string journal = (work.folder() / "combine.journal").string();
  std::vector<std::string> combine = command(kind, shop, true);
  combine.insert(combine.end(), {"--journal", journal});
  const ProgramResult run = runCombineProgram(combine);
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_TRUE(dumpShop(stems, "") == expected) << "the databases differ from the combine on the SQLite files";
  const ProgramResult undo = runCombineProgram({"undo", journal, "--odbc", cluster_->odbcTemplate()});
  EXPECT_EQ(undo.exitStatus, 0) << undo.out << undo.err;
  EXPECT_TRUE(dumpShop(stems, "") == before) << "the undo left the databases changed";
}

class PostgresWalkBatchTest : public PostgresCombineTest {};

// Walks over one database share its transaction on the server too: another
// session sees neither until the gateway saves them.
TEST_F(PostgresWalkBatchTest, WalksOverOneDatabaseReachItTogether) {
  TestShop work;
  tools::writeSampleShop(work.folder());
  cluster_->loadShop(work.folder());
  data::OdbcTemplate parsed;
  std::string problem;
  ASSERT_TRUE(data::OdbcTemplate::parse(cluster_->odbcTemplate(), &parsed, &problem)) << problem;
  data::OdbcEngine engine(parsed, std::chrono::milliseconds(2000), data::OdbcEngine::Access::kReadWrite);
  data::ShopDataControl gateway(engine);
  const auto walk = [&](const std::string& source, const std::string& column, const std::string& value) {
    gateway.setDatabaseName("kestrova.mdb");
    gateway.setRecordSource(source);
    ASSERT_TRUE(gateway.refresh().isOk());
    ASSERT_TRUE(gateway.updateToEnd(column, value, [](const data::Status& s) { FAIL() << s.message(); }).isOk());
    ASSERT_TRUE(gateway.endWalk().isOk());
  };
  const auto changed = [] {
    return std::stoi(cluster_->psql("kestrova",
                                    "SELECT (SELECT count(*) FROM history WHERE autoid = '2000009') + "
                                    "(SELECT count(*) FROM labor WHERE idnumber = '111-22-9999')"));
  };
  walk("Select AutoID from History where AutoID = '2000001'", "AutoID", "2000009");
  walk("Select IDNumber from Labor where IDNumber = '111-22-4444'", "IDNumber", "111-22-9999");
  EXPECT_EQ(changed(), 0) << "a walk reached the server before its batch was saved";
  ASSERT_TRUE(gateway.commitWrites().isOk());
  EXPECT_EQ(changed(), 4);
}

INSTANTIATE_TEST_SUITE_P(EachKind, PostgresCombineTest, ::testing::ValuesIn(sampleCombines()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrova::testing
