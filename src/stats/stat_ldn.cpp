#include "stats/stat_ldn.hpp"

#include <algorithm>
#include <utility>

#include "base/device_values.hpp"
#include "stats/stat_common.hpp"
#include "stats/status_names.hpp"

namespace statvtk {

namespace {

constexpr std::array<double, 8> kDiameter = {15, 25, 32, 40, 50, 80, 100, 150};
constexpr std::array<double, 8> kFlow = {6.3, 16, 25, 40, 63, 160, 250, 630};

std::uint64_t LittleUInt64(std::span<const std::uint8_t> b) {
  return static_cast<std::uint64_t>(LittleUInt32(b.first(4))) |
         (static_cast<std::uint64_t>(LittleUInt32(b.subspan(4, 4))) << 32);
}

std::uint16_t LittleUInt16(std::span<const std::uint8_t> b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); }

// An integrator of the RAM block: whole units (u32 LE) + fraction (float LE).
double Integrator(std::span<const std::uint8_t> h, std::size_t at) {
  return static_cast<double>(LittleUInt32(h.subspan(at, 4))) + static_cast<double>(LittleFloat(h.subspan(at + 4, 4)));
}

// One event record: its time key and its cells; nullopt for a record with no valid time.
std::optional<detail::EventRow> EventLdn(std::span<const std::uint8_t> rec) {
  const std::uint32_t time = LittleUInt32(rec.first(4));
  if (!IsValidDeviceTime(time)) return std::nullopt;
  const float battery = LittleFloat(rec.subspan(6, 4));
  detail::EventRow ev{time, {detail::DeviceTimeText(time), detail::Format("%.03f", static_cast<double>(battery))}};
  detail::AppendMarks(ev.cells, LittleUInt16(rec.subspan(4, 2)), 5, 4);
  return ev;
}

}  // namespace

double NominalDiameterLdn(int code) { return code >= 0 && code < 8 ? kDiameter[static_cast<std::size_t>(code)] : 0.0; }
double NominalFlowLdn(int code) { return code >= 0 && code < 8 ? kFlow[static_cast<std::size_t>(code)] : 0.0; }

StatModelLdn::StatModelLdn(StatData data) : TimedStatModel(std::move(data), {kHourly, kDaily, kMonthly}) {
  SortIndices();
}

std::uint32_t StatModelLdn::TimeOf(std::span<const std::uint8_t> rec) const { return LittleUInt32(rec.first(4)); }

RawRecord StatModelLdn::ReadRaw(std::span<const std::uint8_t> rec) const {
  RawRecord r;
  r.time = TimeOf(rec);
  r.totals[0] = LittleUInt64(rec.subspan(4, 8));   // V+
  r.totals[1] = LittleUInt64(rec.subspan(12, 8));  // V-
  for (std::size_t c = 0; c < 4; ++c) r.counters[c] = LittleUInt32(rec.subspan(20 + 4 * c, 4));
  r.valueA = LittleFloat(rec.subspan(36, 4));
  r.valueB = LittleFloat(rec.subspan(40, 4));
  r.flags = rec[44];
  return r;
}

void StatModelLdn::Finish(StatRecord& r, const RawRecord& raw) const {
  const auto v = r.values;  // V+, ΔV+, V-, ΔV-, (no mass totals)
  r.values = {{"V+, м3", v[0].value},
              {"ΔV+, м3", v[1].value, true},
              {"V-, м3", v[2].value},
              {"ΔV-, м3", v[3].value, true},
              {"G, м3/ч", static_cast<double>(raw.valueA)},
              {"U, В", static_cast<double>(raw.valueB)}};
  r.statusText = StatusText(raw.flags, StatusBitNames(DeviceType::dtLDN08));
}

DeviceInfo StatModelLdn::GetDeviceInfo() const {
  const auto h = Header();
  DeviceInfo d;
  d.serial = StatSerialText(Data());
  d.diameterCode = h[4];
  d.nominalSize = NominalDiameterLdn(d.diameterCode);
  d.nominalFlow = NominalFlowLdn(d.diameterCode);
  d.hasTechValues = true;
  d.fmax = h[5] * 2000.0 / 100.0;
  d.kv = LittleFloat(h.subspan(8, 4));
  d.gmin = static_cast<double>(LittleUInt32(h.subspan(12, 4))) * d.nominalFlow / 10000.0;
  d.gmax = static_cast<double>(LittleUInt32(h.subspan(16, 4))) * d.nominalFlow / 100.0;
  d.values = {d.kv, d.nominalSize, d.gmin, d.gmax};
  const auto fw = h.subspan(20, 8);
  d.firmware.assign(fw.begin(), std::find(fw.begin(), fw.end(), std::uint8_t{0}));
  d.currentFlow = LittleFloat(h.subspan(kRam + 16, 4));
  d.forwardTotalNow = Integrator(h, kRam);
  d.reverseTotalNow = Integrator(h, kRam + 8);
  return d;
}

std::vector<CurrRow> StatModelLdn::CurrentRows() const {
  auto rows = StatModel::CurrentRows();
  auto newest = [this](ArchiveKind kind) -> std::optional<StatRecord> {
    const auto idx = Index(kind);
    std::size_t n = 0;
    while (n < idx.size() && idx[n].Key != kInvalidKey) ++n;
    if (n == 0) return std::nullopt;
    return Decode(kind, n - 1);
  };
  const auto h = newest(ArchiveKind::Hourly);
  const auto d = newest(ArchiveKind::Daily);
  const auto m = newest(ArchiveKind::Monthly);
  rows.push_back(
      {"Час.", h ? detail::Format("%.2d.%.2d.%.2d %.2d:00", h->day, h->month, h->year % 100, h->hour) : "-"});
  rows.push_back({"Сут.", d ? detail::Format("%.2d.%.2d.%.2d", d->day, d->month, d->year % 100) : "-"});
  rows.push_back({"Мес.", m ? detail::Format("%.2d.%.2d", m->month, m->year % 100) : "-"});
  return rows;
}

EventTable StatModelLdn::Events() const {
  return {{"№ п/п", "Дата/время", "V batt", "Вкл.", "Выкл.", "Калибр.", "Настр.", "Изм. врем.", "Gmin", "Gmax", "Рев.",
           "ПТ"},
          detail::EventRows(Area(), kEventOffset, kEventCount, kEventSize, EventLdn)};
}

std::uint32_t StatModelLdn::DeviceClockStamp() const {
  const auto h = Header();
  auto bcd = [&](std::size_t at) { return static_cast<std::uint32_t>(IntToBcd(h[kRam + at] % 100)); };
  return bcd(42) | (bcd(43) << 8) | (bcd(44) << 16) | (bcd(45) << 24);
}

}  // namespace statvtk
