// The rules over the daily records: days without consumption, and a day far
// above the same weekday of the weeks before.
#include <algorithm>
#include <array>

#include "analysis/rules.hpp"
#include "analysis/runs.hpp"

namespace statvtk::analysis::detail {

namespace {

constexpr double kNoFlow = 0.001;  // m³ a day below which nothing was consumed
constexpr int kMedianWeeks = 4;

// The median of the same weekday's volumes over the four weeks before day
// `i`: empty unless all four days are held with their volumes.
std::optional<double> WeekdayMedian(const std::vector<Period>& d, std::size_t i) {
  std::array<double, kMedianWeeks> v{};
  for (int w = 1; w <= kMedianWeeks; ++w) {
    const long long start = d[i].start - w * 7 * kDay;
    const auto end = d.begin() + static_cast<std::ptrdiff_t>(i);
    const auto it = std::lower_bound(d.begin(), end, start, [](const Period& p, long long t) { return p.start < t; });
    if (it == end || it->start != start || !it->known) return std::nullopt;
    v[static_cast<std::size_t>(w - 1)] = it->forward;
  }
  std::sort(v.begin(), v.end());
  return (v[1] + v[2]) / 2;
}

double ForwardSum(const std::vector<Period>& p, std::size_t first, std::size_t last) {
  double volume = 0;
  for (std::size_t k = first; k <= last; ++k) volume += p[k].forward;
  return volume;
}

}  // namespace

void NoConsumption(const MeterRecords& m, const Settings& s, std::vector<Situation>& out) {
  const auto& d = m.daily;
  ForEachRun(
      d, kDay, [&](std::size_t i) { return d[i].known && d[i].forward < kNoFlow; },
      [&](std::size_t first, std::size_t last) {
        if (static_cast<long long>(last - first + 1) < s.noFlowDays) return;
        Situation sit = RunSituation(SituationKind::NoConsumption, SituationSource::Rule, d, first, last, kDay);
        sit.volume = ForwardSum(d, first, last);
        out.push_back(std::move(sit));
      });
}

void ConsumptionSpike(const MeterRecords& m, const Settings& s, std::vector<Situation>& out) {
  const auto& d = m.daily;
  std::vector<bool> spike(d.size());
  for (std::size_t i = 0; i < d.size(); ++i) {
    if (!d[i].known) continue;
    const auto median = WeekdayMedian(d, i);
    spike[i] = median && *median > 0 && d[i].forward > s.spikeFactor * *median;
  }
  ForEachRun(
      d, kDay, [&](std::size_t i) { return spike[i]; },
      [&](std::size_t first, std::size_t last) {
        Situation sit = RunSituation(SituationKind::ConsumptionSpike, SituationSource::Rule, d, first, last, kDay);
        sit.volume = ForwardSum(d, first, last);
        out.push_back(std::move(sit));
      });
}

}  // namespace statvtk::analysis::detail
