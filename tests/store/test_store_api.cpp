// The store's interface on both backends: header blocks kept byte for byte
// with their read; a read's records told apart and conflicts counted once;
// whole archives in few statements; the holes of a range; the fleet's
// summaries; readers beside the writer.
#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>
#include <tuple>

#include "both_backends.hpp"
#include "store/periods.hpp"
#include "store/pg_connection.hpp"
#include "store/sqlite_connection.hpp"
#include "store/store_readers.hpp"
#include "v1_store.hpp"

namespace statvtk::store {

Result<std::unique_ptr<SqlConnection>> BothBackends::Connect(const std::string& database) {
  const auto upcast = [](auto opened) -> Result<std::unique_ptr<SqlConnection>> {
    if (!opened) return opened.error();
    return std::unique_ptr<SqlConnection>(std::move(*opened));
  };
  if (Postgres()) return upcast(PgConnection::Open(database));
  return upcast(SqliteConnection::Open((dir_.Path() / database).string(), 1000));
}

std::string BothBackends::SqlOn(const std::string& database, const std::string& statement) {
  auto c = Connect(database);
  if (!c) return c.error().reason;
  auto rows = (*c)->Run(statement, {}, Repeat::Never);
  if (!rows) return rows.error().reason;
  return rows->Count() ? rows->Text(0, 0) : std::string();
}

namespace {

INSTANTIATE_TEST_SUITE_P(Store, BothBackends, ::testing::Values("sqlite", "postgresql"));

TEST_P(BothBackends, CallsComeBackNewestFirstByLineWithTheirTimesAndOutcome) {
  const CallRow calls[] = {
      {0, "vm", "pool", "/dev/ttyUSB0", "village-3", "8495", "2026-12-10T01:00:00.125Z", "", "2026-12-10T01:00:09.500Z",
       "BUSY"},
      {0, "vm", "pool", "/dev/ttyUSB1", "village-4", "8496", "2026-12-10T01:00:01.000Z", "2026-12-10T01:00:09.000Z",
       "2026-12-10T01:02:10.001Z", "CONNECT"},
      {0, "vm", "pool", "/dev/ttyUSB0", "village-3", "8495", "2026-12-10T01:02:30.000Z", "2026-12-10T01:02:38.250Z",
       "2026-12-10T01:03:00.000Z", "NO CARRIER"},
  };
  for (const auto& c : calls) ASSERT_TRUE(store_->AddCall(c));
  const auto village3 = store_->Calls("village-3", 0).value();
  ASSERT_EQ(village3.size(), 2u);
  EXPECT_EQ(village3[0].outcome + " " + village3[0].connectedUtc, "NO CARRIER 2026-12-10T01:02:38.250Z");
  EXPECT_EQ(village3[1].dialedUtc + " " + village3[1].connectedUtc, "2026-12-10T01:00:00.125Z ");
  EXPECT_GT(village3[0].id, village3[1].id);
  const auto newest = store_->Calls("", 1).value();
  ASSERT_EQ(newest.size(), 1u);
  EXPECT_EQ(newest[0].line, "village-3");
  EXPECT_EQ(store_->Calls("", 0).value().size(), 3u);
}

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
  const HeaderRow& h = **newest;
  EXPECT_EQ(std::tie(h.readId, h.model, h.takenUtc, h.utcOffsetS),
            std::tuple(5, "LDN-08", "2026-12-07T11:00:00Z", -3600));
  EXPECT_EQ(h.block, newer);
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
  EXPECT_EQ(std::tie(stats.records, stats.oldest, stats.newest), std::tuple(7, HourOf(0), HourOf(6)));
}

TEST_P(BothBackends, AFullArchiveGoesInAtOnceAndComesBackTheSame) {
  std::vector<RecordRow> all;
  for (int h = 0; h < 1441; ++h) all.push_back(Hour(HourOf(h), "r" + std::to_string(h), 1));
  auto put = store_->PutRecords(all);
  ASSERT_TRUE(put) << put.error().reason;
  EXPECT_EQ(std::count(put->begin(), put->end(), Upsert::Added), 1441);
  EXPECT_EQ(store_->PutRecords(all).value(), std::vector<Upsert>(all.size(), Upsert::Same));
  const auto stored = store_->Records({"50179157", ArchiveKind::Hourly, "", "", 0}).value();
  ASSERT_EQ(stored.size(), 1441u);
  EXPECT_EQ(stored[1440].raw, "r1440");
  EXPECT_EQ(stored[1440].forwardIncrement, 0.25);
  // A period the calendar has not is no record: the batch is refused whole.
  std::vector<RecordRow> bad{Hour(HourOf(2000), "new", 1), Hour("2024-02-31", "bad", 1)};
  bad.back().archive = ArchiveKind::Daily;
  EXPECT_EQ(store_->PutRecords(bad).error().code, ErrorCode::BadData);
  EXPECT_TRUE(store_->Records({"50179157", ArchiveKind::Daily, "", "", 0}).value().empty());
  EXPECT_TRUE(store_->Periods("50179157", ArchiveKind::Hourly, HourOf(2000), HourOf(2000)).value().empty());
  EXPECT_EQ(store_->Stats("50179157", ArchiveKind::Hourly).value().records, 1441);

  std::vector<EventRow> events;
  for (int i = 0; i < 130; ++i) events.push_back({"50179157", HourOf(i) + ":00", i % 3, "Сбой", 1});
  events.push_back(events.front());  // the same event twice in one read
  EXPECT_EQ(store_->PutEvents(events).value(), 130);
  EXPECT_EQ(store_->PutEvents(events).value(), 0);
  EXPECT_EQ(store_->Events("50179157", "", "").value().size(), 130u);
}

TEST_P(BothBackends, HolesAndGapsAreRangesOneRowAGap) {
  using store::PeriodSpan;
  const auto spans = [](std::vector<PeriodSpan> v) {
    std::vector<std::tuple<std::string, std::string, long>> out;
    for (auto& s : v) out.emplace_back(s.first, s.last, s.count);
    return out;
  };
  const auto span = [](std::string a, std::string b, long n) { return std::tuple(a, b, n); };
  for (int h : {0, 1, 4, 5, 9}) ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(h), "x", 1)));
  ASSERT_TRUE(store_->PutGap("50179157", ArchiveKind::Hourly, {HourOf(3), HourOf(3), 1}, 1));
  auto holes = store_->Holes("50179157", ArchiveKind::Hourly, HourOf(1), HourOf(6));
  ASSERT_TRUE(holes) << holes.error().reason;
  EXPECT_EQ(spans(*holes), (std::vector{span(HourOf(2), HourOf(2), 1), span(HourOf(6), HourOf(6), 1)}));
  EXPECT_EQ(spans(store_->Holes("50179157", ArchiveKind::Daily, "2026-11-30", "2026-12-02").value()),
            (std::vector{span("2026-11-30", "2026-12-02", 3)}));
  EXPECT_FALSE(store_->Holes("50179157", ArchiveKind::Hourly, "2026-12-01", HourOf(6)));

  // Gaps that touch or overlap are one row; a century between two records is one hole and one gap.
  const std::string far = "2100-12-29 23:00";
  ASSERT_TRUE(store_->PutGap("50179157", ArchiveKind::Hourly, {HourOf(10), HourOf(12), 3}, 2));
  ASSERT_TRUE(store_->PutGap("50179157", ArchiveKind::Hourly, {HourOf(13), HourOf(15), 3}, 2));
  ASSERT_TRUE(store_->PutGap("50179157", ArchiveKind::Hourly, {HourOf(11), HourOf(14), 4}, 3));
  ASSERT_TRUE(store_->UpsertRecord(Hour(far, "y", 1)));
  auto century = store_->Holes("50179157", ArchiveKind::Hourly, HourOf(9), far);
  ASSERT_TRUE(century) << century.error().reason;
  ASSERT_EQ(century->size(), 1u);
  EXPECT_EQ(century->front().first, HourOf(16));
  EXPECT_GT(century->front().count, 600000);
  ASSERT_TRUE(store_->PutGap("50179157", ArchiveKind::Hourly, century->front(), 4));
  EXPECT_EQ(spans(store_->Gaps("50179157", ArchiveKind::Hourly, "", "").value()),
            (std::vector{span(HourOf(3), HourOf(3), 1),
                         span(HourOf(10), century->front().last, century->front().count + 6)}));
  EXPECT_TRUE(store_->Holes("50179157", ArchiveKind::Hourly, HourOf(9), far)->empty());
  EXPECT_FALSE(store_->PutGap("50179157", ArchiveKind::Hourly, {"2026-13-01 00:00", HourOf(1), 1}, 5));
}

TEST_P(BothBackends, SlotsAreWrittenWhereTheyChangedAndForgottenButTheReadsOwn) {
  using store::SlotRow;
  const std::vector<SlotRow> first{
      {ArchiveKind::Hourly, 0, {1, 2}, 1}, {ArchiveKind::Hourly, 7, {0xFF, 0x00}, 1}, {ArchiveKind::Daily, 0, {9}, 1}};
  EXPECT_EQ(store_->PutSlots("50179157", first).value(), 3);
  const std::vector<SlotRow> again{{ArchiveKind::Hourly, 0, {1, 2}, 2}, {ArchiveKind::Hourly, 3, {3, 3}, 2}};
  EXPECT_EQ(store_->PutSlots("50179157", again).value(), 1);  // slot 0 unchanged
  auto hourly = store_->Slots("50179157", ArchiveKind::Hourly);
  ASSERT_TRUE(hourly) << hourly.error().reason;
  ASSERT_EQ(hourly->size(), 3u);
  EXPECT_EQ((*hourly)[1].slot, 3);
  EXPECT_EQ((*hourly)[2].raw, (std::vector<std::uint8_t>{0xFF, 0x00}));
  ASSERT_TRUE(store_->ForgetSlots("50179157", ArchiveKind::Hourly, 0, 7, 2));
  hourly = store_->Slots("50179157", ArchiveKind::Hourly);
  ASSERT_EQ(hourly->size(), 1u);  // slot 0 and 7 were read 1's
  EXPECT_EQ(hourly->front().slot, 3);
  EXPECT_EQ(store_->Slots("50179157", ArchiveKind::Daily)->size(), 1u);
}

// A store of each older version as its release left it, opened by this
// program: upgraded in place with every row kept, each version made once,
// and at the second opening nothing more to do; a newer one is refused.
TEST_P(BothBackends, AnOlderStoreUpgradesInPlaceKeepingEveryRowAndANewerOneIsRefused) {
  std::string database;
  for (const auto& [version, make] :
       {std::pair{1, &MakeV1Store}, std::pair{2, &MakeV2Store}, std::pair{3, &MakeV3Store}}) {
    SCOPED_TRACE("version " + std::to_string(version));
    database = NewDatabase("v" + std::to_string(version));
    ASSERT_FALSE(database.empty());
    {
      auto c = Connect(database);
      ASSERT_TRUE(c) << c.error().reason;
      // The previous version's store with a million hours marked gone, a row each.
      make(**c, version == 2 ? 1000000 : 0);
    }
    for (int open = 0; open < 2; ++open) {
      auto s = OpenRecordStore(database, dir_.Path());
      ASSERT_TRUE(s) << s.error().reason;
      // SQLite serves one collector: the one origin its outbox names made
      // every read; a shared PostgreSQL database tells no read's collector.
      ExpectV1RowsKept(**s, Postgres() ? "" : "site-1", version == 2 ? 1000000 : 0);
      EXPECT_TRUE((*s)->Situations({}).value().empty());  // the table of version 4, there and empty
    }
  }
  EXPECT_EQ(SqlOn(database, "SELECT COUNT(*) FROM schema_version"), std::to_string(sql::kSchemaVersion));  // once each
  EXPECT_EQ(SqlOn(database, "INSERT INTO schema_version(version) VALUES(99) RETURNING version"), "99");
  auto newer = OpenRecordStore(database, dir_.Path());
  ASSERT_FALSE(newer);
  EXPECT_NE(newer.error().reason.find("новее программы: версия схемы 99"), std::string::npos) << newer.error().reason;
  EXPECT_EQ(newer.error().code, ErrorCode::StoreSchema);
}

// Every field of a record comes back as it went in (doubles to the last
// digit, an unknown increment as none); the same record again changes
// nothing, one with other bytes is a conflict kept once, and the stored
// record is never overwritten; ranges of periods are inclusive.
TEST_P(BothBackends, ARecordComesBackAsStoredAndADifferentOneIsAConflictKeptOnce) {
  RecordRow r;
  r.serial = "12345678";
  r.period = "2026-12-07 10:00";
  r.forwardTotal = 12345.678901234567;
  r.reverseTotal = 0.125;
  r.forwardIncrement = 0.1 + 0.2;
  r.flags = 0x81;
  r.fields = R"({"counters":[1,2,3,4],"temperature":21.5})";
  r.readId = 7;
  r.utcOffsetS = 10800;
  r.raw = "00aa";
  EXPECT_EQ(store_->UpsertRecord(r).value(), Upsert::Added);
  EXPECT_EQ(store_->UpsertRecord(r).value(), Upsert::Same);
  RecordRow changed = r;
  changed.raw = "00ab";
  changed.forwardTotal = 1;
  changed.forwardIncrement.reset();
  EXPECT_EQ(store_->UpsertRecord(changed).value(), Upsert::Conflict);
  EXPECT_EQ(store_->UpsertRecord(changed).value(), Upsert::KnownConflict);  // found before: kept and counted once

  const auto rows = store_->Records({"12345678", ArchiveKind::Hourly, "", "", 0}).value();
  ASSERT_EQ(rows.size(), 1u);
  const RecordRow& got = rows.front();
  EXPECT_EQ(std::tie(got.forwardTotal, got.forwardIncrement, got.reverseTotal, got.reverseIncrement, got.flags),
            std::tie(r.forwardTotal, r.forwardIncrement, r.reverseTotal, r.reverseIncrement, r.flags));
  EXPECT_EQ(std::tie(got.fields, got.readId, got.utcOffsetS, got.raw),
            std::tie(r.fields, r.readId, r.utcOffsetS, r.raw));
  const auto conflicts = store_->Conflicts("").value();
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_EQ(conflicts[0].storedRaw + " " + conflicts[0].record.raw, "00aa 00ab");
  EXPECT_FALSE(conflicts[0].record.forwardIncrement);
  EXPECT_EQ(conflicts[0].foundUtc.size(), 20u);

  // Ranges of periods are inclusive; an unknown increment is none in the database too.
  for (int h = 0; h < 6; ++h) {
    RecordRow hour = Hour(HourOf(h), "r", 1);
    if (h == 0) hour.forwardIncrement.reset();
    ASSERT_TRUE(store_->UpsertRecord(hour));
  }
  EXPECT_EQ(Count("records WHERE forward_increment IS NULL"), "1");
  const auto some = store_->Records({"50179157", ArchiveKind::Hourly, HourOf(1), HourOf(3), 0}).value();
  ASSERT_EQ(some.size(), 3u);
  EXPECT_EQ(some.front().period, HourOf(1));
  EXPECT_EQ(some.back().period, HourOf(3));
  EXPECT_EQ(store_->Records({"50179157", ArchiveKind::Hourly, "", "", 2}).value().size(), 2u);
  EXPECT_EQ(store_->Periods("50179157", ArchiveKind::Hourly, HourOf(4), "").value(),
            (std::vector<std::string>{HourOf(4), HourOf(5)}));
}

// An instrument keeps its first sighting, its last good read and its
// interval when a later sighting does not give them; the rest is the newest.
TEST_P(BothBackends, InstrumentsKeepTheirFirstSightingLastGoodReadAndInterval) {
  InstrumentRow i{"12345678", "VTK-08.12", "Котельная", "north", 3, "2026-12-01T00:00:00Z", "2026-12-01T01:00:00Z",
                  3600};
  ASSERT_TRUE(store_->UpsertInstrument(i));
  i.firstSeenUtc = "2026-12-05T00:00:00Z";
  i.lastReadUtc = "";
  i.address = 4;
  i.name = "boiler2";
  i.everyS.reset();
  ASSERT_TRUE(store_->UpsertInstrument(i));
  const auto all = store_->Instruments().value();
  ASSERT_EQ(all.size(), 1u);
  const InstrumentRow& got = all[0];
  EXPECT_EQ(std::tie(got.name, got.address, got.firstSeenUtc, got.lastReadUtc),
            std::tuple("boiler2", 4, "2026-12-01T00:00:00Z", "2026-12-01T01:00:00Z"));
  EXPECT_EQ(got.everyS, 3600);
}

TEST_P(BothBackends, ReadsAreNumberedInOrderNewestFirstAndFilteredByOutcome) {
  auto opened = Open({.origin = "site-1"});
  ASSERT_TRUE(opened) << opened.error().reason;
  RecordStore& s = **opened;
  std::vector<std::int64_t> ids;
  for (int i = 0; i < 3; ++i) {
    auto id = s.StartRead({"", "meter", "north", "2026-12-07T10:00:0" + std::to_string(i) + "Z", ReadMode::Full});
    ASSERT_TRUE(id) << id.error().reason;
    ids.push_back(*id);
  }
  EXPECT_LT(ids[0], ids[1]);
  EXPECT_LT(ids[1], ids[2]);
  ReadFinish done{"12345678", "2026-12-07T10:01:00Z", ReadOutcome::Done, "", 42, "Data/x.vst", 3, 1, 120, 0};
  ASSERT_TRUE(s.FinishRead(ids[0], done));
  ReadFinish failed{"", "2026-12-07T10:02:00Z", ReadOutcome::Failed, "Нет ответа [2]", 1, "", 0, 0, 0, 0};
  ASSERT_TRUE(s.FinishRead(ids[1], failed));
  const auto all = s.Reads({"", "", 10, false}).value();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].id, ids[2]);  // newest first
  EXPECT_FALSE(all[0].outcome);  // still running (or died)
  EXPECT_EQ(all[1].error, "Нет ответа [2]");
  for (const auto& r : all) EXPECT_EQ(r.origin, "site-1");
  const auto good = s.Reads({"", "meter", 10, true}).value();
  ASSERT_EQ(good.size(), 1u);
  const ReadRow& g = good[0];  // the serial told at the finish
  EXPECT_EQ(std::tie(g.serial, g.mode, g.requests, g.file, g.recovered, g.lost, g.added),
            std::tuple("12345678", ReadMode::Full, 42, "Data/x.vst", 3, 1, 120));
  EXPECT_EQ(s.Reads({"", "", 1, false}).value().size(), 1u);
}

// An event and a finding are kept once; a finding acknowledged once stays,
// no longer open.
TEST_P(BothBackends, EventsAndFindingsAreKeptOnceAndAFindingAcknowledgedOnce) {
  EXPECT_TRUE(store_->UpsertEvent({"S", "2026-12-01 03:15:00", 5, "Отключение питания", 1}).value());
  EXPECT_FALSE(store_->UpsertEvent({"S", "2026-12-01 03:15:00", 5, "Отключение питания", 2}).value());
  EXPECT_TRUE(store_->UpsertEvent({"S", "2026-12-01 03:15:00", 4, "Другое", 2}).value());
  const auto events = store_->Events("S", "2026-12-01", "2026-12-02").value();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].text, "Отключение питания");

  FindingRow f{0, "S", FindingKind::TotalDown, ArchiveKind::Daily, "2026-12-06", "V+ 10 -> 9", 1, "", "", ""};
  EXPECT_TRUE(store_->AddFinding(f).value());
  EXPECT_FALSE(store_->AddFinding(f).value());
  f.archive.reset();
  f.kind = FindingKind::ClockOff;
  f.period = "2026-12-07T10:00Z";
  EXPECT_TRUE(store_->AddFinding(f).value());
  const auto found = store_->Findings("S").value();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, FindingKind::ClockOff);  // newest first
  EXPECT_FALSE(found[0].archive);
  EXPECT_EQ(found[1].archive, ArchiveKind::Daily);
  EXPECT_TRUE(store_->AckFinding(found[1].id, "operator", "2026-12-08T08:00:00Z").value());
  EXPECT_FALSE(store_->AckFinding(found[1].id, "other", "").value());
  const auto acked = store_->Findings("S").value();
  EXPECT_EQ(acked[1].ackedBy + " " + acked[1].ackedUtc + " " + acked[0].ackedUtc, "operator 2026-12-08T08:00:00Z ");
}

// A serial's situations refreshed twice are one row each; an open one the
// analysis finds ended (or no longer finds) is closed at its last hour; an
// acknowledgement by id keeps the first; an unknown id is refused.
TEST_P(BothBackends, SituationsAreKeptOnceClosedWhenTheyEndAndAcknowledgedById) {
  const SituationRow leak{
      .serial = "S", .kind = "night_flow", .source = "rule", .fromPeriod = "2026-12-01 02:00", .hours = 9};
  SituationRow gmax{
      .serial = "S", .kind = "flag", .source = "flags", .fromPeriod = "2026-12-01 02:00", .hours = 5, .detail = "Gmax"};
  SituationRow off{.serial = "S",
                   .kind = "power_off",
                   .source = "events",
                   .fromPeriod = "2026-11-20 10:00",
                   .toPeriod = "2026-11-20 12:00",
                   .hours = 3};
  const std::vector<SituationRow> first{off, leak, gmax};
  const auto raised = store_->PutSituations("S", first, "2026-12-03T00:00:00Z").value();
  EXPECT_EQ(raised.opened.size(), 2u);  // an ended one is kept, not raised
  gmax.hours = 7;
  const std::vector<SituationRow> second{off, leak, gmax};
  const auto again = store_->PutSituations("S", second, "2026-12-03T01:00:00Z").value();
  EXPECT_TRUE(again.opened.empty());
  EXPECT_TRUE(again.closed.empty());
  EXPECT_EQ(Count("situations"), "3");
  EXPECT_EQ(store_->Situations({.openOnly = true, .kind = "flag"}).value().at(0).hours, 7);

  // The flag ended; the leak is no longer found: both closed.
  gmax.toPeriod = "2026-12-01 08:00";
  const std::vector<SituationRow> third{off, gmax};
  const auto ended = store_->PutSituations("S", third, "2026-12-03T02:00:00Z").value();
  ASSERT_EQ(ended.closed.size(), 2u);
  const auto all = store_->Situations({.serial = "S"}).value();
  ASSERT_EQ(all.size(), 3u);
  for (const auto& s : all) {
    EXPECT_FALSE(s.Open()) << s.kind;
    if (s.kind == "night_flow") EXPECT_EQ(s.toPeriod, "2026-12-01 10:00");  // 9 hours from 02:00
    if (s.kind == "flag") EXPECT_EQ(s.clearedUtc, "2026-12-03T02:00:00Z");
    if (s.kind == "power_off") EXPECT_EQ(s.clearedUtc, "2026-12-03T00:00:00Z");
  }
  EXPECT_TRUE(store_->Situations({.openOnly = true}).value().empty());
  EXPECT_EQ(store_->Situations({.since = "2026-12-01"}).value().size(), 2u);

  EXPECT_TRUE(store_->AckSituation(all[0].id, "operator", "2026-12-04T08:00:00Z").value());
  EXPECT_TRUE(store_->AckSituation(all[0].id, "other", "2026-12-05T08:00:00Z").value());
  EXPECT_FALSE(store_->AckSituation(all[0].id + 100, "operator", "").value());
  const auto acked = store_->Situations({.serial = "S"}).value();
  EXPECT_EQ(acked[0].ackBy + " " + acked[0].ackUtc + " " + acked[1].ackUtc, "operator 2026-12-04T08:00:00Z ");
}

// The dispatcher's queue: open ones first, then by their first hour newest
// first, a page at a time with the count of all; of some serials only. The
// read rates' index is made on open.
TEST_P(BothBackends, SituationsComeOpenFirstThenNewestAPageAtATimeWithTheirCount) {
  std::vector<SituationRow> found;
  for (int day = 1; day <= 9; ++day) {
    SituationRow s{.serial = "A", .kind = "flag", .source = "flags", .hours = 2, .detail = "Gmax"};
    s.fromPeriod = "2026-11-0" + std::to_string(day) + " 10:00";
    if (day % 3 != 0) s.toPeriod = "2026-11-0" + std::to_string(day) + " 11:00";  // days 3, 6, 9 open
    found.push_back(s);
  }
  ASSERT_TRUE(store_->PutSituations("A", found, "2026-12-01T00:00:00Z"));
  const std::vector<SituationRow> other{
      {.serial = "B", .kind = "night_flow", .source = "rule", .fromPeriod = "2026-11-05 02:00", .hours = 40}};
  ASSERT_TRUE(store_->PutSituations("B", other, "2026-12-01T00:00:00Z"));

  SituationQuery q{.openFirst = true, .limit = 4, .offset = 0};
  const auto first = store_->Situations(q).value();
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0].fromPeriod, "2026-11-09 10:00");
  EXPECT_EQ(first[1].fromPeriod, "2026-11-06 10:00");
  EXPECT_EQ(first[2].serial, "B");  // open, 11-05
  EXPECT_EQ(first[3].fromPeriod, "2026-11-03 10:00");
  q.offset = 4;
  const auto second = store_->Situations(q).value();
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(second[0].fromPeriod, "2026-11-08 10:00");  // the newest closed
  EXPECT_FALSE(second[0].Open());
  EXPECT_EQ(store_->CountSituations(q).value(), 10);  // the limit aside
  q.offset = 8;
  EXPECT_EQ(store_->Situations(q).value().size(), 2u);

  SituationQuery some{.serials = {"B", "nobody"}, .anyOfSerials = true};
  EXPECT_EQ(store_->CountSituations(some).value(), 1);
  some.serials.clear();
  EXPECT_EQ(store_->CountSituations(some).value(), 0);  // none asked for: none
  some.openOnly = true;
  some.serials.assign(100, "A");  // past the first size of the statement's list
  EXPECT_EQ(store_->CountSituations(some).value(), 3);

  const std::string index = Postgres() ? Sql("SELECT indexdef FROM pg_indexes WHERE indexname = 'reads_by_started'")
                                       : Sql("SELECT sql FROM sqlite_master WHERE name = 'reads_by_started'");
  EXPECT_NE(index.find("started_utc"), std::string::npos) << index;
}

// The outbox gives each origin its messages in order; what a rolled-back
// transaction wrote (records and messages) is gone with it.
TEST_P(BothBackends, TheOutboxIsInOrderPerOriginAndRolledBackWithItsRead) {
  {
    StoreTransaction t(*store_);
    ASSERT_TRUE(t.Begun());
    ASSERT_TRUE(store_->Enqueue({0, "a", "statvtk/S/read", "{}", 1, false, ""}));
    ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(1), "01", 1)));
  }  // not committed
  EXPECT_TRUE(store_->Peek("a", 10).value().empty());
  EXPECT_EQ(Count("records"), "0");
  {
    StoreTransaction t(*store_);
    for (int i = 0; i < 5; ++i)
      ASSERT_TRUE(store_->Enqueue({0, i % 2 ? "b" : "a", "t/" + std::to_string(i), "x", 1, i == 4, ""}));
    ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(1), "01", 1)));
    ASSERT_TRUE(t.Commit());
  }
  EXPECT_EQ(Count("records"), "1");
  const auto a = store_->Peek("a", 2).value();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].topic, "t/0");
  EXPECT_EQ(a[0].qos, 1);
  ASSERT_TRUE(store_->Ack(a[0].id));
  const auto rest = store_->Peek("a", 10).value();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0].topic, "t/2");
  EXPECT_EQ(rest[1].topic, "t/4");
  EXPECT_TRUE(rest[1].retain);
  EXPECT_EQ(store_->Peek("b", 10).value().size(), 2u);
}

// A small fleet: one instrument read well then failing, one read well, one
// never read; records inside and outside the window; findings, one
// acknowledged; a conflict.
TEST_P(BothBackends, TheFleetsSummariesTellEachInstrumentsReadsArchivesAndFindings) {
  for (const auto& [serial, line, address] :
       {std::tuple{"111", "L1", 1}, std::tuple{"222", "L1", 2}, std::tuple{"333", "L2", 1}})
    ASSERT_TRUE(store_->UpsertInstrument({serial, "VTK-08.12", std::string("n") + serial, line, address, "", "", {}}));
  auto read = [&](const std::string& serial, ReadOutcome outcome) {
    const auto id = store_->StartRead({serial, "n" + serial, "L1", "2026-12-01T10:00:00Z", ReadMode::New});
    EXPECT_TRUE(id && store_->FinishRead(*id, {serial, "2026-12-01T10:01:00Z", outcome, "", 1, "", 0, 0, 0, 0}));
    return id.value();
  };
  const auto good = read("111", ReadOutcome::Done), failed = read("111", ReadOutcome::Failed);
  const auto other = read("222", ReadOutcome::Done);
  std::vector<RecordRow> rows;
  for (const char* p : {"2026-11-30 23:00", "2026-12-01 00:00", "2026-12-01 05:00", "2026-12-01 23:00"})
    rows.push_back(Hour(p, "x", good));
  rows.push_back(Hour("2026-12-01", "d", good));
  rows.back().archive = ArchiveKind::Daily;
  rows.push_back(Hour("2026-12-01 05:00", "changed", failed));
  for (auto& r : rows) r.serial = "111";
  ASSERT_TRUE(store_->PutRecords(rows));
  for (const char* period : {"2026-12-01 01:00", "2026-12-01 02:00"})
    ASSERT_TRUE(
        store_->AddFinding({0, "111", FindingKind::TotalDown, ArchiveKind::Hourly, period, "", good, "", "", ""}));
  ASSERT_TRUE(store_->AckFinding(store_->Findings("111").value().front().id, "operator", ""));

  auto all = store_->Summaries(1, PeriodTime{2026, 12, 2, 0});
  ASSERT_TRUE(all) << all.error().reason;
  ASSERT_EQ(all->size(), 3u);
  const InstrumentSummary& a = (*all)[0];
  EXPECT_EQ(a.instrument.serial, "111");
  ASSERT_TRUE(a.lastRead && a.lastGoodRead);
  EXPECT_EQ(std::tie(a.lastRead->id, a.lastRead->outcome, a.lastGoodRead->id),
            std::tuple(failed, ReadOutcome::Failed, good));
  const auto& hours = a.archives[0];  // 00:00 .. 23:00 of the 1st held: 3 of 24
  EXPECT_EQ(std::tie(hours.stats.records, hours.stats.oldest, hours.expected, hours.held),
            std::tuple(4, "2026-11-30 23:00", 24, 3));
  EXPECT_NEAR(hours.completeness, 12.5, 1e-9);
  EXPECT_EQ(std::tie(a.archives[1].held, a.archives[1].expected), std::tuple(1, 1));
  EXPECT_EQ(std::tie(a.findings, a.openFindings, a.conflicts), std::tuple(2, 1, 1));
  const InstrumentSummary& b = (*all)[1];
  EXPECT_EQ(b.instrument.serial, "222");
  EXPECT_EQ(std::tie(b.lastRead->id, b.lastGoodRead->id), std::tuple(other, other));
  EXPECT_EQ(b.archives[0].held, 0);
  EXPECT_EQ(b.findings + b.conflicts, 0);
  const InstrumentSummary& c = (*all)[2];
  EXPECT_FALSE(c.lastRead || c.lastGoodRead);
  EXPECT_EQ(c.archives[2].stats.records, 0);
}

// Readers on their own connections see what is committed, without waiting
// for the writer's open transaction, several at once; they cannot write.
TEST_P(BothBackends, ReadersReadInParallelWithTheWriterAndCannotWrite) {
  ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(0), "a", 1)));
  auto readers = StoreReaders::Open(database_, dir_.Path(), 2);
  ASSERT_TRUE(readers) << readers.error().reason;
  const RecordQuery all{"50179157", ArchiveKind::Hourly, "", "", 0};
  StoreTransaction t(*store_);
  ASSERT_TRUE(store_->UpsertRecord(Hour(HourOf(1), "b", 2)));
  {
    auto a = (*readers)->Take();
    auto b = (*readers)->Take();
    EXPECT_NE(&*a, &*b);
    EXPECT_EQ(a->Records(all).value().size(), 1u);
    EXPECT_EQ(b->Stats("50179157", ArchiveKind::Hourly).value().records, 1);
    auto write = b->StartRead({"", "n", "L", "2026-12-01T10:00:00Z", ReadMode::Full});
    ASSERT_FALSE(write);
    EXPECT_EQ(write.error().code, ErrorCode::StoreFull) << write.error().reason;
  }
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int n = 0; n < 20; ++n) {
        auto r = (*readers)->Take();
        auto rows = r->Records(all);
        if (rows && rows->size() == 1) ++answered;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(answered.load(), 80);
  ASSERT_TRUE(t.Commit());
  EXPECT_EQ((*readers)->Take()->Records(all).value().size(), 2u);
}

// Header retention: every header of the last 30 days, then the last of
// each instrument and day, and always an instrument's newest.
TEST_P(BothBackends, OldHeadersKeepOnePerInstrumentAndDay) {
  const std::vector<std::uint8_t> block(1024, 7);
  std::int64_t id = 0;
  const auto put = [&](const std::string& serial, const std::string& utc) {
    ASSERT_TRUE(store_->PutHeader({++id, serial, "VTK-08.14 C", utc, 0, block}));
  };
  for (const char* hour : {"01", "09", "17"}) put("7001", std::string("2026-10-01T") + hour + ":00:00Z");  // 1, 2, 3
  for (const char* hour : {"01", "09"}) put("7001", std::string("2026-11-25T") + hour + ":00:00Z");        // 4, 5
  put("7002", "2026-10-01T05:00:00Z");                                                                     // 6
  put("7002", "2026-10-01T06:00:00Z");                                                                     // 7
  auto removed = store_->PruneHeaders(30, "2026-12-10T00:00:00Z");
  ASSERT_TRUE(removed) << removed.error().reason;
  EXPECT_EQ(*removed, 3);  // 1 and 2 (3 is their day's last), 6 (7 is the newest of 7002)
  EXPECT_EQ(Count("read_headers"), "4");
  EXPECT_EQ(store_->NewestHeader("7001").value()->readId, 5);
  EXPECT_EQ(store_->NewestHeader("7002").value()->readId, 7);
  EXPECT_EQ(store_->PruneHeaders(30, "2026-12-10T00:00:00Z").value(), 0);
}

// The fleet's read runs in one question: failures since the last good read,
// and the newest failure (one cut off by the end of the process included).
TEST_P(BothBackends, ReadRunsGiveEachNameItsFailuresSinceTheLastGoodRead) {
  const auto read = [&](const std::string& name, std::optional<ReadOutcome> outcome, const std::string& error,
                        const std::string& line = "L") {
    auto id = store_->StartRead({"", name, line, "2026-12-01T10:00:00Z", ReadMode::New});
    ASSERT_TRUE(id);
    if (outcome) {
      ASSERT_TRUE(store_->FinishRead(*id, {"", "2026-12-01T10:01:00Z", *outcome, error, 1, "", 0, 0, 0, 0}));
    }
  };
  read("a", ReadOutcome::Failed, "old");
  read("a", ReadOutcome::Done, "");
  read("a", ReadOutcome::Failed, "timeout");
  read("b", ReadOutcome::Done, "");
  read("a", std::nullopt, "");  // cut off
  read("a", ReadOutcome::Stopped, "");
  read("c", std::nullopt, "");                        // running now
  read("a", ReadOutcome::Failed, "other line", "M");  // a namesake on another line
  const std::vector<ReadRunKey> names{{"a", "L"}, {"b", ""}, {"c", "L"}, {"never", ""}};
  auto runs = store_->ReadRuns(names);
  ASSERT_TRUE(runs) << runs.error().reason;
  auto asked = store_->RecordStore::ReadRuns(names);  // the same, asked per name
  ASSERT_TRUE(asked);
  ASSERT_EQ(runs->size(), 4u);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const ReadRun &got = (*runs)[i], &want = (*asked)[i];
    EXPECT_EQ(got.name, names[i].name);
    EXPECT_EQ(got.failuresInRow, want.failuresInRow) << names[i].name;
    EXPECT_EQ(got.lastCutOff, want.lastCutOff) << names[i].name;
    EXPECT_EQ(got.lastFailure.has_value(), want.lastFailure.has_value()) << names[i].name;
    if (got.lastFailure && want.lastFailure) {
      EXPECT_EQ(got.lastFailure->id, want.lastFailure->id) << names[i].name;
    }
  }
  EXPECT_EQ((*runs)[0].failuresInRow, 3);
  ASSERT_TRUE((*runs)[0].lastFailure);
  EXPECT_TRUE((*runs)[0].lastCutOff);  // the cut-off read is newer than the timeout
  EXPECT_EQ((*runs)[1].failuresInRow, 0);
  EXPECT_EQ((*runs)[2].failuresInRow, 1);
  EXPECT_FALSE((*runs)[2].lastFailure);  // the newest read runs: no failure yet
  EXPECT_EQ((*runs)[3].failuresInRow, 0);
}

}  // namespace
}  // namespace statvtk::store
