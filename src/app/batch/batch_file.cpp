#include "app/batch/batch_file.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "app/combine_command.h"
#include "app/id_text.h"
#include "app/sha256.h"
#include "data/ascii_text.h"
#include "data/utf8_text.h"

namespace kestrova::app {
namespace {

using combine::CombineKind;
using data::lowered;
using data::trimmed;

// The blanks a line's fields are trimmed of.
constexpr std::string_view kBlanks = " \t";
bool isBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

// What the earlier lines of one kind say of each ID, kept in hash maps so
// that the check of a file grows with its length, however many lines share
// an ID.
struct EarlierLines {
  struct AsFrom {
    int first;            // the first line with this From
    std::string firstTo;  // its To
    int firstOtherTo;     // the first line with this From and another To, or 0
    std::string otherTo;  // its To
  };
  std::unordered_map<std::string, AsFrom> froms;
  std::unordered_map<std::string, int> lastWith;  // ID -> the last line naming it as From or To
};

// Applies the rules that compare a line with the earlier lines of its kind,
// then adds the line to them.
void checkAgainstEarlierLines(EarlierLines& earlier, BatchLine& line, std::vector<BatchRefusal>& refusals) {
  const std::string& from = line.from;
  const std::string& to = line.to;
  if (from == to) {
    refusals.push_back({line.number, "its From and To are both " + from + ": there is nothing to combine"});
  }
  if (const auto asFrom = earlier.froms.find(from); asFrom != earlier.froms.end()) {
    // The first earlier line of this From that went to another To.
    const bool firstWentElsewhere = asFrom->second.firstTo != to;
    const int other = firstWentElsewhere ? asFrom->second.first : asFrom->second.firstOtherTo;
    if (other != 0) {
      refusals.push_back({line.number,
                          "its From " + from + " goes to " +
                              (firstWentElsewhere ? asFrom->second.firstTo : asFrom->second.otherTo) +
                              " on an earlier line; one record cannot be combined into two",
                          other});
    }
  }
  if (const auto combinedAway = earlier.froms.find(to); combinedAway != earlier.froms.end()) {
    refusals.push_back({line.number,
                        "its To " + to +
                            " was the From of an earlier line, so it was combined away; combining into it would "
                            "bring it back",
                        combinedAway->second.first});
  }
  for (const std::string* id : {&from, &to}) {
    const auto last = earlier.lastWith.find(*id);
    if (last != earlier.lastWith.end() &&
        std::find(line.dependsOn.begin(), line.dependsOn.end(), last->second) == line.dependsOn.end()) {
      line.dependsOn.push_back(last->second);
    }
  }
  std::sort(line.dependsOn.begin(), line.dependsOn.end());

  const auto [asFrom, firstOfFrom] = earlier.froms.try_emplace(from, EarlierLines::AsFrom{line.number, to, 0, {}});
  if (!firstOfFrom && asFrom->second.firstOtherTo == 0 && asFrom->second.firstTo != to) {
    asFrom->second.firstOtherTo = line.number;
    asFrom->second.otherTo = to;
  }
  earlier.lastWith[from] = line.number;
  earlier.lastWith[to] = line.number;
}

}  // namespace

std::optional<CombineKind> kindFromWord(std::string_view word) { return kindNamed(lowered(word)); }

bool splitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* problem) {
  fields->clear();
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && isBlank(line[i])) ++i;
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        field += line[i++];
      }
      if (!closed) {
        *problem = "a quoted field is not closed (a field cannot hold a line break)";
        return false;
      }
      while (i < line.size() && isBlank(line[i])) ++i;
      if (i < line.size() && line[i] != ',') {
        *problem = "text follows the closing quote of field " + std::to_string(fields->size() + 1);
        return false;
      }
    } else {
      const std::size_t end = std::min(line.find(',', i), line.size());
      const std::string_view raw = trimmed(line.substr(i, end - i), kBlanks);
      if (raw.find('"') != std::string_view::npos) {
        *problem = "field " + std::to_string(fields->size() + 1) + " holds a quote but is not quoted";
        return false;
      }
      field = std::string(raw);
      i = end;
    }
    fields->push_back(std::move(field));
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

std::string csvField(std::string_view text) {
  // A field that a spreadsheet would run as a formula is written as text.
  std::string guarded;
  if (!text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos) {
    guarded = "'" + std::string(text);
    text = guarded;
  }
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (isBlank(text.front()) || isBlank(text.back())));
  if (!quote) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

BatchFile readBatchFile(std::string_view bytes) {
  BatchFile file;
  file.digest = sha256Hex(bytes);
  if (data::utf16Text(bytes)) {
    // Read as UTF-8, its every other byte would be a NUL.
    file.refusals.push_back({1, "the file is UTF-16 text (as Notepad saves \"Unicode\"), not UTF-8; save it as "
                                "UTF-8 and run it again"});
    return file;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);

  std::map<CombineKind, EarlierLines> earlier;
  bool headerAllowed = true;
  int number = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string_view text = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (text.ends_with('\r')) text.remove_suffix(1);
    const std::string_view content = trimmed(text, kBlanks);
    if (content.empty() || content.front() == '#') continue;

    std::vector<std::string> fields;
    std::string problem;
    const bool wellFormed = splitCsvLine(text, &fields, &problem);
    const bool header = headerAllowed;
    headerAllowed = false;
    if (!wellFormed) {
      file.refusals.push_back({number, "the line is not well-formed CSV: " + problem});
      file.lines.push_back(BatchLine{number, std::nullopt, {}, {}, {}, {}, {}});
      continue;
    }
    const std::vector<std::string>& words = fields;
    bool utf8 = true;
    for (const std::string& field : fields) utf8 = utf8 && isUtf8(field);
    if (header && utf8 && words.size() == 3 && lowered(words[0]) == "kind" && lowered(words[1]) == "from" &&
        lowered(words[2]) == "to") {
      continue;
    }

    BatchLine line{number, std::nullopt, {}, {}, {}, {}, {}};
    if (!utf8) {
      file.refusals.push_back({number, "the line is not UTF-8 text"});
    } else if (words.size() != 3) {
      file.refusals.push_back({number, "it has " + std::to_string(words.size()) +
                                           (words.size() == 1 ? " field" : " fields") +
                                           "; a line holds three: kind,from,to"});
    } else if (!(line.kind = kindFromWord(words[0]))) {
      file.refusals.push_back(
          {number, "unknown kind '" + words[0] + "'; use customer, vehicle or employee"});
    } else {
      line.fromAsWritten = words[1];
      line.toAsWritten = words[2];
      // Upper-cased and checked as the window's boxes are.
      line.from = upperCased(words[1]);
      line.to = upperCased(words[2]);
      for (const auto& [which, id] : {std::pair{"From", &line.from}, std::pair{"To", &line.to}}) {
        if (!CombineCommand::idAccepted(*line.kind, *id)) {
          file.refusals.push_back({number, std::string("its ") + which + " '" + *id +
                                               "' is refused: " + CombineCommand::idRefusal(*line.kind)});
        }
      }
      checkAgainstEarlierLines(earlier[*line.kind], line, file.refusals);
    }
    file.lines.push_back(std::move(line));
  }
  return file;
}

std::vector<std::vector<std::size_t>> groupsToRun(const BatchFile& file, const std::set<int>& finished) {
  std::map<int, std::size_t> indexOf;
  std::vector<std::size_t> level(file.lines.size(), 0);
  // The group of each level and kind, by the order of its first line.
  std::map<std::pair<std::size_t, combine::CombineKind>, std::size_t> groupOf;
  std::vector<std::pair<std::size_t, std::vector<std::size_t>>> groups;  // level, lines
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    const BatchLine& line = file.lines[i];
    indexOf[line.number] = i;
    if (!line.kind || finished.contains(line.number)) continue;
    for (int earlier : line.dependsOn) {
      const auto found = indexOf.find(earlier);
      if (found != indexOf.end() && !finished.contains(earlier)) level[i] = std::max(level[i], level[found->second] + 1);
    }
    const auto [group, added] = groupOf.try_emplace({level[i], *line.kind}, groups.size());
    if (added) groups.push_back({level[i], {}});
    groups[group->second].second.push_back(i);
  }
  std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::vector<std::size_t>> ordered;
  for (auto& group : groups) ordered.push_back(std::move(group.second));
  return ordered;
}

std::string describeRefusal(const BatchRefusal& refusal) {
  std::string text = "line " + std::to_string(refusal.line) + ": refused: " + refusal.reason;
  if (refusal.otherLine != 0) text += " (line " + std::to_string(refusal.otherLine) + ")";
  return text;
}

}  // namespace kestrova::app
