// The kind of a store failure from the backend's own words for it: SQLite's
// result codes and PostgreSQL's SQLSTATE (and a connection that is gone).
#pragma once

#include <string_view>

#include "base/error.hpp"

namespace statvtk::store {

// An extended SQLite result code, with the system's error number behind an
// I/O error (sqlite3_system_errno).
ErrorCode SqliteErrorKind(int extendedCode, int systemErrno);

// A PostgreSQL SQLSTATE ("" when the server sent none); `connectionLost`:
// the connection is no longer usable after the failure.
ErrorCode PostgresErrorKind(std::string_view sqlstate, bool connectionLost);

}  // namespace statvtk::store
