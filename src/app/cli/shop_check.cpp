#include "app/cli/shop_check.h"

#include <memory>
#include <optional>

#include "combine/archive_name_list.h"
#include "combine/archives.h"
#include "combine/procedures.h"
#include "combine/tables_used.h"
#include "data/shop_path.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

using Code = data::Status::Code;
using combine::TableUse;

class ShopCheck {
 public:
  ShopCheck(data::StoreEngine& engine, std::ostream& out) : engine_(engine), out_(out) {}

  std::vector<std::string> run() {
    std::vector<TableUse> archiveTables;
    std::vector<std::string> archives;
    for (const combine::FileUse& use : combine::tablesTheCombinesUse()) {
      if (use.file.empty()) {
        archiveTables = use.tables;
        continue;
      }
      std::unique_ptr<data::DatabaseStore> store = checkFile(use.file, use.tables);
      if (store != nullptr && use.file == combine::kManagementDatabase) archives = archiveNames(*store);
    }
    for (const std::string& name : archives) checkArchive(name, archiveTables);
    return std::move(problems_);
  }

 private:
  void problem(const std::string& text) {
    problems_.push_back(data::visibleText(text));
    out_ << "  not ready: " << problems_.back() << '\n';
  }

  // Opens the file and checks the combines' tables in it; the store, or
  // none when the file cannot be opened.
  std::unique_ptr<data::DatabaseStore> checkFile(const std::string& fileName, const std::vector<TableUse>& tables) {
    out_ << data::visibleText(fileName) << ":\n";
    std::filesystem::path path;
    std::unique_ptr<data::DatabaseStore> store;
    data::Status opened = data::resolveShopPath(fileName, &path);
    if (opened.isOk()) opened = engine_.open(path, fileName, &store);
    if (!opened.isOk()) {
      problem(fileName + ": " + opened.reason());
      return nullptr;
    }
    out_ << "  opened " << store->openedAs() << '\n';
    bool writeTried = false;
    for (const TableUse& table : tables) {
      const std::optional<data::RowSet> rows = checkTable(fileName, *store, table);
      if (rows && !writeTried) writeTried = tryWrite(fileName, *store, table);
    }
    if (!writeTried) out_ << "  whether it can be written was not tried: no table holds a row to try it on\n";
    return store;
  }

  // The table's selection of its first column, when the table and all the
  // combines' columns are there.
  std::optional<data::RowSet> checkTable(const std::string& fileName, data::DatabaseStore& store,
                                         const TableUse& table) {
    std::optional<data::RowSet> first;
    bool whole = true;
    for (const std::string& column : table.columns) {
      data::RowSet set;
      const data::Status selected =
          store.select("Select " + column + " from " + table.table + " where " + column + " = ''", &set);
      if (selected.code() == Code::kNoSuchTable) {
        if (table.mayBeMissing) {
          out_ << "  " << table.table << ": not in this file, which then has no technician to re-point\n";
        } else {
          problem(fileName + ": there is no table " + table.table);
        }
        return std::nullopt;
      }
      if (selected.code() == Code::kNoSuchColumn) {
        problem(fileName + ": table " + table.table + " has no column " + column);
        whole = false;
      } else if (!selected.isOk()) {
        problem(fileName + ": table " + table.table + ": " + selected.reason());
        return std::nullopt;
      } else if (!first) {
        first = std::move(set);
      }
    }
    if (!whole || !first) return std::nullopt;
    std::string columns;
    for (const std::string& column : table.columns) columns += (columns.empty() ? "" : ", ") + column;
    const std::string identity = store.rowIdentity(*first);
    out_ << "  " << table.table << ": found, with " << columns
         << (identity.empty() ? std::string() : "; rows told apart " + identity) << '\n';
    return first;
  }

  // Tries a write into the table, taken back at once. False when the table
  // has no row to try it on.
  bool tryWrite(const std::string& fileName, data::DatabaseStore& store, const TableUse& table) {
    const std::string& column = table.columns.front();
    data::RowSet all;
    data::Status tried = store.select("Select " + column + " from " + table.table, &all);
    if (tried.isOk()) tried = store.tryWrite(all, column);
    if (tried.code() == Code::kRowGone) return false;
    if (tried.isOk()) {
      out_ << "  can be written (a write into " << table.table << " was tried and taken back)\n";
    } else {
      problem(fileName + ": cannot be written: " + tried.reason());
    }
    return true;
  }

  // The distinct archive names of the management orders, in the order met.
  std::vector<std::string> archiveNames(data::DatabaseStore& store) {
    data::RowSet set;
    std::vector<std::string> names;
    if (!store.select("Select Archive from Orders", &set).isOk()) return names;
    combine::ArchiveNameList list;
    for (data::RowId row : set.rows) {
      data::FieldValue value;
      if (store.read(set, row, "Archive", &value).isOk() && value) list.offer(*value);
    }
    for (std::size_t i = 0; i < list.count(); ++i) names.push_back(list.name(i));
    return names;
  }

  void checkArchive(const std::string& name, const std::vector<TableUse>& tables) {
    if (const auto refused = combine::whyArchiveNameRefused(name)) {
      out_ << data::visibleText(name) << ":\n";
      problem(name + ": " + *refused);
      return;
    }
    const std::string fileName = name + ".arc";
    std::filesystem::path path;
    std::filesystem::path found;
    if (data::resolveShopPath(fileName, &path).isOk() &&
        data::findShopDatabase(path, fileName, &found).code() == Code::kFileMissing) {
      out_ << data::visibleText(fileName) << ": not in the folder: on a diskette in drive A\n";
      return;
    }
    checkFile(fileName, tables);
  }

  data::StoreEngine& engine_;
  std::ostream& out_;
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> checkShop(data::StoreEngine& engine, std::ostream& out) {
  return ShopCheck(engine, out).run();
}

}  // namespace kestrova::app
