// The instrument's memories (RTC, RAM, configuration, archive) as bytes,
// encoded from its history in the record layouts of docs/formats.md.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/history.hpp"

namespace statvtk::sim {

struct Memories {
  std::vector<std::uint8_t> rtc;      // VTK: 128 bytes; LDN-08: none
  std::vector<std::uint8_t> ram;      // VTK: 1024; LDN-08: 64
  std::vector<std::uint8_t> config;   // VTK: 512; LDN-08: 256
  std::vector<std::uint8_t> archive;  // 65536 / 262144 / 524288

  std::span<const std::uint8_t> Of(MemoryKind k) const;
};

Memories BuildMemories(const History& h);

// The year byte of a BadYear record (VTK-08.14, LDN-08: the high byte of its
// time, beyond the last time a record may carry): no BCD digit.
inline constexpr std::uint8_t kBadYearByte = 0xA0;

// Record encoders (the checksum byte is set so the record sums to 0xFF, or
// to 0xFE for a record marked invalid; a BadYear record sums to 0xFF too).
void EncodeRecord0812(const ArchiveRecord& r, std::span<std::uint8_t, 32> out);
void EncodeRecord0814(const ArchiveRecord& r, std::span<std::uint8_t, 64> out);
void EncodeRecordLdn(const ArchiveRecord& r, std::span<std::uint8_t, 68> out);
void EncodeEvent0812(const EventRecord& e, std::span<std::uint8_t, 16> out);
void EncodeEvent0814(const EventRecord& e, std::span<std::uint8_t, 16> out);
void EncodeEventLdn(const EventRecord& e, std::span<std::uint8_t, 64> out);

// True when the bytes sum to 0xFF modulo 256.
bool SumsToFF(std::span<const std::uint8_t> bytes);

}  // namespace statvtk::sim
