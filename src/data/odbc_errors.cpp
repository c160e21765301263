#include "data/odbc_errors.h"

#include <string_view>
#include <utility>

#include "data/engine_failures.h"
#include "data/odbc_parsing.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

// The failures told apart, in the words of engine_failures.h and a few of
// a data source that is not a file.
enum class Meaning {
  kInUse,
  kReadOnly,
  kNotADatabase,
  kDamaged,
  kDiskFull,
  kUnreadable,
  kCannotOpen,
  kRefused,
  kNoDatabase,   // a server without the shop file's database
  kUnreachable,  // a data source that cannot be reached
  kNoTable,
  kNoColumn,
  kOutOfRoom,  // disk or memory
};

// The SQLite ODBC driver reports most failures as HY000 with SQLite's own
// result code as the native code; its primary code is the low byte.
struct NativeCode {
  OdbcSource source;
  int code;
  Meaning meaning;
};
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteIoError = 10;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteConstraint = 19;
constexpr int kSqliteNotADatabase = 26;
constexpr NativeCode kNativeCodes[] = {
    {OdbcSource::kSqlite, kSqliteBusy, Meaning::kInUse},
    {OdbcSource::kSqlite, kSqliteLocked, Meaning::kInUse},
    {OdbcSource::kSqlite, kSqliteReadOnly, Meaning::kReadOnly},
    {OdbcSource::kSqlite, kSqliteNotADatabase, Meaning::kNotADatabase},
    {OdbcSource::kSqlite, kSqliteCorrupt, Meaning::kDamaged},
    {OdbcSource::kSqlite, kSqliteFull, Meaning::kDiskFull},
    {OdbcSource::kSqlite, kSqliteIoError, Meaning::kUnreadable},
    {OdbcSource::kSqlite, kSqliteCantOpen, Meaning::kCannotOpen},
    {OdbcSource::kSqlite, kSqliteConstraint, Meaning::kRefused},
};

// The Access driver reports the engine's failures as HY000 (or 07002) in
// the words of the installed language; its negative native codes tell
// them apart. A connection that fails has not named its data source yet:
// the codes are read there too (no other driver here gives negative ones).
struct AccessCode {
  int native;
  Meaning meaning;
};
constexpr AccessCode kAccessCodes[] = {
    {-3218, Meaning::kInUse},     // "Could not update; currently locked."
    {-1102, Meaning::kInUse},     // "Could not use the file; file already in use."
    {-1032, Meaning::kInUse},     // the file is opened exclusively by another user
    {-3035, Meaning::kReadOnly},  // "Operation must use an updateable query": no lock file can be made
    {-1811, Meaning::kCannotOpen},     // "Could not find file"
    {-1206, Meaning::kNotADatabase},   // "Unrecognized database format"
    {-3010, Meaning::kNoColumn},       // "Too few parameters": a name Jet does not know
    {-1305, Meaning::kNoTable},        // the input table or query cannot be found
    {-1311, Meaning::kDiskFull},       // "Disk full"
};

// Then the SQLSTATE and the driver's words, first rule first. A state of
// two characters stands for its whole class; a rule that asks for both a
// state and words needs them together, else either will do.
struct StateRule {
  std::string_view states[5];  // unused places stay empty
  std::string_view words[3];
  bool both;
  Meaning meaning;
};
constexpr StateRule kStateRules[] = {
    // timeouts, PostgreSQL's lock_not_available, deadlock, object in use
    {{"HYT00", "HYT01", "55P03", "40P01", "55006"},
     {"lock timeout", "database is locked", "could not obtain lock"},
     false,
     Meaning::kInUse},
    // read-only transaction, insufficient privilege
    {{"25006", "42501"}, {"read-only", "readonly"}, false, Meaning::kReadOnly},
    // invalid catalog name, or a connection refused because it does not exist
    {{"3D000"}, {}, false, Meaning::kNoDatabase},
    {{"08"}, {"does not exist"}, true, Meaning::kNoDatabase},
    {{"08"}, {}, false, Meaning::kUnreachable},
    {{}, {"not a database", "file is encrypted"}, false, Meaning::kNotADatabase},
    {{"42S02", "42P01"}, {"no such table"}, false, Meaning::kNoTable},
    {{"42S22", "42703"}, {"no such column"}, false, Meaning::kNoColumn},
    {{"23"}, {}, false, Meaning::kRefused},  // integrity constraint violation
    {{"HY001", "53100"}, {}, false, Meaning::kOutOfRoom},
};

bool stateMatches(std::string_view state, const std::string_view (&states)[5]) {
  for (std::string_view wanted : states) {
    if (wanted.empty()) continue;
    if (wanted.size() == 2 ? state.starts_with(wanted) : state == wanted) return true;
  }
  return false;
}

bool wordsMatch(std::string_view detail, const std::string_view (&words)[3]) {
  for (std::string_view wanted : words) {
    if (!wanted.empty() && containsIgnoringCase(detail, wanted)) return true;
  }
  return false;
}

Status statusFor(Meaning meaning, const std::string& file, std::string operation, const std::string& detail) {
  switch (meaning) {
    case Meaning::kInUse:
      return fileInUse(file, std::move(operation));
    case Meaning::kReadOnly:
      return fileReadOnly(file, std::move(operation));
    case Meaning::kNotADatabase:
      return notADatabase(file, std::move(operation), "the driver cannot read it as one");
    case Meaning::kDamaged:
      return fileDamaged(file, std::move(operation));
    case Meaning::kDiskFull:
      return diskFull(file, std::move(operation));
    case Meaning::kUnreadable:
      return fileUnreadable(file, std::move(operation), detail);
    case Meaning::kCannotOpen:
      return fileCannotOpen(file, std::move(operation), detail);
    case Meaning::kRefused:
      return changeRefused(file, std::move(operation), detail);
    case Meaning::kNoDatabase:
      return Status::error(Code::kFileMissing, file, std::move(operation),
                           "there is no such database (" + detail + ")");
    case Meaning::kUnreachable:
      return Status::error(Code::kIoError, file, std::move(operation),
                           "the data source cannot be reached (" + detail + ")");
    case Meaning::kNoTable:
      return noSuchTable(file, std::move(operation), detail);
    case Meaning::kNoColumn:
      return noSuchColumn(file, std::move(operation), detail);
    case Meaning::kOutOfRoom:
      return Status::error(Code::kIoError, file, std::move(operation), "the disk or memory is full (" + detail + ")");
  }
  return requestRejected(file, std::move(operation), detail);
}

}  // namespace

Status translateDiagnostics(const std::vector<Diagnostic>& diagnostics, OdbcSource source, const std::string& file,
                            std::string operation) {
  const Diagnostic first =
      diagnostics.empty() ? Diagnostic{"HY000", 0, "no reason given by the driver"} : diagnostics.front();
  if (source == OdbcSource::kAccess || source == OdbcSource::kOther) {
    for (const AccessCode& known : kAccessCodes) {
      if (known.native == first.native) return statusFor(known.meaning, file, std::move(operation), first.text);
    }
  }
  for (const NativeCode& known : kNativeCodes) {
    if (known.source == source && known.code == (first.native & 0xff)) {
      return statusFor(known.meaning, file, std::move(operation), first.text);
    }
  }
  for (const StateRule& rule : kStateRules) {
    const bool state = stateMatches(first.state, rule.states);
    const bool words = wordsMatch(first.text, rule.words);
    if (rule.both ? state && words : state || words)
      return statusFor(rule.meaning, file, std::move(operation), first.text);
  }
  return requestRejected(file, std::move(operation), first.text);
}

bool mayHaveUndoneBatch(const Status& status) {
  switch (status.code()) {
    case Code::kRowRefused:
    case Code::kNoSuchTable:
    case Code::kNoSuchColumn:
    case Code::kBadRecordSource:
    case Code::kRowGone:
      return false;
    default:
      return true;
  }
}

}  // namespace kestrova::data
