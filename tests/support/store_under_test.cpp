#include "support/store_under_test.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "data/odbc_engine.h"
#include "data/sqlite_store.h"
#include "support/scoped_env.h"

namespace kestrova::testing {
namespace {

std::string& odbcTemplate() {
  static std::string text;
  return text;
}

bool chooseStore() {
  const char* store = std::getenv("KESTROVA_TEST_STORE");
  if (store == nullptr || std::string_view(store).empty() || std::string_view(store) == "sqlite") {
    setEnv("KESTROVA_ODBC", std::nullopt);  // a developer's own setting must not change what a test runs on
    return false;
  }
  if (std::string_view(store) == "sqlite-odbc") {
    odbcTemplate() = kSqliteOdbcTemplate;
  } else if (std::string_view(store) == "jet-odbc") {
#if defined(KESTROVA_JET_DRIVER)
    odbcTemplate() = std::string("Driver=") + KESTROVA_JET_DRIVER + ";Database={path}";
#elif defined(KESTROVA_JET_DSN)
    odbcTemplate() = std::string("DSN=") + KESTROVA_JET_DSN + ";Database={path}";
#else
    throw std::runtime_error("the Access-shaped test driver is not built here");
#endif
  } else {
    throw std::runtime_error("unknown KESTROVA_TEST_STORE");
  }
  setEnv("KESTROVA_ODBC", odbcTemplate());
  return true;
}

const bool onOdbc = chooseStore();

}  // namespace

const std::string& odbcTemplateUnderTest() { return odbcTemplate(); }

bool rowsKeepTheirIdentity() {
  const char* store = std::getenv("KESTROVA_TEST_STORE");
  return store == nullptr || std::string_view(store) != "jet-odbc";
}

bool odbcUnderTest() { return onOdbc; }

std::unique_ptr<data::StoreEngine> makeStoreEngine(std::chrono::milliseconds lockWait, bool readOnly) {
  if (!onOdbc) {
    return std::make_unique<data::SqliteEngine>(
        lockWait, readOnly ? data::SqliteEngine::Access::kReadOnly : data::SqliteEngine::Access::kReadWrite);
  }
  data::OdbcTemplate parsed;
  std::string problem;
  if (!data::OdbcTemplate::parse(odbcTemplate(), &parsed, &problem)) throw std::runtime_error(problem);
  return std::make_unique<data::OdbcEngine>(
      parsed, lockWait, readOnly ? data::OdbcEngine::Access::kReadOnly : data::OdbcEngine::Access::kReadWrite);
}

}  // namespace kestrova::testing
