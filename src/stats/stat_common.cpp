#include "stats/stat_common.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "base/device_values.hpp"

namespace statvtk::detail {

bool SumIsFF(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (auto b : bytes) sum += b;
  return (sum & 0xFFu) == 0xFFu;
}

bool AllZero(std::span<const std::uint8_t> bytes) {
  for (auto b : bytes)
    if (b != 0) return false;
  return true;
}

bool PreviousSlotRead(std::span<const std::uint8_t> area, std::size_t first, std::size_t count, std::size_t size,
                      std::size_t pos) {
  if (count == 0 || size == 0 || pos < first || pos >= first + count * size) return false;
  const std::size_t slot = (pos - first) / size;
  const std::size_t before = first + ((slot + count - 1) % count) * size;
  const auto rec = Slice(area, before, size);
  return !rec.empty() && !AllZero(rec);
}

void InsertionSortByKey(std::span<IndexEntry> entries) {
  for (std::size_t i = 1; i < entries.size(); ++i) {
    const IndexEntry e = entries[i];
    std::size_t j = i;
    while (j > 0 && e.Key < entries[j - 1].Key) {
      entries[j] = entries[j - 1];
      --j;
    }
    entries[j] = e;
  }
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, ap);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(ap);
  return out;
}

std::span<const std::uint8_t> Slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t n) {
  if (offset > bytes.size() || n > bytes.size() - offset) return {};
  return bytes.subspan(offset, n);
}

std::string DeviceTimeText(std::uint32_t seconds) {
  const CivilTime t = DeviceTimeToCivil(seconds);
  return Format("%.2d.%.2d.%.2d %.2d:%.2d:%.2d", t.day, t.month, t.year % 100, t.hour, t.minute, t.second);
}

std::uint32_t VtkClockStamp(std::span<const std::uint8_t> header) {
  return static_cast<std::uint32_t>(header[2]) | (static_cast<std::uint32_t>(header[4]) << 8) |
         (static_cast<std::uint32_t>(header[5]) << 16) | (static_cast<std::uint32_t>(header[6]) << 24);
}

void AppendMarks(std::vector<std::string>& cells, std::uint32_t bits, int flags, int alarms) {
  for (int bit = 0; bit < flags; ++bit) cells.push_back(FlagMark(bits & (1u << bit)));
  for (int bit = flags; bit < flags + alarms; ++bit) cells.push_back(AlarmMark(bits & (1u << bit)));
}

std::vector<std::vector<std::string>> EventRows(std::span<const std::uint8_t> area, std::size_t offset,
                                                std::size_t count, std::size_t size, const EventDecoder& decode) {
  std::vector<EventRow> events;
  for (std::size_t i = 0; i < count; ++i) {
    const auto rec = Slice(area, offset + i * size, size);
    if (rec.empty() || !SumIsFF(rec)) continue;
    if (auto ev = decode(rec)) events.push_back(std::move(*ev));
  }
  std::stable_sort(events.begin(), events.end(), [](const EventRow& a, const EventRow& b) { return a.key < b.key; });
  std::vector<std::vector<std::string>> rows;
  for (std::size_t n = 0; n < events.size(); ++n) {
    std::vector<std::string> row{std::to_string(n + 1)};
    row.insert(row.end(), std::make_move_iterator(events[n].cells.begin()),
               std::make_move_iterator(events[n].cells.end()));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace statvtk::detail
