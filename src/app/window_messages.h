// The window's words for what a run could not change.
//
// The gateway names each file by the name the shop knows ("mgmtdata.mdb",
// "A:ARC2023.arc") and says why it failed in words meant for whoever runs
// the tool, with the folders and settings behind them. The window speaks to
// a shop manager at the counter: it leaves this computer's folders out and
// says what to do instead ("put the archive file in the shop's folder").
// The command line keeps the fuller words.

#pragma once

#include <cstddef>
#include <string>

#include "app/run_report.h"
#include "data/status.h"

namespace kestrova::app {

// One failure as the window tells it: the file by its shop name, and what
// the manager can do about it.
std::string inShopWords(const data::Status& status);

// "ARC2023: A:ARC2023.arc: ...": an archive not updated, each place it was
// looked for in the window's words.
std::string archiveInShopWords(const combine::MissedArchive& archive);

inline constexpr Wording kShopWording{inShopWords, archiveInShopWords};

// The closing box of a run: its text stays short whatever the count, so the
// box fits the screen; `details` holds the whole list (empty when the text
// shows all of it). The text shows at most the first `linesShown` things
// not changed.
struct ClosingBoxText {
  std::string text;  // UTF-8
  std::string details;
};
inline constexpr std::size_t kClosingLinesShown = 3;
ClosingBoxText closingBoxText(const RunReport& report, std::size_t linesShown = kClosingLinesShown);

}  // namespace kestrova::app
