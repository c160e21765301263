#include "app/store_choice.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "data/ascii_text.h"
#include "data/file_kind_engine.h"
#include "data/odbc_engine.h"
#include "data/platform.h"

namespace kestrova::app {

bool StoreChoice::choose(const std::optional<std::string>& option, StoreChoice* out, std::string* problem,
                         const std::optional<std::string>& setting) {
  std::optional<std::string> text = option;
  const char* from = "--odbc";
  if (!text) {
    if (std::string environment = data::environmentVariable("KESTROVA_ODBC"); !environment.empty()) {
      text = std::move(environment);
    }
    from = "KESTROVA_ODBC";
  }
  if (!text && setting) {
    text = setting;
    from = "the settings file";
  }
  *out = StoreChoice{};
  if (!text) return true;

  data::OdbcTemplate parsed;
  std::string reason;
  if (!data::OdbcTemplate::parse(*text, &parsed, &reason)) {
    *problem = std::string("the connection template of ") + from + " cannot be used: " + reason;
    return false;
  }
  if (!parsed.driver().empty()) {
    const std::vector<std::string> installed = data::installedOdbcDrivers();
    // The driver manager also loads a driver named by the full path of its
    // library.
    const std::filesystem::path library = data::pathFromUtf8(parsed.driver());
    std::error_code ignored;
    const bool found = (library.is_absolute() && std::filesystem::is_regular_file(library, ignored)) ||
                       std::any_of(installed.begin(), installed.end(), [&](const std::string& driver) {
                         return data::sameIgnoringCase(driver, parsed.driver());
                       });
    if (!found) {
      std::string list;
      for (const std::string& driver : installed) list += (list.empty() ? "" : ", ") + driver;
      *problem = std::string("the connection template of ") + from + " names the ODBC driver \"" + parsed.driver() +
                 "\", which is not installed; installed drivers: " + (list.empty() ? std::string("none") : list);
      return false;
    }
  }
  out->template_ = std::move(parsed);
  return true;
}

std::unique_ptr<data::StoreEngine> StoreChoice::makeEngine(bool readOnly) const {
  if (template_) {
    return std::make_unique<data::OdbcEngine>(
        *template_, data::OdbcEngine::kDefaultLockWait,
        readOnly ? data::OdbcEngine::Access::kReadOnly : data::OdbcEngine::Access::kReadWrite);
  }
  // Without a template each file is opened as what it is: SQLite, or Access
  // through the installed Access driver.
  return std::make_unique<data::FileKindEngine>(readOnly ? data::FileKindEngine::Access::kReadOnly
                                                         : data::FileKindEngine::Access::kReadWrite);
}

}  // namespace kestrova::app
