#include "reading/read_maps.hpp"

#include <algorithm>

namespace statvtk {

std::uint32_t WalkStart(const ArchiveArea& area, std::uint32_t pointer) {
  if (pointer < area.first || pointer >= area.End()) return area.Last();
  return area.first + (pointer - area.first) / area.recordSize * area.recordSize;
}

std::uint32_t PreviousRecord(const ArchiveArea& area, std::uint32_t address) {
  return address <= area.first ? area.Last() : address - area.recordSize;
}

std::vector<std::uint32_t> BackwardWalk(const ArchiveArea& area, std::uint32_t pointer, std::size_t count) {
  count = std::min<std::size_t>(count, area.count);
  std::vector<std::uint32_t> out;
  out.reserve(count);
  std::uint32_t a = WalkStart(area, pointer);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(a);
    a = PreviousRecord(area, a);
  }
  return out;
}

}  // namespace statvtk
