// A small RAII wrapper of SQLite's C interface: the connection, prepared
// statements with $N parameters, and errors as the core's Error.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace statvtk::store {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(sqlite3* db, sqlite3_stmt* s) : db_(db), s_(s) {}

  // Binds parameter $n; resets the statement first when it was stepped.
  SqliteStatement& Bind(int n, std::string_view text);
  SqliteStatement& Bind(int n, std::int64_t v);
  SqliteStatement& Bind(int n, double v);
  SqliteStatement& Bind(int n, std::optional<double> v);
  SqliteStatement& BindNull(int n);
  // True with a row, false when done.
  Result<bool> Step();
  // Steps to the end (a statement with no rows, or rows not wanted).
  Result<void> Run();
  void Reset();

  std::string Text(int col) const;  // "" for NULL
  std::int64_t Int(int col) const;
  double Real(int col) const;
  bool IsNull(int col) const { return sqlite3_column_type(s_.get(), col) == SQLITE_NULL; }

 private:
  int Index(int n);
  sqlite3* db_ = nullptr;
  std::unique_ptr<sqlite3_stmt, SqliteFinalizer> s_;
  bool stepped_ = false;
};

// The connection's last error as an Error (what: the operation in words).
Error SqliteError(sqlite3* db, std::string_view what);

class SqliteDb {
 public:
  // Opens (creating) the file; a busy database is waited for up to `busyMs`.
  static Result<SqliteDb> Open(const std::string& path, int busyMs = 10000);
  Result<SqliteStatement> Prepare(std::string_view sql);
  // Runs statements that return no rows.
  Result<void> Exec(const std::string& sql);
  sqlite3* Get() const { return db_.get(); }

 private:
  SqliteHandle db_;
};

}  // namespace statvtk::store
