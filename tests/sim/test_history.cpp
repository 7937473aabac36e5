// The generated history: circular areas, pointers, validity rules, and the
// agreement between the memories and the history model.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/device_values.hpp"
#include "sim/instrument.hpp"

using namespace statvtk;
using namespace statvtk::sim;

namespace {

std::uint64_t BE(std::span<const std::uint8_t> m, std::size_t at, int n) { return DeviceUInt(m.subspan(at, n)); }
std::uint64_t LE(std::span<const std::uint8_t> m, std::size_t at, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | m[at + static_cast<std::size_t>(i)];
  return v;
}

Instrument Make(DeviceType t, std::uint64_t seed = 3) {
  InstrumentOptions o;
  o.model = t, o.seed = seed;
  return Instrument(o);
}

// The period start a slot holds, or 0 when the slot fails the model's validity rules.
std::uint32_t SlotTime(DeviceType t, std::span<const std::uint8_t> a, std::uint32_t address, std::uint32_t size) {
  const auto rec = a.subspan(address, size);
  if (!SumsToFF(rec)) return 0;
  if (t == DeviceType::dtVTK0812) {
    if (!IsValidBcdDate(rec[1], rec[2], rec[3])) return 0;
    return static_cast<std::uint32_t>(
        CivilToDeviceTime(2000 + BcdToInt(rec[3]), BcdToInt(rec[2]), BcdToInt(rec[1]), BcdToInt(rec[0] & 0x7F)));
  }
  const auto time = static_cast<std::uint32_t>(t == DeviceType::dtLDN08 ? LE(rec, 0, 4) : BE(rec, 0, 4));
  return time >= 946684800u && time <= 0x9FFFFFFFu ? time : 0;
}

}  // namespace

class HistoryOf : public ::testing::TestWithParam<DeviceType> {};

TEST_P(HistoryOf, RecordsPassTheValidityRulesExceptTheMarkedOne) {
  const DeviceType t = GetParam();
  Instrument in = Make(t);
  const History& h = in.GetHistory();
  const auto a = in.Memory(MemoryKind::Archive);
  const ModelLayout& L = LayoutOf(t);
  for (Area area : {Area::Hourly, Area::Daily, Area::Monthly}) {
    const AreaLayout& al = L.Of(area);
    int invalid = 0;
    for (const auto& r : h.Records(area)) {
      const std::uint32_t got = SlotTime(t, a, r.address, al.size);
      if (r.invalid) {
        ++invalid;
        EXPECT_EQ(got, 0u);
      } else {
        EXPECT_EQ(got, r.periodStart) << "slot " << r.slot;
      }
    }
    EXPECT_EQ(invalid, area == Area::Monthly ? 0 : 1);
  }
  // Hourly: the last 45 days (08.12) or 60 days (others), filling every slot.
  EXPECT_EQ(h.hourly.size(), L.hourly.count);
  EXPECT_EQ(h.daily.size(), L.daily.count);
  const double days = (h.hourly.back().periodStart - h.hourly.front().periodStart) / 86400.0;
  EXPECT_NEAR(days, L.hourly.count / 24.0, 1.0);
  for (const auto& e : h.events) {
    const auto rec = a.subspan(e.address, L.events.size);
    EXPECT_TRUE(SumsToFF(rec));
    EXPECT_NE(e.flags, 0);
  }
  EXPECT_EQ(h.events.size(), L.events.count);  // the event area has wrapped
}

TEST_P(HistoryOf, GapsOneDuplicateAndTotalsThatGrow) {
  const Instrument in = Make(GetParam());
  const History& h = in.GetHistory();
  int duplicates = 0, missing = 0;
  for (std::size_t i = 1; i < h.hourly.size(); ++i) {
    const auto& p = h.hourly[i - 1];
    const auto& r = h.hourly[i];
    EXPECT_GE(r.totals.vPlus, p.totals.vPlus);
    EXPECT_GE(r.totals.counters[0], p.totals.counters[0]);
    EXPECT_EQ(r.totals.vPlus - p.totals.vPlus, r.increments.vPlus);
    if (r.duplicate) {
      ++duplicates;
      EXPECT_EQ(r.periodStart, p.periodStart);
    } else {
      missing += static_cast<int>((r.periodStart - p.periodStart) / 3600) - 1;
    }
  }
  EXPECT_EQ(duplicates, 1);
  EXPECT_EQ(missing, 4);  // one outage of 3 hours and one of 1 hour
  EXPECT_GE(h.current.totals.vPlus, h.hourly.back().totals.vPlus);
}

TEST_P(HistoryOf, DailyTotalsMatchTheLastHourOfTheDay) {
  const Instrument in = Make(GetParam());
  const History& h = in.GetHistory();
  std::map<std::uint32_t, Totals> lastHour;  // by day start
  for (const auto& r : h.hourly) lastHour[r.periodStart / 86400 * 86400] = r.totals;
  int compared = 0;
  for (const auto& d : h.daily) {
    auto it = lastHour.find(d.periodStart);
    if (it == lastHour.end() || it == std::prev(lastHour.end())) continue;
    EXPECT_EQ(d.totals.vPlus, it->second.vPlus);
    EXPECT_EQ(d.totals.counters, it->second.counters);
    ++compared;
  }
  EXPECT_GT(compared, 40);
}

TEST_P(HistoryOf, PointersAddressTheNewestRecords) {
  const DeviceType t = GetParam();
  Instrument in = Make(t);
  const History& h = in.GetHistory();
  const auto cfg = in.Memory(MemoryKind::Config);
  const auto a = in.Memory(MemoryKind::Archive);
  const ModelLayout& L = LayoutOf(t);
  for (Area area : {Area::Hourly, Area::Daily, Area::Monthly}) {
    const auto& recs = h.Records(area);
    if (L.Of(area).count == 0) continue;
    const std::uint32_t pointer = area == Area::Hourly  ? h.hourlyPointer
                                  : area == Area::Daily ? h.dailyPointer
                                                        : h.monthlyPointer;
    EXPECT_EQ(pointer, recs.back().address);
    if (t == DeviceType::dtLDN08) {
      EXPECT_EQ(LE(cfg, 192 + 4 * static_cast<std::size_t>(area), 4), pointer);
    } else if (t != DeviceType::dtVTK0812) {
      EXPECT_EQ(BE(cfg, 457 + 4 * static_cast<std::size_t>(area), 3), pointer);
    }
    // Walking back from the pointer with wrap-around gives ever older valid periods.
    const AreaLayout& al = L.Of(area);
    std::uint32_t addr = pointer, newest = SlotTime(t, a, addr, al.size), steps = 0;
    EXPECT_NE(newest, 0u);
    std::uint32_t prev = newest;
    for (std::uint32_t k = 1; k < std::min<std::uint32_t>(al.count, static_cast<std::uint32_t>(recs.size())); ++k) {
      addr = addr == al.first ? al.first + (al.count - 1) * al.size : addr - al.size;
      const std::uint32_t tm = SlotTime(t, a, addr, al.size);
      if (tm == 0) continue;
      EXPECT_LE(tm, prev);
      prev = tm, ++steps;
    }
    EXPECT_GT(steps, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Models, HistoryOf,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

TEST(History, HeaderValuesOfTheCurrentReadings) {
  Instrument in = Make(DeviceType::dtVTK0814C);
  const History& h = in.GetHistory();
  const auto cfg = in.Memory(MemoryKind::Config);
  const auto rtc = in.Memory(MemoryKind::Rtc);
  const auto ram = in.Memory(MemoryKind::Ram);
  EXPECT_EQ(std::string(cfg.begin(), cfg.begin() + 8), h.config.serial);
  EXPECT_LT(cfg[8], 7);  // C table has 7 codes
  EXPECT_EQ(BE(cfg, 320, 4), h.current.totals.vPlus / 1000000);
  EXPECT_EQ(BE(cfg, 344, 4), h.current.operatingSeconds);
  EXPECT_FLOAT_EQ(DeviceFloat(ram.subspan(180, 4)), h.current.flow);
  EXPECT_FLOAT_EQ(DeviceFloat(ram.subspan(264, 4)), h.current.temperature);
  EXPECT_GT(h.current.flow, 0.0f);
  // 2026-12-08 10:30:00 in the RTC, packed BCD.
  EXPECT_EQ(rtc[2], 0x10);
  EXPECT_EQ(rtc[1], 0x30);
  EXPECT_EQ(rtc[4], 0x08);
  EXPECT_EQ(rtc[5], 0x12);
  EXPECT_EQ(rtc[6], 0x26);
  EXPECT_EQ(rtc[3], 2);  // a Tuesday
}
