// The outcome of one operation on the shop's files.
//
// A failed database operation is an ordinary result in this tool, not an
// exception: the combine records it and goes on with the next operation.
// A Status is either ok or carries what a shop manager needs to act on the
// failure: the file, the table or operation, and the reason in plain words.

#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kestrova::data {

class Status {
 public:
  // What went wrong, for callers that treat some failures differently
  // (a technician table that a shop's files may lack, for instance).
  enum class Code {
    kOk,
    kFileMissing,    // the file does not exist, or its drive is not mapped
    kNameAmbiguous,  // several files in the folder have the name, each in another case
    kNotADatabase,   // the file exists but is not a database file
    kNoDriver,       // the file is a database of a kind no installed driver reads
    kFileInUse,      // another program held the file locked for too long
    kReadOnly,       // the file or its folder cannot be written
    kNoSuchTable,
    kNoSuchColumn,
    kBadRecordSource,  // any other SELECT or condition the engine rejects
    kRowRefused,       // the engine refused to change or delete one row
    kRowGone,          // the row was removed by someone else during the walk
    kNoRecordSet,      // a record-set operation with no record set open
    kNoCurrentRow,     // at EOF, on a deleted row, or outside an edit
    kChangesUndone,    // the engine undid every write since the file was last saved
    kWalkUndone,       // the engine undid the writes of the walk that ended, and kept the earlier ones
    kIoError,
  };

  Status() = default;  // ok

  static Status ok() { return Status(); }
  static Status error(Code code, std::string file, std::string operation, std::string reason);
  // A kFileMissing failure for want of any file of the name where it was
  // looked for (`folder`; empty when the caller names none), rather than a
  // drive that is not set up or a name that names no file, so that a face
  // can say where in its own words.
  static Status noSuchFile(std::string file, std::string operation, const std::string& folder);

  bool isOk() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Empty for an ok Status.
  const std::string& file() const { return detail().file; }
  const std::string& operation() const { return detail().operation; }
  const std::string& reason() const { return detail().reason; }
  bool isNoSuchFile() const { return detail().noSuchFile; }

  // "kestrova.mdb, updating History: the file is in use by another program..."
  std::string message() const;

 private:
  Status(Code code, std::string file, std::string operation, std::string reason, bool noSuchFile);

  struct Detail {
    std::string file;
    std::string operation;
    std::string reason;
    bool noSuchFile = false;
  };
  const Detail& detail() const;

  // Only a failure has words: a walk makes several calls a row, nearly all
  // of which succeed, and each returns a Status. The words of a failure
  // never change, so copies share them.
  Code code_ = Code::kOk;
  std::shared_ptr<const Detail> detail_;
};

}  // namespace kestrova::data
