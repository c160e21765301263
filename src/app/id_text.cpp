#include "app/id_text.h"

#include <cstdint>
#include <optional>

#include "data/utf8_text.h"

namespace kestrova::app {
namespace {

using data::appendUtf8;
using data::nextCodePoint;
constexpr char32_t kReplacement = data::kReplacementCharacter;

// The one upper-case letter of `c`, or `c` itself.
char32_t upperOf(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;  // micro sign: Greek capital mu
  // Latin-1: à to þ, but not the division sign.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: capital and small letters alternate, in two runs.
  if (c == 0x131) return U'I';  // dotless i
  if (c == 0x17F) return U'S';  // long s
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c % 2 == 1 ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 0 ? c - 1 : c;
  // Greek: the plain small letters, the final sigma, and the accented ones.
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  // Cyrillic: а to я, then ѐ to џ.
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

// Whether `c` belongs to the character before it rather than starting one.
bool extendsPrevious(char32_t c) {
  return (c >= 0x300 && c <= 0x36F) || (c >= 0x483 && c <= 0x489) || (c >= 0x591 && c <= 0x5BD) ||
         (c >= 0x610 && c <= 0x61A) || (c >= 0x64B && c <= 0x65F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || c == 0x200C || c == 0x200D || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0x1F3FB && c <= 0x1F3FF) ||
         (c >= 0xE0020 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF);
}

bool isRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

}  // namespace

std::string upperCased(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    const std::optional<char32_t> c = nextCodePoint(text, &at);
    if (c) {
      appendUtf8(upperOf(*c), &out);
    } else {
      out.append(text.substr(start, at - start));
    }
  }
  return out;
}

int visibleLength(std::string_view text) {
  int count = 0;
  std::optional<char32_t> previous;
  bool regionalPairOpen = false;
  for (std::size_t at = 0; at < text.size();) {
    const char32_t c = nextCodePoint(text, &at).value_or(kReplacement);
    bool joins = false;
    if (previous) {
      joins = extendsPrevious(c) || *previous == 0x200D || (*previous == U'\r' && c == U'\n') ||
              (regionalPairOpen && isRegionalIndicator(c));
    }
    regionalPairOpen = isRegionalIndicator(c) && !(joins && regionalPairOpen);
    if (!joins) ++count;
    previous = c;
  }
  return count;
}

}  // namespace kestrova::app
