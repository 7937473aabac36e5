#include "reading/new_records.hpp"

#include <algorithm>
#include <system_error>

#include "base/device_values.hpp"
#include "base/safe_name.hpp"
#include "reading/read_text.hpp"

namespace statvtk {

std::optional<std::filesystem::path> NewestBaseFile(const std::filesystem::path& folder, const std::string& serialText,
                                                    DeviceType type) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::optional<fs::path> best;
  fs::file_time_type bestTime{};
  const std::string ext(FileExtension(type));
  // Named as DownloadFileName names it: the serial by the safe-name rule.
  const std::string prefix = SafeNamePart(serialText) + "-";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    const std::string name = p.filename().string();
    if (name.rfind(prefix, 0) != 0 || p.extension().string() != ext) continue;
    if (!it->is_regular_file(ec)) continue;
    const auto t = it->last_write_time(ec);
    if (ec) continue;
    if (!best || t > bestTime || (t == bestTime && p > *best)) best = p, bestTime = t;
  }
  return best;
}

std::optional<BaseMismatch> MismatchOf(const StatData& base, DeviceType type, std::span<const std::uint8_t> header) {
  if (FileExtension(base.type) != FileExtension(type) || base.area.size() != AreaSize(type) ||
      base.header.size() != HeaderSize(type))
    return BaseMismatch{BaseUnfit::OtherModel, {}, {}};
  std::string baseSerial = DownloadSerialText(type, base.header);
  std::string serial = DownloadSerialText(type, header);
  if (baseSerial != serial) return BaseMismatch{BaseUnfit::OtherSerial, std::move(baseSerial), std::move(serial)};
  return std::nullopt;
}

std::optional<std::int64_t> HeaderClock(DeviceType type, std::span<const std::uint8_t> header) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (type == DeviceType::dtLDN08) {
    if (header.size() < 512 + 46) return std::nullopt;
    const auto r = header.subspan(512);
    s = r[40], mi = r[41], h = r[42], d = r[43], mo = r[44], y = 2000 + r[45];
  } else {
    if (header.size() < 7 || !IsValidBcdDate(header[4], header[5], header[6])) return std::nullopt;
    s = BcdToInt(header[0]), mi = BcdToInt(header[1]), h = BcdToInt(header[2]);
    d = BcdToInt(header[4]), mo = BcdToInt(header[5]), y = 2000 + BcdToInt(header[6]);
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return CivilToDeviceTime(y, mo, d, h, mi, s);
}

ArchivePointers PointersOf(DeviceType type, std::span<const std::uint8_t> header) {
  ArchivePointers p;
  if (type == DeviceType::dtLDN08) {
    p.hourly = LittleUInt32(header.subspan(192, 4));
    p.daily = LittleUInt32(header.subspan(196, 4));
    p.monthly = LittleUInt32(header.subspan(200, 4));
  } else {
    p.hourly = static_cast<std::uint32_t>(DeviceUInt(header.subspan(969, 3)));
    p.daily = static_cast<std::uint32_t>(DeviceUInt(header.subspan(973, 3)));
    p.monthly = static_cast<std::uint32_t>(DeviceUInt(header.subspan(977, 3)));
  }
  return p;
}

namespace {
bool IsRecordAddress(const ArchiveArea& a, std::uint32_t p) {
  return p >= a.first && p < a.End() && (p - a.first) % a.recordSize == 0;
}
}  // namespace

ArchivePlan PlanArchive(const ArchiveArea& area, std::uint32_t basePointer, std::uint32_t pointer,
                        std::span<const std::uint8_t> baseArea, std::optional<std::int64_t> baseClock,
                        std::optional<std::int64_t> clock, std::int64_t periodS, const std::vector<bool>& known) {
  ArchivePlan plan;
  auto full = [&plan](FullReason why) {
    plan.full = true;
    plan.reason = why;
    plan.records.clear();
    plan.missing = 0;
    return plan;
  };
  if (!IsRecordAddress(area, basePointer)) return full(FullReason::BasePointer);
  if (!IsRecordAddress(area, pointer)) return full(FullReason::Pointer);
  if (baseArea.size() < area.End()) return full(FullReason::BaseShort);
  const bool masked = known.size() == area.count;
  std::vector<std::uint32_t> lacking;
  for (std::uint32_t a = area.first, i = 0; a < area.End(); a += area.recordSize, ++i) {
    const auto rec = baseArea.subspan(a, area.recordSize);
    const bool held = masked ? known[i] : !std::all_of(rec.begin(), rec.end(), [](std::uint8_t b) { return b == 0; });
    if (!held) lacking.push_back(a);
  }
  // The record compared is the base's newest; when the base lacks it (a read
  // cut off before it), the newest one it holds before it.
  std::uint32_t compared = basePointer;
  for (std::uint32_t k = 0; k < area.count && std::binary_search(lacking.begin(), lacking.end(), compared); ++k)
    compared = compared == area.first ? area.End() - area.recordSize : compared - area.recordSize;
  if (std::binary_search(lacking.begin(), lacking.end(), compared)) return full(FullReason::BaseIncomplete);
  if (baseClock && clock) {
    if (*clock < *baseClock) return full(FullReason::ClockBehind);
    if (*clock - *baseClock >= static_cast<std::int64_t>(area.count) * periodS) return full(FullReason::MayHaveWrapped);
  }
  const auto index = [&area](std::uint32_t p) { return static_cast<std::int64_t>((p - area.first) / area.recordSize); };
  const auto fresh = static_cast<std::uint32_t>((index(pointer) - index(basePointer) + area.count) % area.count);
  if (baseClock && clock && static_cast<std::int64_t>(fresh) > (*clock - *baseClock) / periodS + 2)
    return full(FullReason::PointerTooFar);
  plan.full = false;
  plan.overlap = compared;
  std::vector<std::uint32_t> newer;
  std::uint32_t a = basePointer;
  for (std::uint32_t i = 0; i < fresh; ++i) {
    a = a + area.recordSize >= area.End() ? area.first : a + area.recordSize;
    newer.push_back(a);
  }
  std::vector<std::uint32_t> sortedNewer = newer;
  std::sort(sortedNewer.begin(), sortedNewer.end());
  for (const std::uint32_t slot : lacking)
    if (!std::binary_search(sortedNewer.begin(), sortedNewer.end(), slot)) plan.records.push_back(slot);
  plan.missing = plan.records.size();
  plan.records.insert(plan.records.end(), newer.begin(), newer.end());
  return plan;
}

}  // namespace statvtk
