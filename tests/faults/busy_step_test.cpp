// A file that another program holds for one step of a combine and lets go
// of before the next: whichever step it is, the combine ends saying what it
// could not change, and running it again with every file free ends the shop
// as one uninterrupted run, row for row, archives included.
//
// The steps are told apart by the selections the combine makes through its
// store, not by the files it opens, so the property holds however the steps
// come to share their file's connection.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
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

// Numbers every selection of a run and, during selection number `held`,
// holds its file's exclusive lock from another connection.
class HoldingEngine final : public data::StoreEngine {
 public:
  struct Selection {
    std::string file;
    std::string recordSource;
  };

  explicit HoldingEngine(std::optional<std::size_t> held) : inner_(std::chrono::milliseconds(50)), held_(held) {}

  data::Status open(const std::filesystem::path& path, const std::string& name,
                    std::unique_ptr<data::DatabaseStore>* out) override {
    std::unique_ptr<data::DatabaseStore> inner;
    data::Status opened = inner_.open(path, name, &inner);
    if (opened.isOk()) *out = std::make_unique<Store>(std::move(inner), path, *this);
    return opened;
  }

  std::vector<Selection> selections;
  bool lockTaken = false;

 private:
  class Store final : public data::DatabaseStore {
   public:
    Store(std::unique_ptr<data::DatabaseStore> inner, std::filesystem::path path, HoldingEngine& engine)
        : inner_(std::move(inner)), path_(std::move(path)), engine_(engine) {}

    data::Status select(std::string_view recordSource, data::RowSet* out) override {
      const std::size_t number = engine_.selections.size();
      engine_.selections.push_back({name(), std::string(recordSource)});
      if (number != engine_.held_) return inner_->select(recordSource, out);
      tools::ShopDb holder(path_);
      holder.exec("BEGIN EXCLUSIVE");
      engine_.lockTaken = true;
      data::Status selected = inner_->select(recordSource, out);
      holder.exec("ROLLBACK");
      return selected;
    }
    data::Status read(const data::RowSet& set, data::RowId row, const std::string& column,
                      data::FieldValue* out) override {
      return inner_->read(set, row, column, out);
    }
    data::Status update(const data::RowSet& set, data::RowId row, std::span<const data::FieldWrite> writes) override {
      return inner_->update(set, row, writes);
    }
    data::Status remove(const data::RowSet& set, data::RowId row) override { return inner_->remove(set, row); }
    data::Status findFirst(const data::RowSet& set, std::string_view condition, std::size_t* position) override {
      return inner_->findFirst(set, condition, position);
    }
    data::Status commit() override { return inner_->commit(); }
    void updateRows(const data::RowSet& set, std::span<const data::RowId> rows,
                    std::span<const data::FieldWrite> writes, std::vector<RowFailure>* failures) override {
      inner_->updateRows(set, rows, writes, failures);
    }
    void removeRows(const data::RowSet& set, std::span<const data::RowId> rows,
                    std::vector<RowFailure>* failures) override {
      inner_->removeRows(set, rows, failures);
    }
    const std::string& name() const override { return inner_->name(); }

   private:
    std::unique_ptr<data::DatabaseStore> inner_;
    std::filesystem::path path_;
    HoldingEngine& engine_;
  };

  data::SqliteEngine inner_;
  std::optional<std::size_t> held_;
};

struct Combine {
  CombineKind kind;
  const char* from;
  const char* to;
};
constexpr Combine kVehicle{CombineKind::kVehicle, "2000002", "2000001"};
constexpr Combine kCustomer{CombineKind::kCustomer, "1000002", "1000001"};
constexpr Combine kEmployee{CombineKind::kEmployee, "111-22-4444", "111-22-3333"};

// One step of a kind's procedure on the sample shop: the number of its
// selection in the run, and the file and table it selects from.
struct BusyStep {
  Combine combine;
  std::size_t selection;
  const char* file;
  const char* table;
  // Whether the busy file leaves something undone that the run must report.
  bool leavesWork = true;
};

void PrintTo(const BusyStep& step, std::ostream* out) {
  *out << step.selection << ": " << step.file << ", " << step.table;
}

// Every selection of each kind's run, in order: a kind's rows must list its
// whole run.
const BusyStep kSteps[] = {
    {kVehicle, 0, "kestrova.mdb", "History"},       {kVehicle, 1, "mgmtdata.mdb", "Services"},
    {kVehicle, 2, "mgmtdata.mdb", "Orders"},  // archive names gathered
    {kVehicle, 3, "w_orders.mdb", "Orders"},        {kVehicle, 4, "ARC2023.arc", "Orders"},
    {kVehicle, 5, "ARC2024.arc", "Orders"},         {kVehicle, 6, "mgmtdata.mdb", "Orders"},  // re-pointed last
    {kCustomer, 0, "kestrova.mdb", "Automobile"},   {kCustomer, 1, "mgmtdata.mdb", "ARBillings"},
    {kCustomer, 2, "mgmtdata.mdb", "ARBillings"},   {kCustomer, 3, "mgmtdata.mdb", "Invoices"},
    {kCustomer, 4, "mgmtdata.mdb", "Orders"},       {kCustomer, 5, "mgmtdata.mdb", "Payments"},
    {kCustomer, 6, "w_orders.mdb", "Orders"},       {kCustomer, 7, "ARC2023.arc", "Orders"},
    {kCustomer, 8, "ARC2024.arc", "Orders"},        {kCustomer, 9, "mgmtdata.mdb", "Orders"},
    {kEmployee, 0, "kestrova.mdb", "Employees"},    {kEmployee, 1, "kestrova.mdb", "Labor"},
    {kEmployee, 2, "mgmtdata.mdb", "Invoices"},     {kEmployee, 3, "mgmtdata.mdb", "Services"},
    {kEmployee, 4, "mgmtdata.mdb", "TimeSheets"},   {kEmployee, 5, "mgmtdata.mdb", "Orders"},
    {kEmployee, 6, "w_orders.mdb", "Orders"},       {kEmployee, 7, "w_orders.mdb", "Tasks"},  // by "~" and number
    {kEmployee, 8, "w_orders.mdb", "Tasks"},                                                  // by nickname
    {kEmployee, 9, "w_orders.mdb", "Techs"},        {kEmployee, 10, "ARC2023.arc", "Orders"},
    {kEmployee, 11, "ARC2023.arc", "Tasks"},        {kEmployee, 12, "ARC2023.arc", "Tasks"},
    {kEmployee, 13, "ARC2023.arc", "Techs"},        {kEmployee, 14, "ARC2024.arc", "Orders"},
    {kEmployee, 15, "ARC2024.arc", "Tasks"},        {kEmployee, 16, "ARC2024.arc", "Tasks"},
    {kEmployee, 17, "ARC2024.arc", "Techs", false},  // the file has no Techs table
    {kEmployee, 18, "mgmtdata.mdb", "Orders"},
};

std::size_t selectionsOf(CombineKind kind) {
  std::size_t count = 0;
  for (const BusyStep& step : kSteps) count += step.combine.kind == kind ? 1 : 0;
  return count;
}

// The shop's folder is the current folder during a run, as in a shop.
app::RunReport combineIn(const std::filesystem::path& folder, const Combine& combine, data::StoreEngine& engine) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  RecordingUi ui(combine.kind, combine.from, combine.to);
  app::RunReport report = app::CombineCommand(ui, {}, engine).run();
  std::filesystem::current_path(previous);
  return report;
}

class BusyStepTest : public ::testing::TestWithParam<BusyStep> {};

TEST_P(BusyStepTest, ARerunAfterAStepFoundItsFileBusyEndsAsOneUninterruptedRun) {
  const BusyStep& step = GetParam();
  const ScopedEnv noDiskette("KESTROVA_DRIVE_A", std::nullopt);
  ScratchFolder work("busy-step");
  const std::filesystem::path uninterrupted = work / "uninterrupted";
  const std::filesystem::path interrupted = work / "interrupted";
  tools::writeSampleShop(uninterrupted);
  tools::writeSampleShop(interrupted);

  HoldingEngine watching(std::nullopt);
  ASSERT_TRUE(combineIn(uninterrupted, step.combine, watching).everyChangeMade());
  ASSERT_EQ(watching.selections.size(), selectionsOf(step.combine.kind)) << "a step of the run is not in the table";
  const HoldingEngine::Selection& target = watching.selections[step.selection];
  ASSERT_EQ(target.file, step.file) << target.recordSource;
  ASSERT_TRUE(target.recordSource == step.table ||
              target.recordSource.find(" from " + std::string(step.table) + " ") != std::string::npos)
      << target.recordSource;

  HoldingEngine holding(step.selection);
  const app::RunReport busy = combineIn(interrupted, step.combine, holding);
  ASSERT_TRUE(holding.lockTaken);
  EXPECT_EQ(busy.outcome, app::RunReport::Outcome::kCompleted);
  EXPECT_EQ(busy.everyChangeMade(), !step.leavesWork) << "a step that changed nothing was not reported";

  data::SqliteEngine free(std::chrono::milliseconds(200));
  const app::RunReport rerun = combineIn(interrupted, step.combine, free);
  EXPECT_TRUE(rerun.everyChangeMade());
  EXPECT_EQ(folderDifferences(uninterrupted, interrupted), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EachStepOfEachKind, BusyStepTest, ::testing::ValuesIn(kSteps), [](const auto& info) {
  const BusyStep& step = info.param;
  const char* kind = step.combine.kind == CombineKind::kVehicle    ? "vehicle"
                     : step.combine.kind == CombineKind::kCustomer ? "customer"
                                                                   : "employee";
  return std::string(kind) + "_" + std::to_string(step.selection);
});

}  // namespace
}  // namespace kestrova::testing
