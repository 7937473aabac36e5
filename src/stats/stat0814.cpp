#include "stats/stat0814.hpp"

#include <algorithm>
#include <utility>

#include "base/device_values.hpp"
#include "stats/stat_common.hpp"
#include "stats/status_names.hpp"

namespace statvtk {

namespace {

constexpr std::array<double, 7> kDiameterC = {15, 25, 32, 50, 80, 100, 150};
constexpr std::array<double, 7> kFlowC = {6, 16, 30, 60, 160, 300, 600};
constexpr std::array<double, 8> kDiameterCM = {15, 25, 32, 40, 50, 80, 100, 150};
constexpr std::array<double, 8> kFlowCM = {6.3, 16, 25, 40, 63, 160, 250, 630};

template <std::size_t N>
double Pick(const std::array<double, N>& table, int code) {
  return code >= 0 && static_cast<std::size_t>(code) < N ? table[static_cast<std::size_t>(code)] : 0.0;
}

// An integrator of the configuration memory: whole units (u32 BE) + fraction (float BE).
double Integrator(std::span<const std::uint8_t> h, std::size_t at) {
  return static_cast<double>(DeviceUInt(h.subspan(at, 4))) + static_cast<double>(DeviceFloat(h.subspan(at + 4, 4)));
}

// One event record: its time key and its cells; nullopt for a record with no valid time.
std::optional<detail::EventRow> Event0814(std::span<const std::uint8_t> rec) {
  const auto time = static_cast<std::uint32_t>(DeviceUInt(rec.first(4)));
  if (!IsValidDeviceTime(time)) return std::nullopt;
  detail::EventRow ev{time, {detail::DeviceTimeText(time)}};
  detail::AppendMarks(ev.cells, static_cast<std::uint32_t>(DeviceUInt(rec.subspan(4, 2))), 6, 6);
  return ev;
}

}  // namespace

double NominalDiameter0814(DeviceType t, int code) {
  return t == DeviceType::dtVTK0814CM ? Pick(kDiameterCM, code) : Pick(kDiameterC, code);
}

double NominalFlow0814(DeviceType t, int code) {
  return t == DeviceType::dtVTK0814CM ? Pick(kFlowCM, code) : Pick(kFlowC, code);
}

StatModel0814::StatModel0814(StatData data) : TimedStatModel(std::move(data), {kHourly, kDaily, kMonthly}) {
  SortIndices();
}

bool StatModel0814::OptionNoT() const { return (Header()[548] & 1u) != 0; }

std::uint32_t StatModel0814::TimeOf(std::span<const std::uint8_t> rec) const {
  return static_cast<std::uint32_t>(DeviceUInt(rec.first(4)));
}

RawRecord StatModel0814::ReadRaw(std::span<const std::uint8_t> rec) const {
  RawRecord r;
  r.time = TimeOf(rec);
  r.totals[0] = DeviceUInt(rec.subspan(4, 6));   // V+
  r.totals[1] = DeviceUInt(rec.subspan(10, 6));  // V-
  r.totals[2] = DeviceUInt(rec.subspan(16, 6));  // M+
  r.totals[3] = DeviceUInt(rec.subspan(22, 6));  // M-
  for (std::size_t c = 0; c < 4; ++c)
    r.counters[c] = static_cast<std::uint32_t>(DeviceUInt(rec.subspan(28 + 4 * c, 4)));
  r.valueA = DeviceFloat(rec.subspan(44, 4));
  r.valueB = DeviceFloat(rec.subspan(48, 4));
  r.flags = static_cast<std::uint32_t>(DeviceUInt(rec.subspan(52, 2)));
  return r;
}

void StatModel0814::Finish(StatRecord& r, const RawRecord& raw) const {
  // r.values arrives as V+, ΔV+, V-, ΔV-, M+, ΔM+, M-, ΔM-; the report order is
  // V+, ΔV+, M+, ΔM+, V-, ΔV-, M-, ΔM-, mean temperature.
  const auto v = r.values;
  r.values = {{"V+, м3", v[0].value},       {"ΔV+, м3", v[1].value, true}, {"M+, т", v[4].value},
              {"ΔM+, т", v[5].value, true}, {"V-, м3", v[2].value},        {"ΔV-, м3", v[3].value, true},
              {"M-, т", v[6].value},        {"ΔM-, т", v[7].value, true},  {"T, °C", static_cast<double>(raw.valueA)}};
  r.extraValue = raw.valueB;
  r.statusText = StatusText(raw.flags, StatusBitNames(Type()));
}

DeviceInfo StatModel0814::GetDeviceInfo() const {
  const auto h = Header();
  DeviceInfo d;
  d.serial = StatSerialText(Data());
  d.diameterCode = h[520];
  d.nominalSize = NominalDiameter0814(Type(), d.diameterCode);
  d.nominalFlow = NominalFlow0814(Type(), d.diameterCode);
  d.hasTechValues = true;
  d.fmax = h[542] * 2000.0 / 100.0;
  d.kv = DeviceFloat(h.subspan(544, 4));
  d.optionNoT = OptionNoT();
  d.gmin = static_cast<double>(DeviceUInt(h.subspan(553, 4))) * d.nominalFlow / 10000.0;
  d.gmax = static_cast<double>(DeviceUInt(h.subspan(557, 4))) * d.nominalFlow / 100.0;
  d.values = {d.kv, d.fmax, d.nominalSize, d.gmin, d.gmax};
  d.currentFlow = DeviceFloat(h.subspan(180, 4));
  d.forwardTotalNow = Integrator(h, 832);
  d.reverseTotalNow = Integrator(h, 888);
  return d;
}

EventTable StatModel0814::Events() const {
  return {{"№ п/п", "Дата/время", "Вкл.", "Выкл.", "Калибр.", "Настр.", "Изм. врем.", "Врем. инт.", "Возб.", "ПТ", "Т",
           "Gmin", "Gmax", "Рев."},
          detail::EventRows(Area(), kEventOffset, kEventCount, kEventSize, Event0814)};
}

std::uint32_t StatModel0814::DeviceClockStamp() const { return detail::VtkClockStamp(Header()); }

}  // namespace statvtk
