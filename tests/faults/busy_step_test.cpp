// A file that another program holds for one step of a combine and lets go
// of before the next: whichever step it is, the combine ends saying what it
// left undone, and running it again with every file free ends the shop as
// one uninterrupted run, row for row, archives included. Steps are told
// apart by the selections made through the store, not by the files opened,
// so this holds however steps come to share a file's connection.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/combine_command.h"
#include "data/sqlite_store.h"
#include "fault_support.h"
#include "shop_builder/shop_builder.h"
#include "support/recording_ui.h"
#include "support/scoped_env.h"

namespace kestrova::testing {
namespace {

using combine::CombineKind;

// Numbers the run's selections; during selection number `held` another
// connection holds the selected file's exclusive lock.
class HoldingEngine final : public data::StoreEngine {
 public:
  explicit HoldingEngine(std::optional<std::size_t> held) : held_(held) {}

  data::Status open(const std::filesystem::path& path, const std::string& name,
                    std::unique_ptr<data::DatabaseStore>* out) override {
    std::unique_ptr<data::DatabaseStore> inner;
    data::Status opened = sqlite_.open(path, name, &inner);
    if (opened.isOk()) *out = std::make_unique<Store>(std::move(inner), path, *this);
    return opened;
  }

  std::vector<std::string> selections;  // "file: record source"
  bool lockTaken = false;

 private:
  struct Store final : data::DatabaseStore {
    Store(std::unique_ptr<data::DatabaseStore> in, std::filesystem::path file, HoldingEngine& owner)
        : inner(std::move(in)), path(std::move(file)), engine(owner) {}
    data::Status select(std::string_view source, data::RowSet* out) override {
      engine.selections.push_back(name() + ": " + std::string(source));
      if (engine.selections.size() - 1 != engine.held_) return inner->select(source, out);
      tools::ShopDb holder(path);  // lets go when it closes
      holder.exec("BEGIN EXCLUSIVE");
      engine.lockTaken = true;
      return inner->select(source, out);
    }
    data::Status read(const data::RowSet& s, data::RowId r, const std::string& c, data::FieldValue* o) override {
      return inner->read(s, r, c, o);
    }
    data::Status update(const data::RowSet& s, data::RowId r, std::span<const data::FieldWrite> w) override {
      return inner->update(s, r, w);
    }
    data::Status remove(const data::RowSet& s, data::RowId r) override { return inner->remove(s, r); }
    data::Status findFirst(const data::RowSet& s, std::string_view c, std::size_t* p) override {
      return inner->findFirst(s, c, p);
    }
    data::Status commit() override { return inner->commit(); }
    const std::string& name() const override { return inner->name(); }

    std::unique_ptr<data::DatabaseStore> inner;
    std::filesystem::path path;
    HoldingEngine& engine;
  };

  data::SqliteEngine sqlite_{std::chrono::milliseconds(50)};
  std::optional<std::size_t> held_;
};

struct KindRun {
  const char* name;
  CombineKind kind;
  const char* from;
  const char* to;
  std::vector<std::string> selections;  // "file table", every one of the run in order
};

const KindRun kRuns[] = {
    {"vehicle",
     CombineKind::kVehicle,
     "2000002",
     "2000001",
     {"kestrova.mdb History", "mgmtdata.mdb Services", "mgmtdata.mdb Orders", "w_orders.mdb Orders",
      "ARC2023.arc Orders", "ARC2024.arc Orders", "mgmtdata.mdb Orders"}},
    {"customer",
     CombineKind::kCustomer,
     "1000002",
     "1000001",
     {"kestrova.mdb Automobile", "mgmtdata.mdb ARBillings", "mgmtdata.mdb ARBillings", "mgmtdata.mdb Invoices",
      "mgmtdata.mdb Orders", "mgmtdata.mdb Payments", "w_orders.mdb Orders", "ARC2023.arc Orders", "ARC2024.arc Orders",
      "mgmtdata.mdb Orders"}},
    {"employee",
     CombineKind::kEmployee,
     "111-22-4444",
     "111-22-3333",
     {"kestrova.mdb Employees", "kestrova.mdb Labor", "mgmtdata.mdb Invoices", "mgmtdata.mdb Services",
      "mgmtdata.mdb TimeSheets", "mgmtdata.mdb Orders", "w_orders.mdb Orders", "w_orders.mdb Tasks",
      "w_orders.mdb Tasks", "w_orders.mdb Techs", "ARC2023.arc Orders", "ARC2023.arc Tasks", "ARC2023.arc Tasks",
      "ARC2023.arc Techs", "ARC2024.arc Orders", "ARC2024.arc Tasks", "ARC2024.arc Tasks", "ARC2024.arc Techs",
      "mgmtdata.mdb Orders"}},
};

// (run, selection held)
std::vector<std::pair<const KindRun*, std::size_t>> everyStep() {
  std::vector<std::pair<const KindRun*, std::size_t>> steps;
  for (const KindRun& run : kRuns) {
    for (std::size_t i = 0; i < run.selections.size(); ++i) steps.emplace_back(&run, i);
  }
  return steps;
}

// The shop's folder is the current folder during a run, as in a shop.
app::RunReport combineIn(const std::filesystem::path& folder, const KindRun& run, data::StoreEngine& engine) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  RecordingUi ui(run.kind, run.from, run.to);
  app::RunReport report = app::CombineCommand(ui, {}, engine).run(app::CombineRequest{run.kind, run.from, run.to});
  std::filesystem::current_path(previous);
  return report;
}

class BusyStepTest : public ::testing::TestWithParam<std::pair<const KindRun*, std::size_t>> {};

TEST_P(BusyStepTest, ARerunAfterAStepFoundItsFileBusyEndsAsOneUninterruptedRun) {
  const auto& [run, held] = GetParam();
  const std::string step = run->selections[held];
  const ScopedEnv noDiskette("KESTROVA_DRIVE_A", std::nullopt);
  ScratchFolder work("busy-step");
  tools::writeSampleShop(work / "uninterrupted");
  tools::writeSampleShop(work / "interrupted");

  HoldingEngine watching(std::nullopt);
  ASSERT_TRUE(combineIn(work / "uninterrupted", *run, watching).everyChangeMade());
  ASSERT_EQ(watching.selections.size(), run->selections.size()) << "a step of the run is not in the table";
  const std::string& selected = watching.selections[held];
  ASSERT_TRUE(selected.starts_with(step.substr(0, step.find(' ')) + ": ") &&
              selected.find(step.substr(step.find(' ') + 1)) != std::string::npos)
      << selected;

  HoldingEngine holding(held);
  const app::RunReport busy = combineIn(work / "interrupted", *run, holding);
  ASSERT_TRUE(holding.lockTaken);
  // ARC2024.arc has no Techs table: nothing there waits for the file.
  EXPECT_EQ(busy.everyChangeMade(), step == "ARC2024.arc Techs") << "what was left undone was not reported";
  // The management orders are read twice: for the archive names, and last.
  if (step == "mgmtdata.mdb Orders" && held + 1 < run->selections.size()) {
    // The archive names were never read: both archives are told as not updated.
    std::vector<std::string> missed;
    for (const auto& archive : busy.archivesNotUpdated) missed.push_back(archive.name);
    EXPECT_EQ(missed, (std::vector<std::string>{"ARC2023", "ARC2024"}));
  }

  data::SqliteEngine free(std::chrono::milliseconds(200));
  EXPECT_TRUE(combineIn(work / "interrupted", *run, free).everyChangeMade());
  EXPECT_EQ(folderDifferences(work / "uninterrupted", work / "interrupted"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EachStepOfEachKind, BusyStepTest, ::testing::ValuesIn(everyStep()), [](const auto& info) {
  return std::string(info.param.first->name) + "_" + std::to_string(info.param.second);
});

}  // namespace
}  // namespace kestrova::testing
