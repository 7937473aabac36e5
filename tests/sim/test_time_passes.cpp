// The simulator letting time pass: records after each pointer, events, clock.
#include <gtest/gtest.h>

#include "sim/instrument.hpp"
#include "sim/memories.hpp"

namespace statvtk::sim {
namespace {

class TimePasses : public ::testing::TestWithParam<DeviceType> {};

TEST_P(TimePasses, NewRecordsFollowThePointersAndTheRestStays) {
  InstrumentOptions o;
  o.model = GetParam();
  Instrument in(o);
  const History before = in.GetHistory();
  const std::vector<std::uint8_t> archiveBefore(in.Memory(MemoryKind::Archive).begin(),
                                                in.Memory(MemoryKind::Archive).end());
  in.Advance(48);
  const History& after = in.GetHistory();
  const ModelLayout& L = LayoutOf(o.model);
  EXPECT_EQ(after.now, before.now + 48 * 3600);

  auto step = [](const AreaLayout& a, std::uint32_t from, std::uint32_t n) {
    return a.first + ((from - a.first) / a.size + n) % a.count * a.size;
  };
  EXPECT_EQ(after.hourlyPointer, step(L.hourly, before.hourlyPointer, 48));
  EXPECT_EQ(after.dailyPointer, step(L.daily, before.dailyPointer, 2));
  ASSERT_GE(after.hourly.size(), 48u);
  // The newest 48 hourly records are the new hours, in order, valid.
  const auto mem = in.Memory(MemoryKind::Archive);
  for (std::size_t k = 0; k < 48; ++k) {
    const ArchiveRecord& r = after.hourly[after.hourly.size() - 48 + k];
    EXPECT_EQ(r.periodStart, before.now / 3600 * 3600 + k * 3600);
    EXPECT_TRUE(SumsToFF(mem.subspan(r.address, L.hourly.size == 68 ? 68 : L.hourly.size))) << k;
  }
  EXPECT_GT(after.events.back().sequence, before.events.back().sequence);
  // Records the new ones did not overwrite stay as they were.
  const std::uint32_t untouched = step(L.hourly, before.hourlyPointer, 100);
  EXPECT_TRUE(
      std::equal(mem.begin() + untouched, mem.begin() + untouched + L.hourly.size, archiveBefore.begin() + untouched));
}

INSTANTIATE_TEST_SUITE_P(Models, TimePasses,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtLDN08));

}  // namespace
}  // namespace statvtk::sim
