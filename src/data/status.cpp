#include "data/status.h"

#include <utility>

#include "data/visible_text.h"

namespace kestrova::data {

Status::Status(Code code, std::string file, std::string operation, std::string reason, bool noSuchFile)
    : code_(code),
      detail_(std::make_shared<const Detail>(
          Detail{std::move(file), std::move(operation), std::move(reason), noSuchFile})) {}

const Status::Detail& Status::detail() const {
  static const Detail kNone;
  return detail_ != nullptr ? *detail_ : kNone;
}

Status Status::error(Code code, std::string file, std::string operation, std::string reason) {
  return Status(code, std::move(file), std::move(operation), std::move(reason), false);
}

Status Status::noSuchFile(std::string file, std::string operation, const std::string& folder) {
  return Status(Code::kFileMissing, std::move(file), std::move(operation),
                folder.empty() ? "there is no such file" : "there is no such file in " + folder, true);
}

std::string Status::message() const {
  if (isOk()) return "OK";
  std::string text;
  // The file's name and the reason may hold text from the shop's data.
  if (!file().empty()) text += visibleText(file()) + ", ";
  text += operation();
  text += ": ";
  text += visibleText(reason());
  return text;
}

}  // namespace kestrova::data
