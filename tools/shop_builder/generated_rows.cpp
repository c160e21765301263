// The generated part of a large sample shop: the bulk rows of every table,
// and the benchmark records that own about 100,000 rows each, for the
// benchmark and the scale tests.

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "shop_builder/generated_rows.h"
#include "shop_builder/row_writing.h"

namespace kestrova::tools {
namespace {

using namespace detail;

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
}  // namespace

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

}  // namespace kestrova::tools
