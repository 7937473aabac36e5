#include "store/pg_connection.hpp"

#include <charconv>
#include <cstdlib>

namespace statvtk::store {

namespace {

Error PgError(std::string reason) { return MakeError(ErrorCode::BadData, "PostgreSQL: " + std::move(reason)); }

std::string Trimmed(const char* message) {
  std::string s = message ? message : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  for (char& c : s)
    if (c == '\n') c = ' ';
  return s;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

PgParam PgText(std::string_view s) { return std::string(s); }
PgParam PgInt(std::int64_t v) { return std::to_string(v); }
PgParam PgDouble(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? end : buf);
}
PgParam PgNull() { return std::nullopt; }

std::string PgRows::Text(int row, int col) const {
  if (!r_ || IsNull(row, col)) return {};
  return std::string(PQgetvalue(r_.get(), row, col), static_cast<std::size_t>(PQgetlength(r_.get(), row, col)));
}

std::int64_t PgRows::Int(int row, int col) const {
  if (!r_ || IsNull(row, col)) return 0;
  return std::strtoll(PQgetvalue(r_.get(), row, col), nullptr, 10);
}

double PgRows::Double(int row, int col) const { return OptDouble(row, col).value_or(0.0); }

std::optional<double> PgRows::OptDouble(int row, int col) const {
  if (!r_ || IsNull(row, col)) return std::nullopt;
  return std::strtod(PQgetvalue(r_.get(), row, col), nullptr);
}

bool IsPostgresUrl(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::string RedactedUrl(std::string_view url) {
  std::string s(url);
  const auto scheme = s.find("://");
  if (scheme == std::string::npos) return s;
  const auto at = s.find('@', scheme + 3);
  if (at == std::string::npos) return s;
  const auto colon = s.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return s;
  return s.substr(0, colon + 1) + "***" + s.substr(at);
}

Result<std::unique_ptr<PgConnection>> PgConnection::Open(std::string_view url, std::vector<std::string> statements) {
  auto c = std::make_unique<PgConnection>(std::string(url), std::move(statements));
  if (auto r = c->Connect(); !r) return r.error();
  return c;
}

Result<void> PgConnection::Connect() {
  // Earlier keywords are defaults the URL's own parameters override.
  const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"10", "statvtk-collect", url_.c_str(), nullptr};
  conn_.reset(PQconnectdbParams(keys, values, 1));
  if (!conn_) return PgError("out of memory");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    const std::string why = Trimmed(PQerrorMessage(conn_.get()));
    conn_.reset();
    return PgError(RedactedUrl(url_) + ": " + why);
  }
  PQsetNoticeProcessor(conn_.get(), &IgnoreNotice, nullptr);
  inTransaction_ = false;
  return Prepare();
}

Result<void> PgConnection::Prepare() {
  for (std::size_t i = 0; i < statements_.size(); ++i) {
    const std::string name = "s" + std::to_string(i);
    auto r = Check(PQprepare(conn_.get(), name.c_str(), statements_[i].c_str(), 0, nullptr), statements_[i]);
    if (!r) return r.error();
  }
  return {};
}

Result<void> PgConnection::EnsureConnected() {
  if (conn_ && PQstatus(conn_.get()) == CONNECTION_OK) return {};
  if (inTransaction_) return PgError("the connection was lost during a transaction");
  return Connect();
}

Result<PgRows> PgConnection::Check(PGresult* r, std::string_view what) {
  PgRows rows(r);
  const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return rows;
  std::string why = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_.get()));
  if (why.empty()) why = Trimmed(PQerrorMessage(conn_.get()));
  std::string head(what.substr(0, 60));
  return PgError(why + " (" + head + (what.size() > 60 ? "...)" : ")"));
}

Result<PgRows> PgConnection::Run(std::size_t statement, const std::vector<PgParam>& params) {
  for (int attempt = 0;; ++attempt) {
    if (auto ok = EnsureConnected(); !ok) return ok.error();
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    const std::string name = "s" + std::to_string(statement);
    PGresult* r =
        PQexecPrepared(conn_.get(), name.c_str(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0);
    auto rows = Check(r, statements_[statement]);
    if (rows || attempt > 0 || inTransaction_ || PQstatus(conn_.get()) == CONNECTION_OK) return rows;
    // The server went away between two statements: connect again and repeat once.
  }
}

Result<PgRows> PgConnection::Exec(const std::string& sql) {
  for (int attempt = 0;; ++attempt) {
    if (auto ok = EnsureConnected(); !ok) return ok.error();
    auto rows = Check(PQexec(conn_.get(), sql.c_str()), sql);
    if (rows || attempt > 0 || inTransaction_ || PQstatus(conn_.get()) == CONNECTION_OK) return rows;
  }
}

}  // namespace statvtk::store
