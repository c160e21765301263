// The employee combine end to end: one click on Go through the combine
// command, on real shop files.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kinds_support.h"

namespace kestrova::testing {
namespace {

using combine::CombineKind;
using tools::Value;

constexpr char kFrom[] = "111-22-4444";
constexpr char kTo[] = "111-22-3333";
constexpr char kOther[] = "222-33-4444";
const std::string kTildeFrom = std::string("~") + kFrom;
const std::string kTildeTo = std::string("~") + kTo;
const std::string kTildeOther = std::string("~") + kOther;

const std::vector<int> kEmployeeProgress = {0, 20, 30, 40, 50, 60, 70, 80, 90, 100};

// A shop with an employee entered twice, filled through the shop builder.
struct EmployeeShop {
  explicit EmployeeShop(tools::SchemaOptions options = {}) { shop.createFiles(options); }

  void addEmployee(const std::string& id, const Value& nickname) {
    shop.db("kestrova.mdb").run("INSERT INTO Employees VALUES (?,?,'Miller','Joe','2012-04-01')", {id, nickname});
  }
  void addManagementOrder(const std::string& number, const std::string& employee, const Value& archive) {
    shop.db("mgmtdata.mdb")
        .run("INSERT INTO Orders VALUES (?,'2000009','1000009',?,?,'2024-01-01','5')", {number, employee, archive});
  }
  void addOrder(std::string_view file, const std::string& number, const std::string& employee) {
    shop.db(file).run("INSERT INTO Orders VALUES (?,'2000009','1000009',?,'2024-01-01','closed')", {number, employee});
  }
  void addTask(std::string_view file, const std::string& number, const Value& tech) {
    shop.db(file).run("INSERT INTO Tasks VALUES (?,?,'Work','1')", {number, tech});
  }
  void addTech(std::string_view file, const std::string& id) {
    shop.db(file).run("INSERT INTO Techs VALUES (?,'1','yes')", {id});
  }
  std::vector<Value> column(std::string_view file, std::string_view sql) const { return columnOf(shop, file, sql); }

  app::RunReport combine(const std::string& from = kFrom, const std::string& to = kTo) {
    ui = std::make_unique<RecordingUi>(CombineKind::kEmployee, from, to);
    return shop.combine(*ui);
  }

  TestShop shop;
  std::unique_ptr<RecordingUi> ui;
};

// The technician named on each task, in the work-orders file and in an
// archive, for the ways the From employee's nickname can stand.
TEST(EmployeeCombineTest, TasksNamingTheFromEmployeeInEitherFormEndOnTheToNumber) {
  enum class Lookup { kRow, kNoEmployeesTable };
  struct Task {
    Value before;
    Value after;
  };
  struct Case {
    const char* name;
    Lookup lookup;
    Value nickname;
    std::vector<Task> tasks;
  };
  const std::vector<Case> cases = {
      {"nickname",
       Lookup::kRow,
       "JOEY",
       {{kTildeFrom, kTildeTo},
        {"JOEY", kTildeTo},
        {kTildeTo, kTildeTo},
        {"JOE", "JOE"},
        {"MIA", "MIA"},
        {kTildeOther, kTildeOther},
        {"JOEY2", "JOEY2"},
        {"~", "~"},
        {"", ""},
        {Value{}, Value{}}}},
      {"nickname with a quote",
       Lookup::kRow,
       "O'NEIL",
       {{"O'NEIL", kTildeTo}, {kTildeFrom, kTildeTo}, {"O", "O"}, {"O''NEIL", "O''NEIL"}, {"", ""}, {"JOE", "JOE"}}},
      {"empty nickname", Lookup::kRow, "", {{kTildeFrom, kTildeTo}, {"", ""}, {Value{}, Value{}}, {"JOEY", "JOEY"}}},
      {"Null nickname",
       Lookup::kRow,
       Value{},
       {{kTildeFrom, kTildeTo}, {"", ""}, {Value{}, Value{}}, {"JOEY", "JOEY"}}},
      {"no Employees table",
       Lookup::kNoEmployeesTable,
       "JOEY",
       {{kTildeFrom, kTildeTo}, {"", ""}, {Value{}, Value{}}, {"JOEY", "JOEY"}}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmployeeShop shop;
    shop.shop.createArchive("ARCE");
    shop.addEmployee(kFrom, c.nickname);
    shop.addEmployee(kTo, "JOE");
    if (c.lookup == Lookup::kNoEmployeesTable) shop.shop.db("kestrova.mdb").exec("DROP TABLE Employees");
    shop.shop.db("kestrova.mdb").run("INSERT INTO Labor VALUES (?,'2025-06-01',1,40,'W1')", {kFrom});
    shop.addManagementOrder("W1", kFrom, "ARCE");
    for (const char* file : {"w_orders.mdb", "ARCE.arc"}) {
      for (std::size_t i = 0; i < c.tasks.size(); ++i) shop.addTask(file, "T" + std::to_string(i), c.tasks[i].before);
    }

    const app::RunReport report = shop.combine();

    EXPECT_EQ(report.outcome, app::RunReport::Outcome::kCompleted);
    for (const char* file : {"w_orders.mdb", "ARCE.arc"}) {
      SCOPED_TRACE(file);
      const std::vector<Value> techs = shop.column(file, "SELECT Tech FROM Tasks ORDER BY rowid");
      ASSERT_EQ(techs.size(), c.tasks.size());
      for (std::size_t i = 0; i < techs.size(); ++i) {
        EXPECT_EQ(techs[i], c.tasks[i].after) << "was " << show(c.tasks[i].before);
      }
    }
    EXPECT_EQ(shop.column("kestrova.mdb", "SELECT IDNumber FROM Labor"), (std::vector<Value>{kTo}));
    EXPECT_EQ(shop.ui->progressValues(), kEmployeeProgress);
    if (c.lookup == Lookup::kNoEmployeesTable) {
      // Without the nickname the archive's tasks named by it cannot be
      // reached: the archive keeps its management order on the From number,
      // so a run once the Employees table is mended finishes it.
      EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders"), (std::vector<Value>{kFrom}));
      ASSERT_EQ(report.archivesNotUpdated.size(), 1u);
      EXPECT_EQ(report.archivesNotUpdated.front().name, "ARCE");
    } else {
      EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
      EXPECT_TRUE(report.archivesNotUpdated.empty());
    }
    if (c.lookup == Lookup::kNoEmployeesTable) {
      // The lookup that could not be made is told at the end, not hidden.
      EXPECT_FALSE(report.failures.empty());
      const std::vector<std::string> messages = messagesOf(*shop.ui);
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_TRUE(messages[0].starts_with("message warning: Done.")) << messages[0];
      EXPECT_NE(messages[0].find("Employees"), std::string::npos) << messages[0];
    } else {
      EXPECT_TRUE(report.everyChangeMade());
      EXPECT_EQ(messagesOf(*shop.ui), (std::vector<std::string>{"message none: Done."}));
    }
  }
}

TEST(EmployeeCombineTest, AMissingFromEmployeeEndsTheProgramBeforeAnythingChanges) {
  EmployeeShop shop;
  shop.shop.createArchive("ARCE");
  shop.addEmployee(kTo, "JOE");
  shop.shop.db("kestrova.mdb").run("INSERT INTO Labor VALUES (?,'2025-06-01',1,40,'W1')", {kFrom});
  shop.shop.db("mgmtdata.mdb").run("INSERT INTO TimeSheets VALUES (?,'2025-06-01','08:00','16:00')", {kFrom});
  shop.addManagementOrder("W1", kFrom, "ARCE");
  shop.addOrder("w_orders.mdb", "W2", kFrom);
  shop.addTask("w_orders.mdb", "W2", kTildeFrom);
  shop.addTech("w_orders.mdb", kFrom);
  shop.addOrder("ARCE.arc", "W1", kFrom);
  const std::vector<std::string> files = {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb", "ARCE.arc"};
  std::vector<std::string> before;
  for (const std::string& file : files) before.push_back(shop.shop.snapshot(file));

  const app::RunReport report = shop.combine();

  EXPECT_EQ(report.outcome, app::RunReport::Outcome::kProgramEnded);
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(shop.shop.snapshot(files[i]), before[i]) << files[i];
  const std::vector<std::string>& events = shop.ui->events;
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"beep", "message critical: Unable to locate the From employee in the database.",
                                      "end program"}));
  EXPECT_EQ(messagesOf(*shop.ui).size(), 1u);  // no "Done."
  EXPECT_EQ(shop.ui->progressValues(), (std::vector<int>{0}));
}

// Some shops' work-orders and archive files lack the technician tables.
// Such a file is passed over without a message, the panel still reaches 90,
// and an archive without them still counts as updated, so its orders in the
// management database move too.
TEST(EmployeeCombineTest, FilesWithoutTasksOrTechsArePassedOverSilently) {
  struct Case {
    const char* name;
    tools::SchemaOptions workOrders;
    tools::SchemaOptions archive;
  };
  const std::vector<Case> cases = {
      {"work orders without Techs", {.withTechs = false}, {}},
      {"archive without Techs", {}, {.withTechs = false}},
      {"archive without Tasks", {}, {.withTasks = false}},
      {"neither file has either", {.withTasks = false, .withTechs = false}, {.withTasks = false, .withTechs = false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmployeeShop shop(c.workOrders);
    shop.shop.createArchive("ARCE", c.archive);
    shop.addEmployee(kFrom, "JOEY");
    shop.addManagementOrder("W1", kFrom, "ARCE");
    shop.addOrder("w_orders.mdb", "W2", kFrom);
    shop.addOrder("ARCE.arc", "W1", kFrom);
    for (const auto& [file, options] : {std::pair{"w_orders.mdb", c.workOrders}, std::pair{"ARCE.arc", c.archive}}) {
      if (options.withTasks) shop.addTask(file, "W1", "JOEY");
      if (options.withTasks) shop.addTask(file, "W1", kTildeFrom);
      if (options.withTechs) shop.addTech(file, kFrom);
    }

    const app::RunReport report = shop.combine();

    EXPECT_TRUE(report.everyChangeMade());
    EXPECT_EQ(messagesOf(*shop.ui), (std::vector<std::string>{"message none: Done."}));
    EXPECT_EQ(shop.ui->progressValues(), kEmployeeProgress);
    EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
    for (const auto& [file, options] : {std::pair{"w_orders.mdb", c.workOrders}, std::pair{"ARCE.arc", c.archive}}) {
      SCOPED_TRACE(file);
      EXPECT_EQ(shop.column(file, "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
      if (options.withTasks) {
        EXPECT_EQ(shop.column(file, "SELECT Tech FROM Tasks"), (std::vector<Value>{kTildeTo, kTildeTo}));
      }
      if (options.withTechs) {
        EXPECT_EQ(shop.column(file, "SELECT TechID FROM Techs"), (std::vector<Value>{kTo}));
      }
    }
  }
}

TEST(EmployeeCombineTest, ArchivesGetTheirOrdersTasksAndTechniciansRepointedWithOrWithoutTechs) {
  EmployeeShop shop;
  shop.shop.createArchive("ARC1");
  shop.shop.createArchive("ARC2", tools::SchemaOptions{.withTechs = false});
  shop.addEmployee(kFrom, "JOEY");
  shop.addManagementOrder("W1", kFrom, "ARC1");
  shop.addManagementOrder("W2", kFrom, "ARC2");
  shop.addManagementOrder("W3", kOther, "ARC1");
  shop.addOrder("ARC1.arc", "W1", kFrom);
  shop.addOrder("ARC1.arc", "W3", kOther);
  shop.addOrder("ARC1.arc", "W4", kTo);
  shop.addTask("ARC1.arc", "W1", "JOEY");
  shop.addTask("ARC1.arc", "W1", kTildeFrom);
  shop.addTask("ARC1.arc", "W3", "MIA");
  shop.addTask("ARC1.arc", "W4", kTildeTo);
  shop.addTech("ARC1.arc", kFrom);
  shop.addTech("ARC1.arc", kOther);
  shop.addOrder("ARC2.arc", "W2", kFrom);
  shop.addTask("ARC2.arc", "W2", "JOEY");
  shop.addTask("ARC2.arc", "W2", kTildeFrom);

  const app::RunReport report = shop.combine();

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(messagesOf(*shop.ui), (std::vector<std::string>{"message none: Done."}));
  EXPECT_TRUE(shop.ui->eventsStartingWith("diskette").empty());
  EXPECT_EQ(shop.ui->progressValues(), kEmployeeProgress);
  EXPECT_EQ(shop.column("ARC1.arc", "SELECT EmplID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{kTo, kOther, kTo}));
  EXPECT_EQ(shop.column("ARC1.arc", "SELECT Tech FROM Tasks ORDER BY rowid"),
            (std::vector<Value>{kTildeTo, kTildeTo, "MIA", kTildeTo}));
  EXPECT_EQ(shop.column("ARC1.arc", "SELECT TechID FROM Techs ORDER BY rowid"), (std::vector<Value>{kTo, kOther}));
  EXPECT_EQ(shop.column("ARC2.arc", "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
  EXPECT_EQ(shop.column("ARC2.arc", "SELECT Tech FROM Tasks ORDER BY rowid"), (std::vector<Value>{kTildeTo, kTildeTo}));
  EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{kTo, kTo, kOther}));
}

TEST(EmployeeCombineTest, AnArchiveFoundNowhereKeepsItsManagementOrdersOnTheFromNumber) {
  EmployeeShop shop;
  shop.shop.createArchive("ARC1");
  shop.addEmployee(kFrom, "JOEY");
  shop.addManagementOrder("W1", kFrom, "ARC1");
  shop.addManagementOrder("W2", kFrom, "GONE");
  shop.addManagementOrder("W3", kFrom, Value{});
  shop.addOrder("ARC1.arc", "W1", kFrom);

  const app::RunReport report = shop.combine();

  EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{kTo, kFrom, kTo}));
  EXPECT_EQ(shop.column("ARC1.arc", "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
  ASSERT_EQ(report.archivesNotUpdated.size(), 1u);
  EXPECT_EQ(report.archivesNotUpdated[0].name, "GONE");
  EXPECT_EQ(shop.ui->progressValues(), kEmployeeProgress);

  // With the diskette at hand, a second run finishes the combine.
  shop.shop.createArchive("GONE");
  shop.addOrder("GONE.arc", "W2", kFrom);
  const app::RunReport again = shop.combine();
  EXPECT_TRUE(again.everyChangeMade());
  EXPECT_EQ(shop.column("mgmtdata.mdb", "SELECT EmplID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{kTo, kTo, kTo}));
  EXPECT_EQ(shop.column("GONE.arc", "SELECT EmplID FROM Orders"), (std::vector<Value>{kTo}));
}

// Every table that holds an employee number, for a To employee who is not in
// Employees at all; the From employee's own row stays as it was.
TEST(EmployeeCombineTest, EveryTableMovesToAToEmployeeNotInEmployeesAndTheFromRowStays) {
  EmployeeShop shop;
  shop.addEmployee(kFrom, "JOEY");
  shop.addEmployee(kOther, "MIA");
  shop.shop.db("kestrova.mdb")
      .run("INSERT INTO Labor VALUES (?,'2025-06-01',1,40,'W1'), (?,'2025-06-01',1,40,'W9')", {kFrom, kOther});
  shop.shop.db("mgmtdata.mdb")
      .run("INSERT INTO Invoices VALUES ('I1','1000009',?,'2025-06-01',1), ('I9','1000009',?,'2025-06-01',1)",
           {kFrom, kOther});
  shop.shop.db("mgmtdata.mdb")
      .run("INSERT INTO Services VALUES ('2000009',?,'2025-06-01','Oil',1), ('2000009',?,'2025-06-01','Oil',1)",
           {kFrom, kOther});
  shop.shop.db("mgmtdata.mdb")
      .run("INSERT INTO TimeSheets VALUES (?,'2025-06-01','08:00','16:00'), (?,'2025-06-01','08:00','16:00')",
           {kFrom, kOther});
  shop.addManagementOrder("W1", kFrom, Value{});
  shop.addManagementOrder("W9", kOther, Value{});
  shop.addOrder("w_orders.mdb", "W1", kFrom);
  shop.addOrder("w_orders.mdb", "W9", kOther);
  shop.addTask("w_orders.mdb", "W1", "JOEY");
  shop.addTask("w_orders.mdb", "W9", "MIA");
  shop.addTech("w_orders.mdb", kFrom);
  shop.addTech("w_orders.mdb", kOther);
  const auto employees = [&] { return shop.shop.db("kestrova.mdb").query("SELECT rowid, * FROM Employees"); };
  const auto employeesBefore = employees();

  const app::RunReport report = shop.combine();

  EXPECT_TRUE(report.everyChangeMade());
  struct Check {
    const char* file;
    const char* sql;
    std::vector<Value> after;
  };
  const std::vector<Check> checks = {
      {"kestrova.mdb", "SELECT IDNumber FROM Labor ORDER BY rowid", {kTo, kOther}},
      {"mgmtdata.mdb", "SELECT EmplID FROM Invoices ORDER BY rowid", {kTo, kOther}},
      {"mgmtdata.mdb", "SELECT EmplID FROM Services ORDER BY rowid", {kTo, kOther}},
      {"mgmtdata.mdb", "SELECT IDNumber FROM TimeSheets ORDER BY rowid", {kTo, kOther}},
      {"mgmtdata.mdb", "SELECT EmplID FROM Orders ORDER BY rowid", {kTo, kOther}},
      {"w_orders.mdb", "SELECT EmplID FROM Orders ORDER BY rowid", {kTo, kOther}},
      {"w_orders.mdb", "SELECT Tech FROM Tasks ORDER BY rowid", {kTildeTo, "MIA"}},
      {"w_orders.mdb", "SELECT TechID FROM Techs ORDER BY rowid", {kTo, kOther}},
  };
  for (const Check& c : checks) EXPECT_EQ(shop.column(c.file, c.sql), c.after) << c.file << ": " << c.sql;
  EXPECT_EQ(employees(), employeesBefore);
}

TEST(EmployeeCombineTest, FromEqualToToRenamesNicknameTasksByNumber) {
  EmployeeShop shop;
  shop.addEmployee(kFrom, "JOEY");
  shop.addTask("w_orders.mdb", "W1", "JOEY");
  shop.addTask("w_orders.mdb", "W1", kTildeFrom);
  shop.addTech("w_orders.mdb", kFrom);

  const app::RunReport report = shop.combine(kFrom, kFrom);

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(shop.column("w_orders.mdb", "SELECT Tech FROM Tasks ORDER BY rowid"),
            (std::vector<Value>{kTildeFrom, kTildeFrom}));
  EXPECT_EQ(shop.column("w_orders.mdb", "SELECT TechID FROM Techs"), (std::vector<Value>{kFrom}));
}

// The sample shop holds an employee entered twice (JOEY and JOE); combining
// them leaves nothing on the first.
TEST(EmployeeCombineSampleShopTest, TheSampleShopsDuplicateEmployeeCombines) {
  TestShop shop;
  tools::writeSampleShop(shop.folder());
  RecordingUi ui(CombineKind::kEmployee, kFrom, kTo);

  const app::RunReport report = shop.combine(ui);

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(messagesOf(ui), (std::vector<std::string>{"message none: Done."}));
  EXPECT_EQ(columnOf(shop, "w_orders.mdb", "SELECT Tech FROM Tasks ORDER BY rowid"),
            (std::vector<Value>{kTildeTo, kTildeTo, kTildeTo, "MIA", ""}));
  EXPECT_EQ(columnOf(shop, "w_orders.mdb", "SELECT TechID FROM Techs ORDER BY rowid"),
            (std::vector<Value>{kTo, kTo, kOther}));
  EXPECT_EQ(columnOf(shop, "ARC2023.arc", "SELECT Tech FROM Tasks ORDER BY rowid"),
            (std::vector<Value>{kTildeTo, kTildeTo}));
  EXPECT_EQ(columnOf(shop, "ARC2023.arc", "SELECT TechID FROM Techs"), (std::vector<Value>{kTo}));
  EXPECT_EQ(columnOf(shop, "ARC2024.arc", "SELECT Tech FROM Tasks ORDER BY rowid"),
            (std::vector<Value>{kTildeTo, "MIA"}));
  const std::string stillFrom = "EmplID = '" + std::string(kFrom) + "'";
  for (const char* file : {"mgmtdata.mdb", "w_orders.mdb", "ARC2023.arc", "ARC2024.arc"}) {
    EXPECT_EQ(shop.db(file).count("Orders", stillFrom), 0) << file;
  }
  EXPECT_EQ(shop.db("kestrova.mdb").count("Labor", "IDNumber = '" + std::string(kFrom) + "'"), 0);
  EXPECT_EQ(shop.db("kestrova.mdb").count("Employees", "IDNumber = '" + std::string(kFrom) + "'"), 1);
}

}  // namespace
}  // namespace kestrova::testing
