#include "stats/stat_common.hpp"

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

}  // namespace statvtk::detail
