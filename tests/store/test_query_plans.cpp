// The store's hot statements are answered from an index: SQLite's query
// plan of each searches, and neither scans a table nor sorts; the fleet's
// summaries take a fixed number of statements.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "store/record_store.hpp"
#include "store/sql_store.hpp"
#include "store/situation_sql.hpp"
#include "store/sqlite_connection.hpp"
#include "store/store_queries.hpp"
#include "store/store_sql.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::store {
namespace {

TEST(QueryPlans, EveryHotStatementSearchesAnIndexAndNeverScansOrSorts) {
  link_test::TempFolder dir;
  ASSERT_TRUE(OpenRecordStore("plans.sqlite", dir.Path()));
  auto c = SqliteConnection::Open((dir.Path() / "plans.sqlite").string(), 1000);
  ASSERT_TRUE(c);
  const std::string s = "50179157", name = "boiler", h = "2026-12-01 10:00";
  const std::string p1 = "2026-12-01 10:00", p2 = "2026-12-01 11:00";
  const std::vector<const std::string*> periods{&p1, &p2};
  const std::vector<std::string> statements{
      ReadsQuery({s, "", 1, false}).text,
      ReadsQuery({s, "", 1, true}).text,
      ReadsQuery({"", name, 50, false}).text,
      ReadsQuery({"", name, 1, true}).text,
      RecordsQuery({s, ArchiveKind::Hourly, h, h, 0}).text,
      RecordsQuery({s, ArchiveKind::Daily, "", "", 1}).text,
      RecordsQuery({s, ArchiveKind::Daily, "", h, 0}).text,
      PeriodsQuery(s, ArchiveKind::Hourly, h, h).text,
      GapsQuery(s, ArchiveKind::Hourly, h, h).text,
      std::string(sql::kGapsTouching.text),
      std::string(sql::kSlots.text),
      std::string(sql::kForgetSlots.text),
      EventsQuery(s, h, h).text,
      FindingsQuery(s).text,
      ConflictsQuery(s).text,
      StoredRawQuery(s, ArchiveKind::Hourly, periods).text,
      std::string(sql::kNewestHeader.text),
      std::string(sql::kArchiveStats.text),
      std::string(sql::kPeek.text),
      std::string(sql::kFinishRead.text),
      std::string(sql::kAckFinding.text),
      std::string(sql::kAck.text),
      std::string(sql::kSituationsOfSerial.text),
      std::string(sql::kOpenSituationsOfKind.text),
      std::string(sql::kAckSituation.text),
  };
  for (const auto& statement : statements) {
    auto plan = (*c)->Run("EXPLAIN QUERY PLAN " + statement, {}, Repeat::Safe);
    ASSERT_TRUE(plan) << plan.error().reason;
    std::string steps;
    for (int i = 0; i < plan->Count(); ++i) steps += plan->Text(i, 3) + "; ";
    EXPECT_EQ(steps.find("SCAN"), std::string::npos) << statement << "\n  " << steps;
    EXPECT_EQ(steps.find("B-TREE FOR"), std::string::npos) << statement << "\n  " << steps;  // a sort
    EXPECT_NE(steps.find("SEARCH"), std::string::npos) << statement << "\n  " << steps;
  }
}

// A connection that keeps the statements run through it.
class Recording final : public SqlConnection {
 public:
  Recording(std::unique_ptr<SqlConnection> c, std::vector<std::string>& runs) : c_(std::move(c)), runs_(runs) {}
  std::string_view Backend() const override { return c_->Backend(); }
  Result<SqlRows> Run(std::string_view sql, const std::vector<SqlValue>& params, Repeat repeat) override {
    runs_.emplace_back(sql);
    return c_->Run(sql, params, repeat);
  }
  Result<void> Exec(std::string_view sql) override { return c_->Exec(sql); }
  Result<void> Begin() override { return c_->Begin(); }
  Result<void> Commit() override { return c_->Commit(); }
  void Rollback() override { c_->Rollback(); }
  bool InTransaction() const override { return c_->InTransaction(); }

 private:
  std::unique_ptr<SqlConnection> c_;
  std::vector<std::string>& runs_;
};

// The names `statement` gives `table` ("reads r", "records AS x"), the
// table's own name among them (a keyword taken for one, "reads WHERE", is
// harmless: no plan scans it).
std::set<std::string> NamesOf(const std::string& statement, const std::string& table) {
  std::set<std::string> names{table};
  const std::regex named("\\b" + table + "\\s+(?:AS\\s+)?([A-Za-z_][A-Za-z_0-9]*)", std::regex::icase);
  for (std::sregex_iterator m(statement.begin(), statement.end(), named), end; m != end; ++m) names.insert((*m)[1]);
  return names;
}

// The summaries (and the daily header retention, and the read runs) go
// through the instruments, the kept counts, findings and conflicts once
// each; reads and records only through their indexes. The statements are
// the ones the store runs for them, each table known by the names the
// statement itself gives it.
TEST(QueryPlans, TheFleetsSummariesScanNeitherReadsNorRecords) {
  link_test::TempFolder dir;
  ASSERT_TRUE(OpenRecordStore("plans.sqlite", dir.Path()));
  auto writer = SqliteConnection::Open((dir.Path() / "plans.sqlite").string(), 1000);
  auto c = SqliteConnection::Open((dir.Path() / "plans.sqlite").string(), 1000);
  ASSERT_TRUE(writer && c);
  std::vector<std::string> statements;
  SqlStore store(std::make_unique<Recording>(std::move(*writer), statements), {});
  ASSERT_TRUE(store.UpsertInstrument({"1000", "LDN-08", "boiler", "L", 1, "", "", 3600}));
  statements.clear();
  ASSERT_TRUE(store.Summaries(7, PeriodTime{2026, 12, 2, 0}));
  ASSERT_TRUE(store.PruneHeaders(30, "2026-12-10T00:00:00Z"));
  const std::vector<ReadRunKey> keys{{"boiler", "L"}, {"well", ""}};
  ASSERT_TRUE(store.ReadRuns(keys));
  ASSERT_TRUE(store.ReadsByDay("2026-12-01T00:00:00Z"));  // the read rates: the days asked for only
  ASSERT_GE(statements.size(), 4u);
  for (const std::string& statement : statements) {
    auto plan = (*c)->Run("EXPLAIN QUERY PLAN " + statement, {}, Repeat::Safe);
    ASSERT_TRUE(plan) << plan.error().reason;
    std::string steps;
    for (int i = 0; i < plan->Count(); ++i) steps += plan->Text(i, 3) + "; ";
    for (const char* table : {"reads", "records"})
      for (const auto& name : NamesOf(statement, table))
        for (const char* after : {";", " "})
          EXPECT_EQ(steps.find("SCAN " + name + after), std::string::npos) << statement << "\n  " << steps;
  }
}

TEST(QueryPlans, TheFleetsSummariesTakeAsManyStatementsForFortyInstrumentsAsForOne) {
  link_test::TempFolder dir;
  auto c = SqliteConnection::Open((dir.Path() / "fleet.sqlite").string(), 1000);
  ASSERT_TRUE(c && MigrateSchema(**c) && (*c)->Exec("PRAGMA synchronous=OFF"));
  std::vector<std::string> runs;
  SqlStore store(std::make_unique<Recording>(std::move(*c), runs), {});
  std::vector<std::size_t> statements;
  for (int n = 0; n < 40; ++n) {
    const std::string serial = std::to_string(1000 + n);
    ASSERT_TRUE(store.UpsertInstrument({serial, "LDN-08", "n", "L", n, "", "", 3600}));
    const auto id = store.StartRead({serial, "n", "L", "2026-12-01T10:00:00Z", ReadMode::Full});
    ASSERT_TRUE(id &&
                store.FinishRead(*id, {serial, "2026-12-01T10:01:00Z", ReadOutcome::Done, "", 1, "", 0, 0, 0, 0}));
    RecordRow r;
    r.serial = serial;
    r.period = "2026-12-01 0" + std::to_string(n % 10) + ":00";
    r.raw = "00";
    ASSERT_TRUE(store.UpsertRecord(r));
    ASSERT_TRUE(store.AddFinding({0, serial, FindingKind::ClockOff, {}, "2026-12-01T10", "", *id, "", "", ""}));
    if (n != 0 && n != 39) continue;
    runs.clear();
    auto all = store.Summaries(7, PeriodTime{2026, 12, 2, 0});
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), static_cast<std::size_t>(n + 1));
    statements.push_back(runs.size());
  }
  EXPECT_EQ(statements.front(), statements.back());
  EXPECT_LE(statements.back(), 8u);
}

}  // namespace
}  // namespace statvtk::store
