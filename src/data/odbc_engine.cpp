#include "data/odbc_engine.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "data/ascii_text.h"
#include "data/odbc_api.h"
#include "data/odbc_errors.h"
#include "data/odbc_parsing.h"
#include "data/odbc_store.h"
#include "data/platform.h"
#include "data/shop_path.h"

namespace kestrova::data {
namespace {

using Code = Status::Code;

// Whether the data source takes a savepoint inside a manual-commit
// transaction. Asked once, right after connecting and before anything is
// written, so that the store's answer never changes while a walk is under
// way: a savepoint opened and released at once, in a transaction that is
// then undone. Only a refusal of the statements themselves means "no"; a
// file that is busy or cannot be reached fails the opening, so that what a
// run saves when never depends on a passing lock.
Status probeSavepoints(Connection& connection, OdbcSource source, const std::string& name, const std::string& operation,
                       bool* taken) {
  *taken = false;
  if (!succeeded(connection.setAutoCommit(false))) {
    return Status::ok();  // no transactions: every walk is saved at its end
  }
  Status outcome = Status::ok();
  bool refused = false;
  for (const char* sql : {"SAVEPOINT walk", "RELEASE SAVEPOINT walk"}) {
    if (refused || !outcome.isOk()) break;
    Statement statement(connection);
    if (!statement.valid()) {
      outcome = translateDiagnostics(connection.diagnostics(), source, name, operation);
    } else if (!succeeded(statement.executeDirect(sql))) {
      const Status failed = translateDiagnostics(statement.diagnostics(), source, name, operation);
      if (failed.code() == Code::kBadRecordSource) {
        refused = true;
      } else {
        outcome = failed;
      }
    }
  }
  connection.endTransaction(false);
  connection.setAutoCommit(true);
  *taken = outcome.isOk() && !refused;
  return outcome;
}

}  // namespace

std::vector<std::string> installedOdbcDrivers() { return OdbcEnvironment().driverNames(); }

OdbcEngine::OdbcEngine(OdbcTemplate connectionTemplate, std::chrono::milliseconds lockWait, Access access)
    : template_(std::move(connectionTemplate)),
      usesName_(template_.text().find("{name}") != std::string::npos),
      lockWait_(lockWait),
      access_(access),
      environment_(std::make_shared<OdbcEnvironment>()) {}

OdbcEngine::~OdbcEngine() = default;

bool OdbcEngine::reachesSameSource(const std::filesystem::path& a, const std::filesystem::path& b) const {
  if (template_.usesPath() && sameShopFile(a, b)) return true;
  return usesName_ && sameIgnoringCase(pathToUtf8(a.stem()), pathToUtf8(b.stem()));
}

Status OdbcEngine::open(const std::filesystem::path& given, const std::string& name,
                        std::unique_ptr<DatabaseStore>* out) {
  const std::string operation = "opening the file";
  std::filesystem::path path = given;
  if (template_.usesPath()) {
    // The file is looked up as the shop's disks spelled it, then looked at:
    // no driver is given the chance to make it.
    const Status found = findShopDatabase(given, name, &path);
    if (!found.isOk()) return found;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  std::string connectionString;
  std::string problem;
  if (!template_.connectionString(error ? path : absolute, &connectionString, &problem)) {
    return Status::error(Code::kFileMissing, name, operation, problem);
  }
  const bool sqliteDriver = containsIgnoringCase(template_.driver(), "sqlite");
  if (sqliteDriver && !template_.setsLockWait()) {
    // The driver's own wait for a locked file, bounded as the SQLite
    // store's is (its default of 0 would wait for 1,000,000 ms).
    connectionString += ";Timeout=" + std::to_string(std::max<long long>(1, lockWait_.count()));
  }

  if (!environment_->started()) {
    return Status::error(Code::kIoError, name, operation, "the ODBC driver manager cannot be started");
  }
  auto connection = std::make_unique<Connection>();
  if (!connection->allocate(*environment_)) {
    return Status::error(Code::kIoError, name, operation, "the ODBC driver manager cannot make a connection");
  }
  connection->setLoginTimeout(std::max<std::int64_t>(1, lockWait_.count() / 1000));
  if (access_ == Access::kReadOnly) connection->askReadOnly();
  if (!succeeded(connection->connect(connectionString))) {
    const std::vector<Diagnostic> diagnostics = connection->diagnostics();
    Status failed =
        translateDiagnostics(diagnostics, sqliteDriver ? OdbcSource::kSqlite : OdbcSource::kOther, name, operation);
    if (failed.code() == Code::kBadRecordSource) {
      failed =
          Status::error(Code::kIoError, name, operation,
                        "the data source cannot be reached (" +
                            (diagnostics.empty() ? std::string("no reason given") : diagnostics.front().text) + ")");
    }
    return failed;
  }

  const std::string dbms = connection->dbmsName();
  const OdbcSource source = containsIgnoringCase(dbms, "sqlite")       ? OdbcSource::kSqlite
                            : containsIgnoringCase(dbms, "postgresql") ? OdbcSource::kPostgresql
                            : sameIgnoringCase(dbms, "ACCESS")         ? OdbcSource::kAccess
                                                                       : OdbcSource::kOther;
  // Nothing written on opening: only settings of this connection.
  std::vector<std::string> settings;
  if (source == OdbcSource::kPostgresql) {
    settings.push_back("SET lock_timeout = " + std::to_string(std::max<long long>(1, lockWait_.count())));
    if (access_ == Access::kReadOnly) settings.push_back("SET default_transaction_read_only = on");
  }
  // The SQLite driver connects to any file; its first read of the file
  // tells whether it is a database at all.
  if (source == OdbcSource::kSqlite) settings.push_back("PRAGMA schema_version");
  if (source == OdbcSource::kSqlite && access_ == Access::kReadOnly) settings.push_back("PRAGMA query_only = 1");
  for (const std::string& setting : settings) {
    Statement statement(*connection);
    if (!statement.valid() || !succeeded(statement.executeDirect(setting))) {
      return translateDiagnostics(statement.diagnostics(), source, name, operation);
    }
  }

  const bool readOnly = access_ == Access::kReadOnly;
  bool savepoints = false;
  if (!readOnly) {
    if (Status probed = probeSavepoints(*connection, source, name, operation, &savepoints); !probed.isOk()) {
      return probed;
    }
  }
  return openOdbcStore(environment_, std::move(connection), name, source, readOnly, savepoints, out);
}

}  // namespace kestrova::data
