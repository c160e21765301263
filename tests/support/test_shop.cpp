#include "support/test_shop.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/store_under_test.h"

namespace kestrova::testing {

std::string readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

TestShop::TestShop() : previousFolder_(std::filesystem::current_path()) {
  std::random_device entropy;
  folder_ = std::filesystem::temp_directory_path() / ("kestrova-test-" + std::to_string(entropy()));
  std::filesystem::create_directories(folder_);
  std::filesystem::current_path(folder_);
}

TestShop::~TestShop() {
  std::error_code ignored;
  std::filesystem::current_path(previousFolder_, ignored);
  // Tests may leave read-only files and folders behind.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
  }
  std::filesystem::remove_all(folder_, ignored);
}

std::filesystem::path TestShop::path(std::string_view fileName) const { return folder_ / std::string(fileName); }

void TestShop::createFiles(tools::SchemaOptions options) { tools::createShopFiles(folder_, options); }

void TestShop::createArchive(std::string_view name, tools::SchemaOptions options, const std::filesystem::path& where) {
  const std::filesystem::path folder = where.empty() ? folder_ : where;
  std::filesystem::create_directories(folder);
  tools::createShopFile(folder / tools::shopFileName(tools::ShopFile::kArchive, name), tools::ShopFile::kArchive,
                        options);
}

tools::ShopDb TestShop::db(std::string_view fileName) const { return tools::ShopDb(path(fileName)); }

app::RunReport TestShop::combine(RecordingUi& ui, const std::vector<std::string>& commandLine,
                                 std::chrono::milliseconds lockWait) {
  const std::unique_ptr<data::StoreEngine> engine = makeStoreEngine(lockWait);
  app::CombineCommand command(ui, commandLine, *engine);
  return command.run(static_cast<app::IdBoxes&>(ui));
}

std::string TestShop::snapshot(std::string_view fileName) const {
  tools::ShopDb file = db(fileName);
  // Through a driver that gives rows no identity, a row put back is a new
  // row: the rows are compared by their values alone, in order of them.
  const bool identities = rowsKeepTheirIdentity();
  std::string text;
  for (const tools::Row& table : file.query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    const std::string name = *table.front();
    text += "[" + name + "]\n";
    std::vector<std::string> lines;
    const std::string select =
        identities ? "SELECT rowid, * FROM \"" + name + "\" ORDER BY rowid" : "SELECT * FROM \"" + name + "\"";
    for (const tools::Row& row : file.query(select)) {
      std::string line;
      for (const tools::Value& value : row) line += (value ? "'" + *value + "'" : std::string("NULL")) + "|";
      lines.push_back(line + "\n");
    }
    if (!identities) std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) text += line;
  }
  return text;
}

std::string TestShop::bytes(std::string_view fileName) const { return readBytes(path(fileName)); }

}  // namespace kestrova::testing
