// The shapes of real meters' memories (a clock reset, a clock set back, a year
// byte no date has, never written slots holding garbage) as the statistics
// layer decodes them from the expected file, and memories without them as
// they always were.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "support/result_util.hpp"
#include "sim/instrument.hpp"
#include "sim/options.hpp"
#include "stats/record_check.hpp"
#include "stats/stat_model.hpp"

using namespace statvtk;
using namespace statvtk::sim;

namespace {

// FNV-1a over the four memories.
std::uint64_t MemoryHash(const Instrument& in) {
  std::uint64_t h = 1469598103934665603ull;
  for (MemoryKind k : {MemoryKind::Rtc, MemoryKind::Ram, MemoryKind::Config, MemoryKind::Archive})
    for (std::uint8_t b : in.Memory(k)) h = (h ^ b) * 1099511628211ull;
  return h;
}

// The start of the hour whose record was written `ago` hours before now.
std::uint32_t WrittenAgo(const History& h, std::uint32_t ago) { return (h.now / 3600 - ago - 1) * 3600; }

std::vector<const ArchiveRecord*> Shaped(const History& h, RecordShape s) {
  std::vector<const ArchiveRecord*> out;
  for (const auto& r : h.hourly)
    if (r.shape == s) out.push_back(&r);
  return out;
}

// The index entry of the record at `address` (index size when none).
std::size_t EntryAt(const StatModel& m, ArchiveKind kind, std::uint32_t address) {
  const auto idx = m.Index(kind);
  return static_cast<std::size_t>(
      std::find_if(idx.begin(), idx.end(), [address](const IndexEntry& e) { return e.Pos == address; }) - idx.begin());
}

using Check = std::function<void(const Instrument&, const StatModel&)>;

// 30 hours from 2000-01-01 00:00, set right 24 hours ago: the oldest entries of
// the index are 2000-01-01 00:00 .. 2000-01-02 05:00, one daily record of 2000-01-01.
void CheckReset(const Instrument& in, const StatModel& m) {
  const History& h = in.GetHistory();
  const auto reset = Shaped(h, RecordShape::ClockReset);
  ASSERT_EQ(reset.size(), 30u);
  const std::uint32_t count = LayoutOf(h.model).hourly.count;
  for (std::uint32_t k = 0; k < 30; ++k) {
    EXPECT_EQ(reset[k]->periodStart, kFirstDeviceTime + k * 3600);
    EXPECT_EQ(reset[k]->slot, (reset[0]->slot + k) % count);  // written in sequence
  }
  const auto next = static_cast<std::size_t>(reset.back() - h.hourly.data()) + 1;
  ASSERT_LT(next, h.hourly.size());
  EXPECT_EQ(h.hourly[next].periodStart, WrittenAgo(h, 23));  // the first hour after it is dated right
  for (std::size_t i = 0; i < 31; ++i) {
    const StatRecord r = m.Decode(ArchiveKind::Hourly, i);
    ASSERT_TRUE(m.EntryValid(ArchiveKind::Hourly, i));
    EXPECT_EQ(r.year == 2000, i < 30) << i;
  }
  const StatRecord last = m.Decode(ArchiveKind::Hourly, 29);
  EXPECT_EQ(last.month * 10000 + last.day * 100 + last.hour, 10205);
  ASSERT_EQ(std::count_if(h.daily.begin(), h.daily.end(), [](const auto& r) { return r.shape != RecordShape::None; }),
            1);
  const StatRecord day = m.Decode(ArchiveKind::Daily, 0);
  EXPECT_EQ(day.year * 10000 + day.month * 100 + day.day, 20000101);
  EXPECT_NE(m.Decode(ArchiveKind::Daily, 1).year, 2000);
  EXPECT_EQ(m.DeviceClockStamp(), DeviceTimeToBcdHour(h.now));  // the clock is right now
}

// Set back an hour 10 hours ago: the period before it closes twice, in the next slot, with more flow.
void CheckBack(const Instrument& in, const StatModel& m) {
  const History& h = in.GetHistory();
  const auto back = Shaped(h, RecordShape::ClockBack);
  ASSERT_EQ(back.size(), 1u);
  const ArchiveRecord& first = *(back[0] - 1);
  EXPECT_EQ(first.periodStart, WrittenAgo(h, 10));
  EXPECT_EQ(back[0]->periodStart, first.periodStart);
  EXPECT_EQ(back[0]->slot, (first.slot + 1) % LayoutOf(h.model).hourly.count);
  const std::size_t a = EntryAt(m, ArchiveKind::Hourly, first.address);
  const std::size_t b = EntryAt(m, ArchiveKind::Hourly, back[0]->address);
  ASSERT_TRUE(m.EntryValid(ArchiveKind::Hourly, a) && m.EntryValid(ArchiveKind::Hourly, b));
  EXPECT_EQ(m.Index(ArchiveKind::Hourly)[a].Key, m.Index(ArchiveKind::Hourly)[b].Key);
  EXPECT_GT(m.Decode(ArchiveKind::Hourly, b).forwardTotal, m.Decode(ArchiveKind::Hourly, a).forwardTotal);
}

// The record written 3 hours ago: year byte 0xA0, checksum good, no date.
void CheckBadYear(const Instrument& in, const StatModel& m) {
  const History& h = in.GetHistory();
  const auto bad = Shaped(h, RecordShape::BadYear);
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0]->periodStart, WrittenAgo(h, 3));
  const std::size_t yearAt = h.model == DeviceType::dtVTK0814C || h.model == DeviceType::dtVTK0814CM ? 0 : 3;
  EXPECT_EQ(in.Memory(MemoryKind::Archive)[bad[0]->address + yearAt], 0xA0);
  const std::size_t e = EntryAt(m, ArchiveKind::Hourly, bad[0]->address);
  EXPECT_TRUE(m.ChecksumValid(ArchiveKind::Hourly, e));
  EXPECT_FALSE(m.RecordStamp(ArchiveKind::Hourly, e).has_value());
  EXPECT_FALSE(m.EntryValid(ArchiveKind::Hourly, e));
}

// Cleared 200 hours ago: the written records are valid, the slots never
// written hold garbage that (nearly all) fails its checks.
void CheckGarbage(const Instrument& in, const StatModel& m) {
  const History& h = in.GetHistory();
  const ModelLayout& L = LayoutOf(h.model);
  ASSERT_LE(h.hourly.size(), 200u);
  const RecordCounts c = CountRecords(m);
  for (Area area : {Area::Hourly, Area::Daily}) {
    const auto kind = static_cast<ArchiveKind>(area);
    const std::size_t written = h.Records(area).size(), unwritten = L.Of(area).count - written;
    EXPECT_GE(c.Valid(kind), written);
    EXPECT_LE(c.Valid(kind), written + unwritten / 50);
    EXPECT_GE(c.Failed(kind), unwritten * 95 / 100);
  }
  InstrumentOptions tidy = in.Options();
  tidy.shapes.garbageSlots = false;  // the same history on an erased memory: nothing fails
  EXPECT_EQ(CountRecords(*MakeStatModel(Instrument(tidy).ExpectedDump())).Failed(ArchiveKind::Hourly), 0u);
}

struct ShapeCase {
  const char* name;
  MemoryShapes shapes;
  Check check;
};

MemoryShapes With(std::function<void(MemoryShapes&)> set) {
  MemoryShapes s;
  set(s);
  return s;
}

const ShapeCase kShapes[] = {
    {.name = "ClockReset",
     .shapes = With([](MemoryShapes& s) { s.clockReset = ClockReset{.hours = 30, .ago = 24}; }),
     .check = CheckReset},
    {.name = "ClockBack", .shapes = With([](MemoryShapes& s) { s.clockBack = 10; }), .check = CheckBack},
    {.name = "BadYear", .shapes = With([](MemoryShapes& s) { s.badYear = 3; }), .check = CheckBadYear},
    {.name = "GarbageSlots",
     .shapes = With([](MemoryShapes& s) { s.historyHours = 200, s.garbageSlots = true; }),
     .check = CheckGarbage},
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class ShapeOf : public ::testing::TestWithParam<std::tuple<ShapeCase, DeviceType>> {};

std::string CaseName(const ::testing::TestParamInfo<std::tuple<ShapeCase, DeviceType>>& info) {
  static constexpr std::array<const char*, 5> kModels{"", "0812", "0814C", "0814CM", "LDN08"};
  return std::string(std::get<0>(info.param).name) + "_" + kModels[static_cast<std::size_t>(std::get<1>(info.param))];
}

}  // namespace

TEST_P(ShapeOf, MemoryHoldsItAndTimeOverwritesIt) {
  const auto& [shape, model] = GetParam();
  InstrumentOptions o;
  o.model = model, o.seed = 5, o.shapes = shape.shapes;
  Instrument in(o);
  const auto stats = MakeStatModel(in.ExpectedDump());
  ASSERT_NE(stats, nullptr);
  shape.check(in, *stats);
  // A whole hourly area of time later every hourly slot holds a tidy record.
  const std::uint32_t count = LayoutOf(model).hourly.count;
  in.Advance(count);
  EXPECT_TRUE(std::all_of(in.GetHistory().hourly.begin(), in.GetHistory().hourly.end(),
                          [](const ArchiveRecord& r) { return r.shape == RecordShape::None; }));
  const RecordCounts after = CountRecords(*MakeStatModel(in.ExpectedDump()));
  EXPECT_EQ(after.Valid(ArchiveKind::Hourly), count);
  EXPECT_EQ(after.Failed(ArchiveKind::Hourly), 0u);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeOf,
                         ::testing::Combine(::testing::ValuesIn(kShapes),
                                            ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C,
                                                              DeviceType::dtVTK0814CM, DeviceType::dtLDN08)),
                         CaseName);

// Without a shape asked for, seed 1 gives the memories it always gave.
TEST(Shapes, NoneAskedSameMemoriesAsBefore) {
  const std::pair<DeviceType, std::uint64_t> golden[] = {{DeviceType::dtVTK0812, 5745205251357309666ull},
                                                         {DeviceType::dtVTK0814C, 14781019599341292462ull},
                                                         {DeviceType::dtVTK0814CM, 12696670770438038087ull},
                                                         {DeviceType::dtLDN08, 427093311209926098ull}};
  for (const auto& [model, hash] : golden) {
    InstrumentOptions o;
    o.model = model;
    EXPECT_EQ(MemoryHash(Instrument(o)), hash) << DeviceTypeName(model);
  }
}

// The options fill the fields, for each instrument of a bus whatever the order.
TEST(Shapes, CommandLineFillsTheFieldsOfEveryInstrument) {
  const std::string help(HelpText());
  for (const char* opt : {"--clock-reset", "--clock-back", "--bad-year", "--garbage-slots", "--history-hours"})
    EXPECT_NE(help.find(opt), std::string::npos) << opt;
  const auto c = ParseCommandLine({"--bus", "0812@3,ldn@7", "--clock-reset", "30@12", "--clock-back", "5", "--bad-year",
                                   "0", "--garbage-slots", "--history-hours", "300"});
  ASSERT_TRUE(c.has_value()) << ReasonOf(c);
  MemoryShapes want;
  want.clockReset = ClockReset{.hours = 30, .ago = 12};
  want.clockBack = 5, want.badYear = 0, want.historyHours = 300, want.garbageSlots = true;
  ASSERT_EQ(c->bus.size(), 2u);
  for (const InstrumentOptions& o : c->bus) EXPECT_TRUE(o.shapes == want) << int(o.address);
  const auto plain = ParseCommandLine({"--clock-reset", "6"});
  ASSERT_TRUE(plain.has_value()) << ReasonOf(plain);
  EXPECT_TRUE(plain->instrument.shapes.clockReset == (ClockReset{.hours = 6, .ago = 24}));
  for (std::vector<std::string> bad : {std::vector<std::string>{"--clock-reset", "0"},
                                       {"--clock-reset", "5@"},
                                       {"--clock-reset", "@3"},
                                       {"--clock-reset", "5@x"},
                                       {"--clock-reset", "87601"},
                                       {"--clock-back", "-1"},
                                       {"--bad-year", "0x10"},
                                       {"--history-hours", "0"}})
    EXPECT_FALSE(ParseCommandLine(bad).has_value()) << bad[0] << " " << bad[1];
}
