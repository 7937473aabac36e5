// Hand-built statistics images for the tests: records of each model written
// byte by byte from the layouts, with their checksums.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

#include "base/device_values.hpp"
#include "stats/stat_image.hpp"

namespace stattest {

using statvtk::StatData;

// Sets the last byte so that all bytes add up to 0xFF modulo 256.
inline void FixSum(std::span<std::uint8_t> rec) {
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < rec.size(); ++i) sum += rec[i];
  rec.back() = static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu));
}

inline void PutBE(std::span<std::uint8_t> at, std::uint64_t v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) at[n - 1 - i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutLE(std::span<std::uint8_t> at, std::uint64_t v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutFloatBE(std::span<std::uint8_t> at, float f) { PutBE(at, std::bit_cast<std::uint32_t>(f), 4); }
inline void PutFloatLE(std::span<std::uint8_t> at, float f) { PutLE(at, std::bit_cast<std::uint32_t>(f), 4); }

// VTK-08.12 archive record; date bytes are BCD as stored.
struct Rec0812 {
  std::uint8_t hour = 0, day = 1, month = 1, year = 0x24;
  std::uint64_t forward = 0, reverse = 0;  // millionths of m³
  std::array<std::uint32_t, 4> counters{};
  std::uint8_t flags = 0;
};

inline std::size_t HourSlot0812(std::size_t i) { return 0x4000 + 32 * i; }
inline std::size_t DaySlot0812(std::size_t i) { return 0xD000 + 32 * i; }

inline std::span<std::uint8_t> Write0812(StatData& d, std::size_t offset, const Rec0812& r) {
  auto rec = std::span<std::uint8_t>(d.area).subspan(offset, 32);
  rec[0] = r.hour;
  rec[1] = r.day;
  rec[2] = r.month;
  rec[3] = r.year;
  PutBE(rec.subspan(4), r.forward, 6);
  PutBE(rec.subspan(10), r.reverse, 6);
  for (std::size_t c = 0; c < 4; ++c) PutBE(rec.subspan(16 + 3 * c), r.counters[c], 3);
  rec[28] = r.flags;
  FixSum(rec);
  return rec;
}

// A VTK-08.14 or LDN-08 archive record.
struct RecTimed {
  std::uint32_t time = 0;
  std::uint64_t vplus = 0, vminus = 0, mplus = 0, mminus = 0;  // millionths
  std::array<std::uint32_t, 4> counters{};
  float a = 0, b = 0;  // 08.14: temperature, mean flow; LDN: mean flow, voltage
  std::uint32_t flags = 0;
};

inline std::span<std::uint8_t> Write0814(StatData& d, std::size_t offset, const RecTimed& r) {
  auto rec = std::span<std::uint8_t>(d.area).subspan(offset, 64);
  PutBE(rec, r.time, 4);
  PutBE(rec.subspan(4), r.vplus, 6);
  PutBE(rec.subspan(10), r.vminus, 6);
  PutBE(rec.subspan(16), r.mplus, 6);
  PutBE(rec.subspan(22), r.mminus, 6);
  for (std::size_t c = 0; c < 4; ++c) PutBE(rec.subspan(28 + 4 * c), r.counters[c], 4);
  PutFloatBE(rec.subspan(44), r.a);
  PutFloatBE(rec.subspan(48), r.b);
  PutBE(rec.subspan(52), r.flags, 2);
  FixSum(rec);
  return rec;
}

inline std::span<std::uint8_t> WriteLdn(StatData& d, std::size_t offset, const RecTimed& r) {
  auto rec = std::span<std::uint8_t>(d.area).subspan(offset, 68);
  PutLE(rec, r.time, 4);
  PutLE(rec.subspan(4), r.vplus, 8);
  PutLE(rec.subspan(12), r.vminus, 8);
  for (std::size_t c = 0; c < 4; ++c) PutLE(rec.subspan(20 + 4 * c), r.counters[c], 4);
  PutFloatLE(rec.subspan(36), r.a);
  PutFloatLE(rec.subspan(40), r.b);
  rec[44] = static_cast<std::uint8_t>(r.flags);
  FixSum(rec);
  return rec;
}

inline std::uint32_t Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return static_cast<std::uint32_t>(statvtk::CivilToDeviceTime(y, mo, d, h, mi, s));
}

}  // namespace stattest
