// ShopDataControl: the one gateway through which the combine reads and
// writes the shop's files.
//
// Callers name a database file and a record source, call refresh(), and then
// work on the gateway's one current record set row by row, reaching it
// through the gateway for every operation. Every operation returns a Status;
// the gateway shows nothing and retries nothing.
//
// What callers may rely on:
//  - The rows of a record set are fixed when it opens. Writing any column of
//    a row, even the one that selected it, never drops, moves or repeats it;
//    every row is visited exactly once by moveNext() until eof().
//  - A field that holds Null reads as Null (an empty optional), never as "".
//  - A file that does not exist fails to open and is never created.
//  - refresh() drops the current record set before it opens the next one.
//    After a failed refresh() there is no record set: every record-set
//    operation fails with kNoRecordSet until the next successful refresh(),
//    so no walk can run over the previous table's rows.
//  - Row writes are saved together when the walk calls commitWrites(); a row
//    the engine refuses is left as it was and the walk can go on.

#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/record_store.h"
#include "data/status.h"

namespace kestrova::data {

class ShopDataControl {
 public:
  // The engine must outlive the gateway.
  explicit ShopDataControl(StoreEngine& engine);
  ~ShopDataControl();

  ShopDataControl(const ShopDataControl&) = delete;
  ShopDataControl& operator=(const ShopDataControl&) = delete;

  // The file the next refresh() opens afresh: a bare name resolved against
  // the current folder, or a name on a drive ("A:ARCH01.arc").
  void setDatabaseName(std::string name);
  // A SELECT of one table, or a bare table name. Taken as it is: the gateway
  // neither builds, quotes nor checks it.
  void setRecordSource(std::string source);

  // Saves the pending writes, drops the current record set, opens the file
  // if a database name was set since the last refresh (else stays on the
  // open file), and opens the record source, positioned on its first row.
  Status refresh();

  // Saves the writes made since the last commit. On failure none of them is
  // kept, and the Status says so.
  Status commitWrites();

  // Saves pending writes and closes the record set and the file.
  void close();

  // Record-set operations. Each fails with kNoRecordSet when there is none.
  Status recordCount(std::size_t* count) const;
  Status eof(bool* atEnd) const;
  Status moveNext();
  Status edit();
  Status setField(std::string_view column, std::string value);  // also the record set's Collect
  Status update();
  Status deleteRow();
  Status field(std::string_view column, FieldValue* value);
  Status findFirst(std::string_view condition);
  Status noMatch(bool* result) const;

 private:
  struct RecordSet {
    RowSet rows;
    std::size_t position = 0;
    std::vector<bool> deleted;                   // rows removed by deleteRow()
    std::optional<std::vector<FieldWrite>> edit;  // the edit buffer, between edit() and update()
    bool noMatch = false;
  };

  Status noRecordSet(const char* operation) const;
  Status noCurrentRow(const char* operation) const;
  // Finds `column` among the record set's columns, ignoring letter case as
  // the shop's files do, and gives its name as the table spells it.
  Status columnOf(std::string_view column, const char* operation, std::string* name) const;
  Status openPendingFile();
  bool onRow() const;

  StoreEngine& engine_;
  std::unique_ptr<DatabaseStore> store_;
  std::string databaseName_;
  std::string recordSource_;
  bool reopenFile_ = false;
  std::optional<RecordSet> recordSet_;
};

}  // namespace kestrova::data
