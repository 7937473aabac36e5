#include "store/sqlite_db.hpp"

namespace statvtk::store {

Error SqliteError(sqlite3* db, std::string_view what) {
  std::string reason = "База данных: " + std::string(what) + ": ";
  reason += db ? sqlite3_errmsg(db) : "нет памяти";
  return MakeError(ErrorCode::FileSystem, std::move(reason), db ? sqlite3_extended_errcode(db) : 0);
}

int SqliteStatement::Index(int n) {
  if (stepped_) Reset();
  const std::string name = "$" + std::to_string(n);
  return sqlite3_bind_parameter_index(s_.get(), name.c_str());
}

SqliteStatement& SqliteStatement::Bind(int n, std::string_view text) {
  // A null pointer would bind NULL: an empty text stays a text.
  sqlite3_bind_text(s_.get(), Index(n), text.data() ? text.data() : "", static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}
SqliteStatement& SqliteStatement::Bind(int n, std::int64_t v) {
  sqlite3_bind_int64(s_.get(), Index(n), v);
  return *this;
}
SqliteStatement& SqliteStatement::Bind(int n, double v) {
  sqlite3_bind_double(s_.get(), Index(n), v);
  return *this;
}
SqliteStatement& SqliteStatement::Bind(int n, std::optional<double> v) { return v ? Bind(n, *v) : BindNull(n); }
SqliteStatement& SqliteStatement::BindNull(int n) {
  sqlite3_bind_null(s_.get(), Index(n));
  return *this;
}

Result<bool> SqliteStatement::Step() {
  stepped_ = true;
  const int rc = sqlite3_step(s_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Error e = SqliteError(db_, "запрос");
  sqlite3_reset(s_.get());
  return e;
}

Result<void> SqliteStatement::Run() {
  for (;;) {
    auto r = Step();
    if (!r) return r.error();
    if (!*r) return {};
  }
}

void SqliteStatement::Reset() {
  sqlite3_reset(s_.get());
  sqlite3_clear_bindings(s_.get());
  stepped_ = false;
}

std::string SqliteStatement::Text(int col) const {
  const auto* p = sqlite3_column_text(s_.get(), col);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<std::size_t>(sqlite3_column_bytes(s_.get(), col)))
           : std::string();
}
std::int64_t SqliteStatement::Int(int col) const { return sqlite3_column_int64(s_.get(), col); }
double SqliteStatement::Real(int col) const { return sqlite3_column_double(s_.get(), col); }

Result<SqliteDb> SqliteDb::Open(const std::string& path, int busyMs) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  SqliteHandle h(raw);
  if (rc != SQLITE_OK) return SqliteError(raw, path);
  sqlite3_busy_timeout(raw, busyMs);
  SqliteDb db;
  db.db_ = std::move(h);
  return db;
}

Result<SqliteStatement> SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr) !=
      SQLITE_OK)
    return SqliteError(db_.get(), sql);
  return SqliteStatement(db_.get(), s);
}

Result<void> SqliteDb::Exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    Error e = SqliteError(db_.get(), sql);
    sqlite3_free(msg);
    return e;
  }
  return {};
}

}  // namespace statvtk::store
