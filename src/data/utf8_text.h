// UTF-8, the one form of text inside the tool, and the forms it is read
// from: the bytes a SQLite file holds (any bytes, old code pages too) and
// UTF-16, as Windows editors save "Unicode" text.

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::data {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point that starts at `text[*at]`, moving `*at` past it; none
// (and `*at` past one byte) when the bytes there are not UTF-8. Overlong
// forms and encoded surrogates are not UTF-8.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t* at);

void appendUtf8(char32_t c, std::string* out);

// Whether `bytes` is well-formed UTF-8.
bool isUtf8(std::string_view bytes);

// `bytes` with every byte that is not part of well-formed UTF-8 replaced by
// U+FFFD.
std::string validUtf8(std::string_view bytes);

// Text in UTF-16, as a file holds it.
struct Utf16Text {
  std::string utf8;  // every unit that is not UTF-16 (a lone surrogate, an odd last byte) as U+FFFD
  bool wellFormed = true;
};

// The text of `bytes` when they are UTF-16: marked by a byte-order mark, or,
// without one, shaped as UTF-16 of mostly Latin text is (a NUL byte beside
// every other byte). Nothing for any other bytes.
std::optional<Utf16Text> utf16Text(std::string_view bytes);

}  // namespace kestrova::data
