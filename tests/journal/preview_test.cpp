// A preview counts exactly what the combine then changes, and changes
// nothing itself.

#include <gtest/gtest.h>

#include <cstdlib>

#include "data/preview_store.h"
#include "journal_fixture.h"
#include "support/scoped_env.h"
#include "support/store_under_test.h"

namespace kestrova::testing {
namespace {

class PreviewTest : public ::testing::TestWithParam<SampleCombine> {
 protected:
  void SetUp() override { tools::writeSampleShop(shop.folder()); }

  // A preview run through the command, as --dry-run makes it.
  app::RunReport preview(data::PreviewEngine& engine) {
    RecordingUi ui(GetParam().kind, GetParam().from, GetParam().to);
    app::CombineCommand command(ui, {}, engine);
    return command.run(app::CombineRequest{GetParam().kind, GetParam().from, GetParam().to});
  }

  TestShop shop;
};

TEST_P(PreviewTest, CountsEqualTheRowsTheCombineChangesAndTouchNoFile) {
  std::map<std::string, std::string> bytesBefore;
  for (const std::string& file : sampleFiles()) bytesBefore[file] = shop.bytes(file);

  const std::unique_ptr<data::StoreEngine> readOnly = makeStoreEngine(std::chrono::milliseconds(200), true);
  data::PreviewEngine engine(*readOnly);
  const app::RunReport previewed = preview(engine);
  ASSERT_EQ(previewed.outcome, app::RunReport::Outcome::kCompleted);
  EXPECT_TRUE(previewed.everyChangeMade());
  for (const std::string& file : sampleFiles()) EXPECT_EQ(shop.bytes(file), bytesBefore[file]) << file;

  ChangeCounts predicted;
  for (const auto& [key, count] : engine.writes()) predicted[key] += count;
  for (const auto& [key, count] : engine.removals()) predicted[key] += count;

  const ShopRows before = readRows(shop);
  RecordingUi ui(GetParam().kind, GetParam().from, GetParam().to);
  ASSERT_TRUE(shop.combine(ui).everyChangeMade());
  EXPECT_EQ(predicted, differences(shop, before, readRows(shop)));
  EXPECT_FALSE(predicted.empty());
}

INSTANTIATE_TEST_SUITE_P(SampleShop, PreviewTest, ::testing::ValuesIn(sampleCombines()),
                         [](const auto& info) { return std::string(info.param.name); });

// The archive report: each open attempt is recorded, found or not.
TEST(PreviewArchives, RecordWhereEachArchiveWasFound) {
  TestShop shop;
  tools::writeSampleShop(shop.folder());
  const std::filesystem::path driveA = shop.folder() / "driveA";
  std::filesystem::create_directories(driveA);
  std::filesystem::rename(shop.path("ARC2024.arc"), driveA / "ARC2024.arc");
  std::filesystem::remove(shop.path("ARC2023.arc"));
  setEnv("KESTROVA_DRIVE_A", driveA.string());

  const std::unique_ptr<data::StoreEngine> readOnly = makeStoreEngine(std::chrono::milliseconds(200), true);
  data::PreviewEngine engine(*readOnly);
  RecordingUi ui(combine::CombineKind::kVehicle, "2000002", "2000001");
  app::CombineCommand command(ui, {}, engine);
  const app::RunReport report = command.run(app::CombineRequest{combine::CombineKind::kVehicle, "2000002", "2000001"});
  setEnv("KESTROVA_DRIVE_A", std::nullopt);

  std::map<std::string, bool> opened;
  for (const auto& attempt : engine.openAttempts()) opened[attempt.name] = attempt.status.isOk();
  EXPECT_FALSE(opened.at("ARC2023.arc"));
  EXPECT_FALSE(opened.at("A:ARC2023.arc"));
  EXPECT_FALSE(opened.at("ARC2024.arc"));
  EXPECT_TRUE(opened.at("A:ARC2024.arc"));
  ASSERT_EQ(report.archivesNotUpdated.size(), 1u);
  EXPECT_EQ(report.archivesNotUpdated[0].name, "ARC2023");
  // The orders of the archive found nowhere would keep the From ID.
  EXPECT_EQ(engine.writes().at({"mgmtdata.mdb", "Orders", "AutoID"}), 2u);
}

// Combining a customer into itself deletes its billing cycles once: the
// second delete pass finds them gone, in the preview as in the combine.
TEST(PreviewRemovals, RowsRemovedInThePreviewAreNotSelectedAgain) {
  TestShop shop;
  tools::writeSampleShop(shop.folder());
  const std::unique_ptr<data::StoreEngine> readOnly = makeStoreEngine(std::chrono::milliseconds(200), true);
  data::PreviewEngine engine(*readOnly);
  RecordingUi preview(combine::CombineKind::kCustomer, "1000002", "1000002");
  app::CombineCommand(preview, {}, engine).run(app::CombineRequest{combine::CombineKind::kCustomer, "1000002", "1000002"});
  const std::map<data::PreviewEngine::CountKey, std::size_t> expected = {{{"mgmtdata.mdb", "ARBillings", ""}, 2}};
  EXPECT_EQ(engine.removals(), expected);

  RecordingUi ui(combine::CombineKind::kCustomer, "1000002", "1000002");
  ASSERT_TRUE(shop.combine(ui).everyChangeMade());
  EXPECT_EQ(shop.db("mgmtdata.mdb").count("ARBillings"), 2);
}

}  // namespace
}  // namespace kestrova::testing
