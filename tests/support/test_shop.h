// TestShop: a shop in a fresh temporary folder, which is the current folder
// while it lives, so the combine finds its files by their bare names as it
// does in a shop. Files and rows are made with the shop builder.

#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/combine_command.h"
#include "shop_builder/shop_builder.h"
#include "support/recording_ui.h"

namespace kestrova::testing {

class TestShop {
 public:
  TestShop();
  ~TestShop();
  TestShop(const TestShop&) = delete;
  TestShop& operator=(const TestShop&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path path(std::string_view fileName) const;

  // The three databases with all their tables and no rows.
  void createFiles(tools::SchemaOptions options = {});
  // An archive file `name`.arc in `where` (default: the shop's folder).
  void createArchive(std::string_view name, tools::SchemaOptions options = {}, const std::filesystem::path& where = {});

  // A connection to a file of the shop, for filling and checking it.
  tools::ShopDb db(std::string_view fileName) const;

  // One click on Go with `ui`, on a fresh command.
  app::RunReport combine(RecordingUi& ui, const std::vector<std::string>& commandLine = {},
                         std::chrono::milliseconds lockWait = std::chrono::milliseconds(200));

  // Every row of every table of a file, with its rowid, as text: equal
  // snapshots mean equal files, row for row. Where the store under test
  // gives rows no identity, without the rowid.
  std::string snapshot(std::string_view fileName) const;
  // The file's bytes.
  std::string bytes(std::string_view fileName) const;

 private:
  std::filesystem::path folder_;
  std::filesystem::path previousFolder_;
};

// Reads a whole file.
std::string readBytes(const std::filesystem::path& file);

}  // namespace kestrova::testing
