// ArchiveNameList: the distinct archive names met while the management
// database's orders of the From record are read, in the order first met.
//
// A name is kept exactly as read: not trimmed, not case-folded, so names that
// differ only in case or blanks are different archives. There is no upper
// bound on the number of names.

#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace kestrova::combine {

class ArchiveNameList {
 public:
  void clear();

  // Gathers `archive` unless it is empty, all blanks, or already held.
  void offer(const std::string& archive);

  // Whether a value of `Archive` names an archive file at all: one that is
  // empty or all blanks names none.
  static bool namesAnArchive(const std::string& archive);

  std::size_t count() const { return names_.size(); }
  const std::string& name(std::size_t index) const { return names_[index]; }

 private:
  std::vector<std::string> names_;
  std::unordered_set<std::string> known_;
};

}  // namespace kestrova::combine
