#include "shop_builder/shop_builder.h"

#include "shop_builder/generated_rows.h"
#include "shop_builder/row_writing.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kestrova::tools {
namespace {

using namespace detail;

constexpr const char* kMainSchema = R"(
CREATE TABLE Customers (CustID TEXT, LastName TEXT, FirstName TEXT, Phone TEXT);
CREATE TABLE Automobile (AutoID TEXT, CustID TEXT, Make TEXT, Model TEXT, ModelYear INTEGER, Plate TEXT);
CREATE TABLE History (AutoID TEXT, ServiceDate TEXT, Mileage INTEGER, Description TEXT, Amount REAL);
CREATE TABLE Employees (IDNumber TEXT, NickName TEXT, LastName TEXT, FirstName TEXT, HireDate TEXT);
CREATE TABLE Labor (IDNumber TEXT, WorkDate TEXT, Hours REAL, Rate REAL, OrderNumber TEXT);
)";
constexpr const char* kMainIndexes = R"(
CREATE INDEX CustomersCustID ON Customers (CustID);
CREATE INDEX AutomobileAutoID ON Automobile (AutoID);
CREATE INDEX AutomobileCustID ON Automobile (CustID);
CREATE INDEX HistoryAutoID ON History (AutoID);
CREATE INDEX EmployeesIDNumber ON Employees (IDNumber);
CREATE INDEX LaborIDNumber ON Labor (IDNumber);
)";

constexpr const char* kManagementSchema = R"(
CREATE TABLE Services (AutoID TEXT, EmplID TEXT, ServiceDate TEXT, Description TEXT, Amount REAL);
CREATE TABLE Orders (OrderNumber TEXT, AutoID TEXT, CustID TEXT, EmplID TEXT, Archive TEXT, OrderDate TEXT,
                     Total REAL);
CREATE TABLE ARBillings (CustID TEXT, BillingDate TEXT, Balance REAL, DueDate TEXT);
CREATE TABLE Invoices (InvoiceNumber TEXT, CustID TEXT, EmplID TEXT, InvoiceDate TEXT, Amount REAL);
CREATE TABLE Payments (PaymentNumber TEXT, CustID TEXT, OrderNumber TEXT, PaymentDate TEXT, Amount REAL);
CREATE TABLE TimeSheets (IDNumber TEXT, WorkDate TEXT, TimeIn TEXT, TimeOut TEXT);
)";
constexpr const char* kManagementIndexes = R"(
CREATE INDEX ServicesAutoID ON Services (AutoID);
CREATE INDEX ServicesEmplID ON Services (EmplID);
CREATE INDEX OrdersAutoID ON Orders (AutoID);
CREATE INDEX OrdersCustID ON Orders (CustID);
CREATE INDEX OrdersEmplID ON Orders (EmplID);
CREATE INDEX ARBillingsCustID ON ARBillings (CustID);
CREATE INDEX InvoicesCustID ON Invoices (CustID);
CREATE INDEX InvoicesEmplID ON Invoices (EmplID);
CREATE INDEX PaymentsCustID ON Payments (CustID);
CREATE INDEX TimeSheetsIDNumber ON TimeSheets (IDNumber);
)";

constexpr const char* kWorkOrdersSchema = R"(
CREATE TABLE Orders (OrderNumber TEXT, AutoID TEXT, CustID TEXT, EmplID TEXT, OrderDate TEXT, Status TEXT);
)";
constexpr const char* kWorkOrdersIndexes = R"(
CREATE INDEX OrdersAutoID ON Orders (AutoID);
CREATE INDEX OrdersCustID ON Orders (CustID);
CREATE INDEX OrdersEmplID ON Orders (EmplID);
)";
constexpr const char* kTasksSchema = "CREATE TABLE Tasks (OrderNumber TEXT, Tech TEXT, Description TEXT, Hours REAL);";
constexpr const char* kTasksIndex = "CREATE INDEX TasksTech ON Tasks (Tech);";
constexpr const char* kTechsSchema = "CREATE TABLE Techs (TechID TEXT, Bay INTEGER, Certified TEXT);";
constexpr const char* kTechsIndex = "CREATE INDEX TechsTechID ON Techs (TechID);";

// The hand-made part of the sample shop: a few customers, vehicles and
// employees entered twice, and rows for each of them in every table.
//   customers 1000001 and 1000002 are the same person; 1000003 is another
//   vehicles 2000001 and 2000002 are the same car; 2000003 is another
//   employees 111-22-3333 (JOE) and 111-22-4444 (JOEY) are the same man
void writeFeaturedRows(const std::filesystem::path& folder) {
  ShopDb main(folder / "kestrova.mdb");
  main.exec(R"(
INSERT INTO Customers VALUES ('1000001','Baker','Ann','555-0101'), ('1000002','Baker','Ann','555-0101'),
  ('1000003','Diaz','Carl','555-0133');
INSERT INTO Automobile VALUES ('2000001','1000001','Ford','Focus',2014,'KST-101'),
  ('2000002','1000002','Ford','Focus',2014,'KST-101'), ('2000003','1000003','Honda','Civic',2018,'KST-303'),
  ('2000004','1000002','Volvo','V70',2009,'KST-404');
INSERT INTO History VALUES ('2000001','2024-03-02',81200,'Oil change',49.5), ('2000001','2024-09-14',88950,'Brakes',310),
  ('2000002','2025-02-20',93010,'Timing belt',640), ('2000002','2025-06-01',95400,'Tyres',420),
  ('2000003','2025-01-11',40100,'Inspection',80);
INSERT INTO Employees VALUES ('111-22-3333','JOE','Miller','Joe','2012-04-01'),
  ('111-22-4444','JOEY','Miller','Joe','2012-04-01'), ('222-33-4444','MIA','Stone','Mia','2019-08-15'),
  ('333-44-5555','','Quinn','Pat','2023-01-09');
INSERT INTO Labor VALUES ('111-22-4444','2025-06-01',3.5,42,'WO1004'), ('111-22-4444','2025-06-02',2,42,'WO1005'),
  ('111-22-3333','2025-05-30',4,42,'WO1001'), ('222-33-4444','2025-06-01',6,38,'WO1006');
)");

  ShopDb management(folder / "mgmtdata.mdb");
  management.exec(R"(
INSERT INTO Services VALUES ('2000002','111-22-4444','2025-02-20','Timing belt',640),
  ('2000001','111-22-3333','2024-09-14','Brakes',310), ('2000003','222-33-4444','2025-01-11','Inspection',80);
INSERT INTO Orders VALUES
  ('WO0901','2000002','1000002','111-22-4444','ARC2023','2023-05-02',120),
  ('WO0902','2000002','1000002','111-22-4444','ARC2023','2023-07-19',85),
  ('WO0950','2000002','1000002','111-22-4444','ARC2024','2024-02-11',410),
  ('WO0951','2000003','1000003','222-33-4444','ARC2024','2024-03-01',95),
  ('WO1004','2000002','1000002','111-22-4444',NULL,'2025-06-01',640),
  ('WO1005','2000004','1000002','111-22-4444','','2025-06-02',70),
  ('WO1001','2000001','1000001','111-22-3333','  ','2025-05-30',49.5);
INSERT INTO ARBillings VALUES ('1000001','2025-05-31',120,'2025-06-30'), ('1000002','2025-05-31',640,'2025-06-30'),
  ('1000002','2025-04-30',85,'2025-05-31'), ('1000003','2025-05-31',95,'2025-06-30');
INSERT INTO Invoices VALUES ('IN5001','1000002','111-22-4444','2025-06-01',640),
  ('IN5002','1000001','111-22-3333','2025-05-30',49.5), ('IN5003','1000003','222-33-4444','2025-01-11',80);
INSERT INTO Payments VALUES ('PY7001','1000002','AR1000002','2025-06-15',300), ('PY7002','1000002','WO1004','2025-06-01',340),
  ('PY7003','1000002',NULL,'2025-06-20',20), ('PY7004','1000002','ar1000002','2025-06-21',5),
  ('PY7005','1000001','AR1000001','2025-06-10',49.5), ('PY7006','1000003','AR1000003','2025-06-11',80);
INSERT INTO TimeSheets VALUES ('111-22-4444','2025-06-01','08:00','16:30'), ('111-22-3333','2025-05-30','08:00','17:00'),
  ('222-33-4444','2025-06-01','07:30','16:00');
)");

  ShopDb workOrders(folder / "w_orders.mdb");
  workOrders.exec(R"(
INSERT INTO Orders VALUES ('WO1004','2000002','1000002','111-22-4444','2025-06-01','open'),
  ('WO1005','2000004','1000002','111-22-4444','2025-06-02','open'), ('WO1006','2000003','1000003','222-33-4444','2025-06-01','open');
INSERT INTO Tasks VALUES ('WO1004','JOEY','Remove belt',1.5), ('WO1004','~111-22-4444','Fit belt',2),
  ('WO1005','~111-22-3333','Wipers',0.2), ('WO1006','MIA','Inspection',1), ('WO1006','','Unassigned',0.5);
INSERT INTO Techs VALUES ('111-22-4444',3,'yes'), ('111-22-3333',2,'yes'), ('222-33-4444',1,'no');
)");

  ShopDb archive2023(folder / "ARC2023.arc");
  archive2023.exec(R"(
INSERT INTO Orders VALUES ('WO0901','2000002','1000002','111-22-4444','2023-05-02','closed'),
  ('WO0902','2000002','1000002','111-22-4444','2023-07-19','closed');
INSERT INTO Tasks VALUES ('WO0901','JOEY','Oil change',0.5), ('WO0902','~111-22-4444','Brake pads',1.5);
INSERT INTO Techs VALUES ('111-22-4444',3,'yes');
)");
  ShopDb archive2024(folder / "ARC2024.arc");
  archive2024.exec(R"(
INSERT INTO Orders VALUES ('WO0950','2000002','1000002','111-22-4444','2024-02-11','closed'),
  ('WO0951','2000003','1000003','222-33-4444','2024-03-01','closed');
INSERT INTO Tasks VALUES ('WO0950','JOEY','Clutch',4), ('WO0951','MIA','Inspection',1);
)");
}

}  // namespace

std::string shopFileName(ShopFile role, std::string_view archiveName) {
  switch (role) {
    case ShopFile::kMain:
      return "kestrova.mdb";
    case ShopFile::kManagement:
      return "mgmtdata.mdb";
    case ShopFile::kWorkOrders:
      return "w_orders.mdb";
    case ShopFile::kArchive:
      break;
  }
  return std::string(archiveName) + ".arc";
}

void createShopFile(const std::filesystem::path& file, ShopFile role, SchemaOptions options) {
  if (std::filesystem::exists(file)) throw std::runtime_error("will not overwrite " + file.string());
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(file.string().c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(raw);
    throw std::runtime_error("cannot create " + file.string());
  }
  sqlite3_close(raw);
  ShopDb db(file);
  switch (role) {
    case ShopFile::kMain:
      db.exec(kMainSchema);
      if (options.withIndexes) db.exec(kMainIndexes);
      break;
    case ShopFile::kManagement:
      db.exec(kManagementSchema);
      if (options.withIndexes) db.exec(kManagementIndexes);
      break;
    case ShopFile::kWorkOrders:
    case ShopFile::kArchive:
      db.exec(kWorkOrdersSchema);
      if (options.withIndexes) db.exec(kWorkOrdersIndexes);
      if (options.withTasks) db.exec(kTasksSchema);
      if (options.withTasks && options.withIndexes) db.exec(kTasksIndex);
      if (options.withTechs) db.exec(kTechsSchema);
      if (options.withTechs && options.withIndexes) db.exec(kTechsIndex);
      break;
  }
}

void createShopFiles(const std::filesystem::path& folder, SchemaOptions options) {
  for (ShopFile role : {ShopFile::kMain, ShopFile::kManagement, ShopFile::kWorkOrders}) {
    createShopFile(folder / shopFileName(role), role, options);
  }
}

ShopDb::ShopDb(const std::filesystem::path& file) {
  if (sqlite3_open_v2(file.string().c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    const std::string message = "cannot open " + file.string() + ": " + sqlite3_errmsg(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error(message);
  }
  sqlite3_busy_timeout(db_, 5000);
}

ShopDb::~ShopDb() { sqlite3_close(db_); }

void ShopDb::exec(std::string_view sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = std::string(sql.substr(0, 200)) + ": " + (error != nullptr ? error : "?");
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

void ShopDb::run(std::string_view sql, std::initializer_list<Value> values) {
  BulkInsert statement(*this, sql);
  statement.add(values);
}

std::vector<Row> ShopDb::query(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, std::string(sql).c_str(), -1, &statement, nullptr) != SQLITE_OK) fail(db_, sql);
  std::vector<Row> rows;
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    Row row;
    for (int i = 0, n = sqlite3_column_count(statement); i < n; ++i) {
      if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
        row.emplace_back();
      } else {
        row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                                     static_cast<std::size_t>(sqlite3_column_bytes(statement, i))));
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_DONE) fail(db_, sql);
  return rows;
}

Value ShopDb::scalar(std::string_view sql) {
  const std::vector<Row> rows = query(sql);
  if (rows.size() != 1 || rows.front().size() != 1) throw std::runtime_error("not one value: " + std::string(sql));
  return rows.front().front();
}

long long ShopDb::count(std::string_view table, std::string_view where) {
  return std::stoll(*scalar("SELECT count(*) FROM \"" + std::string(table) + "\" WHERE " + std::string(where)));
}

void writeSampleShop(const std::filesystem::path& folder, const SampleShopOptions& options) {
  std::filesystem::create_directories(folder);
  createShopFiles(folder);
  createShopFile(folder / "ARC2023.arc", ShopFile::kArchive);
  createShopFile(folder / "ARC2024.arc", ShopFile::kArchive, SchemaOptions{.withTechs = false});
  writeFeaturedRows(folder);
  if (options.scale > 0) writeGeneratedRows(folder, options);
}

}  // namespace kestrova::tools
