#include "combine/archives.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "combine/archive_name_list.h"
#include "combine/group_passes.h"
#include "combine/shop_files.h"
#include "data/shop_path.h"
#include "data/sql_text.h"
#include "data/utf8_text.h"
#include "data/visible_text.h"

namespace kestrova::combine {
namespace {

// Whether an archive's file name stays inside the folder it is looked up in
// (the shop's folder, or drive A). The name comes from the shop's data, not
// from the user: one that starts at a root, names a drive or a server,
// climbs out with "..", or holds a NUL (which would cut the name short) is
// never opened.
bool staysInFolder(std::string_view fileName) {
  if (fileName.find('\0') != std::string_view::npos || fileName.find(':') != std::string_view::npos) return false;
  if (fileName.empty() || fileName.front() == '/' || fileName.front() == '\\') return false;
  std::size_t start = 0;
  while (start <= fileName.size()) {
    const std::size_t end = std::min(fileName.find_first_of("/\\", start), fileName.size());
    if (fileName.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

// The shop's main file that the archive file `fileName` would reach, if
// any: through a link or, under an engine that reaches its sources by bare
// name, by that name ("mgmtdata" is the management database there). Such a
// file is never opened as an archive: its orders would be re-pointed at the
// archive stage, those of the archives not updated too.
std::optional<std::string_view> mainFileReachedBy(const CombineRun& run, const std::string& fileName) {
  for (std::string_view main : {kMainDatabase, kManagementDatabase, kWorkOrdersDatabase}) {
    if (run.data.reachSameSource(fileName, std::string(main))) return main;
  }
  return std::nullopt;
}

// Why the archive `name` is not to be opened from `fileName`, or nothing.
std::optional<std::string> whyNotOpened(const CombineRun& run, const std::string& name, const std::string& fileName) {
  if (const auto link = data::linkedFolderOf(fileName)) {
    return "the folder " + data::visibleText(*link) +
           " of the archive's name is a link or junction, which may lead out of the folder the archive is looked "
           "for in, so the file was not opened";
  }
  if (run.data.dropsFolders() && name.find_first_of("/\\") != std::string::npos) {
    return std::string(
        "the archive name has a folder part, which the connection template drops, so it would reach another "
        "database; the file was not opened");
  }
  if (const auto main = mainFileReachedBy(run, fileName)) {
    return "the archive file would be " + std::string(*main) +
           ", one of the shop's own files, so it was not opened as an archive";
  }
  return std::nullopt;
}

// One attempt to open an archive, judged by that attempt alone. The failure
// it judges is told by the caller's own message, not again at the end.
// Returns how the attempt ended; a failure is added to `attempts`.
// `setSource` sets the record source of the archive's orders.
template <class SetSource>
data::Status openArchive(CombineRun& run, const std::string& fileName, const SetSource& setSource, std::string* reason,
                         std::vector<data::Status>* attempts) {
  run.trap.clearFlag();
  run.data.setDatabaseName(fileName);
  setSource();
  const data::Status opened = run.data.refresh();
  run.trap(opened);
  if (!run.trap.flag()) return data::Status::ok();
  *reason += (reason->empty() ? "" : "; ") + fileName + ": " + opened.reason();
  attempts->push_back(opened);
  run.trap.forgetJudged();
  run.trap.clearFlag();
  return opened;
}

void reportNotUpdated(CombineRun& run, const std::string& name, std::string reason,
                      std::vector<data::Status> attempts = {}) {
  run.feedback.beep();
  run.feedback.showMessage("Unable to update archive file: " + data::visibleText(name), MessageIcon::kExclamation);
  run.missArchive(name, std::move(reason), std::move(attempts));
}

// The archive's orders of the run: of its one combine, or, in a group, of
// the combines whose management orders name the archive (they become the
// run's concerned combines while it is open, and the user is told which).
class ArchiveOrders {
 public:
  ArchiveOrders(const ArchiveStage& stage, CombineRun& run, const std::string& name,
                const std::vector<std::size_t>& running)
      : stage_(stage), run_(run) {
    if (!run.isGroup()) {
      select_ = std::string(stage.selectPrefix) + data::sqlQuoteBody(run.ids.from) + "'";
      return;
    }
    keyed_ = keyedSelectOf(stage.selectPrefix);
    values_.resize(run.group.size());
    run.concerned.clear();
    const auto named = run.combinesOfArchive.find(name);
    for (std::size_t combine : running) {
      if (named == run.combinesOfArchive.end() || !named->second.contains(combine)) continue;
      run.concerned.push_back(combine);
      keys_.add(keyed_.literal + run.group[combine].from, combine);
      values_[combine] = run.group[combine].to;
    }
    run.feedback.concerns(run.concerned);
  }

  void operator()() const {
    if (run_.isGroup()) {
      run_.data.setRecordSourceOfKeys(keyed_.select, keyed_.column, keys_.texts());
    } else {
      run_.data.setRecordSource(select_);
    }
  }

  void repoint() const {
    if (run_.isGroup()) {
      repointGroupRows(run_, keys_, keyed_.column, stage_.setColumn, values_);
    } else {
      RepointRows(run_, stage_.setColumn, run_.ids.to);
    }
  }

 private:
  const ArchiveStage& stage_;
  CombineRun& run_;
  std::string select_;
  KeyedSelect keyed_;
  GroupKeys keys_;
  std::vector<std::string> values_;
};

// Gives the run back the combines it had before the stage.
struct ArchiveStageRestore {
  CombineRun& run;
  const std::vector<std::size_t>& running;
  ~ArchiveStageRestore() {
    if (!run.isGroup()) return;
    run.concerned = running;
    run.feedback.concerns(running);
  }
};

}  // namespace

std::optional<std::string> whyArchiveNameRefused(const std::string& name) {
  if (!data::isUtf8(name)) {
    return std::string(
        "the archive name is not UTF-8 text (it may come from another code page), so it names no file that can "
        "be opened; the file was not opened");
  }
  if (!staysInFolder(name + ".arc")) {
    return std::string("the archive name points outside the folder it is looked for in, so the file was not opened");
  }
  if (data::namesADevice(name + ".arc")) {
    return std::string(
        "the archive name is that of a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9), not of a file, so "
        "nothing was opened");
  }
  return std::nullopt;
}

RowAction gatherArchiveName(CombineRun& run) {
  data::FieldValue archive;
  if (run.trap(run.data.field("Archive", &archive)) && archive) {
    run.archives.offer(*archive);
    if (run.isGroup()) run.combinesOfArchive[*archive].insert(run.current);
  }
  return RowAction::kLeave;
}

RowAction leaveOrdersOfArchivesNotUpdated(CombineRun& run) {
  data::FieldValue archive;
  // An order whose archive cannot be told keeps the From ID: it is the only
  // way back to that archive.
  if (!run.trap(run.data.field("Archive", &archive))) return RowAction::kLeave;
  if (!archive || !ArchiveNameList::namesAnArchive(*archive)) return RowAction::kEdit;
  // Only what this run itself saw done counts: the orders read before the
  // archive stage may not be the orders read now (that reading may have
  // failed, or an order may have been added since).
  if (run.archiveUpdated(*archive)) return RowAction::kEdit;
  // In a group, the order is the concern of its own combine alone.
  std::vector<std::size_t> concerned = run.concerned;
  if (run.isGroup()) run.concerned = {run.current};
  run.missArchive(*archive,
                  "the orders in mgmtdata.mdb that name it could not be read before the archives were updated, so "
                  "it was not opened in this run");
  run.concerned = std::move(concerned);
  return RowAction::kLeave;
}

void UpdateArchives(const ArchiveStage& stage, CombineRun& run) {
  // Once for the whole run: the archive's orders of every combine whose
  // management orders name it, and the diskette asked for once.
  const std::vector<std::size_t> running = run.concerned;
  const ArchiveStageRestore restore{run, running};
  const std::size_t count = run.archives.count();
  // What the walks before the stage wrote is saved before any archive is
  // opened or the user is asked for a diskette.
  run.trap(run.data.commitWrites());
  for (std::size_t i = 0; i < count; ++i) {
    // Left for the next run: the management orders still lead to it.
    if (stopBeforeNextWalk(run)) return;
    const std::string& name = run.archives.name(i);
    ArchiveOrders orders(stage, run, name, running);
    if (run.isGroup() && run.concerned.empty()) continue;
    // A name that is no file's, or would reach outside the folder, is never
    // opened, here or on drive A, so no diskette is asked for.
    if (const auto refused = whyArchiveNameRefused(name)) {
      reportNotUpdated(run, name, *refused);
      continue;
    }
    if (const auto refused = whyNotOpened(run, name, name + ".arc")) {
      reportNotUpdated(run, name, *refused);
      continue;
    }
    std::string reason;
    std::vector<data::Status> attempts;
    const data::Status inFolder = openArchive(run, name + ".arc", orders, &reason, &attempts);
    if (inFolder.code() == data::Status::Code::kNameAmbiguous) {
      // The archive is in the folder, under more than one spelling: which one
      // holds the orders cannot be told, so none is opened.
      reportNotUpdated(run, name, reason, std::move(attempts));
      continue;
    }
    if (!inFolder.isOk()) {
      // Nothing is held open while the user changes the diskette.
      run.trap(run.data.close());
      run.feedback.beep();
      run.feedback.promptForDiskette("Place the diskette containing the " + data::visibleText(name) +
                                     " file in the A drive and click Ok.");
      if (const auto refused = whyNotOpened(run, name, "A:" + name + ".arc")) {
        reportNotUpdated(run, name, *refused);
        continue;
      }
      if (!openArchive(run, "A:" + name + ".arc", orders, &reason, &attempts).isOk()) {
        reportNotUpdated(run, name, reason, std::move(attempts));
        continue;
      }
    }
    const std::size_t failuresBefore = run.trap.failureCount();
    orders.repoint();
    for (RepointPass step : stage.furtherSteps) {
      if (stopBeforeNextWalk(run)) return;
      step.progressPercent.reset();  // the panel stays as it is inside the archive stage
      runRepointPass(step, run);
    }
    // An archive counts as updated only once its changes are saved.
    run.trap(run.data.commitWrites());
    if (run.trap.failureCount() != failuresBefore) {
      run.missArchive(name, "some of its rows could not be changed");
    } else {
      run.archivesUpdated.insert(name);
    }
  }
  if (stage.progressPercent) run.feedback.setProgress(*stage.progressPercent);
}

}  // namespace kestrova::combine
