#include "app/combine_request.h"

namespace kestrova::app {

std::string kindName(combine::CombineKind kind) {
  switch (kind) {
    case combine::CombineKind::kCustomer:
      return "customer";
    case combine::CombineKind::kVehicle:
      return "vehicle";
    case combine::CombineKind::kEmployee:
      break;
  }
  return "employee";
}

std::optional<combine::CombineKind> kindNamed(std::string_view word) {
  for (const combine::CombineKind kind :
       {combine::CombineKind::kCustomer, combine::CombineKind::kVehicle, combine::CombineKind::kEmployee}) {
    if (word == kindName(kind)) return kind;
  }
  return std::nullopt;
}

}  // namespace kestrova::app
