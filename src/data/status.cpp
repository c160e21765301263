#include "data/status.h"

#include <utility>

namespace kestrova::data {

Status::Status(Code code, std::string file, std::string operation, std::string reason)
    : code_(code), file_(std::move(file)), operation_(std::move(operation)), reason_(std::move(reason)) {}

Status Status::error(Code code, std::string file, std::string operation, std::string reason) {
  return Status(code, std::move(file), std::move(operation), std::move(reason));
}

std::string Status::message() const {
  if (isOk()) return "OK";
  std::string text;
  if (!file_.empty()) text += file_ + ", ";
  text += operation_;
  text += ": ";
  text += reason_;
  return text;
}

}  // namespace kestrova::data
