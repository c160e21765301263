// SHA-256 of a run of bytes, for the digest that ties a batch journal to
// the batch file it was written for.

#pragma once

#include <string>
#include <string_view>

namespace kestrova::app {

// The digest in lower-case hexadecimal, 64 characters.
std::string sha256Hex(std::string_view bytes);

}  // namespace kestrova::app
