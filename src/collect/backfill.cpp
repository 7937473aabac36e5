#include "collect/backfill.hpp"

#include <algorithm>
#include <set>

namespace statvtk::collect {

using store::ParsePeriod;
using store::PeriodTime;

std::size_t ArchiveDepth(ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? 1536 : kind == ArchiveKind::Daily ? 400 : 120;
}

std::optional<PeriodSpanText> WantedSpan(ArchiveKind kind, const std::string& oldestHeld, const PeriodTime& dueBy) {
  auto from = ParsePeriod(kind, oldestHeld);
  if (!from) return std::nullopt;
  // Older than the deepest archive: no instrument still has it, nor is it asked for.
  const PeriodTime floor = store::StepPeriod(kind, dueBy, -static_cast<long>(ArchiveDepth(kind)) + 1);
  if (store::PeriodsBetween(kind, *from, floor) > 0) from = floor;
  if (store::PeriodsBetween(kind, *from, dueBy) < 0) return std::nullopt;
  return PeriodSpanText{store::PeriodText(kind, *from), store::PeriodText(kind, dueBy)};
}

BackfillCount SplitWanted(const std::vector<std::string>& wanted, const std::vector<std::string>& fetched) {
  BackfillCount c;
  const std::set<std::string> got(fetched.begin(), fetched.end());
  for (const auto& p : wanted) (got.contains(p) ? c.recovered : c.lost).push_back(p);
  return c;
}

}  // namespace statvtk::collect
