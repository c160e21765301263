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
};

// Writes a sample shop into `folder` (created if missing; its shop files must
// not exist yet): the three databases and two archive files, with duplicate
// customers, vehicles and employees worth combining. The same options always
// give the same rows.
void writeSampleShop(const std::filesystem::path& folder, const SampleShopOptions& options = {});

}  // namespace kestrova::tools
