// The table of record store backends OpenRecordStore walks, in order.
#include <array>

#include "store/pg_store.hpp"
#include "store/record_store.hpp"
#include "store/sqlite_store.hpp"

namespace statvtk::store {

std::span<const StoreBackend> StoreBackends() {
  static const std::array<StoreBackend, 2> kBackends{PostgresBackend(), SqliteBackend()};
  return kBackends;
}

}  // namespace statvtk::store
