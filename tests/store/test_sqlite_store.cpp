// The SQLite record store: upserts that never overwrite, conflicts kept, reads,
// findings, the outbox in order, gaps and summaries, and a reopened file.
#include <gtest/gtest.h>

#include "store/periods.hpp"
#include "store/record_store.hpp"
#include "store/sqlite_connection.hpp"
#include "support/temp_folder.hpp"
#include "v1_store.hpp"

namespace statvtk::store {
namespace {

using link_test::TempFolder;

RecordRow Hour(const std::string& period, double total, const std::string& raw) {
  RecordRow r;
  r.serial = "00012345";
  r.archive = ArchiveKind::Hourly;
  r.period = period;
  r.forwardTotal = total;
  r.forwardIncrement = 0.5;
  r.fields = R"({"temperature":21.5})";
  r.raw = raw;
  r.readId = 1;
  return r;
}

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto s = OpenRecordStore("collect.sqlite", dir_.Path(), {.origin = "site-1"});
    ASSERT_TRUE(s) << s.error().reason;
    store_ = std::move(*s);
  }
  TempFolder dir_;
  std::unique_ptr<RecordStore> store_;
};

TEST_F(SqliteStoreTest, SameKeySameBytesChangesNothingOtherBytesAreAConflict) {
  ASSERT_EQ(store_->UpsertRecord(Hour("2024-05-01 10:00", 100, "aa01")).value(), Upsert::Added);
  ASSERT_EQ(store_->UpsertRecord(Hour("2024-05-01 10:00", 100, "aa01")).value(), Upsert::Same);
  RecordRow other = Hour("2024-05-01 10:00", 7, "bb02");
  other.forwardIncrement.reset();
  ASSERT_EQ(store_->UpsertRecord(other).value(), Upsert::Conflict);
  ASSERT_EQ(store_->UpsertRecord(other).value(), Upsert::KnownConflict);  // found before

  auto rows = store_->Records({"00012345", ArchiveKind::Hourly, "", "", 0});
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 1u);
  EXPECT_EQ((*rows)[0].forwardTotal, 100);
  EXPECT_EQ((*rows)[0].forwardIncrement, 0.5);
  EXPECT_EQ((*rows)[0].fields, R"({"temperature":21.5})");
  auto conflicts = store_->Conflicts("");
  ASSERT_TRUE(conflicts);
  ASSERT_EQ(conflicts->size(), 1u);  // the same differing record once
  EXPECT_EQ((*conflicts)[0].storedRaw, "aa01");
  EXPECT_EQ((*conflicts)[0].record.raw, "bb02");
  EXPECT_FALSE((*conflicts)[0].record.forwardIncrement);
}

TEST_F(SqliteStoreTest, ReadsStartAndFinishNewestFirst) {
  const auto a = store_->StartRead({"", "n1", "L", "2024-05-01T10:00:00Z", ReadMode::Full});
  const auto b = store_->StartRead({"S2", "n2", "L", "2024-05-01T10:01:00Z", ReadMode::New});
  ASSERT_TRUE(a && b);
  EXPECT_LT(*a, *b);
  ReadFinish f;
  f.serial = "S1";
  f.endedUtc = "2024-05-01T10:02:00Z";
  f.requests = 42;
  f.added = 7;
  ASSERT_TRUE(store_->FinishRead(*a, f));
  auto all = store_->Reads({});
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ((*all)[0].id, *b);
  EXPECT_FALSE((*all)[0].outcome);  // still running (or died)
  EXPECT_EQ((*all)[1].serial, "S1");
  EXPECT_EQ((*all)[1].outcome, ReadOutcome::Done);
  EXPECT_EQ((*all)[1].requests, 42);
  EXPECT_EQ((*all)[1].origin, "site-1");
  auto good = store_->Reads({"", "", 10, true});
  ASSERT_TRUE(good);
  ASSERT_EQ(good->size(), 1u);
  EXPECT_EQ((*good)[0].name, "n1");
}

TEST_F(SqliteStoreTest, EventsAndFindingsAreAddedOnce) {
  EXPECT_TRUE(store_->UpsertEvent({"S", "2024-05-01 10:11:12", 3, "Сбой", 1}).value());
  EXPECT_FALSE(store_->UpsertEvent({"S", "2024-05-01 10:11:12", 3, "Сбой", 2}).value());
  EXPECT_TRUE(store_->UpsertEvent({"S", "2024-05-01 10:11:12", 4, "Другое", 2}).value());
  FindingRow f{0, "S", FindingKind::TotalDown, ArchiveKind::Daily, "2024-05-01", "V+ 10 -> 9", 1, "", "", ""};
  EXPECT_TRUE(store_->AddFinding(f).value());
  EXPECT_FALSE(store_->AddFinding(f).value());
  f.archive.reset();
  f.kind = FindingKind::ClockOff;
  EXPECT_TRUE(store_->AddFinding(f).value());
  auto found = store_->Findings("S");
  ASSERT_TRUE(found);
  ASSERT_EQ(found->size(), 2u);
  EXPECT_EQ((*found)[0].kind, FindingKind::ClockOff);
  EXPECT_FALSE((*found)[0].archive);
  EXPECT_EQ((*found)[1].archive, ArchiveKind::Daily);
  // Acknowledged once; the finding stays, no longer open.
  EXPECT_TRUE(store_->AckFinding((*found)[1].id, "operator", "2024-05-02T08:00:00Z").value());
  EXPECT_FALSE(store_->AckFinding((*found)[1].id, "other", "").value());
  const auto acked = store_->Findings("S").value();
  EXPECT_EQ(acked[1].ackedBy, "operator");
  EXPECT_EQ(acked[1].ackedUtc, "2024-05-02T08:00:00Z");
  EXPECT_EQ(acked[0].ackedUtc, "");
  EXPECT_EQ(store_->Events("S", "", "").value().size(), 2u);
}

TEST_F(SqliteStoreTest, OutboxInOrderPerOriginAndRolledBackWithItsRead) {
  {
    StoreTransaction t(*store_);
    ASSERT_TRUE(t.Begun());
    ASSERT_TRUE(store_->Enqueue({0, "a", "statvtk/S/read", "{}", 1, false, ""}));
    ASSERT_TRUE(store_->UpsertRecord(Hour("2024-05-01 11:00", 1, "01")));
  }  // not committed
  EXPECT_TRUE(store_->Peek("a", 10).value().empty());
  EXPECT_TRUE(store_->Records({"00012345", ArchiveKind::Hourly, "", "", 0}).value().empty());
  {
    StoreTransaction t(*store_);
    for (const char* topic : {"t/1", "t/2", "t/3"}) ASSERT_TRUE(store_->Enqueue({0, "a", topic, "x", 1, false, ""}));
    ASSERT_TRUE(store_->Enqueue({0, "b", "t/b", "y", 1, true, ""}));
    ASSERT_TRUE(t.Commit());
  }
  auto first = store_->Peek("a", 2).value();
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].topic, "t/1");
  ASSERT_TRUE(store_->Ack(first[0].id));
  auto rest = store_->Peek("a", 10).value();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0].topic, "t/2");
  EXPECT_EQ(rest[1].topic, "t/3");
  EXPECT_TRUE(store_->Peek("b", 10).value().at(0).retain);
}

TEST_F(SqliteStoreTest, GapsAndSummaryAfterReopen) {
  ASSERT_TRUE(
      store_->UpsertInstrument({"00012345", "ВКТ-08.14С", "boiler", "L1", 3, "2024-05-01T00:00:00Z", "", 3600}));
  for (const char* p : {"2024-05-01 20:00", "2024-05-01 21:00", "2024-05-01 23:00"})
    ASSERT_TRUE(store_->UpsertRecord(Hour(p, 1, p)));
  ASSERT_TRUE(store_->UpsertInstrument(
      {"00012345", "ВКТ-08.14С", "boiler2", "L1", 3, "2024-06-01T00:00:00Z", "2024-05-02T00:00:00Z", {}}));
  store_.reset();
  auto reopened = OpenRecordStore((dir_.Path() / "collect.sqlite").string(), "/nonexistent");
  ASSERT_TRUE(reopened) << reopened.error().reason;
  RecordStore& s = **reopened;
  EXPECT_EQ(s.SchemaVersion().value(), sql::kSchemaVersion);
  EXPECT_TRUE(s.Check());
  const auto inst = s.Instruments().value();
  ASSERT_EQ(inst.size(), 1u);
  EXPECT_EQ(inst[0].name, "boiler2");
  EXPECT_EQ(inst[0].firstSeenUtc, "2024-05-01T00:00:00Z");
  EXPECT_EQ(inst[0].lastReadUtc, "2024-05-02T00:00:00Z");
  EXPECT_EQ(inst[0].everyS, 3600);  // kept when not given

  const auto held = s.Periods("00012345", ArchiveKind::Hourly, "2024-05-01 21:00", "").value();
  EXPECT_EQ(held, (std::vector<std::string>{"2024-05-01 21:00", "2024-05-01 23:00"}));
  const auto stats = s.Stats("00012345", ArchiveKind::Hourly).value();
  EXPECT_EQ(stats.records, 3);
  EXPECT_EQ(stats.oldest, "2024-05-01 20:00");

  // The last 2 closed hours before 2024-05-02 00:00 are 22:00 and 23:00: one held.
  auto sum = Summaries(s, "", 1, "2024-05-02 00:00");
  ASSERT_TRUE(sum) << sum.error().reason;
  ASSERT_EQ(sum->size(), 1u);
  EXPECT_EQ((*sum)[0].archives[0].expected, 24);
  EXPECT_EQ((*sum)[0].archives[0].held, 3);
  EXPECT_NEAR((*sum)[0].archives[0].completeness, 12.5, 1e-9);
}

TEST(SqliteUpgrade, AVersionOneStoreUpgradesInPlaceKeepingEveryRowAndANewerOneIsRefused) {
  TempFolder dir;
  const std::string file = (dir.Path() / "collect.sqlite").string();
  {
    auto c = SqliteConnection::Open(file, 1000);
    ASSERT_TRUE(c) << c.error().reason;
    MakeV1Store(**c, 1000000);
  }
  for (int open = 0; open < 2; ++open) {  // the second opening finds nothing to do
    auto s = OpenRecordStore("collect.sqlite", dir.Path());
    ASSERT_TRUE(s) << s.error().reason;
    ExpectV1RowsKept(**s, "site-1", 1000000);  // the one origin its outbox names
  }
  {
    auto c = SqliteConnection::Open(file, 1000);
    ASSERT_TRUE(c && (*c)->Exec("INSERT INTO schema_version(version) VALUES(99)"));
  }
  auto newer = OpenRecordStore("collect.sqlite", dir.Path());
  ASSERT_FALSE(newer);
  EXPECT_NE(newer.error().reason.find("новее программы: версия схемы 99"), std::string::npos) << newer.error().reason;
  EXPECT_EQ(newer.error().code, ErrorCode::StoreSchema);
}

// Opening only to read creates nothing and upgrades nothing; a folder the
// program cannot write (here: its shared-memory file cannot be made) reads.
TEST(SqliteReadOnly, NothingIsCreatedOrUpgradedAndAStoreInAFolderItCannotWriteReads) {
  TempFolder dir;
  const StoreOptions readOnly{.origin = "", .busyWait = std::chrono::milliseconds(1000), .readOnly = true};
  auto missing = OpenRecordStore("none.sqlite", dir.Path(), readOnly);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ErrorCode::StoreUnreachable);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "none.sqlite"));

  {
    auto c = SqliteConnection::Open((dir.Path() / "old.sqlite").string(), 1000);
    ASSERT_TRUE(c);
    MakeV1Store(**c);
  }
  auto old = OpenRecordStore("old.sqlite", dir.Path(), readOnly);
  ASSERT_FALSE(old);
  EXPECT_EQ(old.error().code, ErrorCode::StoreSchema);
  EXPECT_NE(old.error().reason.find("версии схемы 1"), std::string::npos) << old.error().reason;
  EXPECT_EQ(SqliteConnection::Open((dir.Path() / "old.sqlite").string(), 1000)
                .value()
                ->Run(sql::kSelectVersion, {}, Repeat::Safe)
                ->Int(0, 0),
            1);

  {
    auto s = OpenRecordStore("new.sqlite", dir.Path());
    ASSERT_TRUE(s && (*s)->UpsertRecord(Hour("2024-05-01 10:00", 1, "01")));
  }
  std::filesystem::create_directory(dir.Path() / "new.sqlite-shm");
  auto reader = OpenRecordStore("new.sqlite", dir.Path(), readOnly);
  ASSERT_TRUE(reader) << reader.error().reason;
  auto rows = (*reader)->Records({"00012345", ArchiveKind::Hourly, "", "", 0});
  ASSERT_TRUE(rows) << rows.error().reason;
  EXPECT_EQ(rows->size(), 1u);
}

TEST(RecordStoreOpen, PostgresUrlIsNotTakenForAFileAndABadPathIsRefused) {
  TempFolder dir;
  auto pg = OpenRecordStore("postgresql://u@127.0.0.1/db", dir.Path());
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "postgresql:"));
  ASSERT_FALSE(pg);
  EXPECT_EQ(pg.error().code, ErrorCode::StoreUnreachable);
  auto bad = OpenRecordStore((dir.Path() / "no" / "such" / "x.sqlite").string(), dir.Path());
  EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace statvtk::store
