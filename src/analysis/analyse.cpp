// The whole analysis: every source of situations, the span, the months.
#include <algorithm>
#include <iterator>

#include "analysis/rules.hpp"
#include "analysis/runs.hpp"

namespace statvtk::analysis {

std::vector<Situation> RuleSituations(const MeterRecords& m, const Settings& s) {
  std::vector<Situation> out;
  detail::NightFlow(m, s, out);
  detail::ContinuousFlow(m, s, out);
  detail::NoConsumption(m, s, out);
  detail::ReverseVolume(m, s, out);
  detail::ConsumptionSpike(m, s, out);
  return out;
}

Analysis Analyse(const MeterRecords& m, const Settings& s) {
  Analysis a;
  const auto add = [&a](std::vector<Situation> v) { std::move(v.begin(), v.end(), std::back_inserter(a.situations)); };
  add(FlagSituations(m));
  add(EventSituations(m));
  add(RuleSituations(m, s));
  std::erase_if(a.situations, [&s](const Situation& x) {
    return (s.to && x.from > *s.to) || (s.from && x.to && *x.to < detail::HourOf(*s.from));
  });
  std::stable_sort(a.situations.begin(), a.situations.end(), [](const Situation& x, const Situation& y) {
    if (x.from != y.from) return x.from < y.from;
    return x.kind < y.kind;
  });
  a.months = MonthSummaries(m, s);
  return a;
}

}  // namespace statvtk::analysis
