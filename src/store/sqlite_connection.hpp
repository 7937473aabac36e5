// The SQLite side of SqlConnection: one connection to a database file
// through Debian's libsqlite3, its statements prepared once and kept.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "store/sql_connection.hpp"

namespace statvtk::store {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

// The connection's last failure as an Error (what: the operation in words).
Error SqliteError(sqlite3* db, std::string_view what);

class SqliteConnection final : public SqlConnection {
 public:
  // Opens (creating) the file, or opens an existing one only to read; a
  // database another connection holds locked is waited for up to `busyMs`.
  static Result<std::unique_ptr<SqliteConnection>> Open(const std::string& path, int busyMs, bool readOnly = false);

  std::string_view Backend() const override { return "sqlite"; }
  Result<SqlRows> Run(std::string_view sql, const std::vector<SqlValue>& params, Repeat repeat) override;
  Result<void> Exec(std::string_view sql) override;
  Result<void> Begin() override { return Exec("BEGIN IMMEDIATE"); }
  Result<void> Commit() override { return Exec("COMMIT"); }
  void Rollback() override { (void)Exec("ROLLBACK"); }
  bool InTransaction() const override { return sqlite3_get_autocommit(db_.get()) == 0; }

  explicit SqliteConnection(std::unique_ptr<sqlite3, SqliteCloser> db) : db_(std::move(db)) {}

 private:
  Result<sqlite3_stmt*> Statement(std::string_view sql);

  std::unique_ptr<sqlite3, SqliteCloser> db_;
  std::map<std::string, std::unique_ptr<sqlite3_stmt, SqliteFinalizer>, std::less<>> statements_;
};

}  // namespace statvtk::store
