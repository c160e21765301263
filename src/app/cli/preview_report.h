// What a preview found, as the single combine's --dry-run and the batch's
// dry run both show it.

#pragma once

#include <ostream>
#include <string>

#include "app/run_report.h"
#include "data/preview_store.h"

namespace kestrova::app {

// For each file, in the order the combine first opened it, one line a table:
// "  mgmtdata.mdb, Orders: 3 rows re-pointed (AutoID)", "... 2 order numbers
// rewritten", "... 1 row deleted"; or "  no row would change".
void writePreviewCounts(const data::PreviewEngine& preview, std::ostream& out);

// The single combine's whole preview: the heading, the counts, where each
// archive would be found, and what the combine could not change.
void writePreview(const data::PreviewEngine& preview, const RunReport& report, std::ostream& out);

// "1 row", "3 rows".
std::string rowsText(std::size_t count);

}  // namespace kestrova::app
