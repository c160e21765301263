// Reading a batch file: CSV quoting, byte-order mark, CRLF, comments, the
// header, line numbers, and the checks that refuse a line.

#include <gtest/gtest.h>

#include "app/batch/batch_file.h"
#include "app/combine_journal.h"

namespace kestrova::app {
namespace {

// The accepted lines as "N kind FROM TO", then each refusal as "!N" or "!N/OTHER".
std::string summaryOf(const BatchFile& file) {
  std::string text;
  for (const BatchLine& line : file.lines) {
    if (!line.kind) continue;
    text += (text.empty() ? "" : "; ") + std::to_string(line.number) + " " + kindName(*line.kind) + " " +
            line.from + " " + line.to;
  }
  for (const BatchRefusal& refusal : file.refusals) {
    text += " !" + std::to_string(refusal.line);
    if (refusal.otherLine != 0) text += "/" + std::to_string(refusal.otherLine);
  }
  return text;
}

TEST(BatchFileTest, ReadsTheLinesAndRefusesWhatTheChecksRefuse) {
  const struct {
    const char* name;
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"header, blanks, comments, CRLF and BOM",
       "\xEF\xBB\xBF Kind , FROM,to\r\n\r\n  # a comment, with a comma\r\nVEHICLE , 2000002 ,\t2000001\r\n",
       "4 vehicle 2000002 2000001"},
      {"quoted fields, a doubled quote, lower case upper-cased",
       "customer,\"ab,1234\" , \"ab\"\"1234\"\nemployee,\"111-22-4444\",111-22-3333",
       "1 customer AB,1234 AB\"1234; 2 employee 111-22-4444 111-22-3333"},
      {"a header only as the first line that is not blank or a comment", "# c\n\nkind,from,to\nkind,from,to\n", " !4"},
      {"no trailing newline, lone LF lines", "vehicle,2000002,2000001\n\nvehicle,2000003,2000001",
       "1 vehicle 2000002 2000001; 3 vehicle 2000003 2000001"},
      {"a chain, and a line repeated", "vehicle,A000001,A000002\nvehicle,A000001,A000002\nvehicle,A000002,A000003",
       "1 vehicle A000001 A000002; 2 vehicle A000001 A000002; 3 vehicle A000002 A000003"},
      {"a repeat after the chain went on", "vehicle,A000001,A000002\nvehicle,A000002,A000003\nvehicle,A000001,A000002",
       "1 vehicle A000001 A000002; 2 vehicle A000002 A000003; 3 vehicle A000001 A000002 !3/2"},
      {"a cycle of two", "vehicle,A000001,A000002\nvehicle,A000002,A000001",
       "1 vehicle A000001 A000002; 2 vehicle A000002 A000001 !2/1"},
      {"a cycle of three", "customer,A000001,A000002\ncustomer,A000002,A000003\ncustomer,A000003,A000001",
       "1 customer A000001 A000002; 2 customer A000002 A000003; 3 customer A000003 A000001 !3/1"},
      {"one From going two ways", "vehicle,A000001,A000002\n#\nvehicle,a000001,A000003",
       "1 vehicle A000001 A000002; 3 vehicle A000001 A000003 !3/1"},
      {"a From back on its first To after going another way",
       "vehicle,A000001,A000002\nvehicle,A000001,A000003\nvehicle,A000001,A000002",
       "1 vehicle A000001 A000002; 2 vehicle A000001 A000003; 3 vehicle A000001 A000002 !2/1 !3/2"},
      {"kinds are checked apart", "vehicle,A000001,A000002\ncustomer,A000002,A000001",
       "1 vehicle A000001 A000002; 2 customer A000002 A000001"},
      {"a refused line still counts", "vehicle,A000001,A000001\nvehicle,A000001,A000002",
       "1 vehicle A000001 A000001; 2 vehicle A000001 A000002 !1 !2/1"},
      {"IDs checked as the window checks them",
       "vehicle,200000,2000001\nemployee,111223333,111-22-3333\ncustomer,1000001,10000022",
       "1 vehicle 200000 2000001; 2 employee 111223333 111-22-3333; 3 customer 1000001 10000022 !1 !2 !3"},
      {"unknown kind, wrong field counts, bad CSV, not UTF-8",
       "truck,A000001,A000002\nvehicle,A000001\nvehicle,A,B,C\nvehicle,\"A000001,A000002\nvehicle,A\"1,B\n"
       "vehicle,\"A000001\"x,A000002\nvehicle,\xFF\xFE\x30\x30\x30\x30\x30,A000002",
       " !1 !2 !3 !4 !5 !6 !7"},
      {"UTF-16, as Notepad saves Unicode", std::string("\xFF\xFEv\0e\0h\0", 8), " !1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(summaryOf(readBatchFile(c.bytes)), c.expected) << c.name;
  }
}

TEST(BatchFileTest, MarksTheLinesThatDependOnEarlierOnesAndDigestsTheBytes) {
  const BatchFile file = readBatchFile("vehicle,A000001,A000002\ncustomer,A000002,B000001\nvehicle,A000002,A000003\n");
  ASSERT_EQ(file.lines.size(), 3u);
  EXPECT_TRUE(file.lines[1].dependsOn.empty());
  EXPECT_EQ(file.lines[2].dependsOn, std::vector<int>{1});
  // Each ID's last earlier line stands for the lines before it.
  const BatchFile chain = readBatchFile("vehicle,A000001,A000002\nvehicle,A000003,A000002\nvehicle,A000002,A000004\n");
  EXPECT_EQ(chain.lines[2].dependsOn, std::vector<int>{2});
  // SHA-256 of the bytes: one changed byte is another file.
  EXPECT_EQ(readBatchFile("").digest, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_NE(readBatchFile("vehicle,A000001,A000002\n").digest, readBatchFile("vehicle,A000001,A000002\r\n").digest);
}

TEST(BatchFileTest, WritesFieldsAsCsvReadsThemBack) {
  for (const char* text : {"plain", "a,b", "say \"hi\"", " padded ", "ARC1;ARC2", ""}) {
    std::vector<std::string> fields;
    std::string problem;
    ASSERT_TRUE(splitCsvLine(csvField(text) + "," + csvField(text), &fields, &problem)) << text << problem;
    EXPECT_EQ(fields, (std::vector<std::string>{text, text})) << csvField(text);
  }
  EXPECT_EQ(csvField("ARC1;ARC2"), "ARC1;ARC2");
  EXPECT_EQ(csvField("a,b"), "\"a,b\"");
  // What a spreadsheet would run as a formula is written as text.
  EXPECT_EQ(csvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
  for (const char* formula : {"+1", "-1", "@SUM(A1)"}) EXPECT_EQ(csvField(formula), std::string("'") + formula);
  EXPECT_EQ(csvField("a=b"), "a=b");
}

}  // namespace
}  // namespace kestrova::app
