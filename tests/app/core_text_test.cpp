// The pieces the faces share without a toolkit: the IDs' upper case and
// length, the settings file, the command line's options and the batch
// file's digest.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/id_text.h"
#include "app/cli/option_parser.h"
#include "app/settings_file.h"
#include "app/sha256.h"
#include "data/utf8_text.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

TEST(IdTextTest, UpperCasesOneForOneAndCountsWhatAPersonSees) {
  struct Case {
    std::string typed;
    std::string upper;
    int length;
  };
  const Case cases[] = {
      {"ab00002", "AB00002", 7},
      {"a'b c\"d", "A'B C\"D", 7},
      {"\xC3\xA4" "bcdefg", "\xC3\x84" "BCDEFG", 7},             // ä
      {"\xC3\xA9\xC3\xBF", "\xC3\x89\xC5\xB8", 2},               // é ÿ
      {"\xC3\x9F" "x", "\xC3\x9F" "X", 2},                        // ß has no one-letter upper case
      {"\xCF\x83\xCF\x82\xD0\xB6", "\xCE\xA3\xCE\xA3\xD0\x96", 3},  // σ ς ж
      {"A\xCC\x88" "BCDEFG", "A\xCC\x88" "BCDEFG", 7},           // A and a combining diaeresis
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1},  // thumbs up, skin tone
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 1},  // a flag
      {"\xE4\xB8\xAD" "1", "\xE4\xB8\xAD" "1", 2},               // a letter with no case
      {"a\xFF" "b", "A\xFF" "B", 3},                              // a byte that is not UTF-8 stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(upperCased(c.typed), c.upper);
    EXPECT_EQ(visibleLength(c.typed), c.length);
  }
  EXPECT_FALSE(isUtf8("a\xFF"));
  EXPECT_EQ(validUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

// Text from the data as it is shown: control characters, C1 controls and
// bytes that are not UTF-8 (a surrogate written in UTF-8 is not) visible,
// every other character as it stands.
TEST(VisibleTextTest, ShowsControlsAndBytesThatAreNotTextVisibly) {
  const std::pair<std::string, std::string> cases[] = {
      {"ARC\xFF", "ARC\\xff"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"\x1B]0;x\x07\nDone.", "\\x1b]0;x\\x07\\x0aDone."},
      {"\xC2\x9B" "2J", "\\u009b2J"},
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},
      {"\xC3", "\\xc3"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(data::visibleText(text), shown);
}

TEST(SettingsFileTest, ReadsGroupsKeysQuotesListsAndComments) {
  const SettingsFile settings = SettingsFile::parse(
      "\xEF\xBB\xBF; a comment\r\n"
      "[Drives]\n"
      "a=/media/floppy ; the diskette\n"
      "C = /srv/drive c\n"
      "[odbc]\n"
      "template=\"Driver=SQLite3;Database={path};NoCreat=1\"\n"
      "list=one, two,three\n"
      "escaped=\"a \\\"b\\\" \\\\c\"\n"
      "folder=\"D:\\copies\\new\"\n"
      "trailing=\"C:\\copies\\\"\n");
  EXPECT_EQ(settings.value("drives", "A"), "/media/floppy");
  EXPECT_EQ(settings.value("DRIVES", "c"), "/srv/drive c");
  EXPECT_EQ(settings.value("odbc", "template"), "Driver=SQLite3;Database={path};NoCreat=1");
  EXPECT_EQ(settings.value("odbc", "list"), "one, two, three");
  EXPECT_EQ(settings.value("odbc", "escaped"), "a \"b\" \\c");
  EXPECT_EQ(settings.value("odbc", "folder"), "D:\\copies\\new");
  EXPECT_EQ(settings.value("odbc", "trailing"), "C:\\copies\\");
  EXPECT_EQ(settings.value("odbc", "missing"), std::nullopt);
  EXPECT_EQ(settings.group("drives").size(), 2u);
}

// Notepad saves "Unicode" as UTF-16 with a byte-order mark; without the
// mark it is still told by its NUL bytes.
TEST(SettingsFileTest, ReadsAFileSavedAsUtf16) {
  const std::string text = "[drives]\r\nA=\"D:\\copies\"\r\n[odbc]\r\ntemplate=DSN=caf\xC3\xA9\r\n";
  const std::pair<std::string, bool> forms[] = {{"\xFF\xFE", false}, {"\xFE\xFF", true}, {"", false}};
  for (const auto& [mark, bigEndian] : forms) {
    std::string bytes = mark;
    for (std::size_t at = 0; at < text.size();) {
      const char32_t c = *data::nextCodePoint(text, &at);
      const char high = static_cast<char>(c >> 8);
      const char low = static_cast<char>(c & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    const SettingsFile settings = SettingsFile::parse(bytes);
    EXPECT_EQ(settings.value("drives", "A"), "D:\\copies") << "mark " << mark.size();
    EXPECT_EQ(settings.value("odbc", "template"), "DSN=caf\xC3\xA9") << "mark " << mark.size();
  }
}

TEST(OptionParserTest, TakesOptionsAnywhereAndSaysWhatItDoesNotUnderstand) {
  struct Case {
    std::vector<std::string> arguments;
    std::string problem;  // empty when understood
    std::vector<std::string> words;
    std::string dir;
  };
  const Case cases[] = {
      {{"vehicle", "--dir", "x", "A", "B", "--yes"}, "", {"vehicle", "A", "B"}, "x"},
      {{"-dir=y", "-yes", "vehicle"}, "", {"vehicle"}, "y"},
      {{"--", "--yes", "-"}, "", {"--yes", "-"}, ""},
      {{"--dir"}, "Missing value after '--dir'.", {}, ""},
      {{"--yes=1"}, "Unexpected value after '--yes'.", {}, ""},
      {{"--colour"}, "Unknown option 'colour'.", {}, ""},
      {{"-a", "--b"}, "Unknown options: a, b.", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    OptionParser parser;
    parser.add({"yes"});
    parser.add({"dir"}, true);
    std::string problem;
    EXPECT_EQ(parser.parse(c.arguments, &problem), c.problem.empty());
    EXPECT_EQ(problem, c.problem);
    if (!c.problem.empty()) continue;
    EXPECT_EQ(parser.words(), c.words);
    EXPECT_EQ(parser.value("dir"), c.dir);
  }
}

TEST(Sha256Test, MatchesTheStandardsVectors) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace kestrova::app
