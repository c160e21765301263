#include "data/visible_text.h"

namespace kestrova::data {
namespace {

std::string visible(std::string_view text, bool keepLineBreaks) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n' && keepLineBreaks) {
      shown += '\n';
    } else if (c < 0x20 || c == 0x7f) {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 0xf];
    } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      // U+0080 to U+009F, among them the one-character CSI.
      const auto low = static_cast<unsigned char>(text[++i]);
      shown += "\\u00";
      shown += kHex[low >> 4];
      shown += kHex[low & 0xf];
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

}  // namespace

std::string visibleText(std::string_view text) { return visible(text, false); }

std::string visibleLines(std::string_view text) { return visible(text, true); }

}  // namespace kestrova::data
