// The download maps: where each archive area lies in an instrument's memory,
// and the walks the download takes through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace statvtk {

// A circular archive area: `count` records of `recordSize` bytes from `first`.
struct ArchiveArea {
  std::uint32_t first;
  std::uint32_t recordSize;
  std::uint32_t count;
  constexpr std::uint32_t Last() const { return first + (count - 1) * recordSize; }
  constexpr std::uint32_t End() const { return first + count * recordSize; }
};

inline constexpr ArchiveArea kVtk0814Hourly{0, 64, 1440};
inline constexpr ArchiveArea kVtk0814Daily{92160, 64, 400};
inline constexpr ArchiveArea kVtk0814Monthly{117760, 64, 120};
inline constexpr std::uint32_t kVtk0814EventsFirst = 125440;
inline constexpr std::uint32_t kVtk0814EventBlock = 64;
inline constexpr std::uint32_t kVtk0814EventsAll = 87;   // blocks read with "all"
inline constexpr std::uint32_t kVtk0814EventsLast = 88;  // blocks read with "last"

inline constexpr ArchiveArea kLdnHourly{0, 68, 1440};
inline constexpr ArchiveArea kLdnDaily{196608, 68, 365};
inline constexpr ArchiveArea kLdnMonthly{262144, 68, 36};
inline constexpr ArchiveArea kLdnEvents{274432, 64, 128};

// The record a "last N" walk starts at. An archive pointer read from the
// instrument is trusted only as far as the area goes: a pointer outside the
// area starts at its last record, one between records at the record it falls in.
std::uint32_t WalkStart(const ArchiveArea& area, std::uint32_t pointer);

// The record before `address` in the same area; before the first record comes the last.
std::uint32_t PreviousRecord(const ArchiveArea& area, std::uint32_t address);

// The addresses of `count` records newest first from the pointer, wrapping
// inside the area; never more than the area holds.
std::vector<std::uint32_t> BackwardWalk(const ArchiveArea& area, std::uint32_t pointer, std::size_t count);

}  // namespace statvtk
