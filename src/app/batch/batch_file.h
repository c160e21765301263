// A batch file: many combines, one a line, read and checked as a whole
// before any of them runs.
//
// The file is UTF-8 CSV with the fields kind,from,to. Fields may be quoted
// as CSV quotes them (a quoted field may hold a comma or a doubled quote,
// never a line break); blanks outside the quotes are trimmed. Blank lines and
// lines whose first non-blank character is '#' are passed over; the first
// line that is neither may be the header kind,from,to in any case. CRLF line
// ends and a UTF-8 byte-order mark are accepted; a file in UTF-16 is refused
// as such. Line numbers count every line of the file from 1.
//
// A line is refused when it cannot be read, its kind is unknown, it has
// other than three fields, an ID fails the check the window makes, its From
// equals its To, its From was the From of an earlier line of the kind with
// another To, or its To was the From of an earlier line of the kind (that
// record was combined away; this also refuses every cycle). A refused line
// still counts as an earlier line for the lines after it.

#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "combine/procedures.h"

namespace kestrova::app {

struct BatchLine {
  int number = 0;                            // its line in the file, from 1
  std::optional<combine::CombineKind> kind;  // none when the kind is unknown or the line unreadable
  std::string from;                          // as the line gives them, after upper-casing, UTF-8
  std::string to;
  std::string fromAsWritten;  // as the line gives them
  std::string toAsWritten;
  // For each of its IDs, the last earlier line of the kind that names it
  // (that line depends in turn on the ones before it), in file order.
  std::vector<int> dependsOn;
};

struct BatchRefusal {
  int line = 0;
  std::string reason;
  int otherLine = 0;  // the other line involved, 0 when none
};

struct BatchFile {
  std::vector<BatchLine> lines;  // the combine lines, in file order
  std::vector<BatchRefusal> refusals;
  std::string digest;  // SHA-256 of the file's bytes, in hexadecimal

  bool accepted() const { return refusals.empty(); }
};

// Reads and checks a batch file's bytes.
BatchFile readBatchFile(std::string_view bytes);

// The lines to run, in groups that run together, in the order the groups
// run: each group holds lines of one kind none of which names an ID of
// another, and comes after the groups of every line its lines depend on.
// Indexes into `file.lines`, in file order within a group; the lines whose
// numbers are in `finished` are left out.
std::vector<std::vector<std::size_t>> groupsToRun(const BatchFile& file, const std::set<int>& finished);

// "line 7: its To 2000002 was the From of line 3 ..." as the user is told.
std::string describeRefusal(const BatchRefusal& refusal);

// The fields of one line of CSV, blanks outside the quotes trimmed; false
// with `*problem` set when the line is not well-formed CSV.
bool splitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* problem);

// A field as CSV writes it: quoted when it holds a comma, a quote, a line
// break or blanks at either end, and with a ' before a first character that
// would make a spreadsheet run it as a formula (=, +, - or @).
std::string csvField(std::string_view text);

// "customer", "vehicle" or "employee" in any case.
std::optional<combine::CombineKind> kindFromWord(std::string_view word);

}  // namespace kestrova::app
