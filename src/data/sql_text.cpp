#include "data/sql_text.h"

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

}  // namespace kestrova::data
