#include "data/utf8_text.h"

#include <algorithm>

namespace kestrova::data {

std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t* at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*at);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    ++*at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, least = 0x10000;
  }
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(*at + i) & 0xC0) != 0x80) {
      ++*at;
      return std::nullopt;
    }
    value = (value << 6) | (byte(*at + i) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++*at;
    return std::nullopt;
  }
  *at += length;
  return value;
}

void appendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isUtf8(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    if (!nextCodePoint(bytes, &at)) return false;
  }
  return true;
}

std::string validUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t start = at;
    if (nextCodePoint(bytes, &at)) {
      out.append(bytes.substr(start, at - start));
    } else {
      appendUtf8(kReplacementCharacter, &out);
    }
  }
  return out;
}

std::optional<Utf16Text> utf16Text(std::string_view bytes) {
  bool bigEndian = false;
  if (bytes.starts_with("\xFF\xFE")) {
    bytes.remove_prefix(2);
  } else if (bytes.starts_with("\xFE\xFF")) {
    bigEndian = true;
    bytes.remove_prefix(2);
  } else {
    // No mark: NUL bytes in the high halves of the first units tell it.
    const std::size_t units = std::min<std::size_t>(bytes.size() / 2, 64);
    std::size_t lowNul = 0;
    std::size_t highNul = 0;
    for (std::size_t i = 0; i < units; ++i) {
      if (bytes[2 * i] == '\0' && bytes[2 * i + 1] != '\0') ++highNul;
      if (bytes[2 * i + 1] == '\0' && bytes[2 * i] != '\0') ++lowNul;
    }
    if (units == 0 || (lowNul * 2 <= units && highNul * 2 <= units)) return std::nullopt;
    bigEndian = highNul > lowNul;
  }
  Utf16Text text;
  text.utf8.reserve(bytes.size() / 2);
  const auto unit = [&](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  };
  const std::size_t units = bytes.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(++i) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacementCharacter;
      text.wellFormed = false;
    }
    appendUtf8(c, &text.utf8);
  }
  if (bytes.size() % 2 != 0) {
    appendUtf8(kReplacementCharacter, &text.utf8);
    text.wellFormed = false;
  }
  return text;
}

}  // namespace kestrova::data
