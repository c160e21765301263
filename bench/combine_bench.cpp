// kestrova-bench: how fast a combine runs on a large shop, next to the
// fastest the storage engine allows for the same changes.
//
// For each kind it combines a fleet record (about 100,000 rows over every
// table the kind touches and 10 archives) on a fresh copy of the shop with
// the combine command, and makes the same changes on another fresh copy with
// set-based SQL: one UPDATE or DELETE per table, one transaction per file,
// the same plain read-write connection. Both copies must end identical, row
// for row. It also times typical combines as whole kestrova-combine
// processes, a 10,000-row combine on shops of growing size, and the peak
// memory of the fleet combines. Not part of the tests; see --help.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/batch/batch_run.h"
#include "app/combine_command.h"
#include "app/user_interface.h"
#include "bench_support.h"
#include "data/odbc_engine.h"
#include "data/sqlite_store.h"
#include "floor.h"
#include "shop_builder/shop_builder.h"
#include "support/postgres_cluster.h"

namespace {

namespace fs = std::filesystem;
using kestrova::bench::Clock;
using kestrova::bench::die;
using kestrova::bench::differingRows;
using kestrova::bench::FloorResult;
using kestrova::bench::Kind;
using kestrova::bench::seconds;
using kestrova::bench::timeOdbcFloor;
using kestrova::bench::timeSqliteFloor;
using kestrova::tools::BenchmarkRecord;

constexpr char kUsage[] =
    R"(Usage: kestrova-bench --data DIR [--scales 1,2,4] [--runs N] [--typical-runs N] [--keep] [--fleet-only]
       [--batch-only] [--batch-lines N]

Builds large shops in DIR (which must not be inside the repository; several GB
at scale 4) and times combines on copies of them:
  fleet     each kind's fleet record (about 100,000 rows) with the combine
            command, and the same changes as set-based SQL (the floor), each on
            a fresh copy; both copies are checked to end identical
  typical   kestrova-combine as a process, from start to exit, on a customer of
            about 50 rows and a vehicle of about 20
  growth    a customer of 10,000 rows on shops of each scale
  memory    peak resident memory of kestrova-combine on each fleet record
  batch     a batch of 1,000 vehicle combines and one of 1,000 customer
            combines that name no ID of one another, on a shop of scale 0.2,
            against the same changes made through a mapping table (one
            statement per table, one transaction per file)
  --scales LIST   the shop sizes for the growth figures (default 1,2,4;
                  the first is the shop of every other figure)
  --runs N        runs of each fleet and growth figure (default 5)
  --typical-runs N  runs of each typical figure (default 24)
  --keep          keep the built shops in DIR for the next run (default:
                  everything made in DIR is deleted at the end)
  --fleet-only    the fleet and batch figures alone (against their floors)
  --batch-only    the batch figures alone
  --batch-lines N the lines of each batch (default 1000; 0 leaves them out)
  --stores LIST   the stores of the fleet figures (default sqlite,sqlite-odbc,
                  postgres): the SQLite store; the ODBC store over the SQLite
                  ODBC driver on the same files; the ODBC store over psqlODBC
                  on a private PostgreSQL cluster that the benchmark starts in
                  DIR and stops. Each against its own driver's floor: the same
                  set-based SQL through the same driver.
In each run the combine and its floor take turns going first. Prints
medians, the middle half of the runs' own ratios (combine over the floor of
the same run), and a Markdown table.
)";

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

const char* kindWord(Kind kind) {
  switch (kind) {
    case Kind::kCustomer:
      return "customer";
    case Kind::kVehicle:
      return "vehicle";
    case Kind::kEmployee:
      break;
  }
  return "employee";
}

std::vector<BenchmarkRecord> recordsWhere(const std::function<bool(const BenchmarkRecord&)>& keep) {
  std::vector<BenchmarkRecord> out;
  for (const BenchmarkRecord& record : kestrova::tools::benchmarkRecords()) {
    if (keep(record)) out.push_back(record);
  }
  return out;
}

// The files a record's combine opens.
std::vector<std::string> filesOf(const std::vector<BenchmarkRecord>& records) {
  std::vector<std::string> files = {"kestrova.mdb", "mgmtdata.mdb", "w_orders.mdb"};
  for (const BenchmarkRecord& record : records) {
    for (int a = record.firstArchive; a < record.firstArchive + record.archiveCount; ++a) {
      const std::string name = kestrova::tools::generatedArchiveName(a) + ".arc";
      if (std::find(files.begin(), files.end(), name) == files.end()) files.push_back(name);
    }
  }
  return files;
}

void syncPath(const fs::path& path, bool directory) {
  const int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) die("cannot open " + path.string() + " to sync it");
  ::fsync(fd);
  ::close(fd);
}

// A fresh copy, flushed to the disk, so that no combine pays for the copy's
// dirty pages at its first commit, nor for deleting the previous copy.
void copyShop(const fs::path& from, const fs::path& to, const std::vector<std::string>& files) {
  fs::remove_all(to);
  fs::create_directories(to);
  for (const std::string& file : files) fs::copy_file(from / file, to / file);
  ::sync();
}

// --- the combine command ------------------------------------------------------

// The combine command's user interface for a benchmark: answers Yes and
// shows nothing.
class SilentUi final : public kestrova::app::UserInterface {
 public:
  void setProgress(int) override {}
  void beep() override {}
  void showMessage(const std::string& text, kestrova::combine::MessageIcon) override { lastMessage_ = text; }
  void promptForDiskette(const std::string& text) override { die("unexpected prompt: " + text); }
  bool askYesNo(const std::string&) override { return true; }
  void endProgram() override {}
  const std::string& lastMessage() const { return lastMessage_; }

 private:
  std::string lastMessage_;
};

// The request of a record's combine.
kestrova::app::CombineRequest requestOf(const BenchmarkRecord& record) {
  using kestrova::combine::CombineKind;
  const CombineKind kind = record.kind == Kind::kCustomer  ? CombineKind::kCustomer
                           : record.kind == Kind::kVehicle ? CombineKind::kVehicle
                                                           : CombineKind::kEmployee;
  return {kind, record.fromId, record.toId};
}

// One combine in this process, through the combine command, in `folder`.
// An engine for each combine: the SQLite store, or the ODBC store with a
// connection template.
using EngineMaker = std::function<std::unique_ptr<kestrova::data::StoreEngine>()>;

std::unique_ptr<kestrova::data::StoreEngine> sqliteEngine() { return std::make_unique<kestrova::data::SqliteEngine>(); }

EngineMaker odbcEngine(const std::string& text) {
  kestrova::data::OdbcTemplate parsed;
  std::string problem;
  if (!kestrova::data::OdbcTemplate::parse(text, &parsed, &problem)) die("the template " + text + ": " + problem);
  return [parsed] { return std::make_unique<kestrova::data::OdbcEngine>(parsed); };
}

double timeCombine(const fs::path& folder, const BenchmarkRecord& record,
                   const EngineMaker& makeEngine = sqliteEngine) {
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  SilentUi ui;
  const auto start = Clock::now();
  kestrova::app::RunReport report;
  {
    const std::unique_ptr<kestrova::data::StoreEngine> engine = makeEngine();
    kestrova::app::CombineCommand command(ui, {}, *engine);
    report = command.run(requestOf(record));
  }  // the gateway closes its last file here
  const double elapsed = seconds(Clock::now() - start);
  fs::current_path(before);
  if (report.outcome != kestrova::app::RunReport::Outcome::kCompleted || !report.everyChangeMade()) {
    die("the combine of " + record.fromId + " did not complete: " + ui.lastMessage());
  }
  return elapsed;
}

struct ProcessRun {
  double seconds = 0;
  long maxRssKiB = 0;
};

// kestrova-combine as a child process, from fork to its exit.
ProcessRun runCombineProcess(const fs::path& folder, const BenchmarkRecord& record) {
  const std::string dir = folder.string();
  const auto start = Clock::now();
  const pid_t child = ::fork();
  if (child < 0) die("fork failed");
  if (child == 0) {
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    ::execl(KESTROVA_COMBINE_EXE, KESTROVA_COMBINE_EXE, kindWord(record.kind), record.fromId.c_str(),
            record.toId.c_str(), "--yes", "--dir", dir.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) die("wait4 failed");
  const double elapsed = seconds(Clock::now() - start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    die("kestrova-combine " + std::string(kindWord(record.kind)) + " " + record.fromId + " exited with " +
        std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
  }
  return {elapsed, usage.ru_maxrss};
}

// --- the batch ----------------------------------------------------------------------

// A batch of combines of one kind as `kestrova-combine batch` runs it, in
// this process, in `folder`: the SQLite store, or the ODBC store through
// `odbc`. Its messages and progress are dropped.
double timeBatch(const fs::path& folder, Kind kind, const std::vector<kestrova::bench::IdPair>& pairs,
                 const std::optional<std::string>& odbc) {
  {
    std::ofstream file(folder / "batch.csv", std::ios::binary);
    for (const auto& pair : pairs) file << kindWord(kind) << ',' << pair.from << ',' << pair.to << '\n';
  }
  kestrova::app::BatchOptions options;
  options.file = "batch.csv";
  options.assumeYes = true;
  std::string problem;
  if (!kestrova::app::StoreChoice::choose(odbc, &options.store, &problem)) die(problem);
  std::ostringstream out;
  std::ostringstream err;
  kestrova::app::BatchConsole console{out, err};
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  std::streambuf* const progress = std::cerr.rdbuf(err.rdbuf());
  const auto start = Clock::now();
  const int status = kestrova::app::runBatch(options, console);
  const double elapsed = seconds(Clock::now() - start);
  std::cerr.rdbuf(progress);
  fs::current_path(before);
  fs::remove(folder / "batch.csv");
  if (status != 0) die("the batch ended with status " + std::to_string(status) + ": " + err.str().substr(0, 2000));
  return elapsed;
}

// The same combines one after the other, each a whole combine through the
// combine command, as a batch ran them before its lines ran together.
double timeOneByOne(const fs::path& folder, Kind kind, const std::vector<kestrova::bench::IdPair>& pairs,
                    const std::optional<std::string>& odbc) {
  kestrova::app::StoreChoice store;
  std::string problem;
  if (!kestrova::app::StoreChoice::choose(odbc, &store, &problem)) die(problem);
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  const auto start = Clock::now();
  const std::unique_ptr<kestrova::data::StoreEngine> engine = store.makeEngine();
  for (const auto& pair : pairs) {
    SilentUi ui;
    kestrova::app::CombineCommand command(ui, {}, *engine);
    const kestrova::app::RunReport report =
        command.run(requestOf(BenchmarkRecord{kind, pair.from, pair.to, 0, 0, 0}));
    if (!report.everyChangeMade()) die("the combine of " + pair.from + " did not complete: " + ui.lastMessage());
  }
  const double elapsed = seconds(Clock::now() - start);
  fs::current_path(before);
  return elapsed;
}

// `count` pairs of IDs of the kind that the shop's vehicles name, none in two pairs.
std::vector<kestrova::bench::IdPair> batchPairs(const fs::path& shop, Kind kind, std::size_t count) {
  const std::string column = kind == Kind::kCustomer ? "CustID" : "AutoID";
  const std::vector<std::string> ids =
      kestrova::bench::columnOf(shop / "kestrova.mdb", "SELECT " + column + " FROM (SELECT " + column +
                                                           ", min(rowid) AS first FROM Automobile GROUP BY " + column +
                                                           ") ORDER BY first LIMIT " + std::to_string(2 * count));
  if (ids.size() < 2 * count) die("the shop has fewer than " + std::to_string(2 * count) + " IDs of " + column);
  std::vector<kestrova::bench::IdPair> pairs;
  for (std::size_t i = 0; i < count; ++i) pairs.push_back({ids[2 * i], ids[2 * i + 1]});
  return pairs;
}

// --- the shops -------------------------------------------------------------------

std::string scaleName(double scale) {
  std::ostringstream out;
  out << scale << "x";
  return out.str();
}

fs::path ensureShop(const fs::path& data, double scale, bool records = true) {
  const fs::path folder = data / ((records ? "shop-" : "batch-shop-") + scaleName(scale));
  if (fs::exists(folder / ".complete")) return folder;
  fs::remove_all(folder);
  std::cerr << "building the shop at scale " << scale << " in " << folder << " ...\n";
  const auto start = Clock::now();
  kestrova::tools::writeSampleShop(
      folder, {.scale = scale, .archiveFiles = kestrova::tools::kBenchmarkArchives, .benchmarkRecords = records});
  // Flushed once, so that no timed run pays for the build's dirty pages.
  for (const auto& entry : fs::directory_iterator(folder)) syncPath(entry.path(), false);
  std::fclose(std::fopen((folder / ".complete").c_str(), "w"));
  std::cerr << "  built in " << seconds(Clock::now() - start) << " s, " << [&] {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) bytes += entry.file_size();
    return bytes / (1024 * 1024);
  }() << " MiB\n";
  return folder;
}

std::vector<double> parseScales(const std::string& text) {
  std::vector<double> scales;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) scales.push_back(std::stod(item));
  if (scales.empty()) die("--scales wants a list such as 1,2,4");
  return scales;
}

std::string fixed(double value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

// "1.02-1.20": the middle half of the runs' own ratios, combine over the
// floor of the same run, which tells how far one run's ratio can stray on
// a noisy machine.
std::string runRatios(const std::vector<double>& combine, const std::vector<double>& floor) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < combine.size(); ++i) ratios.push_back(combine[i] / floor[i]);
  std::sort(ratios.begin(), ratios.end());
  const std::size_t n = ratios.size();
  return fixed(ratios[n / 4], 2) + "-" + fixed(ratios[n - 1 - n / 4], 2);
}

struct FleetTimes {
  std::vector<double> combine;  // seconds, run by run
  std::vector<double> floor;
  long long rowsChanged = 0;
};

// `runs` runs of one fleet record, each timing the combine and its floor, on
// fresh copies that `combine` and `floor` make themselves. They take turns
// going first, so that neither always follows the other's copying and
// writing. `checkFirstRun` checks that both ended alike after the first run.
FleetTimes timeFleet(int runs, const std::string& label, const std::function<double()>& combine,
                     const std::function<FloorResult()>& floor, const std::function<void()>& checkFirstRun) {
  FleetTimes times;
  const auto combineOnce = [&] { times.combine.push_back(combine()); };
  const auto floorOnce = [&] {
    const FloorResult result = floor();
    times.floor.push_back(result.seconds);
    times.rowsChanged = result.rowsChanged;
  };
  for (int run = 0; run < runs; ++run) {
    if (run % 2 == 0) {
      combineOnce();
      floorOnce();
    } else {
      floorOnce();
      combineOnce();
    }
    if (run == 0) checkFirstRun();
    std::cerr << label << " run " << run + 1 << ": combine " << fixed(times.combine.back(), 3) << " s, floor "
              << fixed(times.floor.back(), 3) << " s\n";
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path data;
  std::vector<double> scales = {1, 2, 4};
  int runs = 5;
  int typicalRuns = 24;
  bool keep = false;
  bool fleetOnly = false;
  bool batchOnly = false;
  int batchLines = 1000;
  std::string stores = "sqlite,sqlite-odbc,postgres";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) die(word + " wants a value");
      return argv[++i];
    };
    if (word == "--help" || word == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (word == "--data") {
      data = value();
    } else if (word == "--scales") {
      scales = parseScales(value());
    } else if (word == "--runs") {
      runs = std::stoi(value());
    } else if (word == "--typical-runs") {
      typicalRuns = std::stoi(value());
    } else if (word == "--keep") {
      keep = true;
    } else if (word == "--batch-only") {
      batchOnly = true;
    } else if (word == "--batch-lines") {
      batchLines = std::stoi(value());
    } else if (word == "--fleet-only") {
      fleetOnly = true;
    } else if (word == "--stores") {
      stores = "," + value() + ",";
    } else {
      std::cerr << kUsage;
      return 64;
    }
  }
  if (data.empty()) {
    std::cerr << kUsage;
    return 64;
  }
  if (runs < 1 || typicalRuns < 1) die("--runs and --typical-runs want at least 1");
  stores = "," + stores + ",";
  const auto benched = [&](const std::string& store) { return stores.find("," + store + ",") != std::string::npos; };
  fs::create_directories(data);
  data = fs::canonical(data);

  std::vector<std::string> table;  // the Markdown rows
  const fs::path work = data / "work";
  const fs::path floorWork = data / "work-floor";

  // Batches of 1,000 combines of one kind that name no ID of one another,
  // on a shop of a fifth of the size, against the mapping-table floor.
  if (batchLines > 0) {
    const fs::path batchShop = ensureShop(data, 0.2, false);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(batchShop)) {
      if (entry.path().filename().string().front() != '.') files.push_back(entry.path().filename().string());
    }
    const std::string sqliteOdbc = "Driver=SQLite3;Database={path};NoCreat=1;BigInt=1";
    for (const auto& [label, odbc, goal] : {std::tuple<std::string, std::optional<std::string>, std::string>{
                                                "SQLite store", std::nullopt, "at most 3"},
                                            {"ODBC store over SQLite ODBC", sqliteOdbc, "at most 4"}}) {
      if (!benched(odbc ? "sqlite-odbc" : "sqlite")) continue;
      for (Kind kind : {Kind::kVehicle, Kind::kCustomer}) {
        const auto pairs = batchPairs(batchShop, kind, static_cast<std::size_t>(batchLines));
        const std::string name = std::string(kindWord(kind)) + " batch, " + label;
        const FleetTimes times = timeFleet(
            runs, name,
            [&] {
              copyShop(batchShop, work, files);
              return timeBatch(work, kind, pairs, odbc);
            },
            [&] {
              copyShop(batchShop, floorWork, files);
              return odbc ? kestrova::bench::timeOdbcBatchFloor(*odbc, floorWork, kind, pairs)
                          : kestrova::bench::timeSqliteBatchFloor(floorWork, kind, pairs);
            },
            [&] {
              const long long differing = differingRows(work, floorWork, files);
              if (differing != 0) die(std::to_string(differing) + " rows differ between the batch and the floor");
            });
        // Once, one by one, on the shop as built; it must end as the floor did.
        copyShop(batchShop, work, files);
        const double alone = timeOneByOne(work, kind, pairs, odbc);
        if (differingRows(work, floorWork, files) != 0) die("the combines one by one and the floor ended differently");
        const double c = median(times.combine);
        const double f = median(times.floor);
        std::cout << name << ": one by one " << fixed(alone, 3) << " s, ratio " << fixed(alone / f, 1) << "; "
                  << times.rowsChanged << " rows changed; batch median " << fixed(c, 3)
                  << " s, floor median " << fixed(f, 3) << " s, ratio " << fixed(c / f, 2) << " (runs "
                  << runRatios(times.combine, times.floor) << ")\n";
        table.push_back("| " + std::to_string(batchLines) + "-line " + name + " (" + std::to_string(times.rowsChanged) +
                        " rows, shop of scale 0.2) | " + fixed(c * 1000, 0) + " ms | " + fixed(f * 1000, 0) + " ms | " +
                        fixed(c / f, 2) + " (runs " + runRatios(times.combine, times.floor) + "); one by one " +
                        fixed(alone * 1000, 0) + " ms, " + fixed(alone / f, 1) + " | " + goal + " |");
      }
    }
    if (!keep) fs::remove_all(batchShop);
  }
  if (batchOnly) {
    fs::remove_all(work);
    fs::remove_all(floorWork);
    std::cout << "\n| Figure (2-core VM) | Combine, median | Floor, median | Ratio | Target |\n"
              << "|---|---|---|---|---|\n";
    for (const std::string& row : table) std::cout << row << '\n';
    return 0;
  }
  const fs::path shop = ensureShop(data, scales.front());

  // Fleet records: the combine command and the floor, each on fresh copies.
  std::vector<long> peakKiB;
  const auto fleet = recordsWhere([](const BenchmarkRecord& r) { return r.rows == 100000; });
  for (const BenchmarkRecord& record : benched("sqlite") ? fleet : std::vector<BenchmarkRecord>{}) {
    const std::vector<std::string> files = filesOf({record});
    const FleetTimes times = timeFleet(
        runs, kindWord(record.kind),
        [&] {
          copyShop(shop, work, files);
          return timeCombine(work, record);
        },
        [&] {
          copyShop(shop, floorWork, files);
          return timeSqliteFloor(floorWork, record);
        },
        [&] {
          const long long differing = differingRows(work, floorWork, files);
          if (differing != 0) die(std::to_string(differing) + " rows differ between the combine and the floor");
        });
    copyShop(shop, work, files);
    const ProcessRun process = runCombineProcess(work, record);
    peakKiB.push_back(process.maxRssKiB);
    const double c = median(times.combine);
    const double f = median(times.floor);
    std::cout << "fleet " << kindWord(record.kind) << " " << record.fromId << ": " << times.rowsChanged
              << " rows changed; combine median " << fixed(c, 3) << " s, floor median " << fixed(f, 3) << " s, ratio "
              << fixed(c / f, 2) << " (runs " << runRatios(times.combine, times.floor) << "); as a process "
              << fixed(process.seconds, 3) << " s, peak " << fixed(process.maxRssKiB / 1024.0, 1) << " MiB\n";
    table.push_back("| Fleet " + std::string(kindWord(record.kind)) + " combine (" + std::to_string(times.rowsChanged) +
                    " rows, 10 archives) | " + fixed(c * 1000, 0) + " ms | " + fixed(f * 1000, 0) + " ms | " +
                    fixed(c / f, 2) + " (runs " + runRatios(times.combine, times.floor) + ") | at most 1.10 |");
  }
  if (peakKiB.size() == 3) {
    table.push_back("| Peak resident memory, fleet combine process (customer / vehicle / employee) | " +
                    fixed(peakKiB[0] / 1024.0, 1) + " / " + fixed(peakKiB[1] / 1024.0, 1) + " / " +
                    fixed(peakKiB[2] / 1024.0, 1) + " MiB | | | under 64 MiB |");
  }

  // The fleet records on the ODBC store, each against the same set-based SQL
  // through the same driver. `fresh(files, floor)` gives the combine (false)
  // or the floor (true) the shop as built; `sameEnd(files)` tells whether
  // both ended alike.
  const auto odbcFleet = [&](const std::string& label, const std::string& goal, const EngineMaker& engine,
                             const std::function<void(const std::vector<std::string>&, bool)>& fresh,
                             const std::function<FloorResult(const BenchmarkRecord&)>& floor,
                             const std::function<bool(const std::vector<std::string>&)>& sameEnd) {
    for (const BenchmarkRecord& record : fleet) {
      const std::vector<std::string> files = filesOf({record});
      const FleetTimes times = timeFleet(
          runs, label + " " + kindWord(record.kind),
          [&] {
            fresh(files, false);
            return timeCombine(work, record, engine);
          },
          [&] {
            fresh(files, true);
            return floor(record);
          },
          [&] {
            if (!sameEnd(files)) die(label + ": the combine and the floor ended differently");
          });
      const double c = median(times.combine);
      const double f = median(times.floor);
      std::cout << label << " fleet " << kindWord(record.kind) << ": combine median " << fixed(c, 3)
                << " s, floor median " << fixed(f, 3) << " s, ratio " << fixed(c / f, 2) << " (runs "
                << runRatios(times.combine, times.floor) << ")\n";
      table.push_back("| Fleet " + std::string(kindWord(record.kind)) + " combine, " + label + " (" +
                      std::to_string(times.rowsChanged) + " rows) | " + fixed(c * 1000, 0) + " ms | " +
                      fixed(f * 1000, 0) + " ms | " + fixed(c / f, 2) + " (runs " +
                      runRatios(times.combine, times.floor) + ") | " + goal + " |");
    }
  };

  if (benched("sqlite-odbc")) {
    const std::string sqliteOdbc = "Driver=SQLite3;Database={path};NoCreat=1;BigInt=1";
    odbcFleet(
        "SQLite ODBC", "at most 1.5", odbcEngine(sqliteOdbc),
        [&](const std::vector<std::string>& files, bool floor) { copyShop(shop, floor ? floorWork : work, files); },
        [&](const BenchmarkRecord& record) { return timeOdbcFloor(sqliteOdbc, floorWork, record); },
        [&](const std::vector<std::string>& files) { return differingRows(work, floorWork, files) == 0; });
  }

  if (benched("postgres")) {
    if (const auto reason = kestrova::testing::PostgresCluster::unavailableReason()) {
      std::cerr << "PostgreSQL figures left out: " << *reason << '\n';
    } else {
      // The fleet's files, loaded once as templates; each run gets fresh
      // copies of them, the combine's under the files' names, the floor's
      // under floor_ and the names.
      kestrova::testing::PostgresCluster cluster(data, true);
      std::cerr << "loading the shop into PostgreSQL ...\n";
      copyShop(shop, work, filesOf(fleet));
      cluster.loadShop(work, "tpl_");
      const std::string combineTemplate = cluster.odbcTemplate();
      std::string floorTemplate = combineTemplate;
      floorTemplate.replace(floorTemplate.find("{name}"), 6, "floor_{name}");
      const auto stem = [](const std::string& file) { return fs::path(file).stem().string(); };
      const auto quoted = [](const std::string& name) { return "\"" + name + "\""; };
      odbcFleet(
          "PostgreSQL", "at most 2.0", odbcEngine(combineTemplate),
          [&](const std::vector<std::string>& files, bool floor) {
            for (const std::string& file : files) {
              const std::string name = (floor ? "floor_" : "") + stem(file);
              cluster.psql("postgres", "DROP DATABASE IF EXISTS " + quoted(name) + " WITH (FORCE)");
              cluster.psql("postgres", "CREATE DATABASE " + quoted(name) + " TEMPLATE " + quoted("tpl_" + stem(file)) +
                                           " STRATEGY FILE_COPY");
            }
            cluster.psql("postgres", "CHECKPOINT");
          },
          [&](const BenchmarkRecord& record) { return timeOdbcFloor(floorTemplate, work, record); },
          [&](const std::vector<std::string>& files) {
            for (const std::string& file : files) {
              const auto sums = [&](const std::string& database) {
                std::string all;
                std::stringstream tables(cluster.psql(
                    database, "SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY tablename"));
                for (std::string t; std::getline(tables, t);) {
                  all += t + " " +
                         cluster.psql(database, "SELECT md5(coalesce(string_agg(t::text, ',' ORDER BY id), '')) FROM " +
                                                    t + " t");
                }
                return all;
              };
              if (sums(stem(file)) != sums("floor_" + stem(file))) return false;
            }
            return true;
          });
    }
  }

  // Typical combines, each on its own record of one copy, as whole processes.
  if (!fleetOnly) {
    const auto customers = recordsWhere([](const BenchmarkRecord& r) { return r.rows == 50; });
    const auto vehicles = recordsWhere([](const BenchmarkRecord& r) { return r.rows == 20; });
    std::vector<BenchmarkRecord> all = customers;
    all.insert(all.end(), vehicles.begin(), vehicles.end());
    copyShop(shop, work, filesOf(all));
    for (const auto* group : {&customers, &vehicles}) {
      if (static_cast<int>(group->size()) < typicalRuns + 1) die("not enough typical records for --typical-runs");
      runCombineProcess(work, group->front());  // a warm-up, not counted
      std::vector<double> times;
      for (int run = 1; run <= typicalRuns; ++run) times.push_back(runCombineProcess(work, (*group)[run]).seconds);
      const Kind kind = group->front().kind;
      const double m = median(times);
      std::cout << "typical " << kindWord(kind) << ": median " << fixed(m * 1000, 1) << " ms over " << typicalRuns
                << " processes\n";
      table.push_back("| Typical " + std::string(kindWord(kind)) + " combine (about " +
                      std::to_string(group->front().rows) + " rows), kestrova-combine start to exit | " +
                      fixed(m * 1000, 1) + " ms | | | under 50 ms |");
    }
  }

  // A 10,000-row combine on shops of growing size, and its floor.
  if (!fleetOnly) {
    const auto mids = recordsWhere([](const BenchmarkRecord& r) { return r.rows == 10000; });
    if (static_cast<int>(mids.size()) < runs) die("not enough 10,000-row records for --runs");
    std::vector<double> medians;
    std::vector<double> floorMedians;
    for (double scale : scales) {
      const fs::path scaled = ensureShop(data, scale);
      copyShop(scaled, work, filesOf(mids));
      copyShop(scaled, floorWork, filesOf(mids));
      std::vector<double> times;
      std::vector<double> floorTimes;
      for (int run = 0; run < runs; ++run) {
        times.push_back(timeCombine(work, mids[run]));
        floorTimes.push_back(timeSqliteFloor(floorWork, mids[run]).seconds);
      }
      medians.push_back(median(times));
      floorMedians.push_back(median(floorTimes));
      std::cout << "10,000-row customer on the " << scaleName(scale) << " shop: combine median "
                << fixed(medians.back() * 1000, 1) << " ms, floor median " << fixed(floorMedians.back() * 1000, 1)
                << " ms\n";
      if (!keep && scale != scales.front()) fs::remove_all(scaled);
    }
    const auto growthOf = [&](const std::vector<double>& figures) {
      std::string growth;
      for (std::size_t i = 1; i < scales.size(); ++i) {
        const double perDoubling = std::pow(figures[i] / figures[i - 1], 1.0 / std::log2(scales[i] / scales[i - 1]));
        growth +=
            (i > 1 ? " / " : "") + std::string(perDoubling >= 1 ? "+" : "") + fixed((perDoubling - 1) * 100, 1) + "%";
      }
      return growth;
    };
    const auto listOf = [&](const std::vector<double>& figures) {
      std::string list;
      for (std::size_t i = 0; i < figures.size(); ++i) list += (i ? " / " : "") + fixed(figures[i] * 1000, 0);
      return list + " ms";
    };
    std::string sizes;
    for (std::size_t i = 0; i < scales.size(); ++i) sizes += (i ? " / " : "") + scaleName(scales[i]);
    std::cout << "growth per doubling: combine " << growthOf(medians) << ", floor " << growthOf(floorMedians) << '\n';
    table.push_back("| 10,000-row customer combine on shops of " + sizes + " | " + listOf(medians) + " | " +
                    listOf(floorMedians) + " | growth per doubling: combine " + growthOf(medians) + ", floor " +
                    growthOf(floorMedians) + " | under 15% per doubling |");
  }

  fs::remove_all(work);
  fs::remove_all(floorWork);
  if (!keep) fs::remove_all(shop);

  std::cout << "\n| Figure (2-core VM) | Combine, median | Floor, median | Ratio | Target |\n"
            << "|---|---|---|---|---|\n";
  for (const std::string& row : table) std::cout << row << '\n';
  return 0;
}
