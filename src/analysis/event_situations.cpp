// Situations from the events: power off until it comes back, states an event
// sets until a later event clears them, and one-hour situations for
// settings, calibration, the clock and the one-off marks.
#include <algorithm>

#include "analysis/runs.hpp"

namespace statvtk::analysis {

namespace {

std::optional<SituationKind> OneHourKind(EventRole role) {
  switch (role) {
    case EventRole::Settings: return SituationKind::SettingsChanged;
    case EventRole::Calibration: return SituationKind::Calibration;
    case EventRole::ClockSet: return SituationKind::ClockChanged;
    case EventRole::Mark: return SituationKind::Flag;
    default: break;
  }
  return std::nullopt;
}

// The newest hour the data reaches: the newest record or event.
long long NewestHour(const MeterRecords& m) {
  long long newest = 0;
  if (!m.hourly.empty()) newest = m.hourly.back().start;
  if (!m.daily.empty()) newest = std::max(newest, m.daily.back().start + detail::kDay - detail::kHour);
  if (!m.events.events.empty()) newest = std::max(newest, detail::HourOf(m.events.events.back().time));
  return newest;
}

}  // namespace

std::vector<Situation> EventSituations(const MeterRecords& m) {
  std::vector<Situation> out;
  const auto& cols = m.events.columns;
  std::optional<std::size_t> powerOn;
  for (std::size_t c = 0; c < cols.size(); ++c)
    if (cols[c].role == EventRole::PowerOn) powerOn = c;
  std::vector<std::optional<long long>> openFrom(cols.size());  // an open situation per column
  const auto close = [&](std::size_t c, std::optional<long long> to, long long upTo) {
    const SituationKind kind = cols[c].role == EventRole::PowerOff ? SituationKind::PowerOff : SituationKind::Flag;
    Situation s;
    s.kind = kind;
    s.source = SituationSource::Events;
    s.from = *openFrom[c];
    s.to = to;
    s.hours = std::max<long long>(1, (upTo - s.from) / detail::kHour + 1);
    s.detail = cols[c].name;
    out.push_back(std::move(s));
    openFrom[c].reset();
  };
  for (const MeterEvent& e : m.events.events) {
    const long long hour = detail::HourOf(e.time);
    const auto isSet = [&e](std::size_t c) { return (e.set >> c) & 1u; };
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const EventRole role = cols[c].role;
      if (const auto kind = OneHourKind(role)) {
        if (isSet(c))
          out.push_back({.kind = *kind,
                         .source = SituationSource::Events,
                         .from = hour,
                         .to = hour,
                         .hours = 1,
                         .detail = cols[c].name,
                         .volume = std::nullopt});
        continue;
      }
      if (role != EventRole::PowerOff && role != EventRole::State) continue;
      // The power comes back with a power-on event where the model has one;
      // otherwise (and for every state) with an event that has the bit clear.
      const bool ends = role == EventRole::PowerOff && powerOn ? isSet(*powerOn) : !isSet(c);
      if (openFrom[c] && ends) close(c, hour, hour);
      else if (!openFrom[c] && isSet(c)) openFrom[c] = hour;
    }
  }
  const long long newest = NewestHour(m);
  for (std::size_t c = 0; c < cols.size(); ++c)
    if (openFrom[c]) close(c, std::nullopt, std::max(newest, *openFrom[c]));
  return out;
}

}  // namespace statvtk::analysis
