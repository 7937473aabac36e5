// Creating the schema, or bringing an older store up to this program's
// version: the steps it lacks, in one transaction, so a failed upgrade
// leaves the store as it was.
#include "store/periods.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

// One instrument's archive of `gone` folded into ranges, a page of periods
// at a time (a century of hours is a million rows): consecutive periods make
// one gap; a text that is no period of the archive is dropped with its row.
Result<void> FoldArchive(SqlConnection& c, const std::string& serial, const std::string& archive) {
  const auto kind = ArchiveOfName(archive);
  if (!kind) return {};
  std::optional<PeriodSpan> run;
  std::optional<PeriodTime> last;
  std::int64_t readId = 0;
  const auto flush = [&]() -> Result<void> {
    if (!run) return {};
    auto r = c.Run(sql::kInsertGap.text, {SqlText(serial), SqlText(archive), SqlText(run->first), SqlText(run->last),
                                          SqlInt(run->count), SqlInt(readId)});
    run.reset();
    if (!r) return r.error();
    return {};
  };
  std::string after;
  for (;;) {
    auto page = c.Run(
        "SELECT period, read_id FROM gone WHERE serial = $1 AND archive = $2 AND period > $3 "
        "ORDER BY period LIMIT 20000",
        {SqlText(serial), SqlText(archive), SqlText(after)});
    if (!page) return page.error();
    if (page->Count() == 0) break;
    for (int i = 0; i < page->Count(); ++i) {
      after = page->Text(i, 0);
      const auto t = ParsePeriod(*kind, after);
      if (!t) continue;
      if (run && last && PeriodsBetween(*kind, *last, *t) == 1) {
        run->last = after;
        ++run->count;
      } else {
        if (auto f = flush(); !f) return f;
        run = PeriodSpan{after, after, 1};
        readId = page->Int(i, 1);
      }
      last = t;
    }
  }
  return flush();
}

// Version 3's step in code: `gone` as gap ranges, then dropped.
Result<void> FoldGone(SqlConnection& c) {
  auto keys = c.Run("SELECT DISTINCT serial, archive FROM gone ORDER BY serial, archive", {});
  if (!keys) return keys.error();
  for (int i = 0; i < keys->Count(); ++i)
    if (auto r = FoldArchive(c, keys->Text(i, 0), keys->Text(i, 1)); !r) return r;
  return c.Exec("DROP TABLE gone");
}

struct CodeStep {
  int version;
  Result<void> (*run)(SqlConnection&);
};
constexpr CodeStep kCodeSteps[] = {{.version = 3, .run = FoldGone}};

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
    for (const CodeStep& code : kCodeSteps)
      if (code.version == step.version)
        if (auto r = code.run(c); !r) return r;
    if (auto r = c.Run(sql::kInsertVersion, {SqlInt(step.version)}, Repeat::Never); !r) return r.error();
  }
  return RunAll(c, sql::kIndexesOnOpen, std::size(sql::kIndexesOnOpen));
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
