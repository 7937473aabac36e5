// The store's interface on both backends: header blocks kept byte for byte
// with their read; a read's records told apart and conflicts counted once;
// whole archives in few statements; the holes of a range.
#include <algorithm>
#include <numeric>

#include "both_backends.hpp"
#include "store/periods.hpp"
#include "store/sqlite_connection.hpp"

namespace statvtk::store {

std::string BothBackends::CountSqlite(const std::string& sql) {
  auto c = SqliteConnection::Open((dir_.Path() / database_).string(), 1000);
  if (!c) return c.error().reason;
  auto rows = (*c)->Run(sql, {}, Repeat::Safe);
  return rows ? rows->Text(0, 0) : rows.error().reason;
}

namespace {

INSTANTIATE_TEST_SUITE_P(Store, BothBackends, ::testing::Values("sqlite", "postgresql"));

TEST_P(BothBackends, AReadsHeaderBlockIsKeptByteForByteWithItsRead) {
  std::vector<std::uint8_t> older(1024), newer(2048);
  std::iota(older.begin(), older.end(), std::uint8_t{0});  // every byte value, zero included
  std::iota(newer.rbegin(), newer.rend(), std::uint8_t{7});
  EXPECT_FALSE(store_->NewestHeader("7001").value());
  {
    StoreTransaction t(*store_);
    ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "2026-12-07T09:00:00Z", 10800, newer}));
  }  // the read's transaction rolled back: its header with it
  EXPECT_FALSE(store_->NewestHeader("7001").value());

  ASSERT_TRUE(store_->PutHeader({4, "7001", "LDN-08", "2026-12-07T10:00:00Z", 10800, older}));
  ASSERT_TRUE(store_->PutHeader({6, "7002", "LDN-08", "2026-12-07T10:00:00Z", 10800, older}));
  ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "", 10800, std::vector<std::uint8_t>(2048)}));
  ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "2026-12-07T11:00:00Z", -3600, newer}));  // replaces
  auto newest = store_->NewestHeader("7001");
  ASSERT_TRUE(newest) << newest.error().reason;
  ASSERT_TRUE(newest->has_value());
  EXPECT_EQ((*newest)->readId, 5);
  EXPECT_EQ((*newest)->model, "LDN-08");
  EXPECT_EQ((*newest)->takenUtc, "2026-12-07T11:00:00Z");
  EXPECT_EQ((*newest)->utcOffsetS, -3600);
  EXPECT_EQ((*newest)->block, newer);
  EXPECT_EQ(store_->NewestHeader("7002").value()->block, older);
  EXPECT_EQ(Count("read_headers"), "3");
}

RecordRow Hour(const std::string& period, const std::string& raw, std::int64_t readId) {
  RecordRow r;
  r.serial = "50179157";
  r.period = period;
  r.forwardTotal = static_cast<double>(raw.size());
  r.forwardIncrement = 0.25;
  r.raw = raw;
  r.readId = readId;
  return r;
}

std::string HourOf(int h) {
  return PeriodText(ArchiveKind::Hourly, StepPeriod(ArchiveKind::Hourly, PeriodTime{2026, 12, 1, 0}, h));
}

// Reads that overlap what is stored: each record told apart, a changed one
// counted by the read that found it and by no later one.
TEST_P(BothBackends, AReadsRecordsAreToldApartAndAConflictIsCountedOnceByItsRead) {
  std::vector<RecordRow> first;
  for (int h = 0; h < 5; ++h) first.push_back(Hour(HourOf(h), "a" + std::to_string(h), 1));
  EXPECT_EQ(store_->PutRecords(first).value(), std::vector<Upsert>(5, Upsert::Added));

  // The instrument's clock was set back: it closed 06:00 twice, with other bytes.
  const std::vector<RecordRow> second{Hour(HourOf(3), "a3", 2), Hour(HourOf(4), "b4", 2), Hour(HourOf(5), "a5", 2),
                                      Hour(HourOf(6), "a6", 2), Hour(HourOf(6), "b6", 2)};
  auto put = store_->PutRecords(second);
  ASSERT_TRUE(put) << put.error().reason;
  EXPECT_EQ(*put,
            (std::vector<Upsert>{Upsert::Same, Upsert::Conflict, Upsert::Added, Upsert::Added, Upsert::Conflict}));
  const std::vector<RecordRow> third{Hour(HourOf(4), "b4", 3), Hour(HourOf(4), "c4", 3), Hour(HourOf(6), "b6", 3)};
  EXPECT_EQ(store_->PutRecords(third).value(),
            (std::vector<Upsert>{Upsert::KnownConflict, Upsert::Conflict, Upsert::KnownConflict}));
  EXPECT_EQ(Count("record_conflicts"), "3");  // = the Conflicts the reads counted

  const auto stored = store_->Records({"50179157", ArchiveKind::Hourly, "", "", 0}).value();
  ASSERT_EQ(stored.size(), 7u);
  EXPECT_EQ(stored[4].raw, "a4");  // the stored record is never overwritten
  EXPECT_EQ(stored[6].raw, "a6");
  const auto stats = store_->Stats("50179157", ArchiveKind::Hourly).value();
  EXPECT_EQ(stats.records, 7);
  EXPECT_EQ(stats.oldest, HourOf(0));
  EXPECT_EQ(stats.newest, HourOf(6));
}

TEST_P(BothBackends, AFullArchiveGoesInAtOnceAndComesBackTheSame) {
  std::vector<RecordRow> all;
  for (int h = 0; h < 1441; ++h) all.push_back(Hour(HourOf(h), "r" + std::to_string(h), 1));
  all.push_back(Hour("2024-02-31", "bad", 1));  // no calendar date: kept, flagged
  all.back().archive = ArchiveKind::Daily;
  auto put = store_->PutRecords(all);
  ASSERT_TRUE(put) << put.error().reason;
  EXPECT_EQ(std::count(put->begin(), put->end(), Upsert::Added), 1442);
  EXPECT_EQ(store_->PutRecords(all).value(), std::vector<Upsert>(all.size(), Upsert::Same));
  const auto stored = store_->Records({"50179157", ArchiveKind::Hourly, "", "", 0}).value();
  ASSERT_EQ(stored.size(), 1441u);
  EXPECT_EQ(stored[1440].raw, "r1440");
  EXPECT_EQ(stored[1440].forwardIncrement, 0.25);
  EXPECT_TRUE(store_->Records({"50179157", ArchiveKind::Daily, "", "", 0}).value().at(0).badDate);
  EXPECT_EQ(store_->Stats("50179157", ArchiveKind::Hourly).value().records, 1441);

  std::vector<EventRow> events;
  for (int i = 0; i < 130; ++i) events.push_back({"50179157", HourOf(i) + ":00", i % 3, "Сбой", 1});
  events.push_back(events.front());  // the same event twice in one read
  EXPECT_EQ(store_->PutEvents(events).value(), 130);
  EXPECT_EQ(store_->PutEvents(events).value(), 0);
  EXPECT_EQ(store_->Events("50179157", "", "").value().size(), 130u);
}

TEST_P(BothBackends, HolesAreThePeriodsOfTheRangeNeitherHeldNorGone) {
  for (int h : {0, 1, 4, 5, 9}) ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(h), "x", 1)));
  ASSERT_TRUE(store_->MarkGone("50179157", ArchiveKind::Hourly, HourOf(3), 1));
  auto holes = store_->Holes("50179157", ArchiveKind::Hourly, HourOf(1), HourOf(6));
  ASSERT_TRUE(holes) << holes.error().reason;
  EXPECT_EQ(*holes, (std::vector<std::string>{HourOf(2), HourOf(6)}));
  EXPECT_EQ(store_->Holes("50179157", ArchiveKind::Daily, "2026-11-30", "2026-12-02").value(),
            (std::vector<std::string>{"2026-11-30", "2026-12-01", "2026-12-02"}));
  EXPECT_FALSE(store_->Holes("50179157", ArchiveKind::Hourly, "2026-12-01", HourOf(6)));
}

}  // namespace
}  // namespace statvtk::store
