// The rules over the hourly records: flow at night, flow without a pause,
// reverse volume.
#include <algorithm>

#include "analysis/rules.hpp"
#include "analysis/runs.hpp"

namespace statvtk::analysis::detail {

namespace {

constexpr long long kFirstNightHour = 2, kLastNightHour = 4;
constexpr int kNightHours = kLastNightHour - kFirstNightHour + 1;

long long DayOf(long long seconds) { return (seconds - (seconds % kDay + kDay) % kDay) / kDay; }
long long HourOfDay(long long seconds) { return (seconds % kDay + kDay) % kDay / kHour; }

// What the hours 02:00..04:00 of one date held.
struct Night {
  long long day = 0;  // days since 1970
  int flowing = 0;    // hours held with at least the night flow
  double volume = 0;
};

std::vector<Night> NightsOf(const std::vector<Period>& h, double nightFlow) {
  std::vector<Night> nights;
  for (const Period& p : h) {
    const long long hour = HourOfDay(p.start);
    if (hour < kFirstNightHour || hour > kLastNightHour) continue;
    const long long day = DayOf(p.start);
    if (nights.empty() || nights.back().day != day) nights.push_back({.day = day, .flowing = 0, .volume = 0});
    Night& n = nights.back();
    if (p.known && p.forward >= nightFlow) {
      ++n.flowing;
      n.volume += p.forward;
    }
  }
  return nights;
}

// Whether the night of `day` may still hold the flow: its hours due by the
// newest record all held it, and its last hour is not due yet.
bool NightPending(const std::vector<Period>& h, long long day, double nightFlow) {
  const long long newest = h.back().start;
  const long long first = day * kDay + kFirstNightHour * kHour, last = day * kDay + kLastNightHour * kHour;
  if (newest >= last) return false;
  for (long long t = first; t <= newest; t += kHour) {
    const auto it = std::lower_bound(h.begin(), h.end(), t, [](const Period& p, long long v) { return p.start < v; });
    if (it == h.end() || it->start != t || !it->known || it->forward < nightFlow) return false;
  }
  return true;
}

}  // namespace

void NightFlow(const MeterRecords& m, const Settings& s, std::vector<Situation>& out) {
  if (m.hourly.empty()) return;
  const std::vector<Night> nights = NightsOf(m.hourly, s.nightFlow);
  const auto flowing = [](const Night& n) { return n.flowing == kNightHours; };
  std::size_t i = 0;
  while (i < nights.size()) {
    if (!flowing(nights[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    double volume = nights[i].volume;
    while (j + 1 < nights.size() && nights[j + 1].day == nights[j].day + 1 && flowing(nights[j + 1]))
      volume += nights[++j].volume;
    const long long count = static_cast<long long>(j - i + 1);
    if (count >= s.nightsInRow) {
      Situation sit;
      sit.kind = SituationKind::NightFlow;
      sit.source = SituationSource::Rule;
      sit.from = nights[i].day * kDay + kFirstNightHour * kHour;
      sit.hours = kNightHours * count;
      sit.volume = volume;
      if (!NightPending(m.hourly, nights[j].day + 1, s.nightFlow))
        sit.to = nights[j].day * kDay + kLastNightHour * kHour;
      out.push_back(std::move(sit));
    }
    i = j + 1;
  }
}

void ContinuousFlow(const MeterRecords& m, const Settings& s, std::vector<Situation>& out) {
  const auto& h = m.hourly;
  ForEachRun(
      h, kHour, [&](std::size_t i) { return h[i].known && h[i].forward > 0; },
      [&](std::size_t first, std::size_t last) {
        if (static_cast<long long>(last - first + 1) < s.continuousHours) return;
        Situation sit = RunSituation(SituationKind::ContinuousFlow, SituationSource::Rule, h, first, last, kHour);
        double volume = 0;
        for (std::size_t k = first; k <= last; ++k) volume += h[k].forward;
        sit.volume = volume;
        out.push_back(std::move(sit));
      });
}

void ReverseVolume(const MeterRecords& m, const Settings& s, std::vector<Situation>& out) {
  const auto& h = m.hourly;
  ForEachRun(
      h, kHour, [&](std::size_t i) { return h[i].known && h[i].reverse > s.reverseLimit; },
      [&](std::size_t first, std::size_t last) {
        Situation sit = RunSituation(SituationKind::ReverseVolume, SituationSource::Rule, h, first, last, kHour);
        double volume = 0;
        for (std::size_t k = first; k <= last; ++k) volume += h[k].reverse;
        sit.volume = volume;
        out.push_back(std::move(sit));
      });
}

}  // namespace statvtk::analysis::detail
