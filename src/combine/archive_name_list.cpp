#include "combine/archive_name_list.h"

namespace kestrova::combine {

void ArchiveNameList::clear() {
  names_.clear();
  known_.clear();
}

bool ArchiveNameList::namesAnArchive(const std::string& archive) {
  // Only blanks count as empty: a name of tabs is still a file name.
  return archive.find_first_not_of(' ') != std::string::npos;
}

void ArchiveNameList::offer(const std::string& archive) {
  if (!namesAnArchive(archive)) return;
  if (known_.insert(archive).second) names_.push_back(archive);
}

}  // namespace kestrova::combine
