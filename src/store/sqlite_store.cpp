#include "store/sqlite_store.hpp"

#include "store/sql_store.hpp"
#include "store/sqlite_connection.hpp"

namespace statvtk::store {

namespace {

bool AcceptsPath(std::string_view database) { return database.find("://") == std::string_view::npos; }

Result<std::unique_ptr<RecordStore>> OpenFromText(std::string_view database, const std::filesystem::path& home,
                                                  const StoreOptions& options) {
  std::filesystem::path p{std::string(database)};
  if (p.is_relative()) p = home / p;
  return OpenSqliteStore(p, options);
}

}  // namespace

Result<std::unique_ptr<RecordStore>> OpenSqliteStore(const std::filesystem::path& file, const StoreOptions& options) {
  auto c = SqliteConnection::Open(file.string(), static_cast<int>(options.busyWait.count()), options.readOnly);
  if (!c) return c.error();
  if (options.readOnly) {
    if (auto r = CheckSchemaForReading(**c); !r) return r.error();
    return std::unique_ptr<RecordStore>(std::make_unique<SqlStore>(std::move(*c), options));
  }
  // WAL: readers (status, export, the HTTP API) never wait for the writer;
  // NORMAL sync keeps every committed read across a crash of the process.
  if (auto r = (*c)->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON"); !r)
    return r.error();
  if (auto r = MigrateSchema(**c); !r) return r.error();
  return std::unique_ptr<RecordStore>(std::make_unique<SqlStore>(std::move(*c), options));
}

StoreBackend SqliteBackend() { return {"sqlite", &AcceptsPath, &OpenFromText}; }

}  // namespace statvtk::store
