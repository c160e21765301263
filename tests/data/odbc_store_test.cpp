// The ODBC store over the SQLite ODBC driver: how it tells a table's rows
// apart (or refuses a table whose rows it cannot tell apart), and which
// connection templates the command line refuses before it opens anything.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "data/odbc_engine.h"
#include "support/run_tool.h"
#include "support/store_under_test.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

struct IdentityCase {
  const char* kind;
  const char* create;
  bool integerIdentity;  // else the rows are told apart by their values
};

TEST(OdbcIdentity, RowsAreKeptByTheirIntegerIdentityOrWithoutOneByTheirValues) {
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
    data::OdbcEngine engine(connection, std::chrono::milliseconds(200));
    std::unique_ptr<data::DatabaseStore> store;
    ASSERT_TRUE(engine.open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk());
    data::RowSet set;
    const data::Status selected = store->select("Select Code from parts where Code = 'OLD'", &set);
    ASSERT_TRUE(selected.isOk()) << selected.message();
    EXPECT_EQ(contains(store->rowIdentity(set), "values"), !c.integerIdentity) << store->rowIdentity(set);
    // A second statement after the SELECT is never run.
    data::RowSet ignored;
    EXPECT_EQ(store->select("Select Code from Parts where Code = 'OLD'; DELETE FROM Parts", &ignored).code(),
              data::Status::Code::kBadRecordSource);
    EXPECT_EQ(set.table, "Parts");  // as the file names it
    ASSERT_EQ(set.rows.size(), 3u);
    if (c.integerIdentity) {
      EXPECT_EQ(std::set<data::RowId>(set.rows.begin(), set.rows.end()), (std::set<data::RowId>{5000000001, 7, 9}));
    }

    // A row removed by someone else after the selection is reported gone;
    // the others are written.
    shop.db("kestrova.mdb").exec("DELETE FROM Parts WHERE Note = 'b'");
    const data::FieldWrite write{"Code", "NEW"};
    std::vector<data::DatabaseStore::RowFailure> failures;
    store->updateRows(set, set.rows, std::span(&write, 1), &failures);
    ASSERT_EQ(failures.size(), 1u);
    if (c.integerIdentity) {
      EXPECT_EQ(set.rows[failures[0].index], 7);
    }
    EXPECT_EQ(failures[0].status.code(), data::Status::Code::kRowGone);
    EXPECT_EQ(store->remove(set, set.rows[failures[0].index]).code(), data::Status::Code::kRowGone);
    ASSERT_TRUE(store->commit().isOk());
    store.reset();
    tools::ShopDb db(shop.path("kestrova.mdb"));
    EXPECT_EQ(db.count("Parts", "Code = 'NEW'"), 2);
    EXPECT_EQ(db.count("Parts", "Code = 'KEEP'"), 1);
  }
}

#ifdef KESTROVA_JET_DRIVER
std::string partsOf(const TestShop& shop) {
  std::string text;
  for (const tools::Row& row : shop.db("kestrova.mdb").query("SELECT * FROM Parts ORDER BY Note")) {
    for (const tools::Value& value : row) text += (value ? *value : std::string("NULL")) + "|";
  }
  return text;
}

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

// What the Access driver gives a shop's tables: no key at all, linked
// tables listed as SYNONYM, TEXT of at most 255 characters. Rows are found
// by their values; copies that no statement can tell apart are written
// together only when all of them were selected, and a write that reached a
// copy not selected is undone.
TEST(OdbcIdentity, TablesWithoutAKeyAreWalkedByTheirValues) {
  TestShop shop;
  shop.createFiles();
  shop.db("kestrova.mdb")
      .exec("CREATE TABLE Notes (Code TEXT, Note TEXT, Amount REAL);"
            "INSERT INTO Notes VALUES ('OLD', 'same', 1.5), ('OLD', 'same', 1.5), ('OLD', NULL, 2.25), "
            "('KEEP', 'same', 1.5), ('OLD', 'top', 3)");
  data::OdbcTemplate connection;
  std::string problem;
  ASSERT_TRUE(data::OdbcTemplate::parse(std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database={path};Linked=Notes",
                                        &connection, &problem))
      << problem;
  data::OdbcEngine engine(connection, std::chrono::milliseconds(200));
  std::unique_ptr<data::DatabaseStore> store;
  ASSERT_TRUE(engine.open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk());
  // Selected alone, one of two copies is refused: the write would reach both.
  data::RowSet one;
  ASSERT_TRUE(store->select("Select Code from Notes where Code = 'KEEP'", &one).isOk());
  shop.db("kestrova.mdb").exec("INSERT INTO Notes VALUES ('KEEP', 'same', 1.5)");
  const data::Status copy = store->remove(one, one.rows[0]);
  EXPECT_EQ(copy.code(), data::Status::Code::kRowRefused) << copy.message();
  store->endWalk();  // the walk that met it ends, undone
  data::RowSet set;
  ASSERT_TRUE(store->select("Select Code from Notes where Code = 'OLD' order by Amount", &set).isOk());
  ASSERT_EQ(set.rows.size(), 4u);
  EXPECT_TRUE(contains(store->rowIdentity(set), "values")) << store->rowIdentity(set);
  const std::string longText(300, 'x');
  const data::FieldWrite writes[] = {{"Code", "NEW"}, {"Note", longText}};
  std::vector<data::DatabaseStore::RowFailure> failures;
  store->updateRows(set, std::span(set.rows).first(3), writes, &failures);
  EXPECT_TRUE(failures.empty()) << failures[0].status.message();
  ASSERT_TRUE(store->commit().isOk());
  store.reset();
  tools::ShopDb db = shop.db("kestrova.mdb");
  EXPECT_EQ(db.count("Notes", "Code = 'NEW' AND Note = '" + longText + "'"), 3);
  EXPECT_EQ(db.count("Notes", "Code = 'OLD' AND Note = 'top'"), 1);
  EXPECT_EQ(db.count("Notes", "Code = 'KEEP'"), 2);
}

// Without savepoints a long walk is saved in parts, below the lock limit
// past which the Access engine would commit on its own: what a failure
// undoes is then exactly what the store says it undoes.
TEST(OdbcIdentity, ALongWalkWithoutSavepointsIsSavedInParts) {
  TestShop shop;
  shop.createFiles();
  {
    tools::ShopDb db = shop.db("kestrova.mdb");
    db.exec("CREATE TABLE Parts (Id INTEGER NOT NULL UNIQUE, Code TEXT); BEGIN");
    for (int i = 1; i <= 2500; ++i) db.exec("INSERT INTO Parts VALUES (" + std::to_string(i) + ", 'OLD')");
    db.exec("COMMIT");
  }
  data::OdbcTemplate connection;
  std::string problem;
  ASSERT_TRUE(data::OdbcTemplate::parse(std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database={path}", &connection,
                                        &problem))
      << problem;
  data::OdbcEngine engine(connection, std::chrono::milliseconds(200));
  std::unique_ptr<data::DatabaseStore> store;
  ASSERT_TRUE(engine.open(shop.path("kestrova.mdb"), "kestrova.mdb", &store).isOk());
  ASSERT_FALSE(store->walksShareBatch());
  data::RowSet set;
  ASSERT_TRUE(store->select("Select Code from Parts", &set).isOk());
  const data::FieldWrite write{"Code", "NEW"};
  std::vector<data::DatabaseStore::RowFailure> failures;
  store->updateRows(set, set.rows, std::span(&write, 1), &failures);
  EXPECT_TRUE(failures.empty());
  // Before the walk ends, parts of about 1,000 rows are saved; the rest
  // waits. (The driver refuses an IN list of 250: the chunks narrow.)
  const long long saved = shop.db("kestrova.mdb").count("Parts", "Code = 'NEW'");
  EXPECT_GE(saved, 2000);
  EXPECT_LT(saved, 2500);
  ASSERT_TRUE(store->endWalk().isOk());
  EXPECT_EQ(shop.db("kestrova.mdb").count("Parts", "Code = 'NEW'"), 2500);
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
