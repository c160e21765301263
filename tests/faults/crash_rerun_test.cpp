// A combine killed at any moment leaves every file sound, and running the
// same combine again finishes it: afterwards every file equals, row for row,
// the result of one run that was never interrupted, and no row outside the
// combine's reach differs from the original.
//
// The kill moments are spread over the whole run, archives included: one
// uninterrupted run is watched first, and the program is then killed on each
// of its "progress" lines and at fractions of the time to the next one, and
// at even steps over the whole run.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "fault_support.h"
#include "shop_builder/shop_builder.h"
#include "shop_reach.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

using Clock = CombineProcess::Clock;
using std::chrono::duration_cast;
using std::chrono::microseconds;

// At scale 0.01 the shop's files hold some 40,000 rows of other records;
// each duplicate gets 2,500 rows more in every table it appears in.
constexpr double kSampleScale = 0.01;
constexpr int kRowsPerDuplicate = 2500;
constexpr int kEvenKills = 4;
constexpr double kFractionsOfStep[] = {0.0, 1.0 / 3, 2.0 / 3};

// When to kill: after `progressLines` progress lines, plus `delay`.
struct KillMoment {
  int progressLines = 0;
  Clock::duration delay{};
};

// What one killed run left behind, by file: '=' as the original, '*' as the
// finished combine, '~' in between ('.' for a file the combine leaves as it is).
std::string stateOf(const std::filesystem::path& now, const std::filesystem::path& original,
                    const std::filesystem::path& finished) {
  std::string state;
  for (const std::string& file : shopFilesIn(now)) {
    // A file SQLite has rolled back holds the original's very bytes.
    const bool asOriginal = readBytes(now / file) == readBytes(original / file);
    const bool asFinished = fileDifferences(now / file, finished / file).empty();
    state += asOriginal && asFinished ? '.' : asOriginal ? '=' : asFinished ? '*' : '~';
  }
  return state;
}

std::vector<std::string> command(const KindCase& kind, const std::filesystem::path& folder) {
  std::vector<std::string> arguments = kind.arguments;
  arguments.push_back("--dir");
  arguments.push_back(folder.string());
  return arguments;
}

class CrashRerunTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(CrashRerunTest, KilledAtAnyMomentTheRerunEndsAsOneUninterruptedRun) {
  const KindCase& kind = GetParam();
  ScratchFolder work("crash");
  const std::filesystem::path original = work / "original";
  tools::writeSampleShop(original, tools::SampleShopOptions{.scale = kSampleScale});
  addRowsOfDuplicates(original, kRowsPerDuplicate);
  const CombineReach reach(original, kind.kind);

  // One uninterrupted run: the result every rerun must reach, and the
  // moments of its progress lines.
  const std::filesystem::path finished = work / "finished";
  copyFolder(original, finished);
  CombineProcess watched(command(kind, finished));
  const ProgramResult uninterrupted = watched.finish();
  const Clock::time_point ended = Clock::now();
  ASSERT_EQ(uninterrupted.exitStatus, 0) << uninterrupted.out << uninterrupted.err;
  EXPECT_EQ(reach.changesOutsideReach(finished), std::vector<std::string>{});
  EXPECT_EQ(reach.rowsLeftToCombine(finished), std::vector<std::string>{});

  std::vector<Clock::duration> lineAt;
  for (const Clock::time_point moment : watched.progressTimes()) lineAt.push_back(moment - watched.started());
  const Clock::duration length = ended - watched.started();
  ASSERT_GE(lineAt.size(), 2u) << uninterrupted.err;

  std::vector<KillMoment> moments;
  for (std::size_t line = 0; line < lineAt.size(); ++line) {
    const Clock::duration step = (line + 1 < lineAt.size() ? lineAt[line + 1] : length) - lineAt[line];
    for (double fraction : kFractionsOfStep) {
      moments.push_back({static_cast<int>(line) + 1, duration_cast<Clock::duration>(step * fraction)});
    }
  }
  for (int i = 0; i < kEvenKills; ++i) moments.push_back({0, length * i / kEvenKills});
  ASSERT_GE(moments.size(), 20u);

  int killedMidway = 0;
  std::string states;
  for (std::size_t i = 0; i < moments.size(); ++i) {
    const KillMoment& moment = moments[i];
    SCOPED_TRACE("kill " + std::to_string(i) + " after " + std::to_string(moment.progressLines) +
                 " progress lines and " + std::to_string(duration_cast<microseconds>(moment.delay).count()) + " us");
    const std::filesystem::path shop = work / ("killed" + std::to_string(i));
    copyFolder(original, shop);

    CombineProcess process(command(kind, shop));
    process.waitForProgressLines(moment.progressLines);
    process.readUntil(Clock::now() + moment.delay);
    const ProgramResult killed = process.kill();
    ASSERT_TRUE(killed.killed || killed.exitStatus == 0) << killed.out << killed.err;

    // What a crash leaves: every file sound once SQLite has recovered it
    // (checked on a copy, so that the rerun meets the crash's journals
    // itself), and nothing outside the combine's reach touched.
    const std::filesystem::path inspected = work / ("inspected" + std::to_string(i));
    copyFolder(shop, inspected);
    for (const std::string& file : shopFilesIn(inspected)) {
      EXPECT_EQ(integrityOf(inspected / file), "ok") << file;
    }
    EXPECT_EQ(reach.changesOutsideReach(inspected), std::vector<std::string>{});
    const std::string state = stateOf(inspected, original, finished);
    states += state + (killed.killed ? "" : "(ended)") + " ";
    if (state.find_first_of("~") != std::string::npos ||
        (state.find('=') != std::string::npos && state.find('*') != std::string::npos)) {
      ++killedMidway;
    }

    const ProgramResult rerun = runCombineProgram(command(kind, shop));
    EXPECT_EQ(rerun.exitStatus, 0) << rerun.out << rerun.err;
    EXPECT_EQ(folderDifferences(shop, finished), std::vector<std::string>{})
        << "the rerun after a kill in state " << state << " differs from one uninterrupted run";
    for (const auto& entry : std::filesystem::directory_iterator(shop)) {
      EXPECT_FALSE(entry.path().string().ends_with("-journal")) << entry.path();
    }
    std::filesystem::remove_all(shop);
    std::filesystem::remove_all(inspected);
    if (HasFatalFailure()) return;
  }
  // Files in order: ARC2023.arc ARC2024.arc kestrova.mdb mgmtdata.mdb w_orders.mdb.
  std::printf("%zu kills, %d left the combine half done; states: %s\n", moments.size(), killedMidway, states.c_str());
  RecordProperty("killedMidway", killedMidway);
  EXPECT_GT(killedMidway, 0) << "no kill landed inside the combine";
}

INSTANTIATE_TEST_SUITE_P(EachKind, CrashRerunTest, ::testing::ValuesIn(sampleCombines()),
                         [](const ::testing::TestParamInfo<KindCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kestrova::testing
