#include "stats/stat_timed.hpp"

#include <utility>

#include "base/device_values.hpp"
#include "stats/stat_common.hpp"

namespace statvtk {

TimedStatModel::TimedStatModel(StatData data, std::array<ArchiveMap, 3> maps)
    : StatModel(std::move(data)), maps_(maps) {}

bool TimedStatModel::HasArchive(ArchiveKind kind) const { return Map(kind).count > 0; }

std::span<const IndexEntry> TimedStatModel::Index(ArchiveKind kind) const {
  return index_[static_cast<std::size_t>(kind)];
}

bool TimedStatModel::ValidRecordAt(ArchiveKind kind, std::uint32_t pos) const {
  const auto rec = detail::Slice(Area(), pos, Map(kind).recordSize);
  if (rec.empty()) return false;
  const std::uint32_t t = TimeOf(rec);
  return t >= kFirstDeviceTime && t <= kLastRecordTime && detail::SumIsFF(rec);
}

void TimedStatModel::SortIndices() {
  for (const ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
    const ArchiveMap& m = Map(kind);
    auto& idx = index_[static_cast<std::size_t>(kind)];
    idx.assign(m.count, IndexEntry{});
    for (std::size_t i = 0; i < m.count; ++i) {
      const auto pos = static_cast<std::uint32_t>(m.offset + m.recordSize * i);
      const auto rec = detail::Slice(Area(), pos, m.recordSize);
      idx[i] = {ValidRecordAt(kind, pos) ? TimeOf(rec) : kInvalidKey, pos};
    }
    detail::InsertionSortByKey(idx);
  }
}

bool TimedStatModel::ChecksumValid(ArchiveKind kind, std::size_t i) const {
  const auto idx = Index(kind);
  if (i >= idx.size()) return false;
  const auto rec = detail::Slice(Area(), idx[i].Pos, Map(kind).recordSize);
  return !rec.empty() && detail::SumIsFF(rec);
}

std::optional<std::uint32_t> TimedStatModel::RecordStamp(ArchiveKind kind, std::size_t i) const {
  const auto idx = Index(kind);
  if (i >= idx.size()) return std::nullopt;
  const auto rec = detail::Slice(Area(), idx[i].Pos, Map(kind).recordSize);
  if (rec.empty()) return std::nullopt;
  const std::uint32_t t = TimeOf(rec);
  if (t < kFirstDeviceTime || t > kLastRecordTime) return std::nullopt;
  return DeviceTimeToBcdHour(t);
}

StatRecord TimedStatModel::Decode(ArchiveKind kind, std::size_t i) const {
  StatRecord r;
  r.counterDivisor = 3600;
  const auto idx = Index(kind);
  if (i >= idx.size()) return r;
  auto read = [&](std::size_t entry) {
    const auto rec = detail::Slice(Area(), idx[entry].Pos, Map(kind).recordSize);
    return rec.empty() ? RawRecord{} : ReadRaw(rec);
  };
  const RawRecord cur = read(i);
  std::array<double, 4> totals{}, incs{};
  std::array<float, 4> counterIncs{};
  for (std::size_t k = 0; k < 4; ++k) totals[k] = static_cast<double>(cur.totals[k]) / 1000000.0;
  // The oldest record has no record before it in the file; a blank slot before
  // a record means the record before it in time was not read.
  const ArchiveMap& m = Map(kind);
  r.incrementKnown = i > 0 && detail::PreviousSlotRead(Area(), m.offset, m.count, m.recordSize, idx[i].Pos);
  if (r.incrementKnown) {
    const RawRecord prev = read(i - 1);
    for (std::size_t k = 0; k < 4; ++k) {
      incs[k] = totals[k] - static_cast<double>(prev.totals[k]) / 1000000.0;
      counterIncs[k] = static_cast<float>(cur.counters[k] - prev.counters[k]);
    }
  }
  if (cur.time != 0) {
    r.stamp = DeviceTimeToBcdHour(cur.time);
    const CivilTime t = DeviceTimeToCivil(cur.time);
    r.year = t.year;
    r.month = t.month;
    r.day = t.day;
    r.hour = t.hour;
  }
  r.forwardTotal = totals[0];
  r.reverseTotal = totals[1];
  r.forwardIncrement = incs[0];
  r.reverseIncrement = incs[1];
  r.counters = cur.counters;
  r.counterIncrements = counterIncs;
  r.flags = cur.flags;
  // The model orders its named values from these four pairs.
  r.values = {{"V+", totals[0]}, {"ΔV+", incs[0], true}, {"V-", totals[1]}, {"ΔV-", incs[1], true},
              {"M+", totals[2]}, {"ΔM+", incs[2], true}, {"M-", totals[3]}, {"ΔM-", incs[3], true}};
  Finish(r, cur);
  return r;
}

}  // namespace statvtk
