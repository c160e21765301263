// The IDs as text: UTF-8 in, UTF-8 out, with no toolkit.
//
// An ID is upper-cased the way the window's Go upper-cases its boxes, and
// counted in characters as a person sees them, so that a letter with a
// combining accent is one character of a 7-character ID.

#pragma once

#include <string>
#include <string_view>

#include "data/utf8_text.h"

namespace kestrova::app {

// An employee number: digits in the # places, the dashes where they stand.
inline constexpr char kEmployeeNumberMask[] = "###-##-####";
// The same with no digit in it yet, as an employee box shows it empty.
inline constexpr char kEmptyEmployeeNumber[] = "___-__-____";

// `text` with its letters in upper case. ASCII letters, and the letters of
// the Latin-1 and Latin Extended-A ranges, Greek and Cyrillic that have a
// single upper-case form, are upper-cased one for one ("é" to "É"); every
// other character, and a letter whose upper case is more than one letter
// ("ß"), stays as it stands. Bytes that are not UTF-8 are kept as they are.
std::string upperCased(std::string_view text);

// The number of characters a person sees: a base character with the
// combining marks, variation selectors and joined emoji that follow it
// counts once; so does a CR LF pair and a pair of regional indicators.
int visibleLength(std::string_view text);

// Whether `bytes` is well-formed UTF-8, and the same with U+FFFD for what is
// not, as a program argument is read.
using data::isUtf8;
using data::validUtf8;

}  // namespace kestrova::app
