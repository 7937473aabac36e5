// Small helpers shared by the model decoders: checksums, the stable index
// sort, printf-style formatting, bounded reads from an image, and the walk
// over an event area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk::detail {

// True when the bytes add up to 0xFF modulo 256.
bool SumIsFF(std::span<const std::uint8_t> bytes);

// Stable ascending insertion sort by Key: an entry moves in front of another
// only when its key is strictly smaller, so equal keys keep their slot order.
void InsertionSortByKey(std::span<IndexEntry> entries);

// True when every byte is zero (a slot the download did not fill).
bool AllZero(std::span<const std::uint8_t> bytes);

// Whether the record at `pos` of a circular area (`count` slots of `size`
// bytes from `first`) has its increments: the slot before it (the area's last
// slot before its first) must not be blank.
bool PreviousSlotRead(std::span<const std::uint8_t> area, std::size_t first, std::size_t count, std::size_t size,
                      std::size_t pos);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// `n` bytes at `offset`, or an empty span when they do not lie inside `bytes`.
std::span<const std::uint8_t> Slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t n);

// The device time as "DD.MM.YY hh:mm:ss".
std::string DeviceTimeText(std::uint32_t seconds);

// The event table's flag and alarm marks.
inline std::string FlagMark(bool set) { return set ? "+" : "-"; }
inline std::string AlarmMark(bool set) { return set ? "!" : "-"; }

// The VTK models' clock stamp: header bytes 2, 4, 5 and 6 packed from the
// low byte up.
std::uint32_t VtkClockStamp(std::span<const std::uint8_t> header);

// One event as its model reads it: the key that orders events in time, and
// the row's cells after its number.
struct EventRow {
  std::uint64_t key = 0;
  std::vector<std::string> cells;
};
using EventDecoder = std::function<std::optional<EventRow>(std::span<const std::uint8_t> record)>;

// Appends the marks of an event's bits: the first `flags` bits as flag marks,
// the `alarms` bits after them as alarm marks.
void AppendMarks(std::vector<std::string>& cells, std::uint32_t bits, int flags, int alarms);

// The rows of an event area: each of the `count` records of `size` bytes from
// `offset` that passes the sum check and that `decode` accepts, in time order
// (events with the same key keep their slot order), numbered from 1.
std::vector<std::vector<std::string>> EventRows(std::span<const std::uint8_t> area, std::size_t offset,
                                                std::size_t count, std::size_t size, const EventDecoder& decode);

}  // namespace statvtk::detail
