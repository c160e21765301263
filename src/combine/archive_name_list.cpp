#include "combine/archive_name_list.h"

namespace kestrova::combine {

void ArchiveNameList::clear() {
  names_.clear();
  known_.clear();
}

void ArchiveNameList::offer(const std::string& archive) {
  // Only blanks count as empty: a name of tabs is still a file name.
  if (archive.find_first_not_of(' ') == std::string::npos) return;
  if (known_.insert(archive).second) names_.push_back(archive);
}

}  // namespace kestrova::combine
