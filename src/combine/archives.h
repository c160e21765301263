// Archived work orders.
//
// Work orders that a shop has archived live in archive files, one per
// archive, named in the `Archive` column of the management database's
// orders. A combine gathers the From record's archive names while it reads
// those orders, re-points the orders inside each archive file, and only then
// re-points the management orders themselves: they are the only link to the
// archives, so an order whose archive could not be updated keeps the From ID
// and the next run finds the archive again.

#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "combine/repoint_pass.h"

namespace kestrova::combine {

// The archive stage of a kind's procedure.
struct ArchiveStage {
  std::string_view selectPrefix;  // the archive's Orders of the From ID
  std::string_view setColumn;     // set to the To ID
  // Passes that run on the open archive after its orders (same file); their
  // progress values are not shown inside the stage.
  std::span<const RepointPass> furtherSteps = {};
  std::optional<int> progressPercent = {};
};

// The beforeEdit step of the pass that reads the management orders before
// the archive stage: offers the row's `Archive` to the run's list and leaves
// the row for after the archives.
RowAction gatherArchiveName(CombineRun& run);

// The beforeEdit step of the pass that re-points the management orders after
// the archive stage. An order naming no archive is re-pointed; one naming an
// archive only when this run updated that archive. Every other order keeps
// the From ID, and its archive is listed as not updated.
RowAction leaveOrdersOfArchivesNotUpdated(CombineRun& run);

// Why the archive `name` is never opened, judged from its text alone,
// before any file is looked at or a diskette asked for: a name that is not
// UTF-8, reaches outside the folder it is looked for in or names a device.
// Nothing when it may be opened.
std::optional<std::string> whyArchiveNameRefused(const std::string& name);

// Opens each gathered archive, from the current folder or, after a prompt,
// from drive A, and re-points its orders and the stage's further steps.
// An archive found nowhere, found under several spellings, or named outside
// its folder is reported and left as it is; one updated without a failure
// is added to the run's archivesUpdated.
void UpdateArchives(const ArchiveStage& stage, CombineRun& run);

}  // namespace kestrova::combine
