#include "store/store_errors.hpp"

#include <sqlite3.h>

#include <cerrno>

#include "store/record_store.hpp"

namespace statvtk::store {

ErrorCode SqliteErrorKind(int extendedCode, int systemErrno) {
  switch (extendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ErrorCode::StoreBusy;
    case SQLITE_CANTOPEN: return ErrorCode::StoreUnreachable;
    case SQLITE_CONSTRAINT: return ErrorCode::StoreConstraint;
    case SQLITE_FULL:
    case SQLITE_READONLY: return ErrorCode::StoreFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ErrorCode::StoreCorrupt;
    case SQLITE_IOERR:
      if (systemErrno == ENOSPC || systemErrno == EDQUOT || systemErrno == EROFS) return ErrorCode::StoreFull;
      return ErrorCode::StoreFailed;
    default: return ErrorCode::StoreFailed;
  }
}

ErrorCode PostgresErrorKind(std::string_view sqlstate, bool connectionLost) {
  // Class 08 (connection exception), 57P01..57P03 (the server shut down or
  // cannot take connections now): the store is not there.
  if (connectionLost || sqlstate.starts_with("08") || sqlstate == "57P01" || sqlstate == "57P02" ||
      sqlstate == "57P03" || sqlstate == "53300")
    return ErrorCode::StoreUnreachable;
  // Serialization failure, deadlock, a lock not granted, a statement cancelled by its timeout.
  if (sqlstate == "40001" || sqlstate == "40P01" || sqlstate == "55P03" || sqlstate == "57014")
    return ErrorCode::StoreBusy;
  if (sqlstate.starts_with("23")) return ErrorCode::StoreConstraint;
  // Disk full, out of disk quota; a read-only transaction (a standby server).
  if (sqlstate == "53100" || sqlstate == "25006") return ErrorCode::StoreFull;
  if (sqlstate == "XX001" || sqlstate == "XX002") return ErrorCode::StoreCorrupt;
  return ErrorCode::StoreFailed;
}

bool StoreUnavailable(const Error& e) {
  return e.code == ErrorCode::StoreUnreachable || e.code == ErrorCode::StoreBusy;
}

}  // namespace statvtk::store
