// The state of one combine run that the passes share.

#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "combine/archive_name_list.h"
#include "combine/error_trap.h"
#include "combine/feedback.h"
#include "data/shop_data_control.h"
#include "data/visible_text.h"

namespace kestrova::combine {

// The IDs of a run, as they stand in the kind's boxes after upper-casing.
struct CombineIds {
  std::string from;
  std::string to;
  // The From employee's nickname, when the lookup found one that is not
  // empty. Passes keyed by it are left out without it.
  std::optional<std::string> fromNickname;
  // The lookup of the From employee could not be made, so whether it has a
  // nickname is not known: the passes keyed by it count as failed, and the
  // archives they run in are not taken as updated.
  bool fromNicknameUnknown = false;
};

// An archive whose orders could not all be re-pointed. Its orders in the
// management database keep the From ID, so running the combine again with
// the archive at hand finds and finishes them.
struct MissedArchive {
  std::string name;  // as shown: control characters written visibly
  std::string reason;
  // Each failed opening of its file, as the gateway told it, so that a face
  // can put it in its own words.
  std::vector<data::Status> attempts = {};
  // In a run of many combines: the ones (indexes into the run's group)
  // whose orders it holds.
  std::vector<std::size_t> combines = {};
};

struct CombineRun {
  data::ShopDataControl& data;
  ErrorTrap& trap;
  Feedback& feedback;
  CombineIds ids;
  ArchiveNameList archives;
  std::vector<MissedArchive> archivesNotUpdated;
  // Set once work was left out because the user asked the run to stop.
  bool stopped = false;

  // The archives whose orders of the From ID this run gathered and then
  // re-pointed without a failure. Only the management orders naming one of
  // them may leave the From ID.
  std::set<std::string> archivesUpdated = {};

  // A run of many combines of one kind at once, none of which names an ID
  // of another: their IDs, in the order given. Every pass then walks its
  // table once for all of them, each archive is opened once, and `ids` holds
  // the IDs of the combine whose row is in hand. Empty in a single combine.
  std::vector<CombineIds> group = {};
  // The combines of the group that the steps under way are for: all that
  // still run, or those whose orders are in the archive that is open.
  std::vector<std::size_t> concerned = {};
  // For each combine of the group: whether it ended before its first
  // change (its From employee is missing), and the rows written or deleted
  // for it.
  std::vector<bool> ended = {};
  std::vector<std::size_t> rowsOf = {};
  // The group's combines whose management orders name each archive.
  std::map<std::string, std::set<std::size_t>> combinesOfArchive = {};
  // The combine of the row in hand.
  std::size_t current = 0;

  bool isGroup() const { return !group.empty(); }

  bool archiveUpdated(const std::string& name) const { return archivesUpdated.contains(name); }
  // Adds `name` to the archives not updated, once. The name and the reason
  // are kept as they are to be shown, their control characters visible.
  void missArchive(const std::string& name, const std::string& reason, std::vector<data::Status> attempts = {}) {
    const std::string shown = data::visibleText(name);
    for (MissedArchive& missed : archivesNotUpdated) {
      if (missed.name != shown) continue;
      for (std::size_t combine : concerned) {
        if (std::find(missed.combines.begin(), missed.combines.end(), combine) == missed.combines.end()) {
          missed.combines.push_back(combine);
        }
      }
      return;
    }
    archivesNotUpdated.push_back(MissedArchive{shown, data::visibleText(reason), std::move(attempts), concerned});
  }
};

// Whether the run is to stop before its next walk; remembers the answer.
inline bool stopBeforeNextWalk(CombineRun& run) {
  if (!run.stopped && run.feedback.stopRequested()) run.stopped = true;
  return run.stopped;
}

}  // namespace kestrova::combine
