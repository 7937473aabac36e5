#include "stats/record_check.hpp"

#include <algorithm>
#include <cmath>

namespace statvtk {

namespace {

bool PlausibleTotal(double v) { return std::isfinite(v) && v >= 0 && v <= kMaxPlausibleVolume; }

}  // namespace

bool Written(std::span<const std::uint8_t> bytes) {
  const auto all = [bytes](std::uint8_t b) {
    return std::all_of(bytes.begin(), bytes.end(), [b](std::uint8_t x) { return x == b; });
  };
  return !bytes.empty() && !all(0x00) && !all(0xFF);
}

bool RecordPlausible(const StatRecord& record) {
  if (!PlausibleTotal(record.forwardTotal) || !PlausibleTotal(record.reverseTotal)) return false;
  for (const NamedValue& v : record.values)
    if (!std::isfinite(v.value)) return false;
  return std::isfinite(record.extraValue);
}

RecordCounts CountRecords(const StatModel& model) {
  RecordCounts counts;
  for (ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
    if (!model.HasArchive(kind)) continue;
    const std::size_t n = model.Index(kind).size();
    for (std::size_t i = 0; i < n; ++i) {
      if (!model.EntryValid(kind, i)) {
        if (Written(model.RecordBytes(kind, i))) ++counts.failed[static_cast<std::size_t>(kind)];
        continue;
      }
      ++counts.valid[static_cast<std::size_t>(kind)];
      if (!RecordPlausible(model.Decode(kind, i))) ++counts.damaged;
    }
  }
  const DeviceInfo info = model.GetDeviceInfo();
  counts.kvDamaged = info.hasTechValues && !std::isfinite(info.kv);
  return counts;
}

}  // namespace statvtk
