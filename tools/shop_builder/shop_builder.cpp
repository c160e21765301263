#include "shop_builder/shop_builder.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kestrova::tools {
namespace {

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

[[noreturn]] void fail(sqlite3* db, std::string_view what) {
  throw std::runtime_error(std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

// Same numbers on every machine and standard library, for fixed seeds.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }

 private:
  std::uint64_t state_;
};

std::string numbered(long long first, std::uint64_t offset) {
  return std::to_string(first + static_cast<long long>(offset));
}

std::string employeeNumber(std::uint64_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%03llu-%02llu-%04llu", static_cast<unsigned long long>(500 + n / 1000000 % 400),
                static_cast<unsigned long long>(n / 10000 % 100), static_cast<unsigned long long>(n % 10000));
  return text;
}

std::string date(SplitMix& random) {
  char text[16];
  std::snprintf(text, sizeof text, "20%02llu-%02llu-%02llu", static_cast<unsigned long long>(15 + random.below(11)),
                static_cast<unsigned long long>(1 + random.below(12)),
                static_cast<unsigned long long>(1 + random.below(28)));
  return text;
}

std::string amount(SplitMix& random) { return std::to_string(10 + random.below(2000)) + ".50"; }

// Inserts many rows through one prepared statement in one transaction.
class BulkInsert {
 public:
  BulkInsert(ShopDb& db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db_.handle(), std::string(sql).c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      fail(db_.handle(), sql);
    }
  }
  ~BulkInsert() { sqlite3_finalize(statement_); }
  void add(std::initializer_list<Value> values) {
    int index = 1;
    for (const Value& value : values) {
      if (value) {
        sqlite3_bind_text(statement_, index, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(statement_, index);
      }
      ++index;
    }
    if (sqlite3_step(statement_) != SQLITE_DONE) fail(db_.handle(), "inserting a row");
    sqlite3_reset(statement_);
  }

 private:
  ShopDb& db_;
  sqlite3_stmt* statement_ = nullptr;
};

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

using Kind = BenchmarkRecord::Kind;

// The share of a benchmark record's rows that lies in one table.
struct Share {
  const BenchmarkRecord* record;
  std::uint64_t rows;
};

// The rows of one table: the benchmark records' shares and generated rows
// for the rest, the shares placed at random among the generated rows as a large shop's
// rows of one owner are spread over its file. Without shares it draws no
// random number, so a shop without benchmark records is as it always was.
class Placement {
 public:
  struct Slot {
    const BenchmarkRecord* record = nullptr;  // none: a generated row
    std::uint64_t index = 0;                  // the row's number among its owner's rows here
  };

  Placement(std::uint64_t generated, const std::vector<Share>& shares, SplitMix& random) : shares_(shares) {
    std::uint64_t featured = 0;
    for (const Share& share : shares_) featured += share.rows;
    // The records' rows take the place of generated ones, so that a table
    // keeps its size.
    size_ = std::max(generated, featured);
    if (featured == 0) return;
    owners_.assign(size_, 0);
    std::uint64_t at = 0;
    for (std::size_t k = 0; k < shares_.size(); ++k) {
      for (std::uint64_t n = 0; n < shares_[k].rows; ++n) owners_[at++] = static_cast<std::uint16_t>(k + 1);
    }
    for (std::uint64_t i = size_ - 1; i > 0; --i) std::swap(owners_[i], owners_[random.below(i + 1)]);
    taken_.assign(shares_.size(), 0);
  }

  std::uint64_t size() const { return size_; }

  // Call once per row, in order.
  Slot slot(std::uint64_t i) {
    if (owners_.empty() || owners_[i] == 0) return {};
    const std::size_t k = owners_[i] - 1u;
    return {shares_[k].record, taken_[k]++};
  }

 private:
  std::vector<Share> shares_;
  std::uint64_t size_ = 0;
  std::vector<std::uint16_t> owners_;
  std::vector<std::uint64_t> taken_;
};

std::uint64_t part(const BenchmarkRecord& record, double fraction) {
  return static_cast<std::uint64_t>(std::llround(static_cast<double>(record.rows) * fraction));
}

// How a record of each kind spreads its rows over the tables it owns rows in.
struct Spread {
  double automobile = 0, history = 0, labor = 0;                              // kestrova.mdb
  double services = 0, orders = 0, archived = 0, billings = 0, invoices = 0;  // mgmtdata.mdb
  double payments = 0, sheets = 0;                                            // mgmtdata.mdb
  double workOrders = 0, tasks = 0;                                           // w_orders.mdb
  double archiveTasks = 0;                                                    // the archives
};

Spread spreadOf(Kind kind) {
  switch (kind) {
    case Kind::kCustomer:
      return {.automobile = 0.10,
              .orders = 0.20,
              .archived = 0.15,
              .billings = 0.10,
              .invoices = 0.20,
              .payments = 0.20,
              .workOrders = 0.05};
    case Kind::kVehicle:
      return {.history = 0.35, .services = 0.25, .orders = 0.20, .archived = 0.15, .workOrders = 0.05};
    case Kind::kEmployee:
      break;
  }
  return {.labor = 0.15,
          .services = 0.15,
          .orders = 0.12,
          .archived = 0.10,
          .invoices = 0.10,
          .sheets = 0.10,
          .workOrders = 0.03,
          .tasks = 0.10,
          .archiveTasks = 0.15};
}

// The shares of every record in one table; `column` picks the table.
std::vector<Share> sharesIn(const std::vector<const BenchmarkRecord*>& records, double Spread::*column) {
  std::vector<Share> shares;
  for (const BenchmarkRecord* record : records) {
    const std::uint64_t rows = part(*record, spreadOf(record->kind).*column);
    if (rows > 0) shares.push_back(Share{record, rows});
  }
  return shares;
}

// The rows of a record's `total` that fall into its archive number `archive`
// when row j goes to archive firstArchive + j % archiveCount.
std::uint64_t inArchive(const BenchmarkRecord& record, std::uint64_t total, int archive) {
  const int offset = archive - record.firstArchive;
  if (offset < 0 || offset >= record.archiveCount) return 0;
  const auto count = static_cast<std::uint64_t>(record.archiveCount);
  return total / count + (static_cast<std::uint64_t>(offset) < total % count ? 1 : 0);
}

// The key a record's row carries in a column that holds its kind, else a
// generated one.
struct Keys {
  const BenchmarkRecord* record;
  std::string customer, vehicle, employee;
};

// Rows of many other customers, vehicles and employees, in proportion to a
// large shop: at scale 1.0 a million History rows.
void writeGeneratedRows(const std::filesystem::path& folder, const SampleShopOptions& options) {
  SplitMix random(options.seed);
  const auto rows = [&](double atFullScale) {
    return static_cast<std::uint64_t>(std::llround(atFullScale * options.scale));
  };
  const std::uint64_t customers = std::max<std::uint64_t>(1, rows(50000));
  const std::uint64_t vehicles = std::max<std::uint64_t>(1, rows(100000));
  const std::uint64_t employees = std::max<std::uint64_t>(1, rows(200));
  const auto customer = [&] { return numbered(3000000, random.below(customers)); };
  const auto vehicle = [&] { return numbered(4000000, random.below(vehicles)); };
  const auto employee = [&] { return employeeNumber(random.below(employees)); };
  const auto archiveName = [&]() -> Value {
    if (options.archiveFiles <= 0) return Value{};
    if (random.below(2) == 0) return generatedArchiveName(1 + static_cast<int>(random.below(options.archiveFiles)));
    static const Value kNoArchive[] = {Value{}, std::string(), std::string("  ")};
    return kNoArchive[random.below(3)];
  };

  std::vector<const BenchmarkRecord*> records;
  if (options.benchmarkRecords) {
    if (options.archiveFiles < kBenchmarkArchives) {
      throw std::runtime_error("the benchmark records need " + std::to_string(kBenchmarkArchives) + " archive files");
    }
    for (const BenchmarkRecord& record : benchmarkRecords()) records.push_back(&record);
  }
  // A column that holds the record's kind gets its From ID; the others are generated.
  const auto keyOr = [](const BenchmarkRecord* record, Kind kind, const auto& generate) -> std::string {
    if (record != nullptr && record->kind == kind) return record->fromId;
    return generate();
  };
  const auto techOf = [](const BenchmarkRecord& record, std::uint64_t index) {
    return index % 2 == 0 ? record.nickname : "~" + record.fromId;
  };

  {
    ShopDb db(folder / "kestrova.mdb");
    db.exec("BEGIN");
    BulkInsert automobiles(db, "INSERT INTO Automobile VALUES (?,?,?,?,?,?)");
    Placement cars(vehicles, sharesIn(records, &Spread::automobile), random);
    for (std::uint64_t i = 0, g = 0, own = 0; i < cars.size(); ++i) {
      const auto slot = cars.slot(i);
      if (slot.record != nullptr) {
        automobiles.add({numbered(6000000, own), slot.record->fromId, "Make", "Model",
                         std::to_string(1995 + random.below(30)), "F" + std::to_string(own)});
        ++own;
        continue;
      }
      automobiles.add({numbered(4000000, g), customer(), "Make", "Model", std::to_string(1995 + random.below(30)),
                       "P" + std::to_string(g)});
      ++g;
    }
    BulkInsert history(db, "INSERT INTO History VALUES (?,?,?,?,?)");
    Placement histories(rows(1000000), sharesIn(records, &Spread::history), random);
    for (std::uint64_t i = 0; i < histories.size(); ++i) {
      const auto slot = histories.slot(i);
      history.add({keyOr(slot.record, Kind::kVehicle, vehicle), date(random), std::to_string(random.below(300000)),
                   "Service", amount(random)});
    }
    BulkInsert staff(db, "INSERT INTO Employees VALUES (?,?,?,?,?)");
    for (std::uint64_t i = 0; i < employees; ++i) {
      staff.add({employeeNumber(i), "TECH" + std::to_string(i), "Last", "First", date(random)});
    }
    for (const BenchmarkRecord* record : records) {
      if (record->kind == Kind::kEmployee) staff.add({record->fromId, record->nickname, "Fleet", "Tech", "2020-01-01"});
    }
    BulkInsert labor(db, "INSERT INTO Labor VALUES (?,?,?,?,?)");
    Placement labors(rows(300000), sharesIn(records, &Spread::labor), random);
    for (std::uint64_t i = 0; i < labors.size(); ++i) {
      const auto slot = labors.slot(i);
      labor.add({keyOr(slot.record, Kind::kEmployee, employee), date(random), "2.5", "40", "WG" + std::to_string(i)});
    }
    db.exec("COMMIT");
  }
  {
    ShopDb db(folder / "mgmtdata.mdb");
    db.exec("BEGIN");
    BulkInsert services(db, "INSERT INTO Services VALUES (?,?,?,?,?)");
    Placement serviceRows(rows(500000), sharesIn(records, &Spread::services), random);
    for (std::uint64_t i = 0; i < serviceRows.size(); ++i) {
      const auto slot = serviceRows.slot(i);
      services.add({keyOr(slot.record, Kind::kVehicle, vehicle), keyOr(slot.record, Kind::kEmployee, employee),
                    date(random), "Service", amount(random)});
    }
    BulkInsert orders(db, "INSERT INTO Orders VALUES (?,?,?,?,?,?,?)");
    Placement orderRows(rows(300000), sharesIn(records, &Spread::orders), random);
    for (std::uint64_t i = 0; i < orderRows.size(); ++i) {
      const auto slot = orderRows.slot(i);
      if (slot.record == nullptr) {
        orders.add(
            {"WG" + std::to_string(i), vehicle(), customer(), employee(), archiveName(), date(random), amount(random)});
        continue;
      }
      const BenchmarkRecord& owner = *slot.record;
      // The first of the record's orders lie in its archives, in turn.
      const Value archive =
          slot.index < part(owner, spreadOf(owner.kind).archived)
              ? Value{generatedArchiveName(owner.firstArchive + static_cast<int>(slot.index % owner.archiveCount))}
              : Value{};
      orders.add({"WG" + std::to_string(i), keyOr(&owner, Kind::kVehicle, vehicle),
                  keyOr(&owner, Kind::kCustomer, customer), keyOr(&owner, Kind::kEmployee, employee), archive,
                  date(random), amount(random)});
    }
    BulkInsert billings(db, "INSERT INTO ARBillings VALUES (?,?,?,?)");
    Placement billingRows(rows(200000), sharesIn(records, &Spread::billings), random);
    for (std::uint64_t i = 0; i < billingRows.size(); ++i) {
      const auto slot = billingRows.slot(i);
      billings.add({keyOr(slot.record, Kind::kCustomer, customer), date(random), amount(random), date(random)});
    }
    BulkInsert invoices(db, "INSERT INTO Invoices VALUES (?,?,?,?,?)");
    Placement invoiceRows(rows(300000), sharesIn(records, &Spread::invoices), random);
    for (std::uint64_t i = 0; i < invoiceRows.size(); ++i) {
      const auto slot = invoiceRows.slot(i);
      invoices.add({"IG" + std::to_string(i), keyOr(slot.record, Kind::kCustomer, customer),
                    keyOr(slot.record, Kind::kEmployee, employee), date(random), amount(random)});
    }
    BulkInsert payments(db, "INSERT INTO Payments VALUES (?,?,?,?,?)");
    Placement paymentRows(rows(300000), sharesIn(records, &Spread::payments), random);
    for (std::uint64_t i = 0; i < paymentRows.size(); ++i) {
      const auto slot = paymentRows.slot(i);
      const std::string who = keyOr(slot.record, Kind::kCustomer, customer);
      payments.add({"PG" + std::to_string(i), who, random.below(2) == 0 ? "AR" + who : "WG" + std::to_string(i),
                    date(random), amount(random)});
    }
    BulkInsert sheets(db, "INSERT INTO TimeSheets VALUES (?,?,?,?)");
    Placement sheetRows(rows(200000), sharesIn(records, &Spread::sheets), random);
    for (std::uint64_t i = 0; i < sheetRows.size(); ++i) {
      const auto slot = sheetRows.slot(i);
      sheets.add({keyOr(slot.record, Kind::kEmployee, employee), date(random), "08:00", "16:00"});
    }
    db.exec("COMMIT");
  }
  {
    ShopDb db(folder / "w_orders.mdb");
    db.exec("BEGIN");
    BulkInsert orders(db, "INSERT INTO Orders VALUES (?,?,?,?,?,?)");
    Placement orderRows(rows(50000), sharesIn(records, &Spread::workOrders), random);
    for (std::uint64_t i = 0; i < orderRows.size(); ++i) {
      const auto slot = orderRows.slot(i);
      orders.add({"WN" + std::to_string(i), keyOr(slot.record, Kind::kVehicle, vehicle),
                  keyOr(slot.record, Kind::kCustomer, customer), keyOr(slot.record, Kind::kEmployee, employee),
                  date(random), "open"});
    }
    BulkInsert tasks(db, "INSERT INTO Tasks VALUES (?,?,?,?)");
    Placement taskRows(rows(200000), sharesIn(records, &Spread::tasks), random);
    for (std::uint64_t i = 0; i < taskRows.size(); ++i) {
      const auto slot = taskRows.slot(i);
      if (slot.record != nullptr) {
        tasks.add({"WN" + std::to_string(i / 4), techOf(*slot.record, slot.index), "Task", "1.0"});
        continue;
      }
      const std::uint64_t who = random.below(employees);
      tasks.add({"WN" + std::to_string(i / 4),
                 random.below(2) == 0 ? "TECH" + std::to_string(who) : "~" + employeeNumber(who), "Task", "1.0"});
    }
    BulkInsert techs(db, "INSERT INTO Techs VALUES (?,?,?)");
    for (std::uint64_t i = 0; i < employees; ++i) techs.add({employeeNumber(i), std::to_string(i % 8), "yes"});
    for (const BenchmarkRecord* record : records) {
      if (record->kind == Kind::kEmployee) techs.add({record->fromId, "9", "yes"});
    }
    db.exec("COMMIT");
  }

  for (int a = 1; a <= options.archiveFiles; ++a) {
    const std::string name = generatedArchiveName(a);
    createShopFile(folder / shopFileName(ShopFile::kArchive, name), ShopFile::kArchive);
    ShopDb db(folder / shopFileName(ShopFile::kArchive, name));
    std::vector<Share> orderShares;
    std::vector<Share> taskShares;
    for (const BenchmarkRecord* record : records) {
      const Spread spread = spreadOf(record->kind);
      const std::uint64_t orderRows = inArchive(*record, part(*record, spread.archived), a);
      const std::uint64_t taskRows = inArchive(*record, part(*record, spread.archiveTasks), a);
      if (orderRows > 0) orderShares.push_back(Share{record, orderRows});
      if (taskRows > 0) taskShares.push_back(Share{record, taskRows});
    }
    db.exec("BEGIN");
    BulkInsert orders(db, "INSERT INTO Orders VALUES (?,?,?,?,?,?)");
    Placement orderRows(rows(20000), orderShares, random);
    for (std::uint64_t i = 0; i < orderRows.size(); ++i) {
      const auto slot = orderRows.slot(i);
      orders.add({name + "-" + std::to_string(i), keyOr(slot.record, Kind::kVehicle, vehicle),
                  keyOr(slot.record, Kind::kCustomer, customer), keyOr(slot.record, Kind::kEmployee, employee),
                  date(random), "closed"});
    }
    // Two tasks for each order.
    BulkInsert tasks(db, "INSERT INTO Tasks VALUES (?,?,?,?)");
    Placement taskRows(2 * orderRows.size(), taskShares, random);
    for (std::uint64_t i = 0; i < taskRows.size(); ++i) {
      const auto slot = taskRows.slot(i);
      std::string tech;
      if (slot.record != nullptr) {
        tech = techOf(*slot.record, slot.index);
      } else {
        const std::uint64_t who = random.below(employees);
        tech = random.below(2) == 0 ? "TECH" + std::to_string(who) : "~" + employeeNumber(who);
      }
      tasks.add({name + "-" + std::to_string(i / 2), tech, "Task", "1.0"});
    }
    BulkInsert techs(db, "INSERT INTO Techs VALUES (?,?,?)");
    for (int t = 0; t < 20; ++t) techs.add({employee(), std::to_string(t % 8), "yes"});
    for (const BenchmarkRecord* record : records) {
      if (record->kind == Kind::kEmployee && inArchive(*record, record->archiveCount, a) > 0) {
        techs.add({record->fromId, "9", "yes"});
      }
    }
    db.exec("COMMIT");
  }
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

std::string generatedArchiveName(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "ARCH%02d", number);
  return text;
}

std::span<const BenchmarkRecord> benchmarkRecords() {
  static const std::vector<BenchmarkRecord> records = [] {
    using K = BenchmarkRecord::Kind;
    std::vector<BenchmarkRecord> list = {
        {K::kCustomer, "5100001", "3000001", 100000, 1, 10},
        {K::kVehicle, "5200001", "4000001", 100000, 11, 10},
        {K::kEmployee, "900-00-0001", "500-00-0001", 100000, 21, 10, "FLEET"},
    };
    for (int k = 0; k < 5; ++k) {
      list.push_back({K::kCustomer, numbered(5100011, k), numbered(3000011, k), 10000, 31 + 4 * k, 4});
    }
    for (int k = 0; k < 25; ++k) {
      list.push_back({K::kCustomer, numbered(5100101, k), numbered(3000101, k), 50, 41 + k % 10, 1});
    }
    for (int k = 0; k < 25; ++k) {
      list.push_back({K::kVehicle, numbered(5200101, k), numbered(4000101, k), 20, 41 + k % 10, 1});
    }
    return list;
  }();
  return records;
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
