#include "store/sqlite_connection.hpp"

#include "base/system_error.hpp"
#include "store/store_errors.hpp"

namespace statvtk::store {

namespace {

constexpr SqlDialect kSqlite{
    "INTEGER PRIMARY KEY AUTOINCREMENT",
    "BLOB",
    "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')",
    "COLLATE BINARY",
    "strftime('%Y-%m-%dT%H:%M:%SZ', 'now', (@) || ' seconds')",
    "(CAST(strftime('%s', 'now') AS INTEGER) - CAST(strftime('%s', NULLIF(@, '')) AS INTEGER))"};

void Bind(sqlite3_stmt* s, int index, const SqlValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) sqlite3_bind_int64(s, index, *i);
  else if (const auto* d = std::get_if<double>(&v)) sqlite3_bind_double(s, index, *d);
  // A null pointer would bind NULL: an empty text stays a text.
  else if (const auto* t = std::get_if<std::string>(&v))
    sqlite3_bind_text(s, index, t->c_str(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
  else if (const auto* b = std::get_if<SqlBytes>(&v))
    sqlite3_bind_blob(s, index, b->empty() ? "" : static_cast<const void*>(b->data()), static_cast<int>(b->size()),
                      SQLITE_TRANSIENT);
  else sqlite3_bind_null(s, index);
}

SqlValue Cell(sqlite3_stmt* s, int col) {
  switch (sqlite3_column_type(s, col)) {
    case SQLITE_INTEGER: return std::int64_t{sqlite3_column_int64(s, col)};
    case SQLITE_FLOAT: return sqlite3_column_double(s, col);
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
      return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, col)));
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, col));
      return SqlBytes(p, p + sqlite3_column_bytes(s, col));
    }
    default: return std::monostate{};
  }
}

// "$N" outside quotes written "?N": SQLite numbers such a parameter N
// itself, where a name costs a search through all of a statement's names
// at every bind (thousands of times over for a statement of thousands).
std::string Numbered(const std::string& sql) {
  std::string out;
  out.reserve(sql.size());
  bool quoted = false;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'') quoted = !quoted;
    const bool digit = i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9';
    out += !quoted && c == '$' && digit ? '?' : c;
  }
  return out;
}

}  // namespace

Error SqliteError(sqlite3* db, std::string_view what) {
  std::string reason = "База данных: " + std::string(what) + ": ";
  if (!db) return MakeError(ErrorCode::StoreFailed, reason + "нет памяти", SQLITE_NOMEM);
  reason += sqlite3_errmsg(db);
  const int code = sqlite3_extended_errcode(db), system = sqlite3_system_errno(db);
  if ((code & 0xff) == SQLITE_IOERR && system != 0) reason += " (" + SystemErrorText(system) + ")";
  return MakeError(SqliteErrorKind(code, system), std::move(reason), code);
}

Result<std::unique_ptr<SqliteConnection>> SqliteConnection::Open(const std::string& path, int busyMs, bool readOnly) {
  sqlite3* raw = nullptr;
  const int mode = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, mode | SQLITE_OPEN_NOMUTEX, nullptr);
  auto c = std::make_unique<SqliteConnection>(std::unique_ptr<sqlite3, SqliteCloser>(raw));
  if (rc != SQLITE_OK) return SqliteError(raw, path);
  sqlite3_busy_timeout(raw, busyMs);
  return c;
}

Result<sqlite3_stmt*> SqliteConnection::Statement(std::string_view sql) {
  if (const auto it = statements_.find(sql); it != statements_.end()) return it->second.get();
  const std::string text = Numbered(WithDialect(sql, kSqlite));
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db_.get(), text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &s,
                         nullptr) != SQLITE_OK)
    return SqliteError(db_.get(), sql);
  statements_.emplace(std::string(sql), s);
  return s;
}

Result<SqlRows> SqliteConnection::Run(std::string_view sql, const std::vector<SqlValue>& params, Repeat) {
  auto prepared = Statement(sql);
  if (!prepared) return prepared.error();
  sqlite3_stmt* s = *prepared;
  // "$N" was written "?N" (Statement): params[N - 1] binds at N, no name looked up.
  const int count = sqlite3_bind_parameter_count(s);
  for (std::size_t i = 0; i < params.size() && i < static_cast<std::size_t>(count); ++i)
    Bind(s, static_cast<int>(i + 1), params[i]);
  const int columns = sqlite3_column_count(s);
  SqlRows rows(columns);
  for (;;) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      Error e = SqliteError(db_.get(), "запрос");
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
      return e;
    }
    for (int c = 0; c < columns; ++c) rows.Add(Cell(s, c));
  }
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  return rows;
}

Result<void> SqliteConnection::Exec(std::string_view sql) {
  const std::string text = WithDialect(sql, kSqlite);
  char* msg = nullptr;
  if (sqlite3_exec(db_.get(), text.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    Error e = SqliteError(db_.get(), sql);
    sqlite3_free(msg);
    return e;
  }
  return {};
}

}  // namespace statvtk::store
