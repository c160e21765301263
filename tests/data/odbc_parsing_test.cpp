// What the ODBC store makes of the texts it is handed before any driver sees
// them, and of the diagnostics a driver hands back.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "data/ascii_text.h"
#include "data/odbc_errors.h"
#include "data/odbc_parsing.h"

namespace kestrova::data {
namespace {

TEST(OdbcParsing, ASelectIsTakenApartAtItsFirstFromOutsideQuotesOrRefused) {
  struct Case {
    const char* source;
    bool taken;
    SelectParts parts;
  };
  const Case cases[] = {
      {"Select AutoID from History where AutoID = '1'", true, {"AutoID", "History", " where AutoID = '1'"}},
      {"SELECT a, b FROM \"Old Orders\" ORDER BY a", true, {"a, b", "Old Orders", " ORDER BY a"}},
      {"select x from [Work Orders]", true, {"x", "Work Orders", ""}},
      {"select 'a from b' from T", true, {"'a from b'", "T", ""}},
      {"select x from T;", true, {"x", "T", ";"}},
      {"select\tx\tfrom\tT", true, {"x", "T", ""}},
      {"select x from \"Unclosed", false, {}},
      {"select from T", false, {}},
      {"selectx from T", false, {}},
      {"History", false, {}},
      {"update T set x = 1", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    SelectParts parts;
    ASSERT_EQ(splitSelect(c.source, &parts), c.taken);
    if (c.taken) {
      EXPECT_EQ(parts, c.parts);
    }
  }
}

TEST(OdbcParsing, OnlyASemicolonOutsideQuotesWithSomethingAfterItStartsASecondStatement) {
  const std::pair<const char*, bool> cases[] = {
      {"AutoID = '5'", false},
      {"AutoID = '5';", false},
      {"AutoID = '5';  \n", false},
      {"AutoID = '5'; DELETE FROM History", true},
      {"Note = 'a;b'", false},
      {"\"odd;name\" = 1", false},
      {"[odd;name] = 1 ; drop table x", true},
      {"`a;b` = 1", false},
      {"Note = 'it''s'; x", true},
  };
  for (const auto& [text, second] : cases) EXPECT_EQ(holdsSecondStatement(text), second) << text;
}

TEST(OdbcParsing, AConnectionStringIsSplitIntoPairsOrRefusedWithTheReason) {
  struct Case {
    const char* text;
    std::vector<ConnectionPair> pairs;  // empty: refused
    const char* problem;
  };
  const Case cases[] = {
      {"Driver={SQLite3};Database={path}", {{"Driver", "{SQLite3}"}, {"Database", "{path}"}}, ""},
      {" DSN = shop ;; Pwd={a;b};", {{"DSN", "shop"}, {"Pwd", "{a;b}"}}, ""},
      {"DSN=shop; ", {}, "\"\" is not of the form key=value"},
      {"Driver=x;Database", {}, "\"Database\" is not of the form key=value"},
      {"=x", {}, "a key=value pair has no key"},
      {"Pwd={open", {}, "the value of Pwd opens a brace that is never closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<ConnectionPair> pairs;
    std::string problem;
    const bool split = splitPairs(c.text, &pairs, &problem);
    EXPECT_EQ(split, !c.pairs.empty()) << problem;
    if (split) {
      EXPECT_EQ(pairs, c.pairs);
    } else {
      EXPECT_EQ(problem, c.problem);
    }
  }
  const std::vector<ConnectionPair> pairs = {{"DRIVER", "{x}"}, {"nocreat", "1"}};
  EXPECT_EQ(findPair(pairs, "Driver"), &pairs[0]);
  EXPECT_EQ(findPair(pairs, "NoCreat"), &pairs[1]);
  EXPECT_EQ(findPair(pairs, "dsn"), nullptr);
  EXPECT_EQ(unbraced("{SQLite3}"), "SQLite3");
  EXPECT_EQ(unbraced("SQLite3"), "SQLite3");
}

TEST(OdbcParsing, BareNamesAreRespelledAndLiteralsQuotedNamesAndNumbersLeftAlone) {
  const auto spelling = [](std::string_view word) -> std::optional<std::string> {
    if (sameIgnoringCase(word, "autoid")) return "\"AutoID\"";
    if (sameIgnoringCase(word, "history")) return "\"History\"";
    return std::nullopt;
  };
  const std::pair<const char*, const char*> cases[] = {
      {"autoid = '5000005'", "\"AutoID\" = '5000005'"},
      {"AutoID, Description", "\"AutoID\", Description"},
      {"where History.AutoID='autoid' order by AUTOID", "where \"History\".\"AutoID\"='autoid' order by \"AutoID\""},
      {"\"autoid\" = [AutoID] or `AutoID` = 'it''s autoid'", "\"autoid\" = [AutoID] or `AutoID` = 'it''s autoid'"},
      {"AutoID1 = 1autoid or autoid_x = x.autoid", "AutoID1 = 1autoid or autoid_x = x.\"AutoID\""},
  };
  for (const auto& [text, respelled] : cases) EXPECT_EQ(respelledNames(text, spelling), respelled) << text;
}

TEST(OdbcParsing, TextsBetweenSingleQuotesBecomeParametersAndQuotedNamesStay) {
  const std::pair<const char*, WithParameters> cases[] = {
      {"CustID = 'C\xF0\x9F\x9A\x97" "1'", {"CustID = ?", {"C\xF0\x9F\x9A\x97" "1"}}},
      {"a = 'it''s' OR b = ''''", {"a = ? OR b = ?", {"it's", "'"}}},
      {"a = ''", {"a = ?", {""}}},
      {"\"it's\" = 'x' AND [b'c] = 'y' AND `d''` = 'z'", {"\"it's\" = ? AND [b'c] = ? AND `d''` = ?", {"x", "y", "z"}}},
      {"\"a\"\"'\" = 'x'", {"\"a\"\"'\" = ?", {"x"}}},
      {"a = 'open", {"a = 'open", {}}},
      {"a = 1", {"a = 1", {}}},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(textsAsParameters(sql), expected) << sql;
}

TEST(OdbcErrors, DiagnosticsMapToTheToolsCodesByDataSourceCodeStateAndWords) {
  using Code = Status::Code;
  struct Case {
    OdbcSource source;
    const char* state;
    SQLINTEGER native;
    const char* text;
    Code code;
    const char* reasonStart;
  };
  const Case cases[] = {
      {OdbcSource::kSqlite, "HY000", 5, "database is locked", Code::kFileInUse, "the file is in use"},
      {OdbcSource::kSqlite, "HY000", 6 | (1 << 8), "locked", Code::kFileInUse, "the file is in use"},
      {OdbcSource::kSqlite, "HY000", 8, "attempt to write", Code::kReadOnly, "the file cannot be written"},
      {OdbcSource::kSqlite, "HY000", 26, "file is not a database", Code::kNotADatabase, "the file is not a shop"},
      {OdbcSource::kSqlite, "HY000", 11, "malformed", Code::kIoError, "the database file is damaged"},
      {OdbcSource::kSqlite, "HY000", 13, "full", Code::kIoError, "the disk is full"},
      {OdbcSource::kSqlite, "HY000", 10, "disk I/O error", Code::kIoError, "the file could not be read or written"},
      {OdbcSource::kSqlite, "HY000", 14, "unable to open", Code::kFileMissing, "the file cannot be opened"},
      {OdbcSource::kSqlite, "23000", 19, "UNIQUE constraint failed", Code::kRowRefused, "the database refused"},
      {OdbcSource::kSqlite, "HY000", 1, "no such table: Foo", Code::kNoSuchTable, "the file has no such table"},
      {OdbcSource::kOther, "HY000", 5, "syntax error", Code::kBadRecordSource, "the database rejected"},
      {OdbcSource::kPostgresql, "55P03", 7, "canceling statement due to lock timeout", Code::kFileInUse, "the file"},
      {OdbcSource::kPostgresql, "HYT00", 0, "timeout", Code::kFileInUse, "the file is in use"},
      {OdbcSource::kPostgresql, "25006", 7, "read-only transaction", Code::kReadOnly, "the file cannot be written"},
      {OdbcSource::kPostgresql, "3D000", 0, "database \"x\" does not exist", Code::kFileMissing, "there is no such"},
      {OdbcSource::kPostgresql, "08001", 0, "database \"x\" does not exist", Code::kFileMissing, "there is no such"},
      {OdbcSource::kPostgresql, "08001", 0, "could not connect", Code::kIoError, "the data source cannot be"},
      {OdbcSource::kPostgresql, "42P01", 7, "relation", Code::kNoSuchTable, "the file has no such table"},
      {OdbcSource::kPostgresql, "42703", 7, "column", Code::kNoSuchColumn, "the table has no such column"},
      {OdbcSource::kPostgresql, "23505", 7, "duplicate key", Code::kRowRefused, "the database refused"},
      {OdbcSource::kPostgresql, "53100", 7, "no space", Code::kIoError, "the disk or memory is full"},
      {OdbcSource::kPostgresql, "42601", 7, "syntax error", Code::kBadRecordSource, "the database rejected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.state) + " " + c.text);
    const Status status = translateDiagnostics({Diagnostic{c.state, c.native, c.text}}, c.source, "x.mdb", "opening");
    EXPECT_EQ(status.code(), c.code);
    EXPECT_TRUE(status.reason().starts_with(c.reasonStart)) << status.reason();
  }
  EXPECT_EQ(translateDiagnostics({}, OdbcSource::kOther, "x.mdb", "opening").reason(),
            "the database rejected the request (no reason given by the driver)");
}

}  // namespace
}  // namespace kestrova::data
