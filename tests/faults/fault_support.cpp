#include "fault_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "shop_builder/shop_builder.h"
#include "support/platform.h"

namespace kestrova::testing {
namespace {

// Sets or clears the immutable flag, which stops even root from writing.
// Windows has none; there a file is kept from writes by its attributes.
#ifdef _WIN32
bool setImmutable(const std::filesystem::path&, bool) { return false; }
#else
bool setImmutable(const std::filesystem::path& file, bool immutable) {
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return done;
}
#endif

}  // namespace

CombineProcess::CombineProcess(const std::vector<std::string>& arguments, const EnvChanges& env) {
  std::vector<std::string> argv{buildPath(KESTROVA_COMBINE_EXE)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  started_ = Clock::now();
  child_ = std::make_unique<ChildProcess>(argv, env);
}

CombineProcess::~CombineProcess() = default;

bool CombineProcess::pump(std::chrono::milliseconds timeout) {
  if (!running_) return false;
  running_ = child_->read(timeout, &out_, &err_);
  // Time-stamps each complete "progress" line as it arrives.
  for (std::size_t end; (end = err_.find('\n', errScanned_)) != std::string::npos; errScanned_ = end + 1) {
    if (err_.compare(errScanned_, 8, "progress") == 0) progressTimes_.push_back(Clock::now());
  }
  return running_;
}

bool CombineProcess::waitForProgressLines(int count) {
  while (static_cast<int>(progressTimes_.size()) < count) {
    if (!pump(std::chrono::milliseconds(100))) return static_cast<int>(progressTimes_.size()) >= count;
  }
  return true;
}

void CombineProcess::readUntil(Clock::time_point moment) {
  for (auto now = Clock::now(); now < moment; now = Clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(moment - now);
    if (!pump(std::max(left, std::chrono::milliseconds(0)))) {
      std::this_thread::sleep_until(moment);  // the program has closed its outputs: it is ending
      return;
    }
    if (left.count() == 0) std::this_thread::sleep_until(moment);
  }
}

ProgramResult CombineProcess::reap(bool sendKill) {
  ProgramResult result;
  if (sendKill) child_->kill();
  while (pump(std::chrono::milliseconds(50))) {
  }
  const std::optional<int> status = child_->wait();
  result.killed = sendKill && !status;
  result.exitStatus = status.value_or(-1);
  result.out = out_;
  result.err = err_;
  return result;
}

ProgramResult CombineProcess::kill() { return reap(true); }
ProgramResult CombineProcess::finish() { return reap(false); }

ProgramResult runCombineProgram(const std::vector<std::string>& arguments, const EnvChanges& env) {
  CombineProcess process(arguments, env);
  return process.finish();
}

std::vector<std::string> shopFilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && (extension == ".mdb" || extension == ".arc")) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

void copyFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to);
  for (const auto& entry : std::filesystem::directory_iterator(from)) {
    if (entry.is_regular_file()) std::filesystem::copy_file(entry.path(), to / entry.path().filename());
  }
}

FileRows fileRows(const std::filesystem::path& file) {
  tools::ShopDb db(file);
  FileRows tables;
  for (const tools::Row& table : db.query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    TableRows& rows = tables[*table.front()];
    for (const tools::Row& row : db.query("SELECT rowid, * FROM \"" + *table.front() + "\"")) {
      std::string text;
      for (std::size_t i = 1; i < row.size(); ++i) {
        text += (row[i] ? "'" + *row[i] + "'" : std::string("NULL")) + "|";
      }
      rows.emplace(std::stoll(*row[0]), std::move(text));
    }
  }
  return tables;
}

ShopRows shopRows(const std::filesystem::path& folder) {
  ShopRows rows;
  for (const std::string& name : shopFilesIn(folder)) rows[name] = fileRows(folder / name);
  return rows;
}

std::string sqlLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> fileDifferences(const std::filesystem::path& a, const std::filesystem::path& b) {
  tools::ShopDb db(a);
  db.exec("ATTACH DATABASE " + sqlLiteral(b.string()) + " AS other");
  std::vector<std::string> differing;
  for (const auto& [one, another] : {std::pair{"main", "other"}, std::pair{"other", "main"}}) {
    for (const tools::Row& row : db.query(std::string("SELECT name FROM ") + one +
                                          ".sqlite_master WHERE type = 'table' EXCEPT SELECT name FROM " + another +
                                          ".sqlite_master WHERE type = 'table'")) {
      differing.push_back(*row[0] + " (in one file only)");
    }
  }
  for (const tools::Row& row : db.query("SELECT name FROM main.sqlite_master WHERE type = 'table' INTERSECT "
                                        "SELECT name FROM other.sqlite_master WHERE type = 'table'")) {
    const std::string table = "\"" + *row[0] + "\"";
    const std::string count = *db.scalar("SELECT (SELECT count(*) FROM (SELECT rowid, * FROM main." + table +
                                         " EXCEPT SELECT rowid, * FROM other." + table +
                                         ")) + (SELECT count(*) FROM (SELECT rowid, * FROM other." + table +
                                         " EXCEPT SELECT rowid, * FROM main." + table + "))");
    if (count != "0") differing.push_back(*row[0] + " (" + count + " rows)");
  }
  db.exec("DETACH DATABASE other");
  return differing;
}

std::vector<std::string> folderDifferences(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::vector<std::string> differing;
  const std::vector<std::string> files = shopFilesIn(a);
  if (files != shopFilesIn(b)) differing.push_back("the folders hold different files");
  for (const std::string& file : files) {
    if (!std::filesystem::exists(b / file)) continue;
    for (const std::string& table : fileDifferences(a / file, b / file)) differing.push_back(file + " " + table);
  }
  return differing;
}

std::string integrityOf(const std::filesystem::path& file) {
  tools::ShopDb db(file);
  std::string found;
  for (const tools::Row& row : db.query("PRAGMA integrity_check")) found += (found.empty() ? "" : "; ") + *row[0];
  return found;
}

ScratchFolder::ScratchFolder(const std::string& stem) {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() / ("kestrova-" + stem + "-" + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_regular_file(ignored)) setImmutable(entry.path(), false);
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

bool permissionsAreIgnored() {
  ScratchFolder folder("permissions");
  const std::filesystem::path probe = folder / "probe";
  { std::ofstream(probe) << "x"; }
  std::filesystem::permissions(probe, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  return std::ofstream(probe, std::ios::app).is_open();
}

}  // namespace kestrova::testing

namespace kestrova::testing {

bool makeUnwritable(const std::filesystem::path& file) {
  std::filesystem::permissions(
      file,
      std::filesystem::perms::owner_read | std::filesystem::perms::group_read | std::filesystem::perms::others_read,
      std::filesystem::perm_options::replace);
  return !permissionsAreIgnored() || setImmutable(file, true);
}

void makeWritable(const std::filesystem::path& file) {
  setImmutable(file, false);
  std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

}  // namespace kestrova::testing
