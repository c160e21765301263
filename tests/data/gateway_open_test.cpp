// Opening the shop's files through the gateway: files that are missing, not
// databases, on a drive, or locked by another program; tables and columns
// that are not there; and the quoting of texts put into SQL.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "data/shop_data_control.h"
#include "data/shop_path.h"
#include "data/sql_text.h"
#include "data/sqlite_store.h"
#include "support/platform.h"
#include "support/scoped_env.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova {
namespace {

using data::Status;
using ::testing::HasSubstr;
using Code = Status::Code;

std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(entry.path().lexically_relative(folder).string());
  }
  return names;
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

class GatewayOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.createFiles();
    shop.db("kestrova.mdb").exec("INSERT INTO History (AutoID, Description) VALUES ('5000005','a1'), ('5000005','a2')");
  }

  Status open(const std::string& file, const std::string& source) {
    gateway.setDatabaseName(file);
    gateway.setRecordSource(source);
    return gateway.refresh();
  }

  // Walks the open record set, writing `value` into AutoID; returns the
  // first failure.
  Status rewriteAll(const std::string& value) {
    Status first;
    const auto keep = [&](const Status& s) {
      if (first.isOk() && !s.isOk()) first = s;
      return s.isOk();
    };
    bool atEnd = false;
    for (int guard = 0; keep(gateway.eof(&atEnd)) && !atEnd && guard < 100; ++guard) {
      if (keep(gateway.edit()) && keep(gateway.setField("AutoID", value))) keep(gateway.update());
      if (!keep(gateway.moveNext())) break;
    }
    keep(gateway.commitWrites());
    return first;
  }

  testing::TestShop shop;
  std::unique_ptr<data::StoreEngine> engine = testing::makeStoreEngine(std::chrono::milliseconds(200));
  data::ShopDataControl gateway{*engine};
};

constexpr char kHistory[] = "Select AutoID from History where AutoID = '5000005'";

TEST_F(GatewayOpenTest, AMissingFileFailsNamingItAndIsNeverCreated) {
  const std::set<std::string> before = filesIn(shop.folder());
  const Status opened = open("absent.mdb", kHistory);
  EXPECT_EQ(opened.code(), Code::kFileMissing);
  EXPECT_THAT(opened.message(), HasSubstr("absent.mdb"));
  gateway.close();
  EXPECT_EQ(filesIn(shop.folder()), before);
}

TEST_F(GatewayOpenTest, AFileThatIsNotADatabaseFailsAndStaysByteForByteAsItWas) {
  std::string noise;
  std::uint32_t state = 12345;
  for (int i = 0; i < 8192; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 24);
  }
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"random bytes", noise},
      {"an empty file", ""},
      {"a short text", "Kestrova orders\r\n"},
      {"a text of a page and more", std::string(5000, 'k')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(shop.path("broken.mdb"), c.bytes);
    const std::set<std::string> before = filesIn(shop.folder());
    const Status opened = open("broken.mdb", kHistory);
    gateway.close();
    EXPECT_EQ(opened.code(), Code::kNotADatabase);
    EXPECT_THAT(opened.message(), HasSubstr("broken.mdb"));
    EXPECT_THAT(opened.message(), ::testing::ContainsRegex("not an? .*database"));
    EXPECT_EQ(shop.bytes("broken.mdb"), c.bytes);
    EXPECT_EQ(filesIn(shop.folder()), before);
  }
}

TEST_F(GatewayOpenTest, AMissingTableOrColumnFails) {
  struct Case {
    const char* source;
    Code code;
  };
  const Case cases[] = {
      {"Select AutoID from Histories where AutoID = '5000005'", Code::kNoSuchTable},
      {"Histories", Code::kNoSuchTable},
      {"Select VehicleID from History where VehicleID = '5000005'", Code::kNoSuchColumn},
      {"Select AutoID from History where VehicleID = '5000005'", Code::kNoSuchColumn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Status opened = open("kestrova.mdb", c.source);
    EXPECT_EQ(opened.code(), c.code) << opened.message();
    EXPECT_THAT(opened.message(), HasSubstr("kestrova.mdb"));
  }
}

TEST_F(GatewayOpenTest, AColumnOutsideTheRecordSourceCanBeNeitherReadNorWritten) {
  const std::string before = shop.snapshot("kestrova.mdb");
  ASSERT_TRUE(open("kestrova.mdb", kHistory).isOk());
  data::FieldValue value;
  EXPECT_EQ(gateway.field("Description", &value).code(), Code::kNoSuchColumn);
  ASSERT_TRUE(gateway.edit().isOk());
  EXPECT_EQ(gateway.setField("Description", "changed").code(), Code::kNoSuchColumn);
  EXPECT_TRUE(gateway.update().isOk());  // nothing to save
  gateway.close();
  EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
}

TEST_F(GatewayOpenTest, ANameOnAnUnmappedDriveFailsAndAMappedDriveResolvesToItsFolder) {
  KESTROVA_SKIP_ON_WINDOWS("an unmapped drive letter is the computer's own drive");
  const std::filesystem::path diskette = shop.path("diskette");
  std::filesystem::create_directories(diskette / "old");
  shop.createArchive("ARC1", {}, diskette);
  shop.createArchive("ARC2", {}, diskette / "old");
  {
    testing::ScopedEnv noDrive("KESTROVA_DRIVE_A", std::nullopt);
    const Status opened = open("A:ARC1.arc", "Select AutoID from Orders where AutoID = '1'");
    EXPECT_EQ(opened.code(), Code::kFileMissing);
    EXPECT_THAT(opened.message(), HasSubstr("A:ARC1.arc"));
    EXPECT_THAT(opened.message(), HasSubstr("KESTROVA_DRIVE_A"));
  }
  testing::ScopedEnv driveA("KESTROVA_DRIVE_A", data::pathToUtf8(diskette));
  for (const char* name : {"A:ARC1.arc", "a:ARC1.arc", "A:\\ARC1.arc", "A:old\\ARC2.arc", "A:old/ARC2.arc"}) {
    SCOPED_TRACE(name);
    const Status opened = open(name, "Select AutoID from Orders where AutoID = '1'");
    EXPECT_TRUE(opened.isOk()) << opened.message();
  }
  const Status absent = open("A:ARC3.arc", "Select AutoID from Orders where AutoID = '1'");
  EXPECT_EQ(absent.code(), Code::kFileMissing);
  EXPECT_THAT(absent.message(), HasSubstr("A:ARC3.arc"));
  EXPECT_FALSE(std::filesystem::exists(diskette / "ARC3.arc"));
}

TEST(ShopPathTest, DrivesStandForTheirFoldersAndBackslashesSeparateFolders) {
  KESTROVA_SKIP_ON_WINDOWS("drive letters are the computer's own (tests/core checks them there)");
  testing::ScopedEnv driveC("KESTROVA_DRIVE_C", "/srv/drive-c");
  struct Case {
    const char* name;
    const char* path;
  };
  const Case cases[] = {
      {"mgmtdata.mdb", "mgmtdata.mdb"},
      {"c:\\kestrova", "/srv/drive-c/kestrova"},
      {"C:\\kestrova\\w_orders.mdb", "/srv/drive-c/kestrova/w_orders.mdb"},
      {"c:kestrova.mdb", "/srv/drive-c/kestrova.mdb"},
      {"sub\\ARC 1.arc", "sub/ARC 1.arc"},
  };
  for (const Case& c : cases) {
    std::filesystem::path resolved;
    ASSERT_TRUE(data::resolveShopPath(c.name, &resolved).isOk()) << c.name;
    EXPECT_EQ(resolved, std::filesystem::path(c.path)) << c.name;
  }
  testing::ScopedEnv noDriveB("KESTROVA_DRIVE_B", std::nullopt);
  std::filesystem::path resolved;
  EXPECT_EQ(data::resolveShopPath("B:x.arc", &resolved).code(), Code::kFileMissing);
}

// Another program holds the file: the gateway waits its bounded time, fails,
// and the rows stay as they were. Once the lock is gone the same gateway
// works again.
TEST_F(GatewayOpenTest, AFileLockedByAnotherConnectionFailsAndItsRowsStayUnchanged) {
  const std::string before = shop.snapshot("kestrova.mdb");
  struct Case {
    const char* lock;
    bool lockBeforeOpening;
  };
  const Case cases[] = {
      {"BEGIN EXCLUSIVE", true},
      {"BEGIN EXCLUSIVE", false},
      {"BEGIN IMMEDIATE", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lock) + (c.lockBeforeOpening ? " before opening" : " after opening"));
    {
      tools::ShopDb other = shop.db("kestrova.mdb");
      if (c.lockBeforeOpening) other.exec(c.lock);
      const Status opened = open("kestrova.mdb", kHistory);
      if (c.lockBeforeOpening) {
        EXPECT_EQ(opened.code(), Code::kFileInUse) << opened.message();
        EXPECT_THAT(opened.message(), HasSubstr("kestrova.mdb"));
      } else {
        ASSERT_TRUE(opened.isOk()) << opened.message();
        other.exec(c.lock);
        const Status written = rewriteAll("6000006");
        EXPECT_FALSE(written.isOk());
        EXPECT_EQ(written.code(), Code::kFileInUse) << written.message();
      }
      other.exec("ROLLBACK");
    }
    gateway.close();
    EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
  }
  ASSERT_TRUE(open("kestrova.mdb", kHistory).isOk());
  EXPECT_TRUE(rewriteAll("6000006").isOk());
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '6000006'"), 2);
}

TEST(SqlQuoteBodyTest, DoublesEverySingleQuoteAndNothingElse) {
  struct Case {
    const char* text;
    const char* quoted;
  };
  const Case cases[] = {
      {"", ""},
      {"2000002", "2000002"},
      {"'", "''"},
      {"''", "''''"},
      {"'OR''='", "''OR''''=''"},
      {"O'BRIEN", "O''BRIEN"},
      {"a\"b;--%_\\", "a\"b;--%_\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(data::sqlQuoteBody(c.text), c.quoted) << c.text;
}

// Whatever the text, quoted it selects exactly the rows that hold it.
TEST_F(GatewayOpenTest, AQuotedTextSelectsOnlyTheRowsHoldingIt) {
  const char* const ids[] = {"'OR''='", "x' OR 1=1 --", "'); DROP TABLE History; --"};
  for (const char* id : ids) shop.db("kestrova.mdb").run("INSERT INTO History (AutoID) VALUES (?)", {id});
  for (const char* id : {ids[0], ids[1], ids[2], "5000005"}) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(
        open("kestrova.mdb", "Select AutoID from History where AutoID = '" + data::sqlQuoteBody(id) + "'").isOk());
    std::size_t count = 0;
    ASSERT_TRUE(gateway.recordCount(&count).isOk());
    const long long expected = std::string(id) == "5000005" ? 2 : 1;
    EXPECT_EQ(static_cast<long long>(count), expected);
    data::FieldValue value;
    ASSERT_TRUE(gateway.field("AutoID", &value).isOk());
    EXPECT_EQ(value, data::FieldValue(id));
  }
  EXPECT_EQ(shop.db("kestrova.mdb").count("History"), 5);
}

}  // namespace
}  // namespace kestrova
