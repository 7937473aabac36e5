// What the collector keeps of the memories real meters hold: a clock reset
// to 2000 and set right, a clock set back an hour, unwritten slots of
// arbitrary bytes, a record with a good checksum and a year byte 0xA0. For
// each, on SQLite and on PostgreSQL: the store holds exactly the periods of
// a full read, its slot image equals the meter's memory, the pass a day
// later asks only what is new, nothing outside 2000..the meter's clock is a
// record, and a gap is one row.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "collect/commands.hpp"
#include "collect/image/archive_slots.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "stats/record_check.hpp"
#include "stats/record_plausible.hpp"
#include "store/image_rows.hpp"
#include "store/record_store.hpp"
#include "support/pg_cluster.hpp"
#include "support/result_util.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;

struct Shape {
  const char* name;
  std::function<void(sim::InstrumentOptions&)> apply;
  // Slots that are no period, as each instrument's findings show them: a
  // run of 10 or more (arbitrary bytes), a date that is none (the 0xA0 year).
  enum class Evidence { Any, Run, NoDate } evidence = Evidence::Any;
};

const Shape kShapes[] = {
    {"tidy", [](sim::InstrumentOptions&) {}},
    {"clock_reset", [](sim::InstrumentOptions& o) { o.shapes.clockReset = sim::ClockReset{.hours = 170, .ago = 300}; }},
    {"clock_back", [](sim::InstrumentOptions& o) { o.shapes.clockBack = 200; }},
    {"garbage_slots",
     [](sim::InstrumentOptions& o) {
       o.shapes.garbageSlots = true;
       o.shapes.historyHours = 600;
     },
     Shape::Evidence::Run},
    {"bad_year", [](sim::InstrumentOptions& o) { o.shapes.badYear = 100; }, Shape::Evidence::NoDate},
};

// One instrument of each model on one loopback line.
constexpr std::pair<DeviceType, unsigned> kModels[] = {
    {DeviceType::dtVTK0812, 3}, {DeviceType::dtVTK0814C, 4}, {DeviceType::dtVTK0814CM, 5}, {DeviceType::dtLDN08, 7}};

// One throw-away cluster for the suite, stopped when the program ends.
test::PgCluster& Postgres() {
  static test::PgCluster cluster;
  static const bool started = cluster.Init();
  EXPECT_TRUE(started) << cluster.Log();
  return cluster;
}

class StoreShapes : public ::testing::TestWithParam<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    const auto& [shape, pg] = GetParam();
    for (auto [model, address] : kModels) {
      sim::InstrumentOptions o;
      o.model = model;
      o.address = static_cast<std::uint8_t>(address);
      o.longAddress = address;
      o.seed = 40 + address;
      kShapes[shape].apply(o);
      instruments_.push_back(std::make_unique<sim::Instrument>(o));
    }
    sim::ServerOptions so;
    so.carrier = sim::CarrierKind::Tcp;
    std::vector<sim::Instrument*> served;
    for (const auto& i : instruments_) served.push_back(i.get());
    std::string error;
    ASSERT_TRUE(Unpack(sim::Server::Start(served, so), &server_, &error)) << error;
    database_ = "collect.sqlite";
    if (pg) {
      const std::string db = std::string("shape_") + kShapes[shape].name;
      ASSERT_TRUE(Postgres().CreateDatabase(db)) << Postgres().Log();
      database_ = Postgres().Url(db);
    }
    std::ofstream ini(home_.Path() / "collect.ini");
    ini << "[Collector]\nDatabase=" << database_
        << "\nKeepFiles=none\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:" << server_->Port()
        << "\nPacketConst=300\nByteConst=100\nPacketRetry=2\n";
    for (auto [model, address] : kModels)
      ini << "\n[Instrument m" << address << "]\nLine=bus\nAddress=" << address << "\nEvery=1h\n";
  }
  void TearDown() override { server_.reset(); }

  void Once() {
    std::ostringstream out, err;
    ASSERT_EQ(Dispatch({"once", "--home", home_.Path().string()}, out, err), kExitOk) << err.str();
  }
  std::unique_ptr<store::RecordStore> Store() {
    auto s = store::OpenRecordStore(database_, home_.Path());
    EXPECT_TRUE(s) << (s ? "" : s.error().reason);
    return s ? std::move(*s) : nullptr;
  }

  link_test::TempFolder home_;
  std::string database_;
  std::vector<std::unique_ptr<sim::Instrument>> instruments_;
  std::unique_ptr<sim::Server> server_;
};

// The periods a full read of the meter shows now: each period's first record.
std::map<std::pair<ArchiveKind, std::string>, std::string> PeriodsOf(const StatModel& model) {
  std::map<std::pair<ArchiveKind, std::string>, std::string> out;
  for (const auto& row : store::RowsOf(model, 0, 0).records) out.emplace(std::pair(row.archive, row.period), row.raw);
  return out;
}

// Checks the store against the meter's memory now; the gap rows of the serial.
void ExpectStoreIsTheMeter(store::RecordStore& s, const sim::Instrument& inst, const std::string& what) {
  const StatData dump = inst.ExpectedDump();
  auto model = MakeStatModel(dump);
  ASSERT_TRUE(model);
  const std::string serial = store::StoredSerial(*model);
  const auto clock = MeterClockOf(*model);
  ASSERT_TRUE(clock) << what;
  for (const ArchiveKind kind : store::kArchiveKinds) {
    const ArchiveSlots at = SlotsOf(dump.type, kind);
    if (at.count == 0) continue;
    // The slot image is the meter's memory, byte for byte.
    const auto slots = s.Slots(serial, kind).value();
    ASSERT_EQ(slots.size(), at.count) << what << " " << store::ArchiveName(kind);
    std::size_t same = 0;
    for (const auto& slot : slots) {
      const auto place = dump.area.begin() + static_cast<std::ptrdiff_t>(at.offset + slot.slot * at.size);
      same += std::equal(slot.raw.begin(), slot.raw.end(), place, place + static_cast<std::ptrdiff_t>(at.size));
    }
    EXPECT_EQ(same, at.count) << what << " " << store::ArchiveName(kind);
    // No record outside 2000..the meter's clock.
    const auto stats = s.Stats(serial, kind).value();
    if (stats.records == 0) continue;
    const long long latest = clock->seconds + PeriodSeconds(kind);
    const auto newest = store::ParsePeriod(kind, stats.newest);
    ASSERT_TRUE(newest) << stats.newest;
    EXPECT_LE(store::CalendarSeconds(*newest), latest) << what << " " << stats.newest;
    EXPECT_GE(stats.oldest.substr(0, 4), "2000") << what;
    // No values a meter cannot hold (random bytes whose checksum happens to hold).
    for (const auto& r : s.Records({serial, kind, "", "", 0}).value())
      EXPECT_TRUE(r.forwardTotal >= 0 && r.forwardTotal < kMaxPlausibleVolume) << what << " " << r.period;
  }
  // The events, whichever way the model writes their dates.
  EXPECT_FALSE(s.Events(serial, "", "").value().empty()) << what;
  // Every period a full read shows is held with its first record's bytes.
  std::size_t held = 0;
  const auto periods = PeriodsOf(*model);
  for (const auto& [key, raw] : periods) {
    const auto rows = s.Records({serial, key.first, key.second, key.second, 1}).value();
    held += rows.size() == 1 && rows[0].raw == raw;
  }
  EXPECT_EQ(held, periods.size()) << what;
}

TEST_P(StoreShapes, TheStoreIsWhatTheMeterHoldsAndADayLaterOnlyTheNewIsAsked) {
  const Shape& shape = kShapes[std::get<0>(GetParam())];
  Once();
  auto s = Store();
  ASSERT_TRUE(s);
  for (const auto& inst : instruments_) {
    ExpectStoreIsTheMeter(*s, *inst, std::string(shape.name) + " first");
    const auto findings = s->Findings(store::StoredSerial(*MakeStatModel(inst->ExpectedDump()))).value();
    const bool evidence = std::any_of(findings.begin(), findings.end(), [&](const store::FindingRow& f) {
      if (f.kind != store::FindingKind::ImplausibleSlot) return false;
      if (shape.evidence == Shape::Evidence::NoDate) return f.detail.find("дата не календарная") != std::string::npos;
      const auto open = f.detail.find(" ("), close = f.detail.find(')');
      return open != std::string::npos && close > open && std::stoi(f.detail.substr(open + 2, close - open - 2)) >= 10;
    });
    if (shape.evidence != Shape::Evidence::Any)
      EXPECT_TRUE(evidence) << shape.name << " " << DeviceTypeName(inst->Model());
  }

  for (auto& inst : instruments_) inst->Advance(24);
  Once();
  for (const auto& inst : instruments_) ExpectStoreIsTheMeter(*s, *inst, std::string(shape.name) + " second");
  // The second reads: new records only (a VTK-08.12 reads its whole memory each time).
  const auto reads = s->Reads({}).value();
  ASSERT_EQ(reads.size(), 2 * std::size(kModels));
  for (const auto& r : reads) {
    EXPECT_EQ(r.outcome, store::ReadOutcome::Done) << r.name << " " << r.error;
    if (r.id <= static_cast<std::int64_t>(std::size(kModels)) || r.name == "m3") continue;
    EXPECT_EQ(r.mode, store::ReadMode::New) << shape.name << " " << r.name;
    // 24 hours, a day, perhaps a month, and the header, configuration, current values and events around them.
    EXPECT_LT(r.requests, r.added + 160) << shape.name << " " << r.name;
    EXPECT_GE(r.added, 24) << shape.name << " " << r.name;
  }
  // A gap is one row: no more rows than runs of periods the store lacks
  // between its oldest and newest, and no hole left inside what the meter holds.
  for (const auto& inst : instruments_) {
    auto model = MakeStatModel(inst->ExpectedDump());
    const std::string serial = store::StoredSerial(*model);
    for (const ArchiveKind kind : store::kArchiveKinds) {
      const auto held = s->Periods(serial, kind, "", "").value();
      if (held.empty()) continue;
      std::size_t runs = 0;
      for (std::size_t i = 1; i < held.size(); ++i)
        runs +=
            store::PeriodsBetween(kind, *store::ParsePeriod(kind, held[i - 1]), *store::ParsePeriod(kind, held[i])) > 1;
      const auto gaps = s->Gaps(serial, kind, "", "").value();
      EXPECT_LE(gaps.size(), runs) << shape.name << " " << serial << " " << store::ArchiveName(kind);
      const auto periods = PeriodsOf(*model);
      std::string oldest, newest;
      for (const auto& [key, raw] : periods)
        if (key.first == kind) {
          if (oldest.empty()) oldest = key.second;
          newest = key.second;
        }
      if (oldest.empty()) continue;
      EXPECT_TRUE(s->Holes(serial, kind, oldest, newest).value().empty())
          << shape.name << " " << serial << " " << store::ArchiveName(kind);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SqliteAndPostgres, StoreShapes,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kShapes))),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(kShapes[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) ? "_postgres" : "_sqlite");
                         });

}  // namespace
}  // namespace statvtk::collect
