// One connection to a SQL database as the record store uses it: statements
// with $N parameters (prepared on first use and kept), their rows as typed
// values, and transactions. The SQLite and PostgreSQL connections implement
// it, so the store's logic is written once over it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/error.hpp"

namespace statvtk::store {

using SqlBytes = std::vector<std::uint8_t>;
// A parameter or a result cell: NULL, an integer, a real, a text or bytes.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, SqlBytes>;

inline SqlValue SqlText(std::string_view s) { return std::string(s); }
inline SqlValue SqlInt(std::int64_t v) { return v; }
inline SqlValue SqlReal(std::optional<double> v) { return v ? SqlValue(*v) : SqlValue(); }

// The rows a statement gave. A cell may come as another type than the one
// asked for (PostgreSQL gives texts): each getter converts.
class SqlRows {
 public:
  explicit SqlRows(int columns = 0) : columns_(columns) {}
  int Count() const { return columns_ == 0 ? 0 : static_cast<int>(cells_.size()) / columns_; }
  int Columns() const { return columns_; }
  bool IsNull(int row, int col) const { return std::holds_alternative<std::monostate>(At(row, col)); }
  std::string Text(int row, int col) const;               // "" for NULL
  std::int64_t Int(int row, int col) const;               // 0 for NULL
  double Real(int row, int col) const;                    // 0 for NULL
  std::optional<double> OptReal(int row, int col) const;  // empty for NULL
  SqlBytes Bytes(int row, int col) const;                 // a text "\x..." (PostgreSQL's bytea) decoded
  void Add(SqlValue cell) { cells_.push_back(std::move(cell)); }
  // The row's cells from column `col` on, one into each of `out` in order,
  // read as its type asks (a NULL as above; a flag 0 or not; an optional
  // text empty).
  template <class... T>
  void Into(int row, int col, T&... out) const {
    (Put(row, col++, out), ...);
  }

 private:
  void Put(int row, int col, std::string& v) const { v = Text(row, col); }
  void Put(int row, int col, std::int64_t& v) const { v = Int(row, col); }
  void Put(int row, int col, double& v) const { v = Real(row, col); }
  void Put(int row, int col, bool& v) const { v = Int(row, col) != 0; }
  void Put(int row, int col, std::optional<double>& v) const { v = OptReal(row, col); }
  void Put(int row, int col, std::optional<std::string>& v) const {
    if (IsNull(row, col)) v.reset();
    else v = Text(row, col);
  }
  const SqlValue& At(int row, int col) const {
    return cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(col)];
  }
  int columns_;
  std::vector<SqlValue> cells_;
};

// Whether a statement may be sent again when the connection was lost while
// it ran (the server may have done it): reads and upserts keyed by their
// data may; an insert that numbers a new row may not.
enum class Repeat { Safe, Never };

// The words the backends spell differently, written in the SQL as tokens.
struct SqlDialect {
  std::string_view id;      // {ID}: a column that numbers new rows, never reusing a number
  std::string_view blob;    // {BLOB}: bytes
  std::string_view now;     // {NOW}: the database's clock as "YYYY-MM-DDTHH:MM:SSZ"
  std::string_view binary;  // {BINARY}: texts compared byte by byte, whatever the locale
  // {NOW_PLUS(x)}: the clock moved by the integer x seconds, as {NOW} writes it ('@' stands for x)
  std::string_view nowPlus;
  // {AGE(x)}: the whole seconds from the time text x ({NOW}'s form) to the clock; NULL for ''
  std::string_view age;
};
// The SQL with the dialect's words in place of the tokens (a token's
// argument runs to its closing ")}").
std::string WithDialect(std::string_view sql, const SqlDialect& dialect);

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  SqlConnection() = default;
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;

  virtual std::string_view Backend() const = 0;  // "sqlite", "postgresql"
  // Runs one statement with its parameters ($1 is params[0]); the statement
  // is prepared on first use and kept for the next.
  virtual Result<SqlRows> Run(std::string_view sql, const std::vector<SqlValue>& params,
                              Repeat repeat = Repeat::Safe) = 0;
  // Runs SQL text without parameters, not kept (schema changes, settings).
  virtual Result<void> Exec(std::string_view sql) = 0;

  virtual Result<void> Begin() = 0;
  virtual Result<void> Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;
  // Inside Begin: keeps collectors starting together from changing the
  // schema at once (PostgreSQL: an advisory lock; SQLite's Begin already does).
  virtual Result<void> LockSchema() { return {}; }
};

}  // namespace statvtk::store
