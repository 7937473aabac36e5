// Summaries: what status and the HTTP API tell of each stored instrument,
// built from the store's own queries so that every backend has them.
#include <algorithm>

#include "store/periods.hpp"
#include "store/record_store.hpp"

namespace statvtk::store {

namespace {

Result<ArchiveSummary> SummaryOf(RecordStore& store, const std::string& serial, ArchiveKind kind, int days,
                                 const PeriodTime& until) {
  ArchiveSummary s;
  auto stats = store.Stats(serial, kind);
  if (!stats) return stats.error();
  s.stats = *stats;
  // A period's record exists once the period is over: the window ends with
  // the last closed one.
  const PeriodTime last = StepPeriod(kind, until, -1);
  const long span = kind == ArchiveKind::Hourly  ? 24L * days
                    : kind == ArchiveKind::Daily ? days
                                                 : std::max(1, days / 30);
  const PeriodTime from = StepPeriod(kind, last, -span + 1);
  auto held = store.Periods(serial, kind, PeriodText(kind, from), PeriodText(kind, last));
  if (!held) return held.error();
  s.expected = std::max(0L, PeriodsBetween(kind, from, last) + 1);
  s.held = static_cast<std::int64_t>(held->size());
  s.completeness = s.expected == 0 ? 100.0 : 100.0 * static_cast<double>(s.held) / static_cast<double>(s.expected);
  return s;
}

}  // namespace

Result<std::vector<InstrumentSummary>> Summaries(RecordStore& store, const std::string& serial, int days,
                                                 const std::string& untilPeriod) {
  const auto until = ParsePeriod(ArchiveKind::Hourly, untilPeriod);
  if (!until) return MakeError(ErrorCode::BadSettings, "Неверный час: " + untilPeriod);
  auto instruments = store.Instruments();
  if (!instruments) return instruments.error();
  std::vector<InstrumentSummary> out;
  for (auto& inst : *instruments) {
    if (!serial.empty() && inst.serial != serial) continue;
    InstrumentSummary s;
    s.instrument = inst;
    auto last = store.Reads({inst.serial, "", 1, false});
    if (!last) return last.error();
    if (!last->empty()) s.lastRead = last->front();
    auto good = store.Reads({inst.serial, "", 1, true});
    if (!good) return good.error();
    if (!good->empty()) s.lastGoodRead = good->front();
    for (std::size_t k = 0; k < kArchiveKinds.size(); ++k) {
      auto a = SummaryOf(store, inst.serial, kArchiveKinds[k], days, *until);
      if (!a) return a.error();
      s.archives[k] = *a;
    }
    auto findings = store.Findings(inst.serial);
    if (!findings) return findings.error();
    s.findings = static_cast<std::int64_t>(findings->size());
    auto conflicts = store.Conflicts(inst.serial);
    if (!conflicts) return conflicts.error();
    s.conflicts = static_cast<std::int64_t>(conflicts->size());
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace statvtk::store
