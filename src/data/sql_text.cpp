#include "data/sql_text.h"

#include <algorithm>

namespace kestrova::data {

std::string sqlQuoteBody(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  // A walk asks for the same spelling on every row: the exact match first.
  return a == b ||
         std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace kestrova::data
