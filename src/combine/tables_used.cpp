#include "combine/tables_used.h"

#include <algorithm>
#include <optional>
#include <variant>

#include "combine/procedures.h"
#include "data/ascii_text.h"

namespace kestrova::combine {
namespace {

// "Select AutoID,Archive from Orders where AutoID = '": the table, and the
// columns read and the one the selection is keyed on.
TableUse tableOf(std::string_view select) {
  const std::string lower = data::lowered(select);
  const std::size_t from = lower.find(" from ");
  const std::size_t where = lower.find(" where ", from);
  TableUse use;
  use.table = std::string(data::trimmed(select.substr(from + 6, where - from - 6)));
  std::string_view list = select.substr(std::string_view("select ").size(), from - 7);
  while (!list.empty()) {
    const std::size_t comma = std::min(list.find(','), list.size());
    use.columns.emplace_back(data::trimmed(list.substr(0, comma)));
    list.remove_prefix(std::min(comma + 1, list.size()));
  }
  std::string_view key = data::trimmed(select.substr(where + 7));
  key = key.substr(0, std::min(key.find_first_of(" ="), key.size()));
  if (std::none_of(use.columns.begin(), use.columns.end(),
                   [&](const std::string& column) { return data::sameIgnoringCase(column, key); })) {
    use.columns.emplace_back(key);
  }
  return use;
}

class Collector {
 public:
  void add(std::string_view file, TableUse use) {
    FileUse& files = fileNamed(file);
    auto table = std::find_if(files.tables.begin(), files.tables.end(),
                              [&](const TableUse& known) { return data::sameIgnoringCase(known.table, use.table); });
    if (table == files.tables.end()) {
      files.tables.push_back(std::move(use));
      return;
    }
    for (std::string& column : use.columns) {
      const bool known = std::any_of(table->columns.begin(), table->columns.end(),
                                     [&](const std::string& c) { return data::sameIgnoringCase(c, column); });
      if (!known) table->columns.push_back(std::move(column));
    }
    table->mayBeMissing = table->mayBeMissing && use.mayBeMissing;
  }

  void addPass(std::string_view file, const RepointPass& pass) {
    TableUse use = tableOf(pass.selectPrefix);
    use.mayBeMissing = pass.tableMayBeMissing;
    add(file, std::move(use));
  }

  std::vector<FileUse> files;

 private:
  FileUse& fileNamed(std::string_view file) {
    for (FileUse& known : files) {
      if (known.file == file) return known;
    }
    return files.emplace_back(FileUse{std::string(file), {}});
  }
};

}  // namespace

std::vector<FileUse> tablesTheCombinesUse() {
  Collector collector;
  for (const std::string_view main : {kMainDatabase, kManagementDatabase, kWorkOrdersDatabase}) {
    collector.files.push_back(FileUse{std::string(main), {}});
  }
  for (CombineKind kind : {CombineKind::kVehicle, CombineKind::kCustomer, CombineKind::kEmployee}) {
    std::string_view file;  // the file the previous pass opened
    for (const Step& step : procedureOf(kind)) {
      if (const auto* pass = std::get_if<RepointPass>(&step)) {
        file = pass->databaseFile.value_or(file);
        collector.addPass(file, *pass);
      } else if (const auto* remove = std::get_if<DeletePass>(&step)) {
        file = remove->databaseFile;
        collector.add(file, tableOf(remove->selectPrefix));
      } else if (const auto* group = std::get_if<PassGroup>(&step)) {
        for (const RepointPass& grouped : group->passes) collector.addPass(file, grouped);
      } else if (const auto* stage = std::get_if<ArchiveStage>(&step)) {
        collector.add("", tableOf(stage->selectPrefix));
        for (const RepointPass& further : stage->furtherSteps) collector.addPass("", further);
      } else if (const auto* lookup = std::get_if<FromEmployeeLookup>(&step)) {
        file = lookup->databaseFile;
        const std::string_view criterion = lookup->criterionPrefix;
        collector.add(file, TableUse{std::string(lookup->table),
                                     {std::string(data::trimmed(criterion.substr(0, criterion.find('=')))),
                                      std::string(lookup->nicknameColumn)}});
      }
    }
  }
  return std::move(collector.files);
}

}  // namespace kestrova::combine
