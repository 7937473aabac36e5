// Situations from the status bits of the hourly records: one per bit and run
// of consecutive hours that hold it.
#include "analysis/runs.hpp"

namespace statvtk::analysis {

std::vector<Situation> FlagSituations(const MeterRecords& m) {
  std::vector<Situation> out;
  const auto& h = m.hourly;
  for (std::size_t bit = 0; bit < m.flagNames.size() && bit < 32; ++bit) {
    if (m.flagNames[bit].empty()) continue;
    const std::uint32_t mask = 1u << bit;
    detail::ForEachRun(
        h, detail::kHour, [&](std::size_t i) { return (h[i].flags & mask) != 0; },
        [&](std::size_t first, std::size_t last) {
          Situation s =
              detail::RunSituation(SituationKind::Flag, SituationSource::Flags, h, first, last, detail::kHour);
          s.detail = m.flagNames[bit];
          out.push_back(std::move(s));
        });
  }
  return out;
}

}  // namespace statvtk::analysis
