#include "stats/stat0812.hpp"

#include <algorithm>
#include <utility>

#include "base/device_values.hpp"
#include "stats/stat_common.hpp"
#include "stats/status_names.hpp"

namespace statvtk {

namespace {

std::size_t FirstEntry(ArchiveKind kind) { return kind == ArchiveKind::Daily ? StatModel0812::kFirstDaily : 0; }

std::size_t EntryCount(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Hourly: return StatModel0812::kHourlyCount;
    case ArchiveKind::Daily: return StatModel0812::kDailyCount;
    case ArchiveKind::Monthly: break;
  }
  return 0;
}

// One event record: its time key and its cells; nullopt for a record with no valid time.
std::optional<detail::EventRow> Event0812(std::span<const std::uint8_t> rec) {
  if (!IsValidBcdDate(rec[0], rec[1], rec[2])) return std::nullopt;
  detail::EventRow ev;
  // year, month, day, hour, minute, second: compares in time order
  ev.key = (std::uint64_t{rec[2]} << 40) | (std::uint64_t{rec[1]} << 32) | (std::uint64_t{rec[0]} << 24) |
           (std::uint64_t{rec[3]} << 16) | (std::uint64_t{rec[4]} << 8) | rec[5];
  ev.cells.push_back(detail::Format("%.2X/%.2X/%.2X %.2X:%.2X:%.2X", rec[0], rec[1], rec[2], rec[3], rec[4], rec[5]));
  detail::AppendMarks(ev.cells, rec[6], 8, 0);
  ev.cells.push_back(detail::FlagMark(rec[7] & 1u));
  std::string hex;
  for (std::size_t b = 0; b < rec.size(); ++b) hex += detail::Format(b ? " %.2X" : "%.2X", rec[b]);
  ev.cells.push_back(hex);
  return ev;
}

}  // namespace

int Diameter0812(std::uint8_t code) {
  static constexpr std::array<int, 8> kDiameters = {15, 25, 32, 40, 50, 80, 100, 150};
  return code < kDiameters.size() ? kDiameters[code] : 0;
}

StatModel0812::StatModel0812(StatData data) : StatModel(std::move(data)) { ISortStatData(); }

bool StatModel0812::ValidCS(std::uint32_t pos) const {
  const auto rec = detail::Slice(Area(), pos, kRecordSize);
  return !rec.empty() && detail::SumIsFF(rec);
}

bool StatModel0812::ValidRecord(std::uint32_t pos) const {
  const auto rec = detail::Slice(Area(), pos, kRecordSize);
  return !rec.empty() && IsValidBcdDate(rec[1], rec[2], rec[3]) && ValidCS(pos);
}

std::uint32_t StatModel0812::KeyAt(std::uint32_t pos) const {
  const auto rec = detail::Slice(Area(), pos, 4);
  if (rec.empty()) return kInvalidKey;
  return static_cast<std::uint32_t>(rec[0] & 0x7F) | (static_cast<std::uint32_t>(rec[1]) << 8) |
         (static_cast<std::uint32_t>(rec[2]) << 16) | (static_cast<std::uint32_t>(rec[3]) << 24);
}

void StatModel0812::ISortStatData() {
  auto fill = [this](std::size_t first, std::size_t offset, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto pos = static_cast<std::uint32_t>(offset + kRecordSize * i);
      index_[first + i] = {ValidRecord(pos) ? KeyAt(pos) : kInvalidKey, pos};
    }
    detail::InsertionSortByKey(std::span<IndexEntry>(index_).subspan(first, count));
  };
  fill(0, kHourlyOffset, kHourlyCount);
  fill(kFirstDaily, kDailyOffset, kDailyCount);
}

DecodedRecord0812 StatModel0812::DecodeRecord(std::size_t i) const {
  DecodedRecord0812 r;
  if (i >= kIndexSize) return r;
  auto read = [this](std::uint32_t pos, DecodedRecord0812& out) {
    const auto rec = detail::Slice(Area(), pos, kRecordSize);
    if (rec.empty()) return;
    out.ForwardTotal = static_cast<double>(DeviceUInt(rec.subspan(4, 6))) / 1000000.0;
    out.ReverseTotal = static_cast<double>(DeviceUInt(rec.subspan(10, 6))) / 1000000.0;
    for (std::size_t c = 0; c < 4; ++c)
      out.Counters[c] = static_cast<std::uint32_t>(DeviceUInt(rec.subspan(16 + 3 * c, 3)));
    out.Flags = rec[28];
  };
  read(index_[i].Pos, r);
  const bool daily = i >= kFirstDaily;
  const std::size_t offset = daily ? kDailyOffset : kHourlyOffset;
  const std::size_t count = daily ? kDailyCount : kHourlyCount;
  // The oldest record has no record before it in the file; a blank slot before
  // a record means the record before it in time was not read.
  if (i == 0 || i == kFirstDaily || !detail::PreviousSlotRead(Area(), offset, count, kRecordSize, index_[i].Pos))
    return r;
  DecodedRecord0812 prev;
  read(index_[i - 1].Pos, prev);
  r.IncKnown = true;
  r.ForwardInc = r.ForwardTotal - prev.ForwardTotal;
  r.ReverseInc = r.ReverseTotal - prev.ReverseTotal;
  for (std::size_t c = 0; c < 4; ++c) r.CounterInc[c] = static_cast<float>(r.Counters[c] - prev.Counters[c]);
  return r;
}

DevInfo0812 StatModel0812::GetDevInfo() const {
  const auto h = Header();
  DevInfo0812 d;
  d.Serial = StatSerialText(Data());
  d.DiameterCode = h[0x208];
  d.Diameter = Diameter0812(d.DiameterCode);
  d.Cal1 = DeviceFloat(h.subspan(0x210, 4));
  d.Cal2 = DeviceFloat(h.subspan(0x220, 4));
  d.Cal3 = DeviceFloat(h.subspan(0x230, 4));
  d.Setting1 = h[0x240];
  d.Setting2 = h[0x241];
  d.CurrentFlow = DeviceFloat(h.subspan(0x1B4, 4));
  d.ForwardNow = static_cast<double>(DeviceUInt(h.subspan(0x10, 6))) / 1000000.0;
  d.ReverseNow = static_cast<double>(DeviceUInt(h.subspan(0x16, 6))) / 1000000.0;
  d.Value24 = static_cast<std::uint32_t>(DeviceUInt(h.subspan(0x1C, 3)));
  return d;
}

bool StatModel0812::HasArchive(ArchiveKind kind) const { return kind != ArchiveKind::Monthly; }

std::span<const IndexEntry> StatModel0812::Index(ArchiveKind kind) const {
  return std::span<const IndexEntry>(index_).subspan(FirstEntry(kind), EntryCount(kind));
}

bool StatModel0812::ChecksumValid(ArchiveKind kind, std::size_t i) const {
  const auto idx = Index(kind);
  return i < idx.size() && ValidCS(idx[i].Pos);
}

std::optional<std::uint32_t> StatModel0812::RecordStamp(ArchiveKind kind, std::size_t i) const {
  const auto idx = Index(kind);
  if (i >= idx.size()) return std::nullopt;
  const auto rec = detail::Slice(Area(), idx[i].Pos, 4);
  if (rec.empty() || !IsValidBcdDate(rec[1], rec[2], rec[3])) return std::nullopt;
  return KeyAt(idx[i].Pos);
}

StatRecord StatModel0812::Decode(ArchiveKind kind, std::size_t i) const {
  StatRecord r;
  r.counterDivisor = 100;
  if (i >= EntryCount(kind)) return r;
  const std::size_t entry = FirstEntry(kind) + i;
  const DecodedRecord0812 d = DecodeRecord(entry);
  r.stamp = KeyAt(index_[entry].Pos);
  r.year = StampYear(r.stamp);
  r.month = StampMonth(r.stamp);
  r.day = StampDay(r.stamp);
  r.hour = StampHour(r.stamp);
  r.forwardTotal = d.ForwardTotal;
  r.forwardIncrement = d.ForwardInc;
  r.reverseTotal = d.ReverseTotal;
  r.reverseIncrement = d.ReverseInc;
  r.incrementKnown = d.IncKnown;
  r.values = {{"V+, м3", d.ForwardTotal},
              {"ΔV+, м3", d.ForwardInc, true},
              {"V-, м3", d.ReverseTotal},
              {"ΔV-, м3", d.ReverseInc, true}};
  r.counters = d.Counters;
  r.counterIncrements = d.CounterInc;
  r.flags = d.Flags;
  r.statusText = StatusText(d.Flags, StatusBitNames(DeviceType::dtVTK0812));
  return r;
}

DeviceInfo StatModel0812::GetDeviceInfo() const {
  const DevInfo0812 d = GetDevInfo();
  DeviceInfo info;
  info.serial = d.Serial;
  info.diameterCode = d.DiameterCode;
  info.nominalSize = d.Diameter;
  info.values = {d.Cal1, d.Cal2, d.Cal3};
  info.setting1 = d.Setting1;
  info.setting2 = d.Setting2;
  info.value24 = d.Value24;
  info.currentFlow = d.CurrentFlow;
  info.forwardTotalNow = d.ForwardNow;
  info.reverseTotalNow = d.ReverseNow;
  return info;
}

EventTable StatModel0812::Events() const {
  return {{"№ п/п", "Дата/время", "Выкл.", "Gmax", "Gmin", "Рев.", "Возб.", "АЦП", "Настр.", "Оч.", "Сброс", "HEX"},
          detail::EventRows(Area(), kEventOffset, kEventCount, kEventSize, Event0812)};
}

std::uint32_t StatModel0812::DeviceClockStamp() const { return detail::VtkClockStamp(Header()); }

}  // namespace statvtk
