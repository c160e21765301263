// Running a batch's lines (batch_run.h): one line alone, or a group of
// lines that name no ID of one another together, through the same combine
// command as the window, each journaled as a run of its own; and what each
// line ended with.

#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/batch/batch_file.h"
#include "app/batch/batch_run.h"
#include "app/combine_journal.h"
#include "app/combine_request.h"
#include "app/cli/terminal_ui.h"
#include "app/user_interface.h"

namespace kestrova::app {

// The facts that tie a journal's runs to a batch file and its lines.
inline constexpr char kDigestFact[] = "batch digest";
inline constexpr char kFileFact[] = "batch file";
inline constexpr char kLineFact[] = "batch line";
inline constexpr char kLineFinishedFact[] = "batch line finished";
inline constexpr char kLineOutcomeFact[] = "batch line outcome";
// A run of lines made together: their numbers, and those of the ones it finished.
inline constexpr char kLinesFact[] = "batch lines";
inline constexpr char kLinesFinishedFact[] = "batch lines finished";

enum class LineOutcome { kDone, kFailures, kFromMissing, kSkipped, kInterrupted, kNotRun };

// "done", "failures", "from_missing", ...: the outcome as the report writes it.
const char* wordOf(LineOutcome outcome);

struct LineResult {
  LineOutcome outcome = LineOutcome::kNotRun;
  std::size_t rowsChanged = 0;
  std::vector<std::string> archivesNotUpdated;
  std::vector<std::string> notChanged;  // what could not be changed, one text each
};

// "3, 5, 7" with `between` ", ".
std::string numbersText(const std::vector<int>& numbers, const char* between);

// "vehicle 2000002 -> 2000001", control characters written visibly.
std::string idsText(const BatchLine& line);

// The line's combine as the command takes it: the IDs as the line wrote them.
CombineRequest requestOf(const BatchLine& line);

// A combine's user interface inside a batch: the customer question answered
// Yes (the batch was confirmed once),
// the combine's messages on the error stream under the line's number, and
// progress and diskette prompts on the terminal as for a single combine. A
// preview waits for nothing and keeps to itself what its counts replace.
// For lines run together, the messages go under the numbers of the lines
// they concern.
class BatchLineUi final : public UserInterface {
 public:
  BatchLineUi(const BatchLine& line, BatchConsole& console, bool preview)
      : BatchLineUi(std::vector<int>{line.number}, console, preview) {}
  BatchLineUi(std::vector<int> numbers, BatchConsole& console, bool preview)
      : terminal_(true), console_(console), numbers_(std::move(numbers)), preview_(preview) {
    prefix_ = prefixOf(numbers_);
  }

  void concerns(const std::vector<std::size_t>& combines) override {
    std::vector<int> numbers;
    for (std::size_t combine : combines) numbers.push_back(numbers_[combine]);
    prefix_ = prefixOf(numbers);
  }

  void setProgressVisible(bool visible) override {
    if (!preview_) terminal_.setProgressVisible(visible);
  }
  void setProgress(int percent) override {
    if (!preview_) terminal_.setProgress(percent);
  }
  void beep() override {
    if (!preview_) terminal_.beep();
  }
  void showMessage(const std::string& text, combine::MessageIcon icon) override {
    if (preview_ && icon != combine::MessageIcon::kCritical) return;
    // Ends the progress bar's line on a terminal, so the message starts on a line of its own.
    if (!preview_) terminal_.setProgressVisible(false);
    std::string shown = prefix_;
    for (char c : data::visibleLines(text)) shown += c == '\n' ? "\n" + prefix_ : std::string(1, c);
    console_.err << shown << std::endl;
  }
  void promptForDiskette(const std::string& text) override {
    if (!preview_) terminal_.promptForDiskette(text);
  }
  bool askYesNo(const std::string&) override { return true; }
  void endProgram() override {}
  bool stopRequested() const override { return !preview_ && console_.stopRequested(); }

 private:
  static std::string prefixOf(const std::vector<int>& numbers) {
    return numbers.size() == 1 ? "[line " + std::to_string(numbers[0]) + "] " : "[lines " + numbersText(numbers, ", ") + "] ";
  }

  TerminalUi terminal_;
  BatchConsole& console_;
  std::vector<int> numbers_;
  std::string prefix_;
  bool preview_;
};

// Runs one line's combine through the same command as the window.
LineResult runLine(const BatchLine& line, const BatchFile& file, const std::filesystem::path& filePath,
                   data::StoreEngine& shopEngine, CombineJournal* journal, BatchConsole& console,
                   bool* journalTrouble);

// Runs the lines `members` (indexes into `file.lines`, of one kind, naming
// no ID of one another) together, each file opened once, each table walked
// once for all of them, each archive opened and its diskette asked for
// once; their results go to `*results`, by the same indexes. Which line a
// row that could not be changed was for is not known, so a group in which
// anything could not be changed runs again line by line: each line then
// fails alone or finishes, and is told, as it would have been alone (a
// combine is safe to repeat). Returns whether the batch was stopped.
bool runGroup(const std::vector<std::size_t>& members, const BatchFile& file, const std::filesystem::path& filePath,
              data::StoreEngine& shopEngine, CombineJournal* journal, BatchConsole& console, bool* journalTrouble,
              std::vector<LineResult>* results);

}  // namespace kestrova::app
