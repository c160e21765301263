#include "data/status.h"

#include <utility>

namespace kestrova::data {

Status::Status(Code code, std::string file, std::string operation, std::string reason)
    : code_(code),
      detail_(std::make_shared<const Detail>(Detail{std::move(file), std::move(operation), std::move(reason)})) {}

const Status::Detail& Status::detail() const {
  static const Detail kNone;
  return detail_ != nullptr ? *detail_ : kNone;
}

Status Status::error(Code code, std::string file, std::string operation, std::string reason) {
  return Status(code, std::move(file), std::move(operation), std::move(reason));
}

std::string Status::message() const {
  if (isOk()) return "OK";
  std::string text;
  if (!file().empty()) text += file() + ", ";
  text += operation();
  text += ": ";
  text += reason();
  return text;
}

}  // namespace kestrova::data
