// The table of record store backends OpenRecordStore walks, in order.
#include <array>

#include "store/record_store.hpp"
#include "store/sqlite_store.hpp"

namespace statvtk::store {

namespace {

bool IsPostgresUrl(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

Result<std::unique_ptr<RecordStore>> NoPostgres(std::string_view database, const std::filesystem::path&) {
  return MakeError(ErrorCode::BadSettings, "Database=" + std::string(database) + ": программа собрана без PostgreSQL");
}

}  // namespace

std::span<const StoreBackend> StoreBackends() {
  static const std::array<StoreBackend, 2> kBackends{StoreBackend{"postgresql", &IsPostgresUrl, &NoPostgres},
                                                     SqliteBackend()};
  return kBackends;
}

}  // namespace statvtk::store
