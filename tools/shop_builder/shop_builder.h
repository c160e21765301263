// Builds shops' files for the tests, the README's sample shop and the
// benchmark: the three databases and archive files with every table and
// column the combine touches, a few columns it must leave alone, and the
// indexes a shop's package keeps on its key columns.
//
// This is a tool for making files; the combining tool itself never creates
// one.

#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kestrova::tools {

enum class ShopFile { kMain, kManagement, kWorkOrders, kArchive };

struct SchemaOptions {
  bool withTasks = true;  // work-orders and archive files
  bool withTechs = true;  // work-orders and archive files
  bool withIndexes = true;
};

// The file name a role has in a shop's folder ("kestrova.mdb", ...); for an
// archive, `archiveName` + ".arc".
std::string shopFileName(ShopFile role, std::string_view archiveName = {});

// Creates `file` (which must not exist) with the tables of its role.
void createShopFile(const std::filesystem::path& file, ShopFile role, SchemaOptions options = {});

// Creates the three databases of a shop in `folder`.
void createShopFiles(const std::filesystem::path& folder, SchemaOptions options = {});

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

// A plain SQLite connection to a shop file, for filling and checking it.
// Throws std::runtime_error on any failure.
class ShopDb {
 public:
  explicit ShopDb(const std::filesystem::path& file);
  ~ShopDb();
  ShopDb(const ShopDb&) = delete;
  ShopDb& operator=(const ShopDb&) = delete;

  void exec(std::string_view sql);
  // Runs `sql` with `values` bound to its ? in order (Null for nullopt).
  void run(std::string_view sql, std::initializer_list<Value> values);
  std::vector<Row> query(std::string_view sql);
  // The single value of a one-row, one-column query.
  Value scalar(std::string_view sql);
  long long count(std::string_view table, std::string_view where = "1=1");

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

struct SampleShopOptions {
  // 0 gives the small sample shop alone. A larger scale adds generated rows
  // of many other customers, vehicles and employees: at 1.0, a million
  // History rows and the rest in proportion.
  double scale = 0.0;
  std::uint64_t seed = 20261208;
  // Generated archive files "ARCH01.arc" to "ARCHnn.arc", each with
  // 20,000 orders (at scale 1.0), two tasks per order and a few technicians;
  // half of the generated management orders then name one of them. 0 leaves
  // every generated order without an archive.
  int archiveFiles = 0;
  // Adds the benchmark's records (benchmarkRecords() below) among the
  // generated rows. Needs a scale above 0 and at least kBenchmarkArchives
  // archive files.
  bool benchmarkRecords = false;
};

// A record that the benchmark combines. It owns about `rows` rows whatever
// the scale, placed at random among the generated rows of every table its
// kind touches, and orders with tasks in `archiveCount` of the generated
// archive files from number `firstArchive` on (the management orders name
// them). An employee record is in Employees under `nickname` and names its
// tasks half by nickname, half by "~" and number.
struct BenchmarkRecord {
  enum class Kind { kCustomer, kVehicle, kEmployee };
  Kind kind;
  std::string fromId;
  std::string toId;
  std::uint64_t rows;
  int firstArchive;
  int archiveCount;
  std::string nickname = {};
};

// The fleet records (about 100,000 rows each: one customer, one vehicle,
// one employee, over 10 archives each), then records of 10,000 rows
// (customers over 4 archives) and typical customers (about 50 rows) and
// vehicles (about 20 rows), one archive each. Records of one group share
// nothing, so each can be combined on the same copy of a shop.
std::span<const BenchmarkRecord> benchmarkRecords();
inline constexpr int kBenchmarkArchives = 50;

// "ARCH07" for number 7: the name of a generated archive.
std::string generatedArchiveName(int number);

// Writes a sample shop into `folder` (created if missing; its shop files must
// not exist yet): the three databases and two archive files, with duplicate
// customers, vehicles and employees worth combining. The same options always
// give the same rows.
void writeSampleShop(const std::filesystem::path& folder, const SampleShopOptions& options = {});

}  // namespace kestrova::tools
