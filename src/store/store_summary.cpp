// The window a summary's completeness counts, and the summaries of a store
// for one instrument or all.
#include <algorithm>

#include "store/periods.hpp"
#include "store/record_store.hpp"

namespace statvtk::store {

SummaryWindow WindowOf(ArchiveKind kind, int days, const PeriodTime& until) {
  // A period's record exists once the period is over: the window ends with
  // the last closed one.
  const PeriodTime last = StepPeriod(kind, until, -1);
  const long span = kind == ArchiveKind::Hourly  ? 24L * days
                    : kind == ArchiveKind::Daily ? days
                                                 : std::max(1, days / 30);
  const PeriodTime from = StepPeriod(kind, last, -span + 1);
  return {PeriodText(kind, from), PeriodText(kind, last), std::max(0L, PeriodsBetween(kind, from, last) + 1)};
}

Result<std::vector<InstrumentSummary>> Summaries(RecordStore& store, const std::string& serial, int days,
                                                 const std::string& untilPeriod) {
  const auto until = ParsePeriod(ArchiveKind::Hourly, untilPeriod);
  if (!until) return MakeError(ErrorCode::BadSettings, "Неверный час: " + untilPeriod);
  auto all = store.Summaries(days, *until);
  if (!all || serial.empty()) return all;
  std::erase_if(*all, [&](const InstrumentSummary& s) { return s.instrument.serial != serial; });
  return all;
}

}  // namespace statvtk::store
