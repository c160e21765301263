// The words of the failures any database engine may meet, written once, so
// that a user reads the same sentence for the same trouble whichever store
// runs. Each store maps its engine's own codes onto these.

#pragma once

#include <string>
#include <string_view>

#include "data/status.h"

namespace kestrova::data {

Status fileInUse(const std::string& file, std::string operation);
Status fileReadOnly(const std::string& file, std::string operation);
// `why`: how the engine knows, "it is not an SQLite database file".
Status notADatabase(const std::string& file, std::string operation, std::string_view why);
Status fileDamaged(const std::string& file, std::string operation);
Status diskFull(const std::string& file, std::string operation);
// The rest carry the engine's own words, `detail`, in parentheses.
Status fileUnreadable(const std::string& file, std::string operation, std::string_view detail);
Status fileCannotOpen(const std::string& file, std::string operation, std::string_view detail);
Status changeRefused(const std::string& file, std::string operation, std::string_view detail);
Status noSuchTable(const std::string& file, std::string operation, std::string_view detail);
Status noSuchColumn(const std::string& file, std::string operation, std::string_view detail);
Status requestRejected(const std::string& file, std::string operation, std::string_view detail);

// A row of `table` that a walk meant to change was not there any more.
Status rowRemovedMeanwhile(const std::string& file, std::string operation, const std::string& table);

}  // namespace kestrova::data
