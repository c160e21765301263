// The customer combine end to end: one click on Go through the combine
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

constexpr char kFrom[] = "1000002";
constexpr char kTo[] = "1000001";
constexpr char kOther[] = "1000003";

const std::vector<int> kCustomerProgress = {0, 20, 35, 50, 60, 75, 85, 90, 100};

class CustomerCombineTest : public ::testing::Test {
 protected:
  void SetUp() override { shop.createFiles(); }

  app::RunReport combine(const std::string& from = kFrom, const std::string& to = kTo) {
    ui = std::make_unique<RecordingUi>(CombineKind::kCustomer, from, to);
    return shop.combine(*ui);
  }

  void addBilling(const std::string& customer, const std::string& date) {
    shop.db("mgmtdata.mdb").run("INSERT INTO ARBillings VALUES (?,?,'10.5','2025-07-01')", {customer, date});
  }
  void addPayment(const std::string& number, const std::string& customer, const Value& orderNumber) {
    shop.db("mgmtdata.mdb")
        .run("INSERT INTO Payments VALUES (?,?,?,'2025-06-01','12')", {number, customer, orderNumber});
  }
  void addManagementOrder(const std::string& number, const std::string& customer, const Value& archive) {
    shop.db("mgmtdata.mdb")
        .run("INSERT INTO Orders VALUES (?,'2000009',?,'111-22-3333',?,'2024-01-01','5')", {number, customer, archive});
  }
  void addArchivedOrder(const std::string& archive, const std::string& number, const std::string& customer) {
    shop.db(archive + ".arc")
        .run("INSERT INTO Orders VALUES (?,'2000009',?,'111-22-3333','2024-01-01','closed')", {number, customer});
  }
  Value customerOf(std::string_view file, std::string_view table, std::string_view keyColumn, std::string_view key) {
    return scalarOf(shop, file,
                    "SELECT CustID FROM " + std::string(table) + " WHERE " + std::string(keyColumn) + " = '" +
                        std::string(key) + "'");
  }

  TestShop shop;
  std::unique_ptr<RecordingUi> ui;
};

TEST_F(CustomerCombineTest, BillingCyclesOfBothCustomersAreDeletedAndAThirdCustomersKept) {
  addBilling(kFrom, "2025-04-30");
  addBilling(kFrom, "2025-05-31");
  addBilling(kTo, "2025-05-31");
  addBilling(kOther, "2025-05-31");
  addBilling(kOther, "2025-04-30");

  const app::RunReport report = combine();

  EXPECT_EQ(report.outcome, app::RunReport::Outcome::kCompleted);
  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID || ' ' || BillingDate FROM ARBillings ORDER BY rowid"),
            (std::vector<Value>{std::string(kOther) + " 2025-05-31", std::string(kOther) + " 2025-04-30"}));
  EXPECT_EQ(ui->progressValues(), kCustomerProgress);
}

// Each payment of the From customer moves to the To customer; its order
// number follows only when it is an accounts-receivable number.
TEST_F(CustomerCombineTest, AccountsReceivableOrderNumbersFollowTheirPayments) {
  struct Case {
    const char* payment;
    const char* customer;
    Value before;
    Value after;
  };
  const std::string toNumber = std::string("AR") + kTo;
  const std::vector<Case> cases = {
      {"P01", kFrom, "AR", toNumber},
      {"P02", kFrom, std::string("AR") + kFrom, toNumber},
      {"P03", kFrom, std::string("AR") + kOther, toNumber},
      {"P04", kFrom, "ARxyz", toNumber},
      {"P05", kFrom, "ar123", "ar123"},
      {"P06", kFrom, "Ar1000002", "Ar1000002"},
      {"P07", kFrom, "WO1004", "WO1004"},
      {"P08", kFrom, Value{}, Value{}},
      {"P09", kFrom, "A", "A"},
      {"P10", kFrom, "", ""},
      {"P11", kFrom, " AR1000002", " AR1000002"},
      // Payments of the To customer are not selected and keep their numbers.
      {"P12", kTo, std::string("AR") + kTo, std::string("AR") + kTo},
      {"P13", kTo, "AR", "AR"},
      {"P14", kTo, std::string("AR") + kOther, std::string("AR") + kOther},
      {"P15", kOther, std::string("AR") + kOther, std::string("AR") + kOther},
  };
  for (const Case& c : cases) addPayment(c.payment, c.customer, c.before);

  combine();

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.payment) + " " + show(c.before));
    const tools::Row row =
        shop.db("mgmtdata.mdb")
            .query("SELECT CustID, OrderNumber FROM Payments WHERE PaymentNumber = '" + std::string(c.payment) + "'")
            .at(0);
    const std::string expectedCustomer = std::string(c.customer) == kFrom ? kTo : c.customer;
    EXPECT_EQ(row[0], Value(expectedCustomer));
    EXPECT_EQ(row[1], c.after);
  }
}

TEST_F(CustomerCombineTest, AFromCustomerWithNoRowsStillLosesTheToCustomersBillingCycles) {
  addBilling(kTo, "2025-05-31");
  addBilling(kOther, "2025-05-31");
  addPayment("P1", kTo, std::string("AR") + kTo);
  shop.db("kestrova.mdb").exec("INSERT INTO Automobile VALUES ('2000001','1000001','Ford','Focus',2014,'K-1')");

  const app::RunReport report = combine();

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID FROM ARBillings"), (std::vector<Value>{kOther}));
  EXPECT_EQ(scalarOf(shop, "mgmtdata.mdb", "SELECT OrderNumber FROM Payments"), Value(std::string("AR") + kTo));
  EXPECT_EQ(scalarOf(shop, "kestrova.mdb", "SELECT CustID FROM Automobile"), Value(kTo));
  const std::vector<std::string> expected = {
      "box 0 = 1000002", "box 1 = 1000001", ui->events.at(2),  // the confirmation
      "label hidden",    "progress 0",      "panel shown",    "pointer wait",        "progress 20", "progress 35",
      "progress 50",     "progress 60",     "progress 75",    "progress 85",         "progress 90", "progress 100",
      "panel hidden",    "pointer default", "label shown",    "message none: Done.",
  };
  EXPECT_EQ(ui->events, expected);
  EXPECT_TRUE(ui->events.at(2).starts_with("ask: The accounts receivable information for the two customers"));
}

TEST_F(CustomerCombineTest, FromEqualToToDeletesTheBillingCyclesAndRenumbersAccountsReceivable) {
  addBilling(kFrom, "2025-05-31");
  addBilling(kOther, "2025-05-31");
  addPayment("P1", kFrom, "AR");
  addPayment("P2", kFrom, std::string("AR") + kOther);
  addPayment("P3", kFrom, std::string("AR") + kFrom);
  addPayment("P4", kFrom, "WO1004");
  addPayment("P5", kOther, "AR");
  shop.db("kestrova.mdb").exec("INSERT INTO Automobile VALUES ('2000002','1000002','Ford','Focus',2014,'K-1')");

  const app::RunReport report = combine(kFrom, kFrom);

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID FROM ARBillings"), (std::vector<Value>{kOther}));
  const std::string own = std::string("AR") + kFrom;
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID || ' ' || OrderNumber FROM Payments ORDER BY rowid"),
            (std::vector<Value>{std::string(kFrom) + " " + own, std::string(kFrom) + " " + own,
                                std::string(kFrom) + " " + own, std::string(kFrom) + " WO1004",
                                std::string(kOther) + " AR"}));
  EXPECT_EQ(scalarOf(shop, "kestrova.mdb", "SELECT CustID FROM Automobile"), Value(kFrom));
  EXPECT_EQ(ui->progressValues(), kCustomerProgress);
}

TEST_F(CustomerCombineTest, AnsweringNoChangesNothing) {
  addBilling("C100002", "2025-05-31");
  addBilling(kTo, "2025-05-31");
  addPayment("P1", "C100002", "ARC100002");
  addManagementOrder("WO1", "C100002", "ARCX");
  shop.createArchive("ARCX");
  addArchivedOrder("ARCX", "WO1", "C100002");
  shop.db("kestrova.mdb").exec("INSERT INTO Automobile VALUES ('2000002','C100002','Ford','Focus',2014,'K-1')");
  shop.db("w_orders.mdb")
      .exec("INSERT INTO Orders VALUES ('WO2','2000002','C100002','111-22-3333','2025-01-01','open')");
  const std::vector<std::string> files = {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb", "ARCX.arc"};
  std::vector<std::string> before;
  for (const std::string& file : files) before.push_back(shop.bytes(file));

  ui = std::make_unique<RecordingUi>(CombineKind::kCustomer, "c100002", kTo);
  ui->answerYes = false;
  const app::RunReport report = shop.combine(*ui);

  EXPECT_EQ(report.outcome, app::RunReport::Outcome::kDeclined);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(shop.bytes(files[i]), before[i]) << files[i];
  }
  ASSERT_EQ(ui->events.size(), 3u);
  EXPECT_EQ(ui->events[0], "box 0 = C100002");
  EXPECT_EQ(ui->events[1], "box 1 = 1000001");
  EXPECT_TRUE(ui->events[2].starts_with("ask: "));
  EXPECT_EQ(ui->boxText(app::IdBox::txtCustFrom), "C100002");
}

// Every table that holds a customer ID: the From customer's rows move, the
// To customer's and a third customer's stay, and no other column changes.
TEST_F(CustomerCombineTest, EveryRowOfTheFromCustomerMovesAndNothingElseChanges) {
  shop.db("kestrova.mdb").exec(R"(
INSERT INTO Customers VALUES ('1000002','Baker','Ann','555'), ('1000001','Baker','Ann','555');
INSERT INTO Automobile VALUES ('2000002','1000002','Ford','Focus',2014,'K-2'), ('2000004','1000002','Volvo','V70',2009,'K-4'),
  ('2000001','1000001','Ford','Focus',2014,'K-1'), ('2000003','1000003','Honda','Civic',2018,'K-3');
)");
  shop.db("mgmtdata.mdb").exec(R"(
INSERT INTO Invoices VALUES ('I1','1000002','111-22-3333','2025-01-01',1), ('I2','1000001','111-22-3333','2025-01-01',2),
  ('I3','1000003','111-22-3333','2025-01-01',3);
INSERT INTO Orders VALUES ('W1','2000002','1000002','111-22-3333',NULL,'2025-01-01',1),
  ('W2','2000004','1000002','111-22-3333','','2025-01-01',1), ('W3','2000003','1000003','111-22-3333',NULL,'2025-01-01',1);
)");
  shop.db("w_orders.mdb").exec(R"(
INSERT INTO Orders VALUES ('W1','2000002','1000002','111-22-3333','2025-01-01','open'),
  ('W3','2000003','1000003','111-22-3333','2025-01-01','open');
)");
  struct Check {
    const char* file;
    const char* table;
    const char* keyColumn;
    const char* key;
    const char* customerAfter;
  };
  const std::vector<Check> checks = {
      {"kestrova.mdb", "Automobile", "AutoID", "2000002", kTo},
      {"kestrova.mdb", "Automobile", "AutoID", "2000004", kTo},
      {"kestrova.mdb", "Automobile", "AutoID", "2000001", kTo},
      {"kestrova.mdb", "Automobile", "AutoID", "2000003", kOther},
      {"mgmtdata.mdb", "Invoices", "InvoiceNumber", "I1", kTo},
      {"mgmtdata.mdb", "Invoices", "InvoiceNumber", "I2", kTo},
      {"mgmtdata.mdb", "Invoices", "InvoiceNumber", "I3", kOther},
      {"mgmtdata.mdb", "Orders", "OrderNumber", "W1", kTo},
      {"mgmtdata.mdb", "Orders", "OrderNumber", "W2", kTo},
      {"mgmtdata.mdb", "Orders", "OrderNumber", "W3", kOther},
      {"w_orders.mdb", "Orders", "OrderNumber", "W1", kTo},
      {"w_orders.mdb", "Orders", "OrderNumber", "W3", kOther},
  };
  const auto customers = [&] { return shop.db("kestrova.mdb").query("SELECT rowid, * FROM Customers"); };
  const auto vehiclesApartFromOwner = [&] {
    return shop.db("kestrova.mdb").query("SELECT rowid, AutoID, Make, Model, ModelYear, Plate FROM Automobile");
  };
  const auto customersBefore = customers();
  const auto vehiclesBefore = vehiclesApartFromOwner();

  const app::RunReport report = combine();

  EXPECT_TRUE(report.everyChangeMade());
  for (const Check& c : checks) {
    SCOPED_TRACE(std::string(c.file) + " " + c.table + " " + c.key);
    EXPECT_EQ(customerOf(c.file, c.table, c.keyColumn, c.key), Value(c.customerAfter));
  }
  // The customers' own records and the vehicles' IDs and details stay.
  EXPECT_EQ(customers(), customersBefore);
  EXPECT_EQ(vehiclesApartFromOwner(), vehiclesBefore);
}

TEST_F(CustomerCombineTest, OrdersInArchivesAreRepointedAndAnArchiveFoundNowhereKeepsItsOrders) {
  shop.createArchive("ARC2023");
  addManagementOrder("W1", kFrom, "ARC2023");
  addManagementOrder("W2", kFrom, "ARC2023");
  addManagementOrder("W3", kFrom, "GONE");
  addManagementOrder("W4", kFrom, "   ");
  addManagementOrder("W5", kOther, "ARC2023");
  addArchivedOrder("ARC2023", "W1", kFrom);
  addArchivedOrder("ARC2023", "W2", kFrom);
  addArchivedOrder("ARC2023", "W5", kOther);
  addArchivedOrder("ARC2023", "W6", kTo);

  const app::RunReport report = combine();

  EXPECT_EQ(report.outcome, app::RunReport::Outcome::kCompleted);
  EXPECT_EQ(columnOf(shop, "ARC2023.arc", "SELECT OrderNumber || ' ' || CustID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{"W1 1000001", "W2 1000001", "W5 1000003", "W6 1000001"}));
  // The order of the archive that could not be updated keeps the From ID, so
  // that running the combine again with the diskette at hand finds it.
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT OrderNumber || ' ' || CustID FROM Orders ORDER BY rowid"),
            (std::vector<Value>{"W1 1000001", "W2 1000001", "W3 1000002", "W4 1000001", "W5 1000003"}));
  ASSERT_EQ(report.archivesNotUpdated.size(), 1u);
  EXPECT_EQ(report.archivesNotUpdated[0].name, "GONE");
  EXPECT_EQ(
      ui->eventsStartingWith("diskette"),
      (std::vector<std::string>{"diskette: Place the diskette containing the GONE file in the A drive and click Ok."}));
  const std::vector<std::string> messages = messagesOf(*ui);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "message exclamation: Unable to update archive file: GONE");
  EXPECT_TRUE(messages[1].starts_with("message warning: Done.")) << messages[1];
  EXPECT_EQ(ui->progressValues(), kCustomerProgress);
}

// The sample shop holds a customer entered twice; combining them moves all of
// one into the other.
TEST(CustomerCombineSampleShopTest, TheSampleShopsDuplicateCustomerCombines) {
  TestShop shop;
  tools::writeSampleShop(shop.folder());
  RecordingUi ui(CombineKind::kCustomer, "1000002", "1000001");

  const app::RunReport report = shop.combine(ui);

  EXPECT_TRUE(report.everyChangeMade());
  EXPECT_EQ(messagesOf(ui), (std::vector<std::string>{"message none: Done."}));
  EXPECT_EQ(shop.db("kestrova.mdb").count("Automobile", "CustID = '1000002'"), 0);
  EXPECT_EQ(shop.db("kestrova.mdb").count("Automobile", "CustID = '1000001'"), 3);
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb", "SELECT CustID FROM ARBillings"), (std::vector<Value>{"1000003"}));
  EXPECT_EQ(columnOf(shop, "mgmtdata.mdb",
                     "SELECT PaymentNumber || ' ' || CustID || ' ' || ifnull(OrderNumber, 'Null') "
                     "FROM Payments ORDER BY PaymentNumber"),
            (std::vector<Value>{"PY7001 1000001 AR1000001", "PY7002 1000001 WO1004", "PY7003 1000001 Null",
                                "PY7004 1000001 ar1000002", "PY7005 1000001 AR1000001", "PY7006 1000003 AR1000003"}));
  for (const char* file : {"mgmtdata.mdb", "w_orders.mdb", "ARC2023.arc", "ARC2024.arc"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(shop.db(file).count("Orders", "CustID = '1000002'"), 0);
    EXPECT_GT(shop.db(file).count("Orders", "CustID = '1000001'"), 0);
  }
  EXPECT_EQ(shop.db("mgmtdata.mdb").count("Orders", "CustID = '1000003'"), 1);
  EXPECT_EQ(shop.db("ARC2024.arc").count("Orders", "CustID = '1000003'"), 1);
  EXPECT_EQ(shop.db("mgmtdata.mdb").count("Invoices", "CustID = '1000002'"), 0);
}

}  // namespace
}  // namespace kestrova::testing
