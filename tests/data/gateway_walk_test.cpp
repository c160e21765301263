// The gateway's record set: a walk that rewrites the very key that selected
// its rows, deleting walks, Null values, and what is left after a failed
// refresh.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/shop_data_control.h"
#include "data/sqlite_store.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova {
namespace {

using data::FieldValue;
using data::Status;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Code = Status::Code;

class GatewayWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.createFiles();
    // Rows of the selected vehicle between rows of others, so that a walk
    // that followed the index instead of a fixed set of rows would show.
    tools::ShopDb main = shop.db("kestrova.mdb");
    main.exec(R"(
INSERT INTO History (AutoID, Description) VALUES ('5000005','a1'), ('1000001','other1'), ('5000005','a2'),
  ('9000009','other9'), ('5000005','a3'), ('5000005','a4'), ('0000000','other0'), ('5000005','a5');
INSERT INTO Employees (IDNumber, NickName) VALUES ('111-22-3333','JOE'), ('111-22-4444','JOEY');
)");
  }

  Status open(const std::string& file, const std::string& source) {
    gateway.setDatabaseName(file);
    gateway.setRecordSource(source);
    return gateway.refresh();
  }

  std::vector<std::string> column(const std::string& sql) {
    std::vector<std::string> values;
    for (const tools::Row& row : shop.db("kestrova.mdb").query(sql)) values.push_back(row.front().value_or("NULL"));
    return values;
  }

  testing::TestShop shop;
  std::unique_ptr<data::StoreEngine> engine = testing::makeStoreEngine(std::chrono::milliseconds(200));
  data::ShopDataControl gateway{*engine};
};

constexpr char kSelected[] = "Select AutoID,Description from History where AutoID = '5000005'";

// The new key sorts after, before, or equal to the old one: a walk that
// re-read its selection would meet rewritten rows again or lose some.
TEST_F(GatewayWalkTest, RewritingTheSelectingKeyVisitsEverySelectedRowOnceInTheSetsOrder) {
  for (const std::string newKey : {"9999999", "0000001", "5000005"}) {
    SCOPED_TRACE("new key " + newKey);
    const std::vector<std::string> expectedOrder = column("Select Description from History where AutoID = '5000005'");
    ASSERT_EQ(expectedOrder.size(), 5u);

    ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
    std::size_t count = 0;
    ASSERT_TRUE(gateway.recordCount(&count).isOk());
    EXPECT_GT(count, 0u);
    std::vector<std::string> visited;
    bool atEnd = false;
    for (int guard = 0; gateway.eof(&atEnd).isOk() && !atEnd && guard < 100; ++guard) {
      FieldValue description;
      ASSERT_TRUE(gateway.field("Description", &description).isOk());
      visited.push_back(description.value_or("NULL"));
      ASSERT_TRUE(gateway.edit().isOk());
      ASSERT_TRUE(gateway.setField("AutoID", newKey).isOk());
      ASSERT_TRUE(gateway.update().isOk());
      ASSERT_TRUE(gateway.moveNext().isOk());
    }
    ASSERT_TRUE(gateway.commitWrites().isOk());
    EXPECT_THAT(visited, ElementsAreArray(expectedOrder));
    EXPECT_THAT(column("SELECT Description FROM History WHERE AutoID = '" + newKey + "' AND Description LIKE 'a%'"),
                ::testing::UnorderedElementsAre("a1", "a2", "a3", "a4", "a5"));
    EXPECT_THAT(column("SELECT AutoID FROM History WHERE Description LIKE 'other%' ORDER BY rowid"),
                ElementsAre("1000001", "9000009", "0000000"));
    // Back to the start for the next key.
    shop.db("kestrova.mdb").exec("UPDATE History SET AutoID = '5000005' WHERE Description LIKE 'a%'");
  }
}

TEST_F(GatewayWalkTest, DeletingEveryRowOfASelectionRemovesThemAllAndEndsAtEof) {
  ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
  int deleted = 0;
  bool atEnd = false;
  for (int guard = 0; gateway.eof(&atEnd).isOk() && !atEnd && guard < 100; ++guard) {
    ASSERT_TRUE(gateway.deleteRow().isOk());
    ++deleted;
    ASSERT_TRUE(gateway.moveNext().isOk());
  }
  ASSERT_TRUE(gateway.eof(&atEnd).isOk());
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(deleted, 5);
  ASSERT_TRUE(gateway.commitWrites().isOk());
  EXPECT_EQ(shop.db("kestrova.mdb").count("History", "AutoID = '5000005'"), 0);
  EXPECT_EQ(shop.db("kestrova.mdb").count("History"), 3);
}

TEST_F(GatewayWalkTest, AnEmptySelectionIsAtEofAtOnce) {
  ASSERT_TRUE(open("kestrova.mdb", "Select AutoID from History where AutoID = '7777777'").isOk());
  std::size_t count = 1;
  bool atEnd = false;
  ASSERT_TRUE(gateway.recordCount(&count).isOk());
  ASSERT_TRUE(gateway.eof(&atEnd).isOk());
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(gateway.edit().code(), Code::kNoCurrentRow);
}

// A record set takes over the room of the one before it: nothing of that
// one's rows, columns or values may show through.
TEST_F(GatewayWalkTest, ASelectionAfterALargerOneHoldsOnlyItsOwnRowsAndValues) {
  ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
  FieldValue value;
  ASSERT_TRUE(gateway.field("Description", &value).isOk());
  ASSERT_EQ(value, FieldValue("a1"));
  ASSERT_TRUE(open("kestrova.mdb", "Select NickName from Employees where IDNumber = '111-22-4444'").isOk());
  std::size_t count = 0;
  ASSERT_TRUE(gateway.recordCount(&count).isOk());
  EXPECT_EQ(count, 1u);
  ASSERT_TRUE(gateway.field("NickName", &value).isOk());
  EXPECT_EQ(value, FieldValue("JOEY"));
  EXPECT_EQ(gateway.field("Description", &value).code(), Code::kNoSuchColumn);
  bool atEnd = false;
  ASSERT_TRUE(gateway.moveNext().isOk());
  ASSERT_TRUE(gateway.eof(&atEnd).isOk());
  EXPECT_TRUE(atEnd);
}

TEST_F(GatewayWalkTest, NullReadsAsNullAndAnEmptyTextAsAnEmptyText) {
  shop.db("mgmtdata.mdb")
      .exec(
          "INSERT INTO Orders (OrderNumber, AutoID, Archive) VALUES ('1','5000005',NULL), ('2','5000005',''), "
          "('3','5000005','  '), ('4','5000005','ARC1')");
  ASSERT_TRUE(open("mgmtdata.mdb", "Select AutoID,Archive from Orders where AutoID = '5000005'").isOk());
  std::vector<FieldValue> read;
  bool atEnd = false;
  for (int guard = 0; gateway.eof(&atEnd).isOk() && !atEnd && guard < 100; ++guard) {
    FieldValue archive = std::string("unset");
    ASSERT_TRUE(gateway.field("archive", &archive).isOk());  // column names ignore case
    read.push_back(archive);
    ASSERT_TRUE(gateway.moveNext().isOk());
  }
  EXPECT_THAT(read, ElementsAre(std::nullopt, FieldValue(""), FieldValue("  "), FieldValue("ARC1")));
}

TEST_F(GatewayWalkTest, AMoveAwayFromAnUnsavedEditDropsItAndTheRowKeepsItsValues) {
  const std::string before = shop.snapshot("kestrova.mdb");
  ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
  ASSERT_TRUE(gateway.edit().isOk());
  ASSERT_TRUE(gateway.setField("AutoID", "1234567").isOk());
  FieldValue pending;
  ASSERT_TRUE(gateway.field("AutoID", &pending).isOk());
  EXPECT_EQ(pending, FieldValue("1234567"));
  ASSERT_TRUE(gateway.moveNext().isOk());
  EXPECT_EQ(gateway.update().code(), Code::kNoCurrentRow);
  gateway.close();
  EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
}

// After a refresh that fails, nothing of the previous record set (here
// positioned by a search on Employees) may be walked or written.
TEST_F(GatewayWalkTest, AfterAFailedRefreshEveryRecordSetOperationFailsAndNothingChanges) {
  std::filesystem::create_directory(shop.path("folder.mdb"));
  std::ofstream(shop.path("junk.mdb"), std::ios::binary) << std::string(2048, 'x');
  struct Case {
    const char* what;
    const char* databaseName;  // none: only the record source changes
    const char* recordSource;
  };
  const Case cases[] = {
      {"missing file", "absent.mdb", "Select AutoID from History where AutoID = '5000005'"},
      {"not a database", "junk.mdb", "Select AutoID from History where AutoID = '5000005'"},
      {"a folder", "folder.mdb", "Select AutoID from History where AutoID = '5000005'"},
      {"missing table", nullptr, "Select AutoID from Nowhere where AutoID = '5000005'"},
      {"missing column", nullptr, "Select Nothing from History where Nothing = '5000005'"},
      {"rejected SELECT", nullptr, "Select AutoID from History where AutoID = '5000005"},
      {"unmapped drive", "Q:absent.arc", "Select AutoID from History where AutoID = '5000005'"},
  };
  const std::string before = shop.snapshot("kestrova.mdb");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(open("kestrova.mdb", "Employees").isOk());
    ASSERT_TRUE(gateway.findFirst("IDNumber = '111-22-4444'").isOk());
    bool noMatch = true;
    ASSERT_TRUE(gateway.noMatch(&noMatch).isOk());
    ASSERT_FALSE(noMatch);

    if (c.databaseName != nullptr) gateway.setDatabaseName(c.databaseName);
    gateway.setRecordSource(c.recordSource);
    EXPECT_FALSE(gateway.refresh().isOk());

    std::size_t count = 0;
    bool flag = false;
    FieldValue value;
    EXPECT_EQ(gateway.edit().code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.setField("NickName", "CHANGED").code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.setField("IDNumber", "000-00-0000").code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.update().code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.deleteRow().code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.field("NickName", &value).code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.recordCount(&count).code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.eof(&flag).code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.moveNext().code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.findFirst("IDNumber = '111-22-3333'").code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.noMatch(&flag).code(), Code::kNoRecordSet);
    EXPECT_EQ(gateway.commitWrites().code(), Code::kOk);
    gateway.close();
    EXPECT_EQ(shop.snapshot("kestrova.mdb"), before);
  }
}

// Once a file failed to open, a refresh that sets only the record source
// has no file to run on: it must not fall back to the file open before.
TEST_F(GatewayWalkTest, ARecordSourceAloneAfterAFileFailedToOpenFindsNoFile) {
  ASSERT_TRUE(open("kestrova.mdb", "Employees").isOk());
  EXPECT_EQ(open("absent.mdb", "Employees").code(), Code::kFileMissing);
  gateway.setRecordSource(kSelected);
  EXPECT_FALSE(gateway.refresh().isOk());
  bool atEnd = false;
  EXPECT_EQ(gateway.eof(&atEnd).code(), Code::kNoRecordSet);
  EXPECT_FALSE(std::filesystem::exists(shop.path("absent.mdb")));
}

// The name is resolved anew at each setDatabaseName: with the current folder
// changed, the same name finds the other folder's file, while a refresh with
// only a record source stays on the file already open.
TEST_F(GatewayWalkTest, SettingTheSameNameOpensTheFileAfreshAndARecordSourceAloneStaysOnTheOpenFile) {
  const std::filesystem::path other = shop.path("other");
  std::filesystem::create_directory(other);
  tools::createShopFile(other / "kestrova.mdb", tools::ShopFile::kMain);
  tools::ShopDb(other / "kestrova.mdb").exec("INSERT INTO History (AutoID, Description) VALUES ('5000005','b1')");

  ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(gateway.moveNext().isOk());
  std::filesystem::current_path(other);

  std::size_t count = 0;
  bool atEnd = true;
  gateway.setRecordSource(kSelected);
  ASSERT_TRUE(gateway.refresh().isOk());
  ASSERT_TRUE(gateway.recordCount(&count).isOk());
  ASSERT_TRUE(gateway.eof(&atEnd).isOk());
  EXPECT_EQ(count, 5u) << "a record source alone runs on the file already open";
  EXPECT_FALSE(atEnd) << "the new record set starts on its first row";

  ASSERT_TRUE(open("kestrova.mdb", kSelected).isOk());
  ASSERT_TRUE(gateway.recordCount(&count).isOk());
  EXPECT_EQ(count, 1u) << "the same name, set again, opens the file afresh";
  FieldValue description;
  ASSERT_TRUE(gateway.field("Description", &description).isOk());
  EXPECT_EQ(description, FieldValue("b1"));
}

TEST_F(GatewayWalkTest, FindFirstPositionsOnTheFirstMatchOrSetsNoMatch) {
  ASSERT_TRUE(open("kestrova.mdb", "Employees").isOk());
  bool noMatch = true;
  FieldValue nickname;
  ASSERT_TRUE(gateway.findFirst("IDNumber = '111-22-4444'").isOk());
  ASSERT_TRUE(gateway.noMatch(&noMatch).isOk());
  ASSERT_FALSE(noMatch);
  ASSERT_TRUE(gateway.field("NickName", &nickname).isOk());
  EXPECT_EQ(nickname, FieldValue("JOEY"));
  ASSERT_TRUE(gateway.findFirst("IDNumber = '999-99-9999'").isOk());
  ASSERT_TRUE(gateway.noMatch(&noMatch).isOk());
  EXPECT_TRUE(noMatch);
}

}  // namespace
}  // namespace kestrova
