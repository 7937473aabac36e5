// The store's hot statements are answered from an index: SQLite's query
// plan of each searches, and neither scans a table nor sorts.
#include <gtest/gtest.h>

#include "store/record_store.hpp"
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
      GoneQuery(s, ArchiveKind::Hourly, h, h).text,
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

}  // namespace
}  // namespace statvtk::store
