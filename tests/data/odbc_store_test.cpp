// The ODBC store over the SQLite ODBC driver: how it tells a table's rows
// apart (or refuses a table whose rows it cannot tell apart), and which
// connection templates the command line refuses before it opens anything.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "data/odbc_store.h"
#include "support/run_tool.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

std::string partsOf(const TestShop& shop) {
  std::string text;
  for (const tools::Row& row : shop.db("kestrova.mdb").query("SELECT * FROM Parts ORDER BY Note")) {
    for (const tools::Value& value : row) text += (value ? *value : std::string("NULL")) + "|";
  }
  return text;
}

struct IdentityCase {
  const char* kind;
  const char* create;
  bool walkable;
};

TEST(OdbcIdentity, RowsAreKeptByTheirIntegerIdentityAndATableWithoutOneIsRefusedByName) {
  const IdentityCase cases[] = {
      {"rowid", "CREATE TABLE Parts (Id INTEGER, Code TEXT, Note TEXT)", true},
      {"integer primary key",
       "CREATE TABLE Parts (Id INTEGER PRIMARY KEY, Code TEXT NOT NULL, Note TEXT) WITHOUT ROWID", true},
      {"unique integer column",
       "CREATE TABLE Parts (Id INTEGER NOT NULL UNIQUE, Code TEXT, Note TEXT, PRIMARY KEY (Code, Note)) WITHOUT ROWID",
       true},
      {"text key only", "CREATE TABLE Parts (Id TEXT, Code TEXT, Note TEXT, PRIMARY KEY (Id)) WITHOUT ROWID", false},
  };
  data::OdbcTemplate connection;
  std::string problem;
  ASSERT_TRUE(data::OdbcTemplate::parse(kSqliteOdbcTemplate, &connection, &problem)) << problem;
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(c.kind);
    TestShop shop;
    shop.createFiles();  // a database file to add the table to
    {
      tools::ShopDb db(shop.path("kestrova.mdb"));
      db.exec(c.create);
      // An identity beyond 32 bits must come back whole.
      const bool ownId = std::string_view(c.kind) != "rowid";
      for (const char* row : {"5000000001, 'OLD', 'a'", "7, 'OLD', 'b'", "9, 'OLD', 'c'", "11, 'KEEP', 'd'"}) {
        db.exec(std::string("INSERT INTO Parts ") + (ownId ? "" : "(rowid, Id, Code, Note) ") + "VALUES (" +
                (ownId ? "" : std::string(row).substr(0, std::string(row).find(',')) + ", ") + row + ")");
      }
    }
    const std::string before = partsOf(shop);
    data::OdbcEngine engine(connection, std::chrono::milliseconds(200));
    std::unique_ptr<data::DatabaseStore> store;
    ASSERT_TRUE(engine.open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk());
    data::RowSet set;
    const data::Status selected = store->select("Select Code from parts where Code = 'OLD'", &set);
    if (!c.walkable) {
      EXPECT_EQ(selected.code(), data::Status::Code::kBadRecordSource);
      EXPECT_TRUE(contains(selected.message(), "Parts")) << selected.message();
      store.reset();
      EXPECT_EQ(partsOf(shop), before);
      continue;
    }
    ASSERT_TRUE(selected.isOk()) << selected.message();
    // A second statement after the SELECT is never run.
    data::RowSet ignored;
    EXPECT_EQ(store->select("Select Code from Parts where Code = 'OLD'; DELETE FROM Parts", &ignored).code(),
              data::Status::Code::kBadRecordSource);
    EXPECT_EQ(set.table, "Parts");  // as the file names it
    ASSERT_EQ(set.rows.size(), 3u);
    EXPECT_EQ(std::set<data::RowId>(set.rows.begin(), set.rows.end()), (std::set<data::RowId>{5000000001, 7, 9}));

    // A row removed by someone else after the selection is reported gone;
    // the others are written.
    shop.db("kestrova.mdb").exec("DELETE FROM Parts WHERE Note = 'b'");
    const data::FieldWrite write{"Code", "NEW"};
    std::vector<data::DatabaseStore::RowFailure> failures;
    store->updateRows(set, set.rows, std::span(&write, 1), &failures);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(set.rows[failures[0].index], 7);
    EXPECT_EQ(failures[0].status.code(), data::Status::Code::kRowGone);
    EXPECT_EQ(store->remove(set, 7).code(), data::Status::Code::kRowGone);
    ASSERT_TRUE(store->commit().isOk());
    store.reset();
    tools::ShopDb db(shop.path("kestrova.mdb"));
    EXPECT_EQ(db.count("Parts", "Code = 'NEW'"), 2);
    EXPECT_EQ(db.count("Parts", "Code = 'KEEP'"), 1);
  }
}

#ifdef KESTROVA_JET_DRIVER
// A driver with no 64-bit integers (the Access driver refuses to bind one):
// an identity is bound as the 32-bit integer it is, and one beyond 32 bits
// fails its own row, saying why, instead of running without its parameter.
TEST(OdbcIdentity, RowsAreWrittenThroughADriverWithoutBigIntegers) {
  TestShop shop;
  shop.createFiles();
  shop.db("kestrova.mdb")
      .exec("CREATE TABLE Parts (Id INTEGER NOT NULL UNIQUE, Code TEXT, Note TEXT);"
            "INSERT INTO Parts VALUES (7, 'OLD', 'a'), (9, 'OLD', 'b'), (5000000001, 'OLD', 'c')");
  data::OdbcTemplate connection;
  std::string problem;
  ASSERT_TRUE(data::OdbcTemplate::parse(std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database={path}", &connection,
                                        &problem))
      << problem;
  data::OdbcEngine engine(connection, std::chrono::milliseconds(200));
  std::unique_ptr<data::DatabaseStore> store;
  ASSERT_TRUE(engine.open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk());
  data::RowSet set;
  ASSERT_TRUE(store->select("Select Code from Parts where Code = 'OLD'", &set).isOk());
  const data::FieldWrite write{"Code", "NEW"};
  std::vector<data::DatabaseStore::RowFailure> failures;
  store->updateRows(set, set.rows, std::span(&write, 1), &failures);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(set.rows[failures[0].index], 5000000001);
  EXPECT_TRUE(contains(failures[0].status.message(), "Optional feature not implemented"))
      << failures[0].status.message();
  ASSERT_TRUE(store->commit().isOk());
  store.reset();
  EXPECT_EQ(partsOf(shop), "7|NEW|a|9|NEW|b|5000000001|OLD|c|");
}
#endif

std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

struct TemplateCase {
  const char* environment;  // KESTROVA_ODBC, or null
  const char* option;       // --odbc, or null
  const char* arguments;
  int status;
  const char* said;  // a part of what the tool prints
};

TEST(OdbcTemplates, UnusableTemplatesAreRefusedBeforeAnyFileIsOpenedAndNoFileIsEverMade) {
  const char* combine = "vehicle 2000002 2000001";
  const TemplateCase cases[] = {
      {nullptr, "Driver=SQLite3;Database=kestrova.mdb", combine, 64, "names no shop file"},
      {nullptr, "Driver=SQLite3;Database={file}", combine, 64, "unknown placeholder {file}"},
      {nullptr, "Driver=No Such Driver;Database={path}", combine, 64, "is not installed; installed drivers: "},
      {nullptr, "Driver={PostgreSQL Unicode};Database={name};Protocol=7.4-1", combine, 64, "Protocol=7.4-1 is refused"},
      {nullptr, "Driver={PostgreSQL Unicode};Database={name};Protocol=7.4-0", "vehicle 2000002 2000001 --dry-run", 64,
       "Protocol=7.4-0 is refused"},
      {nullptr, "Driver=SQLite3;Database={path};NoCreat=0", combine, 64, "NoCreat=0"},
      {nullptr, "Driver=SQLite3;Database={path};Timeout=0", combine, 64, "Timeout=0"},
      {nullptr, "Database={path}", combine, 64, "names no driver"},
      {nullptr, "Driver=SQLite3;Database={path", combine, 64, "never closed"},
      {"Driver=SQLite3;Database={paths}", nullptr, "undo nothing.journal", 64, "KESTROVA_ODBC cannot be used"},
      // --odbc wins over the environment.
      {"Driver=Nowhere;Database={path}", "Driver=SQLite3;Database={path}", combine, 0, "Done."},
      // Without NoCreat the driver would make a missing file; it is told not to.
      {nullptr, "Driver=SQLite3;Database={path}", "vehicle 2000002 2000001 --dir empty", 1, "no such file"},
  };
  for (const TemplateCase& c : cases) {
    SCOPED_TRACE(std::string(c.option ? c.option : c.environment) + " " + c.arguments);
    TestShop shop;
    tools::writeSampleShop(shop.folder());
    std::filesystem::create_directory(shop.path("empty"));
    const std::set<std::string> files = filesIn(shop.folder());
    const std::string kestrova = shop.bytes("kestrova.mdb");

    std::vector<std::string> arguments = shellWords(c.arguments);
    if (c.option != nullptr) arguments.insert(arguments.end(), {"--odbc", c.option});
    EnvChanges env;
    if (c.environment != nullptr) env.emplace_back("KESTROVA_ODBC", c.environment);
    const Outcome outcome = runCombine(arguments, env);

    EXPECT_EQ(outcome.status, c.status) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, c.said)) << outcome.output;
    EXPECT_TRUE(filesIn(shop.path("empty")).empty());
    if (c.status == 64) {
      EXPECT_EQ(filesIn(shop.folder()), files);
      EXPECT_EQ(shop.bytes("kestrova.mdb"), kestrova);
      EXPECT_TRUE(c.said[0] != 'i' || contains(outcome.output, "SQLite3")) << "the installed drivers are listed";
    }
  }
}

}  // namespace
}  // namespace kestrova::testing
