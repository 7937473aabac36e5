// Creating the schema, or bringing an older store up to this program's
// version: the steps it lacks, in one transaction, so a failed upgrade
// leaves the store as it was.
#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

Result<void> RunAll(SqlConnection& c, const std::string_view* statements, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (auto r = c.Exec(statements[i]); !r) return r;
  return {};
}

Result<int> VersionIn(SqlConnection& c) {
  if (auto r = c.Exec(sql::kVersionTable); !r) return r.error();
  auto current = c.Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!current) return current.error();
  return current->Count() ? static_cast<int>(current->Int(0, 0)) : 0;
}

Error Newer(int have) {
  return MakeError(ErrorCode::StoreSchema, "База данных новее программы: версия схемы " + std::to_string(have) +
                                               ", программа знает " + std::to_string(sql::kSchemaVersion) +
                                               "; нужна более новая версия statvtk-collect");
}

Result<void> Upgrade(SqlConnection& c) {
  if (auto r = c.LockSchema(); !r) return r;
  auto have = VersionIn(c);
  if (!have) return have.error();
  if (*have > sql::kSchemaVersion) return Newer(*have);
  const bool postgres = c.Backend() == "postgresql";
  for (const auto& step : sql::kSchema) {
    if (step.version <= *have) continue;
    if (postgres)
      if (auto r = RunAll(c, step.postgresFirst, step.postgresCount); !r) return r;
    if (auto r = RunAll(c, step.statements, step.count); !r) return r;
    if (!postgres)
      if (auto r = RunAll(c, step.sqliteAfter, step.sqliteCount); !r) return r;
    if (auto r = c.Run(sql::kInsertVersion, {SqlInt(step.version)}, Repeat::Never); !r) return r.error();
  }
  return {};
}

}  // namespace

Result<void> MigrateSchema(SqlConnection& c) {
  if (auto r = c.Begin(); !r) return r;
  if (auto r = Upgrade(c); !r) {
    c.Rollback();
    return r;
  }
  return c.Commit();
}

Result<void> CheckSchemaForReading(SqlConnection& c) {
  auto current = c.Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!current) {
    if (StoreUnavailable(current.error())) return current.error();
    return MakeError(ErrorCode::StoreSchema, "Это не хранилище сборщика: " + current.error().reason);
  }
  const int have = current->Count() ? static_cast<int>(current->Int(0, 0)) : 0;
  if (have > sql::kSchemaVersion) return Newer(have);
  if (have < sql::kSchemaVersion)
    return MakeError(ErrorCode::StoreSchema, "База данных версии схемы " + std::to_string(have) +
                                                 ": её обновит statvtk-collect once или run, открыв её для записи");
  return {};
}

}  // namespace statvtk::store
