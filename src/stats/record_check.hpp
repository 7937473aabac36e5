// What an image holds per archive, and how many of its valid records decode
// to values no instrument can hold (negative totals, a volume over 10^12 m³,
// a value that is not a finite number): the sign of a damaged file; and how
// many stored records the validity checks left out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "stats/stat_model.hpp"

namespace statvtk {

// Totals above this many m³ are taken as damage.
inline constexpr double kMaxPlausibleVolume = 1e12;

struct RecordCounts {
  std::array<std::size_t, 3> valid{};  // by ArchiveKind: hourly, daily, monthly
  std::size_t damaged = 0;             // valid by their checksums, impossible by their values
  // By ArchiveKind: records that were read and written (neither all zero
  // bytes, a slot not read, nor all 0xFF, erased memory) but fail their
  // checksum or date check, so no list, chart or report shows them.
  std::array<std::size_t, 3> failed{};
  bool kvDamaged = false;  // the instrument's Kv is not a finite number

  std::size_t Valid(ArchiveKind kind) const { return valid[static_cast<std::size_t>(kind)]; }
  std::size_t Failed(ArchiveKind kind) const { return failed[static_cast<std::size_t>(kind)]; }
};

// A slot holding a record: not all zero (not read) and not all 0xFF (erased).
bool Written(std::span<const std::uint8_t> bytes);

// True when a decoded record's values could have come from an instrument.
bool RecordPlausible(const StatRecord& record);

RecordCounts CountRecords(const StatModel& model);

}  // namespace statvtk
