// kestrova-combine batch as a script runs it: a chain run to its end with
// its report, and every way a batch is refused before it writes anything.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "journal/journal_fixture.h"
#include "support/run_tool.h"

namespace kestrova::testing {
namespace {

class BatchCliTest : public ::testing::Test {
 protected:
  void SetUp() override { tools::writeSampleShop(shop.folder()); }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(shop.path(name), std::ios::binary) << text;
  }

  std::map<std::string, std::string> allBytes() const {
    std::map<std::string, std::string> files;
    for (const std::string& file : sampleFiles()) files[file] = shop.bytes(file);
    return files;
  }

  TestShop shop;
};

TEST_F(BatchCliTest, AChainRunsInFileOrderAndIsReported) {
  write("chain.csv",
        "kind,from,to\n# the same car, entered three times\nvehicle,2000002,2000001\nvehicle,2000002,2000001\n"
        "vehicle,2000001,2000003\n");
  const Outcome outcome = runTool("batch chain.csv --report report.csv");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "line 3: vehicle 2000002 -> 2000001: done, 11 rows changed")) << outcome.output;
  EXPECT_TRUE(contains(outcome.output, "vehicle 2000003 <- 2000002, 2000001")) << outcome.output;
  EXPECT_EQ(readBytes(shop.path("report.csv")),
            "line,kind,from,to,outcome,rows_changed,archives_not_updated\n3,vehicle,2000002,2000001,done,11,\n"
            "4,vehicle,2000002,2000001,done,0,\n5,vehicle,2000001,2000003,done,15,\n");
  EXPECT_EQ(*shop.db("mgmtdata.mdb").query("SELECT count(*) FROM Services WHERE AutoID <> '2000003'")[0][0], "0");
  EXPECT_EQ(*shop.db("kestrova.mdb").query("SELECT count(*) FROM History WHERE AutoID = '2000003'")[0][0], "5");
}

// A line that could not make every change runs again on a resume, and the
// later line that took its To further runs with it: the chain ends on its
// final survivor, archive included.
TEST_F(BatchCliTest, AResumeRunsALineWithFailuresAgainAndTheChainAfterIt) {
  write("chain.csv", "vehicle,2000002,2000001\nvehicle,2000001,2000009\n");
  std::filesystem::rename(shop.path("ARC2024.arc"), shop.path("away.arc"));
  ASSERT_EQ(runTool("batch chain.csv --journal chain.journal").status, 1);
  std::filesystem::rename(shop.path("away.arc"), shop.path("ARC2024.arc"));
  const Outcome resumed = runTool("batch chain.csv --journal chain.journal");
  EXPECT_EQ(resumed.status, 0) << resumed.output;
  EXPECT_TRUE(contains(resumed.output, "line 2: vehicle 2000001 -> 2000009: done")) << resumed.output;
  EXPECT_EQ(*shop.db("ARC2024.arc").query("SELECT count(*) FROM Orders WHERE AutoID IN ('2000001', '2000002')")[0][0],
            "0");
  EXPECT_EQ(*shop.db("mgmtdata.mdb").query("SELECT count(*) FROM Orders WHERE AutoID IN ('2000001', '2000002')")[0][0],
            "0");
}

// A batch killed between making its journal's file and writing the
// journal's tables leaves an empty file: the same batch run again takes it
// up, and undo takes the batch back.
TEST_F(BatchCliTest, AJournalWhoseMakingWasCutShortIsTakenUp) {
  std::string before;
  for (const std::string& file : sampleFiles()) before += shop.snapshot(file);
  write("chain.csv", "vehicle,2000002,2000001\nvehicle,2000004,2000003\n");
  write("chain.journal", "");
  const Outcome outcome = runTool("batch chain.csv --journal chain.journal");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_EQ(runTool("undo chain.journal").status, 0);
  std::string after;
  for (const std::string& file : sampleFiles()) after += shop.snapshot(file);
  EXPECT_TRUE(after == before);
}

TEST_F(BatchCliTest, ARefusedBatchWritesNothingAtAll) {
  write("other.csv", "vehicle,2000002,2000001\n");
  ASSERT_EQ(runTool("batch other.csv --journal other.journal").status, 0);
  ASSERT_EQ(runTool("vehicle 2000002 2000001 --journal single.journal").status, 0);
  write("old.csv", "vehicle,2000002,2000001\n");
  ASSERT_EQ(runTool("batch old.csv --journal old.journal").status, 0);
  write("old.csv", "vehicle,2000002,2000001\nvehicle,2000004,2000001\n");
  write("taken.csv", "");
  const std::filesystem::path elsewhere = shop.path("elsewhere");
  tools::writeSampleShop(elsewhere);
  write("moved.csv", "vehicle,2000002,2000001\n");
  ASSERT_EQ(runTool("batch moved.csv --dir elsewhere --journal moved.journal").status, 0);
  // More lines than the tool can hold in the memory it is given.
  std::string huge;
  for (int i = 0; i < 400000; ++i)
    huge += "vehicle,V" + std::to_string(100000 + i) + ",W" + std::to_string(100000 + i) + "\n";
  write("huge.csv", huge);
  const struct {
    const char* name;
    const char* file;  // the batch file's text
    const char* options;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"cycle",
       "vehicle,2000002,2000001\nvehicle,2000001,2000002\n",
       "",
       2,
       {"line 2: refused: its To 2000002 was the From of an earlier line", "(line 1)"}},
      {"bad line among good ones",
       "vehicle,2000002,2000001\nvehicle,200000,2000001\nvehicle,2000004,2000003,x\n",
       "",
       2,
       {"line 2: refused: its From '200000' is refused: Not all vehicle IDs have been entered.", "line 3: refused"}},
      {"From two ways",
       "vehicle,2000002,2000001\n\nvehicle,2000002,2000003\n",
       "",
       2,
       {"line 3: refused: its From 2000002 goes to 2000001", "(line 1)"}},
      {"no confirmation without a terminal", "customer,1000002,1000001\n", "", 3, {"1 customer combine"}},
      {"an existing report", "vehicle,2000002,2000001\n", "--yes --report taken.csv", 64, {"exists already"}},
      {"a journal of another file", "vehicle,2000004,2000001\n", "--journal other.journal", 64, {"another batch file"}},
      {"a journal of the file before it changed", nullptr, "--journal old.journal", 64, {"before it changed"}},
      {"a journal of a single combine",
       "vehicle,2000004,2000001\n",
       "--journal single.journal",
       64,
       {"not the journal of a batch"}},
      {"an unknown option", "vehicle,2000004,2000001\n", "--force", 64, {"Unknown option"}},
      {"an empty file", "", "", 2, {"holds no combine"}},
      {"only a byte-order mark", "\xEF\xBB\xBF", "", 2, {"holds no combine"}},
      {"only the header and comments", "# none yet\n\nkind,from,to\r\n", "", 2, {"holds no combine"}},
      {"a journal of another shop", nullptr, "--journal moved.journal", 64, {"in another shop"}},
      {"an ID holding an escape sequence",
       "vehicle,2000\x1b[2J,2000001\n",
       "",
       2,
       {"its From '2000\\x1b[2J' is refused"}},
  };
  for (const auto& c : cases) {
    if (c.file != nullptr) write("batch.csv", c.file);
    const auto before = allBytes();
    const std::string journal = readBytes(shop.path("other.journal"));
    const char* fileName = c.file ? "batch.csv" : contains(c.options, "moved") ? "moved.csv" : "old.csv";
    const Outcome outcome = runTool(std::string("batch ") + fileName + " " + c.options +
                                    (contains(c.options, "--journal") ? "" : " --journal new.journal") +
                                    (contains(c.options, "--report") ? "" : " --report new.csv"));
    EXPECT_EQ(outcome.status, c.status) << c.name << "\n" << outcome.output;
    for (const std::string& part : c.said)
      EXPECT_TRUE(contains(outcome.output, part)) << c.name << "\n" << outcome.output;
    EXPECT_EQ(allBytes(), before) << c.name;
    EXPECT_EQ(readBytes(shop.path("other.journal")), journal) << c.name;
    EXPECT_FALSE(std::filesystem::exists(shop.path("new.journal"))) << c.name;
    EXPECT_FALSE(std::filesystem::exists(shop.path("new.csv"))) << c.name;
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)  // the sanitizer's own reservations do not fit under the limit
  const auto before = allBytes();
  const Outcome tooLarge = runShell("ulimit -v 200000; " + std::string(KESTROVA_COMBINE_EXE) +
                                    " batch huge.csv --journal new.journal --report new.csv </dev/null 2>&1");
  EXPECT_EQ(tooLarge.status, 2) << tooLarge.output;
  EXPECT_TRUE(contains(tooLarge.output, "too large to be checked")) << tooLarge.output;
  EXPECT_EQ(allBytes(), before);
  EXPECT_FALSE(std::filesystem::exists(shop.path("new.journal")));
#endif
}

#ifndef _WIN32  // the signals are sent through the shell
// A batch ended by a signal (Ctrl-C, SIGTERM, or SIGHUP when the terminal
// closes or the session drops) lets the running combine finish its step,
// runs no later line, and still writes its summary and report.
TEST_F(BatchCliTest, ASignalStopsTheBatchWithItsReport) {
  std::string lines;
  for (int i = 0; i < 400; ++i) lines += "vehicle,2000002,2000001\n";
  write("long.csv", lines);
  for (const char* signal : {"TERM", "HUP"}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove(shop.path("long-report.csv"));
    const Outcome outcome =
        runShell("(" + std::string(KESTROVA_COMBINE_EXE) +
                 " batch long.csv --report long-report.csv </dev/null >out.txt 2>&1 & "
                 "pid=$!; until grep -q 'line 1:' out.txt 2>/dev/null; do sleep 0.05; done; kill -" +
                 signal + " $pid; wait $pid; echo \"exit $?\"; cat out.txt)");
    EXPECT_TRUE(contains(outcome.output, "exit 130")) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "The batch was stopped")) << outcome.output;
    EXPECT_TRUE(contains(readBytes(shop.path("long-report.csv")), ",not_run,")) << outcome.output;
  }
}

// On a terminal (given by `script`), a combine's message never runs on from
// the progress bar's "80%": here an archive found under two spellings.
TEST_F(BatchCliTest, OnATerminalEachMessageStartsItsOwnLine) {
  std::filesystem::rename(shop.path("ARC2023.arc"), shop.path("ARC2023.ARC"));
  std::filesystem::copy_file(shop.path("ARC2023.ARC"), shop.path("arc2023.arc"));
  write("one.csv", "vehicle,2000002,2000001\n");
  const std::string output =
      runShell("script -qec '" + std::string(KESTROVA_COMBINE_EXE) + " batch one.csv --yes' /dev/null </dev/null")
          .output;
  ASSERT_TRUE(contains(output, "] 0%") && contains(output, "Unable to update archive file: ARC2023")) << output;
  for (std::size_t at = output.find("[line "); at != std::string::npos; at = output.find("[line ", at + 1)) {
    EXPECT_EQ(output[output.find_last_not_of('\a', at - 1)], '\n') << output.substr(0, at + 40);
  }
}
#endif

}  // namespace
}  // namespace kestrova::testing
