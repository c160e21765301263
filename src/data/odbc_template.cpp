#include "data/odbc_template.h"

#include <string>
#include <vector>

#include "data/ascii_text.h"
#include "data/platform.h"
#include "data/odbc_parsing.h"
#include "data/shop_path.h"

namespace kestrova::data {

bool OdbcTemplate::parse(const std::string& text, OdbcTemplate* out, std::string* problem) {
  std::vector<ConnectionPair> pairs;
  if (!splitPairs(text, &pairs, problem)) return false;
  OdbcTemplate result;
  bool placeholder = false;
  for (const ConnectionPair& pair : pairs) {
    const bool isDriver = sameIgnoringCase(pair.key, "driver");
    // Every brace outside a driver's name is a placeholder.
    for (std::size_t open = pair.value.find('{'); open != std::string::npos; open = pair.value.find('{', open + 1)) {
      const std::size_t close = pair.value.find('}', open);
      const std::string inside = pair.value.substr(open + 1, close == std::string::npos ? close : close - open - 1);
      if (inside == "path" || inside == "name") {
        placeholder = true;
        if (inside == "path") result.usesPath_ = true;
      } else if (!isDriver) {
        *problem = "unknown placeholder {" + inside + "} in " + pair.key + "; use {path} or {name}";
        return false;
      }
    }
    if (isDriver) result.driver_ = unbraced(pair.value);
  }
  if (!placeholder) {
    *problem = "the template names no shop file; put {path} (the file's full path) or {name} (its bare name) in it";
    return false;
  }
  if (result.driver_.empty() && findPair(pairs, "dsn") == nullptr && findPair(pairs, "filedsn") == nullptr) {
    *problem = "the template names no driver (Driver=...) and no data source (DSN=...)";
    return false;
  }
  // psqlODBC's other protocols undo a whole transaction for one failed
  // statement, or go on and report a commit that kept nothing.
  if (const ConnectionPair* protocol = findPair(pairs, "protocol"); protocol != nullptr && protocol->value != "7.4-2") {
    *problem = "Protocol=" + protocol->value +
               " is refused: with it a refused row undoes every change before it, or changes are reported as saved "
               "when they were not; leave Protocol out";
    return false;
  }
  std::string finished = text;
  if (containsIgnoringCase(result.driver_, "sqlite")) {
    // Without NoCreat the SQLite driver makes a missing file, empty.
    if (const ConnectionPair* noCreate = findPair(pairs, "nocreat"); noCreate == nullptr) {
      if (!finished.empty() && finished.back() != ';') finished += ';';
      finished += "NoCreat=1";
    } else if (noCreate->value != "1") {
      *problem = "NoCreat=" + noCreate->value + " would let the driver create a missing file; use NoCreat=1";
      return false;
    }
    // Its wait for a locked file: 0 would mean 1,000,000 ms.
    if (const ConnectionPair* timeout = findPair(pairs, "timeout");
        timeout != nullptr &&
        (timeout->value.empty() || timeout->value.find_first_not_of("0123456789") != std::string::npos ||
         std::stoll(timeout->value.substr(0, 9)) == 0)) {
      *problem = "Timeout=" + timeout->value +
                 " would let the driver wait without a useful bound for a locked file; give milliseconds above 0 or "
                 "leave Timeout out";
      return false;
    }
    result.setsLockWait_ = findPair(pairs, "timeout") != nullptr;
  }
  result.text_ = std::move(finished);
  *out = std::move(result);
  return true;
}

bool OdbcTemplate::connectionString(const std::filesystem::path& path, std::string* out, std::string* problem) const {
  const std::string full = pathForDriver(path);
  const std::string bare = pathToUtf8(path.stem());
  for (const std::string* value : {&full, &bare}) {
    for (char c : *value) {
      if (c == ';' || c == '{' || c == '}' || static_cast<unsigned char>(c) < 0x20) {
        *problem = "the name holds a character (" + std::string(1, c) +
                   ") that cannot stand in a connection string; rename the file";
        return false;
      }
    }
  }
  std::string result;
  for (std::size_t at = 0; at < text_.size();) {
    if (text_.compare(at, 6, "{path}") == 0) {
      result += full;
      at += 6;
    } else if (text_.compare(at, 6, "{name}") == 0) {
      result += bare;
      at += 6;
    } else {
      result += text_[at++];
    }
  }
  *out = std::move(result);
  return true;
}

}  // namespace kestrova::data
