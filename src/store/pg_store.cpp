#include "store/pg_store.hpp"

#include "store/analyst_views.hpp"
#include "store/pg_connection.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

Result<std::unique_ptr<RecordStore>> OpenPostgresStore(std::string_view url, const StoreOptions& options) {
  auto c = PgConnection::Open(url, options.readOnly, options.lockWait);
  if (!c) return c.error();
  if (options.readOnly) {
    if (auto r = CheckSchemaForReading(**c); !r) return r.error();
  } else {
    Result<void> r = DropAnalystViewsForUpgrade(**c);
    if (r) r = MigrateSchema(**c);
    if (r) r = CreateAnalystViews(**c);
    if (!r) return r.error();
  }
  return std::unique_ptr<RecordStore>(std::make_unique<SqlStore>(std::move(*c), options));
}

const StoreBackend& PostgresBackend() {
  static const StoreBackend backend{"postgresql", [](std::string_view database) { return IsPostgresUrl(database); },
                                    [](std::string_view database, const std::filesystem::path&,
                                       const StoreOptions& options) { return OpenPostgresStore(database, options); }};
  return backend;
}

}  // namespace statvtk::store
