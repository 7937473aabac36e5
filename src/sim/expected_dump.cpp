#include "sim/expected_dump.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace statvtk::sim {

namespace {

void CopyRange(const std::vector<std::uint8_t>& src, std::size_t from, std::size_t n, std::vector<std::uint8_t>& dst,
               std::size_t to) {
  std::copy_n(src.begin() + static_cast<std::ptrdiff_t>(from), n, dst.begin() + static_cast<std::ptrdiff_t>(to));
}

void CopyArea(const Memories& m, const AreaLayout& a, std::uint32_t records, std::vector<std::uint8_t>& area) {
  CopyRange(m.archive, a.first, std::size_t{records} * a.size, area, a.first);
}

}  // namespace

StatData ExpectedDump(DeviceType model, const Memories& m) {
  StatData d;
  d.type = model;
  const ModelLayout& L = LayoutOf(model);
  d.area.assign(L.archiveSize, 0);
  if (model == DeviceType::dtLDN08) {
    d.header.assign(kLdnHeaderSize, 0);
    CopyArea(m, L.hourly, L.hourly.count, d.area);
    CopyArea(m, L.daily, L.daily.count, d.area);
    CopyArea(m, L.monthly, L.monthly.count, d.area);
    CopyArea(m, L.events, L.events.count, d.area);
    CopyRange(m.config, 0, 256, d.header, 0);
    CopyRange(m.ram, 0, 64, d.header, 512);
    return d;
  }
  d.header.assign(kVtkHeaderSize, 0);
  CopyRange(m.rtc, 0, 128, d.header, 0);
  if (model == DeviceType::dtVTK0812) {
    d.area = m.archive;
    CopyRange(m.ram, 180, 4, d.header, 436);
    CopyRange(m.config, 0, 512, d.header, 512);
    return d;
  }
  CopyArea(m, L.hourly, L.hourly.count, d.area);
  CopyArea(m, L.daily, L.daily.count, d.area);
  CopyArea(m, L.monthly, L.monthly.count, d.area);
  CopyRange(m.archive, L.events.first, 87 * 64, d.area, L.events.first);  // "all" reads 87 event blocks
  CopyRange(m.ram, 180, 4, d.header, 180);
  CopyRange(m.ram, 264, 8, d.header, 264);
  for (std::size_t k : {0, 1, 8, 10, 11, 12, 13, 14, 15}) CopyRange(m.config, k * 32, 32, d.header, 512 + k * 32);
  return d;
}

std::vector<std::uint8_t> DumpBytes(const StatData& d) {
  std::vector<std::uint8_t> out(d.area);
  out.insert(out.end(), d.header.begin(), d.header.end());
  return out;
}

}  // namespace statvtk::sim
