// CombineRequest: the kind and the two IDs of one combine, as a face hands
// them to the combine command; and the kinds' words on the command line.

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "combine/procedures.h"

namespace kestrova::app {

struct CombineRequest {
  combine::CombineKind kind = combine::CombineKind::kCustomer;
  std::string fromId;  // as typed, UTF-8; the command upper-cases them
  std::string toId;
};

// "customer", "vehicle" or "employee".
std::string kindName(combine::CombineKind kind);

// The kind a word names, exactly as kindName() writes it; none for any other.
std::optional<combine::CombineKind> kindNamed(std::string_view word);

}  // namespace kestrova::app
