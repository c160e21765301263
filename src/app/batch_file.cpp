#include "app/batch_file.h"

#include <map>

#include "app/combine_command.h"
#include "app/id_text.h"
#include "app/sha256.h"

namespace kestrova::app {
namespace {

using combine::CombineKind;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Letters A-Z in lower case, for the words of the kind and the header.
std::string asciiLowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct LineOfKind {
  int number;
  std::string from;
  std::string to;
};

// Applies the rules that compare a line with the earlier lines of its kind.
void checkAgainstEarlierLines(const std::vector<LineOfKind>& earlier, BatchLine& line,
                              std::vector<BatchRefusal>& refusals) {
  const std::string& from = line.from;
  const std::string& to = line.to;
  if (line.from == line.to) {
    refusals.push_back({line.number, "its From and To are both " + from + ": there is nothing to combine"});
  }
  for (const LineOfKind& other : earlier) {
    if (other.from == line.from && other.to != line.to) {
      refusals.push_back({line.number,
                          "its From " + from + " goes to " + other.to +
                              " on an earlier line; one record cannot be combined into two",
                          other.number});
      break;
    }
  }
  for (const LineOfKind& other : earlier) {
    if (other.from == line.to) {
      refusals.push_back({line.number,
                          "its To " + to +
                              " was the From of an earlier line, so it was combined away; combining into it would "
                              "bring it back",
                          other.number});
      break;
    }
  }
  for (const LineOfKind& other : earlier) {
    if (other.from == line.from || other.from == line.to || other.to == line.from || other.to == line.to) {
      line.dependsOn.push_back(other.number);
    }
  }
}

}  // namespace

std::optional<CombineKind> kindFromWord(std::string_view word) { return kindNamed(asciiLowered(word)); }

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
      const std::string_view raw = trimmed(line.substr(i, end - i));
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
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);

  std::map<CombineKind, std::vector<LineOfKind>> earlier;
  bool headerAllowed = true;
  int number = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string_view text = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (text.ends_with('\r')) text.remove_suffix(1);
    const std::string_view content = trimmed(text);
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
    if (header && utf8 && words.size() == 3 && asciiLowered(words[0]) == "kind" && asciiLowered(words[1]) == "from" &&
        asciiLowered(words[2]) == "to") {
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
      std::vector<LineOfKind>& ofKind = earlier[*line.kind];
      checkAgainstEarlierLines(ofKind, line, file.refusals);
      ofKind.push_back({number, line.from, line.to});
    }
    file.lines.push_back(std::move(line));
  }
  return file;
}

std::string describeRefusal(const BatchRefusal& refusal) {
  std::string text = "line " + std::to_string(refusal.line) + ": refused: " + refusal.reason;
  if (refusal.otherLine != 0) text += " (line " + std::to_string(refusal.otherLine) + ")";
  return text;
}

}  // namespace kestrova::app
