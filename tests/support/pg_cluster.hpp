// A throw-away PostgreSQL cluster for one test program: initdb into a
// temporary folder, the server on a free loopback port (run as the
// `postgres` user when the tests run as root), stopped and removed at the end.
// Also a streaming standby of another such cluster, to be promoted.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.hpp"
#include "support/free_port.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::test {

class PgCluster {
 public:
  PgCluster() = default;
  ~PgCluster() { Stop(); }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // The folder with initdb, pg_ctl and psql of the newest installed server; empty when none.
  static std::filesystem::path BinDir() {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
      if (std::filesystem::exists(e.path() / "bin" / "initdb")) found.push_back(e.path() / "bin");
    if (found.empty()) return {};
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
      return std::stoi(a.parent_path().filename().string()) < std::stoi(b.parent_path().filename().string());
    });
    return found.back();
  }

  // initdb and start; false (with Log() telling why) when either fails.
  bool Init() {
    if (!MakeFolders()) return false;
    if (Run({(bin_ / "initdb").string(), "-D", data_.string(), "-U", "postgres", "-A", "trust", "-E", "UTF8",
             "--no-locale", "--no-sync"}) != 0)
      return Fail("initdb failed");
    port_ = FreeLoopbackPort();
    return Start();
  }

  // A streaming standby of the running `primary` (pg_basebackup -R: a copy
  // that follows its WAL, read-only), started on a port of its own. initdb's
  // trust rules already let loopback replicate.
  bool InitStandbyOf(const PgCluster& primary) {
    if (!MakeFolders()) return false;
    if (Run({(bin_ / "pg_basebackup").string(), "-D", data_.string(), "-R", "-X", "stream", "-c", "fast", "--no-sync",
             "-h", "127.0.0.1", "-p", std::to_string(primary.Port()), "-U", "postgres"}) != 0)
      return Fail("pg_basebackup failed");
    port_ = FreeLoopbackPort();
    return Start();
  }
  // The standby ends recovery and takes writes (pg_ctl promote, waiting for it).
  bool Promote() {
    return Run({(bin_ / "pg_ctl").string(), "-D", data_.string(), "-w", "-t", "60", "promote"}) == 0 ||
           Fail("pg_ctl promote failed");
  }

  // Starts the server of the cluster on its port (again after Stop or Kill).
  bool Start() {
    const std::string options = "-p " + std::to_string(port_) + " -k " + run_.string() +
                                " -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off";
    if (Run({(bin_ / "pg_ctl").string(), "-D", data_.string(), "-l", (run_ / "server.log").string(), "-w", "-t", "60",
             "-o", options, "start"}) != 0)
      return Fail("pg_ctl start failed");
    running_ = true;
    return true;
  }
  // A clean shutdown.
  void Stop() {
    if (!running_) return;
    Run({(bin_ / "pg_ctl").string(), "-D", data_.string(), "-m", "fast", "-w", "stop"});
    running_ = false;
  }
  // The server dies as in a crash (immediate shutdown: no checkpoint, clients cut off).
  void Kill() {
    if (!running_) return;
    Run({(bin_ / "pg_ctl").string(), "-D", data_.string(), "-m", "immediate", "-w", "stop"});
    running_ = false;
  }

  // Runs SQL with psql against `db`; psql's standard output (tuples only, '|' separated).
  std::string Sql(const std::string& sql, const std::string& db = "postgres") {
    const auto out = folder_.Path() / "psql.out";
    std::error_code ec;
    std::filesystem::remove(out, ec);
    ChildProcess p({(bin_ / "psql").string(), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                    std::to_string(port_), "-U", "postgres", "-d", db, "-c", sql},
                   out);
    lastStatus_ = p.Wait(std::chrono::seconds(60));
    std::string text = link_test::ReadAll(out);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }
  int LastSqlStatus() const { return lastStatus_; }
  bool CreateDatabase(const std::string& db) {
    Sql("CREATE DATABASE " + db);
    return lastStatus_ == 0;
  }

  // postgresql://postgres@127.0.0.1:PORT/db
  std::string Url(const std::string& db) const {
    return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + db;
  }
  int Port() const { return port_; }
  const std::string& Log() const { return log_; }

 private:
  bool MakeFolders() {
    bin_ = BinDir();
    if (bin_.empty()) return Fail("no PostgreSQL server installed (/usr/lib/postgresql/*/bin/initdb)");
    data_ = folder_.Path() / "data";
    run_ = folder_.Path() / "run";
    std::filesystem::create_directories(data_);
    std::filesystem::create_directories(run_);
    if (geteuid() == 0) {
      const passwd* pw = getpwnam("postgres");
      if (!pw) return Fail("running as root and there is no postgres user");
      if (chown(data_.c_str(), pw->pw_uid, pw->pw_gid) != 0 || chown(run_.c_str(), pw->pw_uid, pw->pw_gid) != 0)
        return Fail("cannot hand the cluster folders to postgres");
    }
    std::filesystem::permissions(data_, std::filesystem::perms::owner_all);
    return true;
  }
  int Run(std::vector<std::string> argv) {
    if (geteuid() == 0) argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    const auto log = folder_.Path() / "tools.log";
    const int status = RunToEnd(argv, log, std::chrono::seconds(90));
    log_ = link_test::ReadAll(log);
    return status;
  }
  bool Fail(const std::string& why) {
    log_ = why + "\n" + log_;
    return false;
  }

  link_test::TempFolder folder_;
  std::filesystem::path bin_, data_, run_;
  int port_ = 0;
  bool running_ = false;
  int lastStatus_ = -1;
  std::string log_;
};

}  // namespace statvtk::test
