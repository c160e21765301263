// A private PostgreSQL server for tests and the benchmark: a cluster made
// in a temporary folder, listening on a unix socket in that folder only,
// stopped by its own pid and deleted when the object goes. When the process
// runs as root, the cluster's files and server belong to the `postgres` user
// (the server refuses to run as root).
//
// A shop is loaded into it one database per shop file, named as the file's
// bare name without extension, in its exact case ("kestrova", "ARC2023").
// Each table gets `id bigint primary key` holding the SQLite rowid, then the
// file's columns typed as SQLite declares them, and the file's indexes.
// Table and column names are created unquoted, so that the shop's SQL, which
// names them unquoted, finds them; or, as a tool that quotes every name
// would move them, quoted in their own case ("History"."AutoID").

#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::testing {

class PostgresCluster {
 public:
  // Why no cluster can be started here (PostgreSQL is not installed, or
  // there is no non-root user to run it as), or nothing when one can.
  static std::optional<std::string> unavailableReason();

  // Makes and starts the cluster in a new folder under `parent` (the
  // system's temporary folder when empty). `durable` false turns off the
  // server's flushes to the disk, for tests. Throws std::runtime_error.
  explicit PostgresCluster(const std::filesystem::path& parent = {}, bool durable = false);
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  const std::filesystem::path& socketFolder() const { return folder_; }
  int port() const { return kPort; }
  pid_t serverPid() const { return serverPid_; }

  // The ODBC connection template for the psqlODBC driver, with {name}.
  std::string odbcTemplate() const;

  // Runs `sql` in `database` through psql; returns what it printed
  // (unaligned, tuples only, fields separated by a tab). Throws on failure.
  std::string psql(const std::string& database, const std::string& sql) const;

  enum class Names { kBare, kQuoted };

  // Creates anew one database per shop file (*.mdb, *.arc) in `folder`, each
  // named `prefix` + the file's bare name, and copies the file's tables,
  // rows and indexes into it, their names made as `names` says.
  void loadShop(const std::filesystem::path& folder, const std::string& prefix = "", Names names = Names::kBare) const;

  // Every table of `database`, each row as psql prints it, ordered by id.
  std::vector<std::string> dump(const std::string& database) const;

  // Stops the server (by its pid) and deletes the folder. Done by the
  // destructor when not done before.
  void stop();

 private:
  static constexpr int kPort = 5432;  // the socket is in our own folder

  std::string run(const std::string& command) const;  // as the cluster's owner when root
  void loadFile(const std::filesystem::path& file, const std::string& database, Names naming) const;

  std::filesystem::path folder_;
  std::filesystem::path bin_;
  std::string owner_;  // the user that runs the server; empty when it is us
  pid_t serverPid_ = -1;
};

}  // namespace kestrova::testing
