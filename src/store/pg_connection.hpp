// A libpq connection with its prepared statements: text parameters, text
// results, one reconnect after the server went away, errors as Error.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace statvtk::store {

// One parameter as its text; nullopt is SQL NULL.
using PgParam = std::optional<std::string>;
PgParam PgText(std::string_view s);
PgParam PgInt(std::int64_t v);
PgParam PgDouble(double v);  // the shortest text that reads back to the same value
PgParam PgNull();

// A result's rows as texts (nullopt for NULL).
class PgRows {
 public:
  PgRows() = default;
  explicit PgRows(PGresult* r) : r_(r, &PQclear) {}
  int Count() const { return r_ ? PQntuples(r_.get()) : 0; }
  bool IsNull(int row, int col) const { return PQgetisnull(r_.get(), row, col) != 0; }
  std::string Text(int row, int col) const;
  std::int64_t Int(int row, int col) const;  // 0 for NULL
  double Double(int row, int col) const;     // 0 for NULL
  std::optional<double> OptDouble(int row, int col) const;

 private:
  std::shared_ptr<PGresult> r_;
};

class PgConnection {
 public:
  // Statement `i` is prepared under the name "s<i>" after every (re)connect.
  static Result<std::unique_ptr<PgConnection>> Open(std::string_view url, std::vector<std::string> statements);

  // Runs a prepared statement. A broken connection outside a transaction is
  // made again once; inside one the statement fails (the server dropped the
  // transaction with the connection).
  Result<PgRows> Run(std::size_t statement, const std::vector<PgParam>& params);
  // Runs SQL text without parameters (schema, BEGIN, COMMIT).
  Result<PgRows> Exec(const std::string& sql);

  bool InTransaction() const { return inTransaction_; }
  void SetInTransaction(bool on) { inTransaction_ = on; }

  // Not connected yet: Open connects.
  PgConnection(std::string url, std::vector<std::string> statements)
      : url_(std::move(url)), statements_(std::move(statements)) {}

 private:
  Result<void> Connect();
  Result<void> Prepare();
  Result<void> EnsureConnected();
  Result<PgRows> Check(PGresult* r, std::string_view what);

  std::string url_;
  std::vector<std::string> statements_;
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, &PQfinish};
  bool inTransaction_ = false;
};

// "postgresql://..." or "postgres://...".
bool IsPostgresUrl(std::string_view database);

// The URL with its password (user:password@) shown as "***", for messages.
std::string RedactedUrl(std::string_view url);

}  // namespace statvtk::store
