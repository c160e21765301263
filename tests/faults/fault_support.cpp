#include "fault_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "shop_builder/shop_builder.h"

extern char** environ;

namespace kestrova::testing {
namespace {

std::vector<std::string> environmentWith(const EnvChanges& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    const bool changed = std::any_of(changes.begin(), changes.end(), [&](const auto& c) { return c.first == name; });
    if (!changed) env.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Sets or clears the immutable flag, which stops even root from writing.
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

}  // namespace

CombineProcess::CombineProcess(const std::vector<std::string>& arguments, const EnvChanges& env) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) posix_spawn_file_actions_addclose(&actions, fd);

  std::vector<std::string> argv{KESTROVA_COMBINE_EXE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envp = environmentWith(env);
  std::vector<char*> argvPointers = pointersTo(argv);
  std::vector<char*> envPointers = pointersTo(envp);
  started_ = Clock::now();
  const int rc = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " + std::strerror(rc));
  }
}

CombineProcess::~CombineProcess() {
  if (pid_ > 0) reap(true);
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool CombineProcess::pump(std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  const int ready = poll(fds, 2, static_cast<int>(timeout.count()));
  if (ready <= 0) return true;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(fds[i].fd);
      (i == 0 ? outFd_ : errFd_) = -1;
    }
  }
  // Time-stamps each complete "progress" line as it arrives.
  for (std::size_t end; (end = err_.find('\n', errScanned_)) != std::string::npos; errScanned_ = end + 1) {
    if (err_.compare(errScanned_, 8, "progress") == 0) progressTimes_.push_back(Clock::now());
  }
  return outFd_ >= 0 || errFd_ >= 0;
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
  if (sendKill) ::kill(pid_, SIGKILL);
  while (pump(std::chrono::milliseconds(50))) {
  }
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
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
  const int fd = open(probe.c_str(), O_WRONLY);
  if (fd >= 0) close(fd);
  return fd >= 0;
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
