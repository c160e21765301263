#include "data/visible_text.h"

#include "data/utf8_text.h"

namespace kestrova::data {
namespace {

std::string visible(std::string_view text, bool keepLineBreaks) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    const std::optional<char32_t> c = nextCodePoint(text, &at);
    if (c && *c == '\n' && keepLineBreaks) {
      shown += '\n';
    } else if (!c || *c < 0x20 || *c == 0x7f) {
      // A control character, or a byte that is not part of UTF-8 text.
      const auto byte = static_cast<unsigned char>(text[start]);
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xf];
    } else if (*c >= 0x80 && *c <= 0x9f) {
      // U+0080 to U+009F, among them the one-character CSI.
      shown += "\\u00";
      shown += kHex[*c >> 4];
      shown += kHex[*c & 0xf];
    } else {
      shown.append(text.substr(start, at - start));
    }
  }
  return shown;
}

}  // namespace

std::string visibleText(std::string_view text) { return visible(text, false); }

std::string visibleLines(std::string_view text) { return visible(text, true); }

}  // namespace kestrova::data
