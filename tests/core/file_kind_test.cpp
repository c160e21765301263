// Each shop file is opened as what its first bytes say it is: SQLite files
// through the SQLite store, Access files through the installed Access
// driver, and an Access file on a computer without one is reported with what
// to install, and left as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "data/file_kind.h"
#include "data/file_kind_engine.h"
#include "data/odbc_engine.h"
#include "shop_builder/shop_builder.h"

namespace kestrova {
namespace {

using data::FileKind;
using namespace std::string_literals;

TEST(FileKindTest, AFileIsToldByItsHeaderNotByItsName) {
  const std::pair<std::string, FileKind> cases[] = {
      {"SQLite format 3\0\x10\0\x01\x01"s, FileKind::kSqlite},
      {"SQLite format 3 and more", FileKind::kOther},  // no NUL after the name
      {"\0\x01\0\0Standard Jet DB\0\x01\0\0\0"s, FileKind::kAccess},
      {"\0\x01\0\0Standard ACE DB\0\x02\0\0\0"s, FileKind::kAccess},
      {"Standard Jet DB\0"s, FileKind::kOther},  // the engine's name must be at byte 4
      {"\0\x01\0\0Standard Jet"s, FileKind::kOther},
      {"\0\x01\0\0standard jet db"s, FileKind::kOther},
      {"", FileKind::kOther},
  };
  for (const auto& [header, kind] : cases) EXPECT_EQ(data::fileKindOfHeader(header), kind) << header.substr(4);
}

TEST(FileKindTest, AnAccessFileGoesToTheAccessDriverOfTheNewerEngineFirst) {
  const std::pair<std::vector<std::string>, std::optional<std::string>> cases[] = {
      {{"SQLite3", "Microsoft Access Driver (*.mdb)", "Microsoft Access Driver (*.mdb, *.accdb)"},
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ={path}"},
      {{"MICROSOFT ACCESS DRIVER (*.MDB)"}, "Driver={MICROSOFT ACCESS DRIVER (*.MDB)};DBQ={path}"},
      {{"Microsoft Access Text Driver (*.txt, *.csv)", "SQLite3"}, std::nullopt},
  };
  for (const auto& [installed, wanted] : cases) {
    const std::optional<std::string> made = data::accessTemplateFor(installed);
    ASSERT_EQ(made, wanted);
    // The ODBC store takes the template as it is made.
    data::OdbcTemplate parsed;
    std::string problem;
    EXPECT_TRUE(!made || data::OdbcTemplate::parse(*made, &parsed, &problem)) << problem;
  }
}

TEST(FileKindEngineTest, ASqliteFileOpensAndAnAccessFileWithoutItsDriverIsReportedAndLeftAlone) {
  const auto folder = std::filesystem::temp_directory_path() / ("kestrova-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  tools::createShopFile(folder / "kestrova.mdb", tools::ShopFile::kMain);
  tools::ShopDb(folder / "kestrova.mdb")
      .run("INSERT INTO Customers (CustID, LastName) VALUES (?, ?)", {"C1", "Nováková"});
  const std::string accessBytes = "\0\x01\0\0Standard Jet DB\0\x01\0\0\0 and pages of an old archive"s;
  std::ofstream(folder / "ARC2019.arc", std::ios::binary) << accessBytes;

  int driverLookups = 0;
  data::FileKindEngine engine(data::FileKindEngine::Access::kReadWrite, [&] {
    ++driverLookups;
    return std::vector<std::string>{"SQLite3", "PostgreSQL Unicode"};
  });
  std::unique_ptr<data::DatabaseStore> store;
  ASSERT_TRUE(engine.open(folder / "kestrova.mdb", "kestrova.mdb", &store).isOk());
  data::RowSet set;
  data::FieldValue name;
  ASSERT_TRUE(store->select("Select CustID, LastName from Customers", &set).isOk());
  ASSERT_EQ(set.rows.size(), 1u);
  ASSERT_TRUE(store->read(set, set.rows[0], "LastName", &name).isOk());
  EXPECT_EQ(name, "Nováková");
  EXPECT_EQ(driverLookups, 0);

  for (int attempt = 0; attempt < 2; ++attempt) {
    const data::Status opened = engine.open(folder / "ARC2019.arc", "ARC2019.arc", &store);
    EXPECT_EQ(opened.message(), "ARC2019.arc, opening the file: " + data::noAccessDriverReason());
    EXPECT_EQ(opened.code(), data::Status::Code::kNoDriver);
    EXPECT_EQ(store, nullptr);
  }
  EXPECT_EQ(driverLookups, 1);
  std::ostringstream after;
  after << std::ifstream(folder / "ARC2019.arc", std::ios::binary).rdbuf();
  EXPECT_EQ(after.str(), accessBytes);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kestrova
