#include "combine/archives.h"

#include <algorithm>
#include <string_view>

#include "data/sql_text.h"

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

// One attempt to open an archive, judged by that attempt alone. The failure
// it judges is told by the caller's own message, not again at the end.
bool openArchive(CombineRun& run, const std::string& fileName, const std::string& select, bool nameStaysInFolder,
                 std::string* reason) {
  if (!nameStaysInFolder) {
    *reason += (reason->empty() ? "" : "; ") + fileName +
               ": the archive name points outside the folder it is looked for in, so the file was not opened";
    return false;
  }
  run.trap.clearFlag();
  run.data.setDatabaseName(fileName);
  run.data.setRecordSource(select);
  const data::Status opened = run.data.refresh();
  run.trap(opened);
  if (!run.trap.flag()) return true;
  *reason += (reason->empty() ? "" : "; ") + fileName + ": " + opened.reason();
  run.trap.forgetJudged();
  run.trap.clearFlag();
  return false;
}

}  // namespace

RowAction gatherArchiveName(CombineRun& run) {
  data::FieldValue archive;
  if (run.trap(run.data.field("Archive", &archive)) && archive) run.archives.offer(*archive);
  return RowAction::kLeave;
}

RowAction leaveOrdersOfArchivesNotUpdated(CombineRun& run) {
  data::FieldValue archive;
  // An order whose archive cannot be told keeps the From ID: it is the only
  // way back to that archive.
  if (!run.trap(run.data.field("Archive", &archive))) return RowAction::kLeave;
  if (!archive) return RowAction::kEdit;
  const bool missed = std::any_of(run.archivesNotUpdated.begin(), run.archivesNotUpdated.end(),
                                  [&](const MissedArchive& m) { return m.name == *archive; });
  return missed ? RowAction::kLeave : RowAction::kEdit;
}

void UpdateArchives(const ArchiveStage& stage, CombineRun& run) {
  const std::string select = std::string(stage.selectPrefix) + data::sqlQuoteBody(run.ids.from) + "'";
  const std::size_t count = run.archives.count();
  // What the walks before the stage wrote is saved before any archive is
  // opened or the user is asked for a diskette.
  run.trap(run.data.commitWrites());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = run.archives.name(i);
    std::string reason;
    const bool inFolder = staysInFolder(name + ".arc");
    if (!openArchive(run, name + ".arc", select, inFolder, &reason)) {
      // Nothing is held open while the user changes the diskette.
      run.trap(run.data.close());
      run.feedback.beep();
      run.feedback.promptForDiskette("Place the diskette containing the " + name +
                                     " file in the A drive and click Ok.");
      if (!openArchive(run, "A:" + name + ".arc", select, inFolder, &reason)) {
        run.feedback.beep();
        run.feedback.showMessage("Unable to update archive file: " + name, MessageIcon::kExclamation);
        run.archivesNotUpdated.push_back(MissedArchive{name, reason});
        continue;
      }
    }
    const std::size_t failuresBefore = run.trap.failureCount();
    RepointRows(run, stage.setColumn, run.ids.to);
    for (RepointPass step : stage.furtherSteps) {
      step.progressPercent.reset();  // the panel stays as it is inside the archive stage
      runRepointPass(step, run);
    }
    // An archive counts as updated only once its changes are saved.
    run.trap(run.data.commitWrites());
    if (run.trap.failureCount() != failuresBefore) {
      run.archivesNotUpdated.push_back(MissedArchive{name, "some of its rows could not be changed"});
    }
  }
  if (stage.progressPercent) run.feedback.setProgress(*stage.progressPercent);
}

}  // namespace kestrova::combine
