#include "support/test_shop.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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
  std::string text;
  for (const tools::Row& table : file.query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    const std::string name = *table.front();
    text += "[" + name + "]\n";
    for (const tools::Row& row : file.query("SELECT rowid, * FROM \"" + name + "\" ORDER BY rowid")) {
      for (const tools::Value& value : row) text += (value ? "'" + *value + "'" : std::string("NULL")) + "|";
      text += "\n";
    }
  }
  return text;
}

std::string TestShop::bytes(std::string_view fileName) const { return readBytes(path(fileName)); }

}  // namespace kestrova::testing
