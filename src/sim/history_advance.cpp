// Time passing on a generated history: new records after the pointers, new
// events, a later clock and current values.
#include <algorithm>
#include <cmath>

#include "sim/history.hpp"

namespace statvtk::sim {

namespace {

// Counter units of one hour: VTK-08.12 keeps hundredths of an hour, the others seconds.
std::uint32_t CounterHour(DeviceType m) { return m == DeviceType::dtVTK0812 ? 100 : 3600; }

// Appends a record after the newest one: next write number, next slot, the
// oldest record of that slot dropped when the area is full.
void Append(const History& h, std::vector<ArchiveRecord>& list, std::uint32_t& pointer, ArchiveRecord r) {
  const AreaLayout& a = LayoutOf(h.model).Of(r.area);
  if (a.count == 0) return;
  const ArchiveRecord* prev = list.empty() ? nullptr : &list.back();
  r.sequence = prev ? prev->sequence + 1 : 0;
  r.slot = static_cast<std::uint32_t>(r.sequence % a.count);
  r.address = a.Address(r.slot);
  if (prev) {
    r.increments = {r.totals.vPlus - prev->totals.vPlus,
                    r.totals.vMinus - prev->totals.vMinus,
                    r.totals.mPlus - prev->totals.mPlus,
                    r.totals.mMinus - prev->totals.mMinus,
                    {}};
    for (int i = 0; i < 4; ++i) r.increments.counters[i] = r.totals.counters[i] - prev->totals.counters[i];
  }
  r.invalid = r.duplicate = r.hourMark = false;
  r.causes = r.flags = 0;
  list.push_back(r);
  if (list.size() > a.count) list.erase(list.begin());
  pointer = r.address;
}

ArchiveRecord Closed(Area area, std::uint32_t start, const Totals& totals, float flow, float temperature,
                     float voltage) {
  ArchiveRecord r;
  r.area = area;
  r.periodStart = start;
  r.start = DeviceTimeToCivil(start);
  r.totals = totals;
  r.temperature = temperature;
  r.voltage = voltage;
  r.meanFlow = flow;
  return r;
}

void AddEvent(History& h, std::uint32_t time) {
  const AreaLayout& a = LayoutOf(h.model).events;
  if (a.count == 0) return;
  EventRecord e;
  e.sequence = h.events.empty() ? 0 : h.events.back().sequence + 1;
  e.slot = static_cast<std::uint32_t>(e.sequence % a.count);
  e.address = a.Address(e.slot);
  // Events stay in time order.
  e.time = h.events.empty() ? time : std::max(time, h.events.back().time + 60);
  e.at = DeviceTimeToCivil(time);
  e.kinds = (e.sequence % 2 == 0) ? kEvGmin : kEvGmax;
  e.flags = StoredEventFlags(h.model, e.kinds);
  e.voltage = h.current.voltage;
  h.events.push_back(e);
  if (h.events.size() > a.count) h.events.erase(h.events.begin());
}

}  // namespace

void AdvanceHistory(History& h, std::uint32_t hours) {
  const bool is12 = h.model == DeviceType::dtVTK0812;
  const bool hasMass = !is12 && h.model != DeviceType::dtLDN08;
  CurrentState& c = h.current;
  // The flow of the present hour stays; totals and counters grow with it.
  const auto perHour = static_cast<std::uint64_t>(std::llround(static_cast<double>(c.flow) * 1e6));
  const auto massPerHour = static_cast<std::uint64_t>(std::llround(static_cast<double>(c.massFlow) * 1e6));
  for (std::uint32_t i = 0; i < hours; ++i) {
    const std::uint32_t hourStart = h.now / 3600 * 3600;
    const std::uint32_t hourEnd = hourStart + 3600;
    // The hour closes with the totals at its end.
    Totals t = h.hourly.empty() ? c.totals : h.hourly.back().totals;
    t.vPlus += perHour;
    if (hasMass) t.mPlus += massPerHour;
    t.counters[0] += CounterHour(h.model);
    Append(h, h.hourly, h.hourlyPointer, Closed(Area::Hourly, hourStart, t, c.flow, c.temperature, c.voltage));
    const CivilTime end = DeviceTimeToCivil(hourEnd);
    if (end.hour == 0) {
      const std::uint32_t dayStart = hourEnd - 86400;
      Append(h, h.daily, h.dailyPointer, Closed(Area::Daily, dayStart, t, c.flow, c.temperature, c.voltage));
      AddEvent(h, dayStart + 3 * 3600 + 17);
      AddEvent(h, dayStart + 15 * 3600 + 41);
      if (end.day == 1 && LayoutOf(h.model).monthly.count != 0) {
        const CivilTime d = DeviceTimeToCivil(dayStart);
        const auto monthStart = static_cast<std::uint32_t>(CivilToDeviceTime(d.year, d.month, 1));
        Append(h, h.monthly, h.monthlyPointer, Closed(Area::Monthly, monthStart, t, c.flow, c.temperature, c.voltage));
      }
    }
    // The present values: the new hour has just begun where the clock stood in the old one.
    h.now += 3600;
    c.totals = t;
    c.operatingSeconds += 3600;
  }
  if (hours > 0) {
    // An event in the last hour, so even a short pass writes one.
    AddEvent(h, h.now - 1800);
  }
}

}  // namespace statvtk::sim
