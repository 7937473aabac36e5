// The store's hot statements are answered from an index: SQLite's query
// plan of each searches, and neither scans a table nor sorts; the fleet's
// summaries take a fixed number of statements.
#include <gtest/gtest.h>

#include "store/record_store.hpp"
#include "store/sql_store.hpp"
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
  };
  for (const auto& statement : statements) {
    auto plan = (*c)->Run("EXPLAIN QUERY PLAN " + statement, {}, Repeat::Safe);
    ASSERT_TRUE(plan) << plan.error().reason;
    std::string steps;
    for (int i = 0; i < plan->Count(); ++i) steps += plan->Text(i, 3) + "; ";
    EXPECT_EQ(steps.find("SCAN"), std::string::npos) << statement << "\n  " << steps;
    EXPECT_EQ(steps.find("TEMP B-TREE"), std::string::npos) << statement << "\n  " << steps;
    EXPECT_NE(steps.find("SEARCH"), std::string::npos) << statement << "\n  " << steps;
  }
}

// The summaries go through the instruments, the kept counts, the gaps,
// findings and conflicts once each, the daily header retention
// through the headers; reads and records only through their indexes.
TEST(QueryPlans, TheFleetsSummariesScanNeitherReadsNorRecords) {
  link_test::TempFolder dir;
  ASSERT_TRUE(OpenRecordStore("plans.sqlite", dir.Path()));
  auto c = SqliteConnection::Open((dir.Path() / "plans.sqlite").string(), 1000);
  ASSERT_TRUE(c);
  for (const std::string& statement :
       {SummaryInstrumentsSql(), std::string(kSummaryHeldSql), std::string(kSummaryStatsSql),
        std::string(kSummaryFindingsSql), std::string(kSummaryConflictsSql), std::string(kSummaryGoneSql),
        std::string(kPruneHeadersSql), ReadRunsQuery(std::vector<ReadRunKey>{{"boiler", "L"}, {"well", ""}}).text}) {
    auto plan = (*c)->Run("EXPLAIN QUERY PLAN " + statement, {}, Repeat::Safe);
    ASSERT_TRUE(plan) << plan.error().reason;
    std::string steps;
    for (int i = 0; i < plan->Count(); ++i) steps += plan->Text(i, 3) + "; ";
    for (const char* scan : {"SCAN reads", "SCAN records"})
      EXPECT_EQ(steps.find(scan), std::string::npos) << statement << "\n  " << steps;
    for (const std::string alias : {"l", "g", "r", "d", "t", "x", "f"})  // reads by another name
      for (const char* after : {";", " "})
        EXPECT_EQ(steps.find("SCAN " + alias + after), std::string::npos) << statement << "\n  " << steps;
  }
}

// A connection that counts the statements run through it.
class Counting final : public SqlConnection {
 public:
  Counting(std::unique_ptr<SqlConnection> c, int& runs) : c_(std::move(c)), runs_(runs) {}
  std::string_view Backend() const override { return c_->Backend(); }
  Result<SqlRows> Run(std::string_view sql, const std::vector<SqlValue>& params, Repeat repeat) override {
    ++runs_;
    return c_->Run(sql, params, repeat);
  }
  Result<void> Exec(std::string_view sql) override { return c_->Exec(sql); }
  Result<void> Begin() override { return c_->Begin(); }
  Result<void> Commit() override { return c_->Commit(); }
  void Rollback() override { c_->Rollback(); }
  bool InTransaction() const override { return c_->InTransaction(); }

 private:
  std::unique_ptr<SqlConnection> c_;
  int& runs_;
};

TEST(QueryPlans, TheFleetsSummariesTakeAsManyStatementsForFortyInstrumentsAsForOne) {
  link_test::TempFolder dir;
  auto c = SqliteConnection::Open((dir.Path() / "fleet.sqlite").string(), 1000);
  ASSERT_TRUE(c && MigrateSchema(**c) && (*c)->Exec("PRAGMA synchronous=OFF"));
  int runs = 0;
  SqlStore store(std::make_unique<Counting>(std::move(*c), runs), {});
  std::vector<int> statements;
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
    runs = 0;
    auto all = store.Summaries(7, PeriodTime{2026, 12, 2, 0});
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), static_cast<std::size_t>(n + 1));
    statements.push_back(runs);
  }
  EXPECT_EQ(statements.front(), statements.back());
  EXPECT_LE(statements.back(), 8);
}

}  // namespace
}  // namespace statvtk::store
