// Each shop file is opened as what its first bytes say it is: SQLite files
// through the SQLite store, Access files through the installed Access
// driver, and an Access file on a computer without one is reported with what
// to install, and left as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "data/file_kind.h"
#include "data/file_kind_engine.h"
#include "data/odbc_store.h"
#include "shop_builder/shop_builder.h"

namespace kestrova {
namespace {

using data::FileKind;
using namespace std::string_literals;

class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = std::filesystem::temp_directory_path() / ("kestrova-core-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string bytesOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileKindTest, AFileIsToldByItsHeaderNotByItsName) {
  struct Case {
    std::string header;
    FileKind kind;
  };
  const Case cases[] = {
      {"SQLite format 3\0\x10\0\x01\x01"s, FileKind::kSqlite},
      {"SQLite format 3\0"s, FileKind::kSqlite},
      {"SQLite format 3 and more", FileKind::kOther},  // no NUL after the name
      {"\0\x01\0\0Standard Jet DB\0\x01\0\0\0"s, FileKind::kAccess},
      {"\0\x01\0\0Standard ACE DB\0\x02\0\0\0"s, FileKind::kAccess},
      {"\0\x01\0\0Standard Jet DB"s, FileKind::kAccess},
      {"Standard Jet DB\0"s, FileKind::kOther},  // the engine's name must be at byte 4
      {"\0\x01\0\0\0Standard Jet DB"s, FileKind::kOther},
      {"\0\x01\0\0Standard Jet"s, FileKind::kOther},  // too short to tell
      {"\0\x01\0\0standard jet db"s, FileKind::kOther},
      {"CustID,LastName\n", FileKind::kOther},
      {"", FileKind::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.header));
    EXPECT_EQ(data::fileKindOfHeader(c.header), c.kind);
  }
}

TEST(FileKindTest, AnAccessFileGoesToTheAccessDriverOfTheNewerEngineFirst) {
  struct Case {
    std::vector<std::string> installed;
    std::optional<std::string> templateText;
  };
  const Case cases[] = {
      {{"SQLite3", "Microsoft Access Driver (*.mdb)", "Microsoft Access Driver (*.mdb, *.accdb)"},
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ={path}"},
      {{"Microsoft Access Driver (*.mdb)", "PostgreSQL Unicode"},
       "Driver={Microsoft Access Driver (*.mdb)};DBQ={path}"},
      {{"MICROSOFT ACCESS DRIVER (*.MDB)"}, "Driver={MICROSOFT ACCESS DRIVER (*.MDB)};DBQ={path}"},
      {{"Microsoft Access Text Driver (*.txt, *.csv)", "SQLite3"}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.installed));
    const std::optional<std::string> made = data::accessTemplateFor(c.installed);
    ASSERT_EQ(made, c.templateText);
    if (!made) continue;
    // The store takes the template as it is made, path and driver alike.
    data::OdbcTemplate parsed;
    std::string problem;
    ASSERT_TRUE(data::OdbcTemplate::parse(*made, &parsed, &problem)) << problem;
    EXPECT_TRUE(parsed.usesPath());
    EXPECT_EQ("Driver={" + parsed.driver() + "};DBQ={path}", *made);
  }
}

TEST(FileKindEngineTest, ASqliteFileOpensAndAnAccessFileWithoutItsDriverIsReportedAndLeftAlone) {
  ScratchFolder folder;
  const std::filesystem::path shop = folder.path() / "kestrova.mdb";
  tools::createShopFile(shop, tools::ShopFile::kMain);
  tools::ShopDb(shop).run("INSERT INTO Customers (CustID, LastName) VALUES (?, ?)", {"C0001", "Nováková"});
  const std::filesystem::path access = folder.path() / "ARC2019.arc";
  const std::string accessBytes = "\0\x01\0\0Standard Jet DB\0\x01\0\0\0 and pages of an old archive"s;
  std::ofstream(access, std::ios::binary) << accessBytes;

  int driverLookups = 0;
  data::FileKindEngine engine(data::FileKindEngine::Access::kReadWrite, [&] {
    ++driverLookups;
    return std::vector<std::string>{"SQLite3", "PostgreSQL Unicode"};
  });

  std::unique_ptr<data::DatabaseStore> store;
  ASSERT_TRUE(engine.open(shop, "kestrova.mdb", &store).isOk());
  data::RowSet set;
  ASSERT_TRUE(store->select("Select CustID, LastName from Customers where CustID = 'C0001'", &set).isOk());
  ASSERT_EQ(set.rows.size(), 1u);
  data::FieldValue name;
  ASSERT_TRUE(store->read(set, set.rows[0], "LastName", &name).isOk());
  EXPECT_EQ(name, "Nováková");
  EXPECT_EQ(driverLookups, 0) << "a SQLite file never asks for the Access driver";

  for (int attempt = 0; attempt < 2; ++attempt) {
    std::unique_ptr<data::DatabaseStore> archive;
    const data::Status opened = engine.open(access, "ARC2019.arc", &archive);
    EXPECT_EQ(opened.code(), data::Status::Code::kNoDriver);
    EXPECT_EQ(opened.message(), "ARC2019.arc, opening the file: " + data::noAccessDriverReason());
    EXPECT_EQ(archive, nullptr);
  }
  EXPECT_EQ(driverLookups, 1);
  EXPECT_EQ(bytesOf(access), accessBytes);

  // Neither kind: the SQLite store's own words, as for any such file.
  const std::filesystem::path text = folder.path() / "mgmtdata.mdb";
  std::ofstream(text, std::ios::binary) << "not a database";
  std::unique_ptr<data::DatabaseStore> other;
  EXPECT_EQ(engine.open(text, "mgmtdata.mdb", &other).code(), data::Status::Code::kNotADatabase);
}

}  // namespace
}  // namespace kestrova
