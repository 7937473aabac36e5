#include "collect/backfill.hpp"

#include <algorithm>
#include <set>

namespace statvtk::collect {

using store::ParsePeriod;
using store::PeriodTime;

std::size_t ArchiveDepth(ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? 1536 : kind == ArchiveKind::Daily ? 400 : 120;
}

namespace {

std::vector<std::string> MissingIn(ArchiveKind kind, const std::vector<std::string>& held,
                                   const std::vector<std::string>& gone, const PeriodTime& from, const PeriodTime& to) {
  std::vector<std::string> out;
  for (auto& p : store::MissingPeriods(kind, held, from, to))
    if (!std::binary_search(gone.begin(), gone.end(), p)) out.push_back(std::move(p));
  return out;
}

}  // namespace

std::vector<std::string> Holes(ArchiveKind kind, const std::vector<std::string>& held,
                               const std::vector<std::string>& gone) {
  if (held.size() < 2) return {};
  const auto a = ParsePeriod(kind, held.front()), b = ParsePeriod(kind, held.back());
  if (!a || !b) return {};
  return MissingIn(kind, held, gone, *a, *b);
}

BackfillCount CountBackfill(const BackfillInput& in) {
  BackfillCount c;
  if (in.heldBefore.empty() || !in.dueBy) return c;
  auto from = ParsePeriod(in.kind, in.heldBefore.front());
  if (!from) return c;
  // Older than the deepest archive: no instrument still has it, nor is it asked for.
  const PeriodTime floor = store::StepPeriod(in.kind, *in.dueBy, -static_cast<long>(ArchiveDepth(in.kind)) + 1);
  if (store::PeriodsBetween(in.kind, *from, floor) > 0) from = floor;
  c.wanted = MissingIn(in.kind, in.heldBefore, in.gone, *from, *in.dueBy);
  const std::set<std::string> fetched(in.fetched.begin(), in.fetched.end());
  for (const auto& p : c.wanted) {
    if (fetched.contains(p)) c.recovered.push_back(p);
    else c.lost.push_back(p);
  }
  return c;
}

}  // namespace statvtk::collect
