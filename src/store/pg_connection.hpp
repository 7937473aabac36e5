// The PostgreSQL side of SqlConnection: one libpq connection, its
// statements prepared on first use (again after a reconnect), parameters and
// results as texts, failures by their SQLSTATE. A connection the server
// closed is made again before the next transaction; a statement the
// connection broke under is sent again only when that is safe (Repeat).
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/sql_connection.hpp"

namespace statvtk::store {

class PgConnection final : public SqlConnection {
 public:
  // Connects to `url` (any libpq URL); `readOnly`: every transaction of the
  // session only reads; `lockWait` (above 0): the session's lock_timeout.
  static Result<std::unique_ptr<PgConnection>> Open(std::string_view url, bool readOnly = false,
                                                    std::chrono::milliseconds lockWait = {});

  std::string_view Backend() const override { return "postgresql"; }
  Result<SqlRows> Run(std::string_view sql, const std::vector<SqlValue>& params, Repeat repeat) override;
  Result<void> Exec(std::string_view sql) override;
  Result<void> Begin() override;
  Result<void> Commit() override;
  void Rollback() override;
  bool InTransaction() const override { return inTransaction_; }
  Result<void> LockSchema() override;

  // Not connected yet: Open connects.
  PgConnection(std::string url, bool readOnly, std::chrono::milliseconds lockWait = {})
      : url_(std::move(url)), readOnly_(readOnly), lockWait_(lockWait) {}

 private:
  Result<void> Connect();
  Result<void> EnsureConnected();
  void TakeUnsolicited();
  Result<std::string> Prepared(std::string_view sql);
  Result<SqlRows> Check(PGresult* r, std::string_view what);
  bool Repeatable(const Error& e, int attempt, Repeat repeat) const;

  std::string url_;
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, &PQfinish};
  std::map<std::string, std::string, std::less<>> prepared_;  // SQL -> statement name on this connection
  bool readOnly_ = false;
  std::chrono::milliseconds lockWait_{0};
  bool inTransaction_ = false;
};

// "postgresql://..." or "postgres://...".
bool IsPostgresUrl(std::string_view database);

// The passwords a connection text holds, in every form libpq takes:
// user:PASSWORD@ of a URL, its parameter ?password= (&password=), or the
// keyword password=VALUE ('quoted value').
std::vector<std::string> PasswordsIn(std::string_view url);
// `text` with each password of `url` shown as "***", for messages.
std::string WithoutPasswords(std::string text, std::string_view url);
// The URL with its passwords shown as "***".
std::string RedactedUrl(std::string_view url);

}  // namespace statvtk::store
