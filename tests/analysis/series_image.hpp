// VTK-08.14 images built hour by hour and day by day for the analysis tests:
// running totals and counters written into the ring from any slot (so a
// series can cross the ring's end), events, the meter's clock.
#pragma once

#include <functional>
#include <vector>

#include "stats/stat0814.hpp"
#include "stats/stat_builders.hpp"

namespace analysistest {

using namespace statvtk;

// What one hour of a series holds.
struct Hour {
  double forward = 0, reverse = 0;  // m³ in the hour
  std::uint32_t flags = 0;
  bool missing = false;  // no record (the volume still goes into the totals)
  std::uint32_t errorSeconds = 0;
};

struct Image0814 {
  StatData data = StatData::Blank(DeviceType::dtVTK0814C);

  // `count` hours from the device time `start`, hour(i) the i-th; the first
  // record in `firstSlot`, each next record in the next slot of the ring.
  void Hours(std::uint32_t start, int count, const std::function<Hour(int)>& hour, std::size_t firstSlot = 0) {
    const auto& map = StatModel0814::kHourly;
    stattest::RecTimed r;
    std::size_t slot = firstSlot;
    for (int i = 0; i < count; ++i) {
      const Hour h = hour(i);
      r.time = start + 3600u * static_cast<std::uint32_t>(i);
      r.vplus += Millionths(h.forward);
      r.vminus += Millionths(h.reverse);
      r.counters[0] += 3600;
      r.counters[1] += h.errorSeconds;
      r.flags = h.flags;
      if (h.missing) continue;
      stattest::Write0814(data, map.offset + map.recordSize * (slot % map.count), r);
      ++slot;
    }
  }

  // Daily records from `start`: forward[i] m³ on day i, a negative value a missing day.
  void Days(std::uint32_t start, const std::vector<double>& forward, std::size_t firstSlot = 0) {
    const auto& map = StatModel0814::kDaily;
    stattest::RecTimed r;
    std::size_t slot = firstSlot;
    for (std::size_t i = 0; i < forward.size(); ++i) {
      r.time = start + 86400u * static_cast<std::uint32_t>(i);
      if (forward[i] < 0) continue;
      r.vplus += Millionths(forward[i]);
      stattest::Write0814(data, map.offset + map.recordSize * (slot % map.count), r);
      ++slot;
    }
  }

  // An event in `slot`: bits 0 on, 1 off, 2 calibration, 3 settings, 4 clock,
  // 5 interval; alarms 6 excitation, 7 empty pipe, 8 T, 9 Gmin, 10 Gmax, 11 reverse.
  void Event(std::size_t slot, std::uint32_t time, std::uint16_t bits) {
    auto rec = std::span<std::uint8_t>(data.area).subspan(StatModel0814::kEventOffset + 16 * slot, 16);
    stattest::PutBE(rec, time, 4);
    stattest::PutBE(rec.subspan(4), bits, 2);
    stattest::FixSum(rec);
  }

  void Clock(int year, int month, int day, int hour) {
    const auto bcd = [](int v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); };
    data.header[2] = bcd(hour);
    data.header[4] = bcd(day);
    data.header[5] = bcd(month);
    data.header[6] = bcd(year % 100);
  }

  static std::uint64_t Millionths(double m3) { return static_cast<std::uint64_t>(m3 * 1e6 + 0.5); }
};

}  // namespace analysistest
