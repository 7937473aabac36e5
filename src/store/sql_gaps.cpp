// Gaps as ranges, the holes of a range of periods from its records and gaps
// alone, and the slot image: what the reads saw at each position of an
// archive, written where it changed.
#include <algorithm>
#include <map>

#include "store/periods.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

Error BadPeriod(ArchiveKind archive, const std::string& text) {
  return MakeError(ErrorCode::BadData, "Неверный период: " + text + " (" + std::string(ArchiveName(archive)) + ")");
}

std::string Step(ArchiveKind kind, const std::string& period, long n) {
  return PeriodText(kind, StepPeriod(kind, *ParsePeriod(kind, period), n));
}

PeriodSpan SpanOf(ArchiveKind kind, std::string first, std::string last) {
  const long count = PeriodsBetween(kind, *ParsePeriod(kind, first), *ParsePeriod(kind, last)) + 1;
  return {std::move(first), std::move(last), count};
}

}  // namespace

Result<std::vector<PeriodSpan>> SqlStore::Holes(const std::string& serial, ArchiveKind archive, const std::string& from,
                                                const std::string& to) {
  if (!ParsePeriod(archive, from)) return BadPeriod(archive, from);
  if (!ParsePeriod(archive, to)) return BadPeriod(archive, to);
  std::vector<PeriodSpan> out;
  if (to < from) return out;
  auto held = Periods(serial, archive, from, to);
  if (!held) return held.error();
  auto gaps = Gaps(serial, archive, from, to);
  if (!gaps) return gaps.error();
  // What is covered, in order of its start: each record's period, each gap.
  std::vector<std::pair<std::string, std::string>> covered;
  covered.reserve(held->size() + gaps->size());
  for (auto& p : *held)
    if (ParsePeriod(archive, p)) covered.emplace_back(p, p);
  for (auto& g : *gaps)
    if (ParsePeriod(archive, g.first) && ParsePeriod(archive, g.last)) covered.emplace_back(g.first, g.last);
  std::sort(covered.begin(), covered.end());
  std::string cursor = from;
  bool done = false;
  for (const auto& [first, last] : covered) {
    if (first > cursor) out.push_back(SpanOf(archive, cursor, std::min(Step(archive, first, -1), to)));
    if (last >= to) {
      done = true;
      break;
    }
    if (last >= cursor) cursor = Step(archive, last, 1);
  }
  if (!done && cursor <= to) out.push_back(SpanOf(archive, cursor, to));
  return out;
}

Result<std::vector<PeriodSpan>> SqlStore::Gaps(const std::string& serial, ArchiveKind archive, const std::string& from,
                                               const std::string& to) {
  return Each<PeriodSpan>(Run(GapsQuery(serial, archive, from, to)), [](const SqlRows& r, int i) {
    return PeriodSpan{r.Text(i, 0), r.Text(i, 1), static_cast<long>(r.Int(i, 2))};
  });
}

Result<void> SqlStore::PutGap(const std::string& serial, ArchiveKind archive, const PeriodSpan& gap,
                              std::int64_t readId) {
  if (!ParsePeriod(archive, gap.first)) return BadPeriod(archive, gap.first);
  if (!ParsePeriod(archive, gap.last)) return BadPeriod(archive, gap.last);
  if (gap.last < gap.first) return {};
  const std::string name(ArchiveName(archive));
  return InTransaction([&]() -> Result<void> {
    auto touching = Run(sql::kGapsTouching, {SqlText(serial), SqlText(name), SqlText(Step(archive, gap.first, -1)),
                                             SqlText(Step(archive, gap.last, 1))});
    if (!touching) return touching.error();
    std::string first = gap.first, last = gap.last;
    for (int i = 0; i < touching->Count(); ++i) {
      first = std::min(first, touching->Text(i, 0));
      last = std::max(last, touching->Text(i, 1));
      if (!ParsePeriod(archive, first) || !ParsePeriod(archive, last)) return BadPeriod(archive, first + ".." + last);
      if (auto d = Run(sql::kDeleteGap, {SqlText(serial), SqlText(name), SqlText(touching->Text(i, 0))}); !d)
        return d.error();
    }
    const PeriodSpan joined = SpanOf(archive, first, last);
    return Void(Run(sql::kInsertGap, {SqlText(serial), SqlText(name), SqlText(joined.first), SqlText(joined.last),
                                      SqlInt(joined.count), SqlInt(readId)}));
  });
}

Result<std::vector<SlotRow>> SqlStore::Slots(const std::string& serial, ArchiveKind archive) {
  return Each<SlotRow>(Run(sql::kSlots, {SqlText(serial), SqlText(ArchiveName(archive))}),
                       [archive](const SqlRows& r, int i) {
                         return SlotRow{archive, r.Int(i, 0), r.Bytes(i, 1), r.Int(i, 2)};
                       });
}

Result<std::int64_t> SqlStore::PutSlots(const std::string& serial, std::span<const SlotRow> slots) {
  if (slots.empty()) return std::int64_t{0};
  return InTransaction([&]() -> Result<std::int64_t> {
    std::int64_t written = 0;
    for (const ArchiveKind kind : kArchiveKinds) {
      std::vector<const SlotRow*> mine;
      for (const auto& s : slots)
        if (s.archive == kind) mine.push_back(&s);
      if (mine.empty()) continue;
      auto stored = Slots(serial, kind);
      if (!stored) return stored.error();
      std::map<std::int64_t, const std::vector<std::uint8_t>*> kept;
      for (const auto& s : *stored) kept.emplace(s.slot, &s.raw);
      std::vector<const SlotRow*> changed;
      for (const SlotRow* s : mine)
        if (const auto it = kept.find(s->slot); it == kept.end() || *it->second != s->raw) changed.push_back(s);
      for (std::size_t k = 0; k < changed.size();) {
        const std::size_t n = BatchChunk(changed.size() - k);
        if (auto r = Run(PutSlotsQuery(serial, {changed.data() + k, n})); !r) return r.error();
        k += n;
      }
      written += static_cast<std::int64_t>(changed.size());
    }
    return written;
  });
}

Result<void> SqlStore::ForgetSlots(const std::string& serial, ArchiveKind archive, std::int64_t first,
                                   std::int64_t last, std::int64_t readId) {
  return Void(Run(sql::kForgetSlots,
                  {SqlText(serial), SqlText(ArchiveName(archive)), SqlInt(first), SqlInt(last), SqlInt(readId)}));
}

}  // namespace statvtk::store
