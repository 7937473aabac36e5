// Device value encodings: the instruments store numbers most significant byte
// first and dates as packed BCD; these routines turn them into host values and
// give the link its millisecond wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace statvtk {

// Waits at least `ms` milliseconds on the steady clock, sleeping (never spinning).
void WaitMs(std::uint32_t ms);

// Reverses four bytes in place: a big-endian IEEE-754 single becomes a host single.
void SwapFloat32(std::span<std::uint8_t, 4> bytes);

// Copies src.size() bytes to dst in the same order (dst must be at least as long).
void CopyDeviceBytes(std::span<std::uint8_t> dst, std::span<const std::uint8_t> src);

// Zeroes the 8 destination bytes, then stores src[N-1-i] at dst[i] (N = src.size() <= 8):
// a big-endian integer of N bytes becomes a host (little-endian) integer of up to 64 bits.
void ReverseDeviceBytes(std::span<std::uint8_t, 8> dst, std::span<const std::uint8_t> src);

// Convenience forms of the above for reading values straight out of a block.
std::uint64_t DeviceUInt(std::span<const std::uint8_t> src);    // big-endian, 1..8 bytes
float DeviceFloat(std::span<const std::uint8_t> src);           // 4 bytes, big-endian single
std::uint32_t LittleUInt32(std::span<const std::uint8_t> src);  // 4 bytes, little-endian
float LittleFloat(std::span<const std::uint8_t> src);           // 4 bytes, little-endian single

// Packed BCD: high nibble x 10 + low nibble, and back (v in 0..99).
constexpr int BcdToInt(std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }
constexpr std::uint8_t IntToBcd(int v) { return static_cast<std::uint8_t>((v / 10) * 16 + v % 10); }

// True when day decodes to 1..31, month to 1..12 and year to at most 99.
bool IsValidBcdDate(std::uint8_t day, std::uint8_t month, std::uint8_t year);

// First and last valid device times: 2000-01-01 00:00:00 .. 2055-01-22 23:59:59.
inline constexpr std::uint32_t kFirstDeviceTime = 946684800u;
inline constexpr std::uint32_t kLastDeviceTime = 2684275199u;
bool IsValidDeviceTime(std::uint32_t seconds);

// Calendar date and time of a device time (seconds since 1970-01-01, no time zone).
struct CivilTime {
  int year, month, day, hour, minute, second;
};
CivilTime DeviceTimeToCivil(std::uint32_t seconds);
// Seconds since 1970-01-01 of a calendar date and time (the inverse of the above).
std::int64_t CivilToDeviceTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// 0 gives 0; otherwise four BCD bytes packed as byte 0 hour, 1 day, 2 month, 3 year-2000.
std::uint32_t DeviceTimeToBcdHour(std::uint32_t seconds);

}  // namespace statvtk
