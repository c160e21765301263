// What the fault tests share: running kestrova-combine as a separate
// process that can be killed at a chosen moment, and reading a shop's whole
// folder back, file by file and table by table, to compare it row for row.

#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"

namespace kestrova::testing {

// How a run of the program ended, and what it printed.
struct ProgramResult {
  bool killed = false;  // ended by our kill()
  int exitStatus = -1;  // when it exited by itself
  std::string out;
  std::string err;
};


// kestrova-combine running in the background, with no terminal on standard
// input and both outputs captured. The destructor kills and reaps a child
// that is still running.
class CombineProcess {
 public:
  using Clock = std::chrono::steady_clock;

  CombineProcess(const std::vector<std::string>& arguments, const EnvChanges& env = {});
  ~CombineProcess();
  CombineProcess(const CombineProcess&) = delete;
  CombineProcess& operator=(const CombineProcess&) = delete;

  Clock::time_point started() const { return started_; }

  // Reads output until standard error holds `count` lines that begin with
  // "progress", or the program ends. Returns whether the lines arrived.
  bool waitForProgressLines(int count);
  // Reads output until `moment`, or until the program ends.
  void readUntil(Clock::time_point moment);
  // The moments at which each "progress" line arrived, so far.
  const std::vector<Clock::time_point>& progressTimes() const { return progressTimes_; }

  // Ends the child at once (SIGKILL; TerminateProcess on Windows) if it is
  // still running, and reaps it.
  ProgramResult kill();
  // Reads to the end and reaps the child.
  ProgramResult finish();

 private:
  // Reads what is ready within `timeout`; false once both outputs are closed.
  bool pump(std::chrono::milliseconds timeout);
  ProgramResult reap(bool sendKill);

  Clock::time_point started_;
  std::unique_ptr<ChildProcess> child_;
  bool running_ = true;
  std::string out_;
  std::string err_;
  std::size_t errScanned_ = 0;
  std::vector<Clock::time_point> progressTimes_;
};

// Runs the program to its end.
ProgramResult runCombineProgram(const std::vector<std::string>& arguments, const EnvChanges& env = {});

// The shop's database files in `folder` (*.mdb and *.arc), by name, sorted.
std::vector<std::string> shopFilesIn(const std::filesystem::path& folder);

// Copies every regular file of `from` (journals included) into a new folder `to`.
void copyFolder(const std::filesystem::path& from, const std::filesystem::path& to);

// Every row of every table of every shop file of a folder, as text, by
// file, table and rowid: equal ShopRows mean equal files, row for row.
using TableRows = std::map<long long, std::string>;
using FileRows = std::map<std::string, TableRows>;
using ShopRows = std::map<std::string, FileRows>;
FileRows fileRows(const std::filesystem::path& file);
ShopRows shopRows(const std::filesystem::path& folder);

// The tables in which two database files differ, row for row (rowids
// included); empty when they hold the same rows. The comparison runs inside
// SQLite, so it costs little even in a sanitizer build.
std::vector<std::string> fileDifferences(const std::filesystem::path& a, const std::filesystem::path& b);
// fileDifferences() of every shop file of two folders, prefixed by file name.
std::vector<std::string> folderDifferences(const std::filesystem::path& a, const std::filesystem::path& b);

// Text between single quotes in SQL.
std::string sqlLiteral(const std::string& text);

// "ok", or what PRAGMA integrity_check found.
std::string integrityOf(const std::filesystem::path& file);

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& stem);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whether this process can write files that are marked read-only (root can).
bool permissionsAreIgnored();

// Makes `file` impossible to write for this process and its children: by its
// permissions, or where they are ignored (root) by the file system's
// immutable flag. Returns false when neither can be had.
bool makeUnwritable(const std::filesystem::path& file);
// Undoes makeUnwritable().
void makeWritable(const std::filesystem::path& file);

}  // namespace kestrova::testing
