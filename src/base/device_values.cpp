#include "base/device_values.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

namespace statvtk {

void WaitMs(std::uint32_t ms) {
  using clock = std::chrono::steady_clock;
  const auto until = clock::now() + std::chrono::milliseconds(ms);
  // sleep_until may wake early on some systems; loop until the time has passed.
  while (clock::now() < until) std::this_thread::sleep_until(until);
}

void SwapFloat32(std::span<std::uint8_t, 4> b) {
  std::swap(b[0], b[3]);
  std::swap(b[1], b[2]);
}

void CopyDeviceBytes(std::span<std::uint8_t> dst, std::span<const std::uint8_t> src) {
  const std::size_t n = std::min(dst.size(), src.size());
  if (n) std::memmove(dst.data(), src.data(), n);
}

void ReverseDeviceBytes(std::span<std::uint8_t, 8> dst, std::span<const std::uint8_t> src) {
  std::fill(dst.begin(), dst.end(), std::uint8_t{0});
  const std::size_t n = std::min<std::size_t>(src.size(), 8);
  for (std::size_t i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
}

std::uint64_t DeviceUInt(std::span<const std::uint8_t> src) {
  std::uint64_t v = 0;
  const std::size_t n = std::min<std::size_t>(src.size(), 8);
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | src[i];
  return v;
}

float DeviceFloat(std::span<const std::uint8_t> src) {
  if (src.size() < 4) return 0.0f;
  const auto v = static_cast<std::uint32_t>(DeviceUInt(src.first(4)));
  return std::bit_cast<float>(v);
}

std::uint32_t LittleUInt32(std::span<const std::uint8_t> src) {
  if (src.size() < 4) return 0;
  return static_cast<std::uint32_t>(src[0]) | (static_cast<std::uint32_t>(src[1]) << 8) |
         (static_cast<std::uint32_t>(src[2]) << 16) | (static_cast<std::uint32_t>(src[3]) << 24);
}

float LittleFloat(std::span<const std::uint8_t> src) { return std::bit_cast<float>(LittleUInt32(src)); }

bool IsValidBcdDate(std::uint8_t day, std::uint8_t month, std::uint8_t year) {
  const int d = BcdToInt(day), m = BcdToInt(month), y = BcdToInt(year);
  return d >= 1 && d <= 31 && m >= 1 && m <= 12 && y <= 99;
}

bool IsValidDeviceTime(std::uint32_t seconds) { return seconds >= kFirstDeviceTime && seconds <= kLastDeviceTime; }

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian calendar).
static std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153u * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

static void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

CivilTime DeviceTimeToCivil(std::uint32_t seconds) {
  CivilTime t{};
  CivilFromDays(seconds / 86400, t.year, t.month, t.day);
  const std::uint32_t rem = seconds % 86400;
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem % 3600 / 60);
  t.second = static_cast<int>(rem % 60);
  return t;
}

std::int64_t CivilToDeviceTime(int year, int month, int day, int hour, int minute, int second) {
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::uint32_t DeviceTimeToBcdHour(std::uint32_t seconds) {
  if (seconds == 0) return 0;
  const CivilTime t = DeviceTimeToCivil(seconds);
  const int yy = (t.year - 2000) & 0xFF;  // the low 8 bits of the difference, then BCD
  return static_cast<std::uint32_t>(IntToBcd(t.hour)) | (static_cast<std::uint32_t>(IntToBcd(t.day)) << 8) |
         (static_cast<std::uint32_t>(IntToBcd(t.month)) << 16) | (static_cast<std::uint32_t>(IntToBcd(yy)) << 24);
}

}  // namespace statvtk
