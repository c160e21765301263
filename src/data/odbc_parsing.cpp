#include "data/odbc_parsing.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "data/ascii_text.h"

namespace kestrova::data {
namespace {

bool opensQuote(char c) { return c == '\'' || c == '"' || c == '`' || c == '['; }

constexpr std::size_t kLeftOpen = std::string_view::npos;

// One past the closing quote of the quoted part (a literal or a quoted name)
// that opens at `text[at]`, or kLeftOpen. A doubled quote inside reads as the
// end of one part and the start of the next.
std::size_t pastQuoted(std::string_view text, std::size_t at) {
  const std::size_t close = text.find(text[at] == '[' ? ']' : text[at], at + 1);
  return close == std::string_view::npos ? kLeftOpen : close + 1;
}

}  // namespace

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return lowered(haystack).find(lowered(needle)) != std::string::npos;
}

bool holdsSecondStatement(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (opensQuote(text[i])) {
      i = pastQuoted(text, i);
      if (i == kLeftOpen) return false;
    } else if (text[i] == ';' && !trimmed(text.substr(i + 1)).empty()) {
      return true;
    } else {
      ++i;
    }
  }
  return false;
}

bool splitSelect(std::string_view source, SelectParts* out) {
  if (source.size() < 7 || !sameIgnoringCase(source.substr(0, 6), "select") ||
      !std::isspace(static_cast<unsigned char>(source[6]))) {
    return false;
  }
  for (std::size_t i = 6; i + 5 < source.size(); ++i) {
    const char c = source[i];
    if (opensQuote(c)) {
      const std::size_t end = pastQuoted(source, i);
      if (end == kLeftOpen) return false;
      i = end - 1;
      continue;
    }
    if (!std::isspace(static_cast<unsigned char>(c)) || !sameIgnoringCase(source.substr(i + 1, 4), "from") ||
        !std::isspace(static_cast<unsigned char>(source[i + 5]))) {
      continue;
    }
    out->list = std::string(trimmed(source.substr(6, i - 6)));
    std::string_view after = trimmed(source.substr(i + 5));
    std::size_t end = 0;
    if (!after.empty() && (after[0] == '"' || after[0] == '[' || after[0] == '`')) {
      const char close = after[0] == '[' ? ']' : after[0];
      end = after.find(close, 1);
      if (end == std::string_view::npos) return false;
      out->table = std::string(after.substr(1, end - 1));
      ++end;
    } else {
      while (end < after.size() && !std::isspace(static_cast<unsigned char>(after[end])) && after[end] != ';') ++end;
      out->table = std::string(after.substr(0, end));
    }
    out->rest = std::string(after.substr(end));
    return !out->list.empty() && !out->table.empty();
  }
  return false;
}

std::string respelledNames(std::string_view text,
                           const std::function<std::optional<std::string>(std::string_view)>& spelling) {
  const auto starts = [](char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_' || static_cast<unsigned char>(c) >= 0x80;
  };
  const auto continues = [&](char c) {
    return starts(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '$';
  };
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (opensQuote(c)) {
      const std::size_t end = std::min(pastQuoted(text, i), text.size());
      out.append(text.substr(i, end - i));
      i = end;
    } else if (continues(c)) {
      std::size_t end = i;
      while (end < text.size() && continues(text[end])) ++end;
      const std::string_view word = text.substr(i, end - i);
      std::optional<std::string> spelled = starts(c) ? spelling(word) : std::nullopt;
      out += spelled ? std::string_view(*spelled) : word;
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

WithParameters textsAsParameters(std::string_view sql) {
  WithParameters out;
  out.sql.reserve(sql.size());
  for (std::size_t i = 0; i < sql.size();) {
    if (!opensQuote(sql[i])) {
      out.sql += sql[i++];
      continue;
    }
    std::size_t end = pastQuoted(sql, i);
    if (sql[i] != '\'') {  // a quoted name goes over as it stands
      end = std::min(end, sql.size());
      out.sql.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    // A literal: parts that meet (a doubled quote) are one text with a quote
    // between them.
    std::string value;
    std::size_t at = i;
    while (end != kLeftOpen) {
      value.append(sql.substr(at + 1, end - at - 2));
      if (end == sql.size() || sql[end] != '\'') break;
      value += '\'';
      at = end;
      end = pastQuoted(sql, at);
    }
    if (end == kLeftOpen) {
      out.sql.append(sql.substr(i));  // for the data source to refuse
      break;
    }
    out.sql += '?';
    out.values.push_back(std::move(value));
    i = end;
  }
  return out;
}

bool splitPairs(std::string_view text, std::vector<ConnectionPair>* out, std::string* problem) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    bool braced = false;
    const std::size_t equals = text.find('=', at);
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == at) {
      ++at;
      continue;
    }
    if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
      *problem = "\"" + std::string(trimmed(text.substr(at, semicolon - at))) + "\" is not of the form key=value";
      return false;
    }
    const std::string key(trimmed(text.substr(at, equals - at)));
    std::size_t valueStart = equals + 1;
    while (valueStart < text.size() && text[valueStart] == ' ') ++valueStart;
    if (valueStart < text.size() && text[valueStart] == '{') {
      end = text.find('}', valueStart);
      if (end == std::string_view::npos) {
        *problem = "the value of " + key + " opens a brace that is never closed";
        return false;
      }
      braced = true;
      ++end;
    }
    const std::size_t stop = text.find(';', braced ? end : valueStart);
    const std::size_t valueEnd = stop == std::string_view::npos ? text.size() : stop;
    if (key.empty()) {
      *problem = "a key=value pair has no key";
      return false;
    }
    out->push_back(ConnectionPair{key, std::string(trimmed(text.substr(valueStart, valueEnd - valueStart)))});
    at = valueEnd == text.size() ? valueEnd : valueEnd + 1;
  }
  return true;
}

const ConnectionPair* findPair(const std::vector<ConnectionPair>& pairs, std::string_view key) {
  for (const ConnectionPair& pair : pairs) {
    if (sameIgnoringCase(pair.key, key)) return &pair;
  }
  return nullptr;
}

std::string unbraced(std::string_view value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace kestrova::data
