#include "support/postgres_cluster.h"

#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kestrova::testing {
namespace {

namespace fs = std::filesystem;

// A word for sh, taken as it is.
std::string shellWord(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string sqlName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The newest PostgreSQL's programs, or an empty path.
fs::path serverPrograms() {
  std::error_code error;
  fs::path best;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
    const fs::path bin = entry.path() / "bin";
    if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && fs::exists(bin / "psql")) {
      // Versions 10 and later: the longer or greater name is the newer one.
      const std::string version = entry.path().filename().string();
      const std::string bestVersion = best.empty() ? "" : best.parent_path().filename().string();
      if (best.empty() || version.size() > bestVersion.size() ||
          (version.size() == bestVersion.size() && version > bestVersion)) {
        best = bin;
      }
    }
  }
  return best;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Text for COPY ... FROM STDIN: Null as \N, the separators escaped.
void appendCopyField(std::string& line, sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
    line += "\\N";
    return;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int length = sqlite3_column_bytes(statement, column);
  for (int i = 0; i < length; ++i) {
    switch (text[i]) {
      case '\\':
        line += "\\\\";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      default:
        line += text[i];
    }
  }
}

// The PostgreSQL type for an SQLite declared type, by SQLite's own rules of
// affinity.
std::string columnType(std::string declared) {
  std::transform(declared.begin(), declared.end(), declared.begin(), [](unsigned char c) { return std::toupper(c); });
  if (declared.find("INT") != std::string::npos) return "bigint";
  if (declared.find("CHAR") != std::string::npos || declared.find("CLOB") != std::string::npos ||
      declared.find("TEXT") != std::string::npos) {
    return "text";
  }
  if (declared.find("REAL") != std::string::npos || declared.find("FLOA") != std::string::npos ||
      declared.find("DOUB") != std::string::npos) {
    return "double precision";
  }
  return "text";
}

}  // namespace

std::optional<std::string> PostgresCluster::unavailableReason() {
  if (serverPrograms().empty()) return "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)";
  if (::geteuid() == 0) {
    if (::getpwnam("postgres") == nullptr) return "running as root and there is no postgres user to run the server";
    if (!fs::exists("/usr/sbin/runuser") && !fs::exists("/sbin/runuser") && !fs::exists("/usr/bin/runuser")) {
      return "running as root and runuser is not installed";
    }
  }
  return std::nullopt;
}

PostgresCluster::PostgresCluster(const fs::path& parent, bool durable) {
  if (auto reason = unavailableReason()) throw std::runtime_error(*reason);
  bin_ = serverPrograms();
  std::string pattern = ((parent.empty() ? fs::temp_directory_path() : parent) / "kestrova-pg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder in " + pattern);
  folder_ = pattern;
  try {
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      owner_ = "postgres";
      if (::chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
        throw std::runtime_error("cannot give " + folder_.string() + " to the postgres user");
      }
    }
    const std::string data = (folder_ / "data").string();
    run(shellWord((bin_ / "initdb").string()) + " -D " + shellWord(data) +
        " -A trust -U postgres -E UTF8 --no-locale > " + shellWord((folder_ / "initdb.log").string()) + " 2>&1");
    std::string options = "-c listen_addresses='' -k " + folder_.string() + " -p " + std::to_string(kPort);
    if (!durable) options += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
    run(shellWord((bin_ / "pg_ctl").string()) + " -D " + shellWord(data) + " -l " +
        shellWord((folder_ / "server.log").string()) + " -w -o " + shellWord(options) + " start > /dev/null");
    std::ifstream pidFile(folder_ / "data" / "postmaster.pid");
    long pid = -1;
    if (!(pidFile >> pid) || pid <= 0) throw std::runtime_error("the server wrote no pid");
    serverPid_ = static_cast<pid_t>(pid);
  } catch (const std::exception& failed) {
    const std::string log = readFile(folder_ / "initdb.log") + readFile(folder_ / "server.log");
    stop();
    throw std::runtime_error(std::string(failed.what()) + "\n" + log);
  }
}

PostgresCluster::~PostgresCluster() { stop(); }

void PostgresCluster::stop() {
  if (serverPid_ > 0) {
    // A fast shutdown: the server ends its sessions and stops at once.
    ::kill(serverPid_, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::kill(serverPid_, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::kill(serverPid_, 0) == 0) {
      ::kill(serverPid_, SIGKILL);
      while (::kill(serverPid_, 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    serverPid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code error;
    fs::remove_all(folder_, error);
    folder_.clear();
  }
}

std::string PostgresCluster::run(const std::string& command) const {
  const std::string inFolder = "cd " + shellWord(folder_.string()) + " && " + command;
  const std::string full = owner_.empty() ? inFolder : "runuser -u " + owner_ + " -- sh -c " + shellWord(inFolder);
  std::FILE* pipe = ::popen(full.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + full);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (::pclose(pipe) != 0) throw std::runtime_error("failed: " + full + "\n" + out);
  return out;
}

std::string PostgresCluster::odbcTemplate() const {
  return "Driver={PostgreSQL Unicode};Servername=" + folder_.string() + ";Port=" + std::to_string(kPort) +
         ";Username=postgres;Database={name}";
}

std::string PostgresCluster::psql(const std::string& database, const std::string& sql) const {
  const std::string command = shellWord((bin_ / "psql").string()) + " -X -q -A -t -F '\t' -v ON_ERROR_STOP=1 -h " +
                              shellWord(folder_.string()) + " -p " + std::to_string(kPort) + " -U postgres -d " +
                              shellWord(database) + " -c " + shellWord(sql) + " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run psql");
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (::pclose(pipe) != 0) throw std::runtime_error("psql in " + database + ": " + sql + "\n" + out);
  return out;
}

void PostgresCluster::loadShop(const fs::path& folder, const std::string& prefix, Names names) const {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && (extension == ".mdb" || extension == ".arc")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string database = prefix + file.stem().string();
    // FORCE: a session that a killed client left behind does not keep it.
    psql("postgres", "DROP DATABASE IF EXISTS " + sqlName(database) + " WITH (FORCE)");
    psql("postgres", "CREATE DATABASE " + sqlName(database));
    loadFile(file, database, names);
  }
}

void PostgresCluster::loadFile(const fs::path& file, const std::string& database, Names naming) const {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    throw std::runtime_error("cannot open " + file.string());
  }
  const auto query = [&](const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(db);
      sqlite3_close_v2(db);
      throw std::runtime_error(file.string() + ": " + sql + ": " + message);
    }
    return statement;
  };
  // One psql reads the whole file's tables, rows and indexes, in one
  // transaction, with the rows streamed through COPY.
  const std::string command = shellWord((bin_ / "psql").string()) + " -X -q -v ON_ERROR_STOP=1 -h " +
                              shellWord(folder_.string()) + " -p " + std::to_string(kPort) + " -U postgres -d " +
                              shellWord(database) + " > /dev/null";
  ::signal(SIGPIPE, SIG_IGN);  // a psql that fails is told by its exit status
  std::FILE* pipe = ::popen(command.c_str(), "w");
  if (pipe == nullptr) {
    sqlite3_close_v2(db);
    throw std::runtime_error("cannot run psql");
  }
  const auto send = [&](const std::string& text) { std::fwrite(text.data(), 1, text.size(), pipe); };
  send("BEGIN;\n");
  std::vector<std::string> tables;
  sqlite3_stmt* names = query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  while (sqlite3_step(names) == SQLITE_ROW)
    tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(names, 0)));
  sqlite3_finalize(names);
  const auto named = [&](const std::string& name) { return naming == Names::kQuoted ? sqlName(name) : name; };
  for (const std::string& table : tables) {
    std::string columns;
    std::string create = "CREATE TABLE " + named(table) + " (id bigint PRIMARY KEY";
    sqlite3_stmt* info = query("PRAGMA table_info(" + sqlName(table) + ")");
    std::string select = "SELECT rowid";
    while (sqlite3_step(info) == SQLITE_ROW) {
      const std::string column = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
      const auto* declared = reinterpret_cast<const char*>(sqlite3_column_text(info, 2));
      create += ", " + named(column) + " " + columnType(declared != nullptr ? declared : "");
      columns += ", " + named(column);
      select += ", " + sqlName(column);
    }
    sqlite3_finalize(info);
    send(create + ");\nCOPY " + named(table) + " (id" + columns + ") FROM STDIN;\n");
    sqlite3_stmt* rows = query(select + " FROM " + sqlName(table));
    std::string line;
    while (sqlite3_step(rows) == SQLITE_ROW) {
      line.clear();
      for (int i = 0, n = sqlite3_column_count(rows); i < n; ++i) {
        if (i > 0) line += '\t';
        appendCopyField(line, rows, i);
      }
      line += '\n';
      send(line);
    }
    sqlite3_finalize(rows);
    send("\\.\n");
  }
  // The indexes made by CREATE INDEX, as SQLite keeps them; with quoted
  // names, rebuilt from their parts.
  sqlite3_stmt* indexes = query(
      "SELECT m.sql, m.name, m.tbl_name, l.\"unique\" FROM sqlite_master m JOIN pragma_index_list(m.tbl_name) l "
      "ON l.name = m.name WHERE m.type = 'index' AND m.sql IS NOT NULL");
  while (sqlite3_step(indexes) == SQLITE_ROW) {
    if (naming == Names::kBare) {
      send(std::string(reinterpret_cast<const char*>(sqlite3_column_text(indexes, 0))) + ";\n");
      continue;
    }
    const std::string index = reinterpret_cast<const char*>(sqlite3_column_text(indexes, 1));
    const std::string table = reinterpret_cast<const char*>(sqlite3_column_text(indexes, 2));
    std::string create = std::string(sqlite3_column_int(indexes, 3) != 0 ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                         named(index) + " ON " + named(table) + " (";
    sqlite3_stmt* parts = query("SELECT name FROM pragma_index_info(" + sqlName(index) + ") ORDER BY seqno");
    for (bool first = true; sqlite3_step(parts) == SQLITE_ROW; first = false) {
      create += (first ? "" : ", ") + named(reinterpret_cast<const char*>(sqlite3_column_text(parts, 0)));
    }
    sqlite3_finalize(parts);
    send(create + ");\n");
  }
  sqlite3_finalize(indexes);
  sqlite3_close_v2(db);
  send("COMMIT;\nANALYZE;\n");
  if (::pclose(pipe) != 0) throw std::runtime_error("loading " + file.string() + " into " + database + " failed");
}

std::vector<std::string> PostgresCluster::dump(const std::string& database) const {
  std::vector<std::string> rows;
  std::stringstream tables(
      psql(database, "SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY tablename"));
  for (std::string table; std::getline(tables, table);) {
    if (table.empty()) continue;
    std::stringstream lines(psql(database, "SELECT t::text FROM " + sqlName(table) + " t ORDER BY id"));
    for (std::string line; std::getline(lines, line);) rows.push_back(table + " " + line);
  }
  return rows;
}

}  // namespace kestrova::testing
