#include "app/undo/undo_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "combine/archives.h"
#include "combine/procedures.h"
#include "data/ascii_text.h"
#include "data/shop_path.h"
#include "data/utf8_text.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

using data::JournalEntry;
using data::Status;

// The reason names what the journal holds, which may be anything: it is
// shown visibly.
Status refusal(const data::Journal& journal, const std::string& reason) {
  return Status::error(Status::Code::kBadRecordSource, journal.name(), "checking the journal before the undo",
                       data::visibleText(reason) + "; nothing was undone");
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Why the shop folder a journal records is not to be looked at, judged from
// its text before any file is: a journal may come from anywhere, and a
// network path (\\host\share, \\?\UNC\...), a device or a pipe (\\.\pipe\...,
// \??\...) would have Windows reach another computer, with the user's
// credentials, or a program. Nothing when the folder may be looked at.
std::optional<std::string> whyFolderNotReached(const std::string& folder) {
  if (!data::isUtf8(folder)) return "it is not UTF-8 text, so it names no folder";
  if ((folder.size() >= 2 && isSeparator(folder[0]) && isSeparator(folder[1])) || folder.starts_with("\\??\\")) {
    return "it is a network, device or pipe path, which an undo does not reach on a journal's word";
  }
  if (data::namesADevice(folder)) return "it names a device, not a folder";
  return std::nullopt;
}

std::string entryText(const JournalEntry& entry) {
  return "entry " + std::to_string(entry.sequence) + " (" + entry.fileName + ", " + entry.table + " row " +
         std::to_string(entry.row) + ")";
}

bool isMainFile(const std::string& name) {
  return name == combine::kMainDatabase || name == combine::kManagementDatabase || name == combine::kWorkOrdersDatabase;
}

// An archive's file name as the combine gives it: NAME.arc in the shop's
// folder or A:NAME.arc on drive A, NAME one the combine would open.
bool isArchiveFile(const std::string& fileName) {
  std::string_view name(fileName);
  if (name.starts_with("A:")) name.remove_prefix(2);
  if (!name.ends_with(".arc") || name.size() == 4) return false;
  return !combine::whyArchiveNameRefused(std::string(name.substr(0, name.size() - 4)));
}

// The first column named twice among `columns`, or empty.
template <typename Fields>
std::string columnNamedTwice(const Fields& fields) {
  std::set<std::string> seen;
  for (const auto& field : fields) {
    if (!seen.insert(data::lowered(field.column)).second) return field.column;
  }
  return std::string();
}

// Why the entry is not whole, or empty.
std::string whatIsMissing(const JournalEntry& entry) {
  if (entry.table.empty()) return "it names no table";
  if (entry.fields.empty()) {
    return entry.action == JournalEntry::Action::kDelete ? "the deleted row's columns are missing"
                                                         : "it names no column";
  }
  if (const std::string twice = columnNamedTwice(entry.fields); !twice.empty()) {
    return "its column " + twice + " is named twice";
  }
  if (const std::string twice = columnNamedTwice(entry.left); !twice.empty()) {
    return "its copy of the row names the column " + twice + " twice";
  }
  return std::string();
}

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) { return data::sameIgnoringCase(a, b); }

// Where the entry's file is in the shop whose folder is `folder`: its name
// resolved there, found as the combine finds files, with links resolved;
// none through a folder that is a link.
bool placeInShop(const std::string& fileName, const std::filesystem::path& folder, std::filesystem::path* out) {
  // An archive's folder that is a link may lead out of the shop.
  if (data::linkedFolderOf(fileName, folder)) return false;
  std::filesystem::path resolved;
  if (!data::resolveShopPath(fileName, &resolved).isOk()) return false;
  if (resolved.is_relative()) resolved = folder / resolved;
  std::filesystem::path found;
  if (!data::findShopFile(resolved, fileName, &found).isOk()) return false;
  std::error_code error;
  *out = std::filesystem::weakly_canonical(found, error);
  return !error;
}

// The columns of each table that a deleted row is put back into.
class TableColumns {
 public:
  explicit TableColumns(data::StoreEngine& engine) : engine_(engine) {}

  // Empty when the table cannot be read now; the undo then reports the row.
  const std::vector<std::string>& of(const std::string& path, const std::string& fileName, const std::string& table) {
    const auto key = std::make_pair(path, table);
    auto found = columns_.find(key);
    if (found != columns_.end()) return found->second;
    std::vector<std::string>& columns = columns_[key];
    auto& store = stores_[path];
    if (store == nullptr && !engine_.open(data::pathFromUtf8(path), fileName, &store).isOk()) store.reset();
    data::RowSet set;
    std::string quoted = "\"";
    for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    quoted += '"';
    if (store != nullptr && store->select("SELECT * FROM " + quoted + " WHERE 0 = 1", &set).isOk()) {
      columns = set.columns;
    }
    return columns;
  }

 private:
  data::StoreEngine& engine_;
  std::map<std::string, std::unique_ptr<data::DatabaseStore>> stores_;
  std::map<std::pair<std::string, std::string>, std::vector<std::string>> columns_;
};

}  // namespace

Status checkJournalForUndo(const data::Journal& journal, const std::optional<std::filesystem::path>& movedTo,
                           data::StoreEngine& engine, std::vector<JournalEntry>* entries,
                           std::filesystem::path* shopFolder) {
  Status read = journal.readEntries(entries);
  std::vector<data::JournalFact> facts;
  if (read.isOk()) read = journal.readFacts(&facts);
  if (!read.isOk()) return read;
  std::map<std::int64_t, std::map<std::string, std::string>> runs;
  for (const data::JournalFact& fact : facts) runs[fact.run][fact.name] = fact.value;

  // The shop: given, or the one the journal records for every run with changes.
  std::error_code error;
  std::string folder;
  if (movedTo) {
    folder = data::pathToUtf8(std::filesystem::weakly_canonical(std::filesystem::absolute(*movedTo), error));
    if (error || !std::filesystem::is_directory(*movedTo, error)) {
      return refusal(journal, "the folder '" + data::pathToUtf8(*movedTo) + "' given with --dir is not there");
    }
  }
  for (const JournalEntry& entry : *entries) {
    const auto& named = runs[entry.run];
    const auto store = named.find(data::kShopStoreFact);
    if (store != named.end() && store->second != engine.sourceKind()) {
      return refusal(journal, entryText(entry) + " was changed through " + store->second +
                                  ", and this undo would write through " + engine.sourceKind() +
                                  "; undo with the store the combine used");
    }
    if (movedTo) continue;
    const auto recorded = named.find(data::kShopFolderFact);
    if (recorded == named.end() || recorded->second.empty()) {
      return refusal(journal, "the journal does not record the shop in which " + entryText(entry) +
                                  " was changed (journals of earlier versions do not); give --dir with the "
                                  "shop's folder");
    }
    if (const auto unreached = whyFolderNotReached(recorded->second)) {
      return refusal(journal, "the journal records the shop of " + entryText(entry) + " in the folder '" +
                                  recorded->second + "', and " + *unreached +
                                  "; if the shop is there, give its folder with --dir");
    }
    if (folder.empty()) folder = recorded->second;
    if (recorded->second != folder) {
      return refusal(journal, "the journal holds changes of two shops (" + folder + " and " + recorded->second +
                                  ", from " + entryText(entry) + "); an undo takes back the changes of one shop");
    }
  }
  *shopFolder = data::pathFromUtf8(folder);

  TableColumns tables(engine);
  // Each file of the shop, looked up once however many entries name it.
  std::map<std::string, std::optional<std::filesystem::path>> places;
  std::set<std::string> archivesChecked;
  for (JournalEntry& entry : *entries) {
    if (!data::isUtf8(entry.fileName) || !data::isUtf8(entry.path)) {
      return refusal(journal, entryText(entry) + " names its file in bytes that are not UTF-8 text, so it names no "
                                                 "file of the shop");
    }
    if (const std::string missing = whatIsMissing(entry); !missing.empty()) {
      return refusal(journal, entryText(entry) + " is not whole: " + missing);
    }
    const bool archive = isArchiveFile(entry.fileName);
    if (!isMainFile(entry.fileName) && !archive) {
      return refusal(journal, entryText(entry) + " names a file that is not one of the shop's files");
    }
    auto [known, added] = places.try_emplace(entry.fileName);
    if (added) {
      std::filesystem::path found;
      if (placeInShop(entry.fileName, *shopFolder, &found)) known->second = found;
    }
    if (!known->second) {
      return refusal(journal, entryText(entry) + ": its file cannot be found in the shop at " + folder);
    }
    const std::filesystem::path& place = *known->second;
    const std::filesystem::path journaled = data::pathFromUtf8(entry.path);
    if (!sameIgnoringAsciiCase(data::pathToUtf8(journaled.filename()), data::pathToUtf8(place.filename())) ||
        (!movedTo && entry.path != data::pathToUtf8(place))) {
      return refusal(journal, entryText(entry) + " names the file " + entry.path + ", which is not " + entry.fileName +
                                  " of the shop at " + folder);
    }
    if (archive && archivesChecked.insert(entry.fileName).second) {
      for (std::string_view main :
           {combine::kMainDatabase, combine::kManagementDatabase, combine::kWorkOrdersDatabase}) {
        if (engine.reachesSameSource(place, *shopFolder / std::string(main))) {
          return refusal(journal, entryText(entry) + " names an archive that is the shop's " + std::string(main));
        }
      }
    }
    entry.path = data::pathToUtf8(place);
    if (entry.action != JournalEntry::Action::kDelete) continue;
    for (const std::string& column : tables.of(entry.path, entry.fileName, entry.table)) {
      const bool kept = std::any_of(entry.fields.begin(), entry.fields.end(), [&](const data::JournalField& field) {
        return data::sameIgnoringCase(field.column, column);
      });
      if (!kept)
        return refusal(journal, entryText(entry) + " is not whole: the deleted row's column " + column + " is missing");
    }
  }
  return Status::ok();
}

}  // namespace kestrova::app
