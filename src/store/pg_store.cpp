#include "store/pg_store.hpp"

#include "store/pg_connection.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

Result<std::unique_ptr<RecordStore>> OpenPostgresStore(std::string_view url, const StoreOptions& options) {
  // A database that cannot be opened at start is a setting that cannot be used.
  auto refused = [](Error e) {
    e.code = ErrorCode::BadSettings;
    return e;
  };
  auto c = PgConnection::Open(url);
  if (!c) return refused(c.error());
  if (auto r = MigrateSchema(**c); !r) return refused(r.error());
  return std::unique_ptr<RecordStore>(std::make_unique<SqlStore>(std::move(*c), options));
}

const StoreBackend& PostgresBackend() {
  static const StoreBackend backend{"postgresql", [](std::string_view database) { return IsPostgresUrl(database); },
                                    [](std::string_view database, const std::filesystem::path&,
                                       const StoreOptions& options) { return OpenPostgresStore(database, options); }};
  return backend;
}

}  // namespace statvtk::store
