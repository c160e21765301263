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
//  - A walk that ends with endWalk() is kept with the file's other walks and
//    saved with them when another file is opened, at commitWrites() or at
//    close(); on an engine that cannot hold walks together, it is saved at
//    once. Naming the open file again keeps it open.

#pragma once

#include <filesystem>
#include <functional>
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

  // The file the next refresh() opens: a bare name resolved against the
  // current folder, or a name on a drive ("A:ARCH01.arc"). When it names the
  // file that is open, that file stays open.
  void setDatabaseName(std::string name);
  // A SELECT of one table, or a bare table name. Taken as it is: the gateway
  // neither builds, quotes nor checks it.
  void setRecordSource(std::string source);
  // A record source of the rows whose `column` holds one of `keys`, for a
  // walk made for many records at once: `select` ("Select AutoID from
  // History") with "where column IN (...)" added, ordered by that column,
  // so that the rows of one key come together. A long list is read in as
  // many SELECTs as the engine needs, their rows one record set. Replaces
  // the record source until setRecordSource() is called.
  void setRecordSourceOfKeys(std::string select, std::string column, std::vector<std::string> keys);
  // Whether `name` names the file that is open.
  bool namesOpenFile(const std::string& name) const;
  // Whether the files `name` and `other` (names as setDatabaseName() takes
  // them) reach the same data source by the engine's rule: one a link to
  // the other or, under an engine that drops folders, the same bare name.
  // A name whose drive is not set up reaches nothing.
  bool reachSameSource(const std::string& name, const std::string& other) const;
  // Whether the engine reaches a source by a file's bare name alone.
  bool dropsFolders() const { return engine_.dropsFolders(); }

  // Ends the walk, drops the current record set, opens the file if a
  // database name was set since the last refresh and it is not the open one
  // (saving the open file's writes first), and opens the record source,
  // positioned on its first row.
  Status refresh();

  // Ends the walk over the record set: its held writes are made and the
  // engine keeps them with the file's other walks, or, when the walk failed
  // as a whole, undoes them alone and says so.
  Status endWalk();

  // Saves the writes made since the last commit. On failure none of them is
  // kept, and the Status says so.
  Status commitWrites();

  // Saves pending writes and closes the record set and the file; the Status
  // tells whether the writes were saved.
  Status close();

  // Record-set operations. Each fails with kNoRecordSet when there is none.
  Status recordCount(std::size_t* count) const;
  Status eof(bool* atEnd) const;
  Status moveNext();
  Status edit();
  Status setField(std::string_view column, std::string value);  // also the record set's Collect
  Status update();
  Status deleteRow();
  Status field(std::string_view column, FieldValue* value);
  // What field(column) reads on each row from the current one to the last
  // (Null for a deleted row), without moving.
  Status columnToEnd(std::string_view column, std::vector<FieldValue>* values);
  Status findFirst(std::string_view condition);
  Status noMatch(bool* result) const;

  // The walk of a pass that writes the same value on every row: the same
  // as edit(), setField(column, value), update() (when the first two
  // succeed) and moveNext() on each row from the current one to the last,
  // with `failed` called for each operation that fails, in row order; then
  // the position is past the last row. The engine may make the writes in
  // fewer statements. Fails, calling nothing, when there is no record set.
  Status updateToEnd(std::string_view column, const std::string& value,
                     const std::function<void(const Status&)>& failed);
  // The same with deleteRow() and moveNext() on each row.
  Status deleteToEnd(const std::function<void(const Status&)>& failed);

  // update(), with the row's write held back and made together with the
  // record set's other held writes by saveHeldUpdates(), in fewer
  // statements. The checks of update() are made now; the engine's outcome
  // for each row comes from saveHeldUpdates(). Reads of the row give the
  // written values meanwhile.
  Status holdUpdate();
  // Makes the held writes, each row with the outcome update() would have
  // given it; `failed` is called for each row that failed, in row order.
  // commitWrites() and refresh() make them too, telling only the first
  // failure.
  Status saveHeldUpdates(const std::function<void(const Status&)>& failed);

 private:
  struct RecordSet {
    RowSet rows;
    std::size_t position = 0;
    std::vector<bool> deleted;  // rows removed by deleteRow()
    // The edit buffer, between edit() and update(); kept between rows so
    // that a walk does not allocate one per row.
    struct Edit {
      bool open = false;
      std::vector<FieldWrite> writes;
      void start() {
        open = true;
        writes.clear();
      }
      void drop() {
        open = false;
        writes.clear();
      }
    } edit;
    bool noMatch = false;
    // The writes held by holdUpdate(), in row order. The rows of a walk get
    // one or two kinds of writes: each kind is kept once, and a row names it.
    struct HeldUpdate {
      std::size_t position;
      std::size_t writes;  // into heldWrites
      std::size_t before;  // into heldBefore: the kept values the writes replaced, one per write
    };
    std::vector<HeldUpdate> held;
    std::vector<std::vector<FieldWrite>> heldWrites;
    std::vector<FieldValue> heldBefore;
  };

  Status noRecordSet(const char* operation) const;
  Status noCurrentRow(const char* operation) const;
  // Finds `column` among the record set's columns, ignoring letter case as
  // the shop's files do, and gives its name as the table spells it.
  Status columnOf(std::string_view column, const char* operation, std::string* name) const;
  // The record set's value of `column` (as the table spells it) in the row
  // at `position`, when the engine read the values at opening.
  FieldValue* keptValue(std::size_t position, const std::string& column);
  Status openPendingFile(const std::filesystem::path& path);
  // The record source of keys, read in parts the store can take.
  Status selectKeys(RowSet* out);
  // Saves held writes; then `save` (the store's commit or end of walk).
  Status saveWrites(Status (DatabaseStore::*save)());
  bool onRow() const;

  StoreEngine& engine_;
  std::unique_ptr<DatabaseStore> store_;
  std::filesystem::path storePath_;  // the open file, as resolved
  std::string databaseName_;
  std::string recordSource_;
  struct KeySource {
    std::string select;
    std::string column;
    std::vector<std::string> keys;
  };
  std::optional<KeySource> keySource_;
  bool reopenFile_ = false;
  std::optional<RecordSet> recordSet_;
};

}  // namespace kestrova::data
