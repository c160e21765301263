// A batch whose lines run together ends exactly where its lines run one by
// one end: the same rows in every file, and the same outcome and row count
// for each line. Lines that depend on earlier ones, an archive that cannot
// be found, a row refused, a From employee missing and a nickname written
// like a technician number each take their own way through the batch.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "journal/journal_fixture.h"
#include "support/run_tool.h"
#include "support/store_under_test.h"

namespace kestrova::testing {
namespace {

struct GroupCase {
  const char* name;
  const char* batch;  // the lines, without the header
  // Made in both copies of the shop before the batch: "file: SQL", or a
  // file moved away with "move FILE".
  std::vector<std::string> setup = {};
};

void PrintTo(const GroupCase& groupCase, std::ostream* out) { *out << groupCase.name; }

// The report's lines without its header.
std::string reportLines(const std::filesystem::path& report) {
  const std::string text = readBytes(report);
  return text.substr(text.find('\n') + 1);
}

class BatchGroupsTest : public ::testing::TestWithParam<GroupCase> {
 protected:
  void SetUp() override {
    odbcUnderTest();  // sets the store the programs run on
    for (const char* copy : {"together", "alone"}) {
      tools::writeSampleShop(shop.path(copy));
      for (const std::string& step : GetParam().setup) {
        if (step.starts_with("move ")) {
          std::filesystem::rename(shop.path(copy) / step.substr(5), shop.path(copy) / "away");
        } else {
          const std::size_t colon = step.find(": ");
          tools::ShopDb(shop.path(copy) / step.substr(0, colon)).exec(step.substr(colon + 2));
        }
      }
    }
  }

  TestShop shop;
};

TEST_P(BatchGroupsTest, EndsAsItsLinesRunOneByOne) {
  const std::string lines = GetParam().batch;
  std::ofstream(shop.path("batch.csv"), std::ios::binary) << "kind,from,to\n" << lines;
  const Outcome together = runTool("batch batch.csv --yes --dir together --report report.csv");

  // One line a batch: each runs as a single combine, after the ones before it.
  std::string alone;
  int worst = 0;
  std::size_t start = 0;
  for (int number = 2; start < lines.size(); ++number) {
    const std::size_t end = lines.find('\n', start);
    const std::string path = "line" + std::to_string(number);
    std::ofstream(shop.path(path + ".csv"), std::ios::binary)
        << std::string(number - 1, '\n') << lines.substr(start, end - start) << '\n';
    const Outcome one = runTool("batch " + path + ".csv --yes --dir alone --report " + path + ".report");
    worst = std::max(worst, one.status);
    alone += reportLines(shop.path(path + ".report"));
    start = end + 1;
  }

  EXPECT_EQ(together.status, worst) << together.output;
  EXPECT_EQ(reportLines(shop.path("report.csv")), alone) << together.output;
  for (const std::string& file : sampleFiles()) {
    if (!std::filesystem::exists(shop.path("alone") / file)) continue;
    EXPECT_EQ(shop.snapshot("together/" + file), shop.snapshot("alone/" + file)) << file << "\n" << together.output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, BatchGroupsTest,
    ::testing::Values(
        GroupCase{"IndependentLinesOfEachKind",
                  "vehicle,2000002,2000001\nvehicle,2000004,2000003\ncustomer,1000002,1000001\n"
                  "customer,1000003,1000004\nemployee,111-22-4444,111-22-3333\nemployee,333-44-5555,222-33-4444\n"},
        GroupCase{"ChainsAfterTheLinesTheyDependOn",
                  "vehicle,2000002,2000001\nvehicle,2000004,2000003\nvehicle,2000001,2000005\n"
                  "vehicle,2000003,2000005\ncustomer,1000002,1000001\nvehicle,2000005,2000006\n"},
        GroupCase{"AnArchiveFoundNowhere", "vehicle,2000002,2000001\nvehicle,2000003,2000004\n", {"move ARC2024.arc"}},
        GroupCase{"ARowRefusedFailsItsLineAlone",
                  "customer,1000002,1000001\ncustomer,1000003,1000004\n",
                  {"mgmtdata.mdb: CREATE TRIGGER refuse BEFORE UPDATE ON Invoices WHEN old.CustID = '1000003' "
                   "BEGIN SELECT RAISE(ABORT, 'refused here'); END"}},
        GroupCase{"AFromEmployeeMissing", "employee,999-99-9999,111-22-3333\nemployee,111-22-4444,222-33-4444\n"},
        GroupCase{"ANicknameWrittenLikeATechnicianNumber",
                  "employee,111-22-4444,111-22-3333\nemployee,333-44-5555,222-33-4444\n",
                  {"kestrova.mdb: UPDATE Employees SET NickName = '~333-44-5555' WHERE IDNumber = '111-22-4444'",
                   "w_orders.mdb: UPDATE Tasks SET Tech = '~333-44-5555' WHERE rowid = 1"}}),
    [](const ::testing::TestParamInfo<GroupCase>& info) { return std::string(info.param.name); });

// The diskette of an archive is asked for once for all the lines that run
// together, and once more for a line that runs after them.
TEST(BatchDiskettes, EachArchiveIsAskedForOncePerGroup) {
  odbcUnderTest();
  TestShop shop;
  tools::writeSampleShop(shop.folder());
  const std::filesystem::path driveA = shop.path("driveA");
  std::filesystem::create_directory(driveA);
  for (const char* archive : {"ARC2023.arc", "ARC2024.arc"}) {
    std::filesystem::rename(shop.path(archive), driveA / archive);
  }
  std::ofstream(shop.path("batch.csv"), std::ios::binary)
      << "vehicle,2000002,2000001\nvehicle,2000003,2000004\nvehicle,2000001,2000005\n";
  const Outcome outcome = runTool("batch batch.csv --yes", {{"KESTROVA_DRIVE_A", driveA.string()}});
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  std::size_t prompts = 0;
  for (std::size_t at = 0; (at = outcome.output.find("Place the diskette", at)) != std::string::npos; ++at) ++prompts;
  // Lines 1 and 2 together: ARC2023 and ARC2024 once each (one by one, ARC2024
  // twice); line 3, after line 1, both again.
  EXPECT_EQ(prompts, 4u) << outcome.output;
  EXPECT_EQ(*tools::ShopDb(driveA / "ARC2024.arc").scalar("SELECT count(*) FROM Orders WHERE AutoID <> '2000005' "
                                                          "AND AutoID <> '2000004'"),
            "0");
}

}  // namespace
}  // namespace kestrova::testing
