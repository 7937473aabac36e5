// The whole fleet's summaries in eight statements, whatever the number of
// instruments or the length of their history: the instruments with their
// last reads, the kept archive counts, the records of each window counted
// by serial, the gone periods, findings and conflicts counted by serial;
// the read runs of the fleet's names in one more; header retention.
#include <algorithm>
#include <map>

#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

constexpr int kReadColumns = 16;

std::optional<ReadRow> OptionalRead(const SqlRows& rows, int i, int c) {
  if (rows.IsNull(i, c)) return std::nullopt;
  return ReadAt(rows, i, c);
}

}  // namespace

Result<std::vector<InstrumentSummary>> SqlStore::Summaries(int days, const PeriodTime& until) {
  auto instruments = c_->Run(SummaryInstrumentsSql(), {}, Repeat::Safe);
  if (!instruments) return instruments.error();
  std::vector<InstrumentSummary> out;
  std::multimap<std::string, std::size_t> bySerial;
  for (int i = 0; i < instruments->Count(); ++i) {
    InstrumentSummary s;
    const SqlRows& q = *instruments;
    s.instrument = {q.Text(i, 0), q.Text(i, 1),
                    q.Text(i, 2), q.Text(i, 3),
                    q.Int(i, 4),  q.Text(i, 5),
                    q.Text(i, 6), q.IsNull(i, 7) ? std::nullopt : std::optional<std::int64_t>(q.Int(i, 7))};
    s.lastRead = OptionalRead(q, i, 8);
    s.lastGoodRead = OptionalRead(q, i, 8 + kReadColumns);
    bySerial.emplace(s.instrument.serial, out.size());
    out.push_back(std::move(s));
  }
  // `apply(summary, row)` for every summary of each row's serial (column 0).
  auto each = [&](const Result<SqlRows>& rows, auto apply) -> Result<void> {
    if (!rows) return rows.error();
    for (int i = 0; i < rows->Count(); ++i) {
      const auto [first, last] = bySerial.equal_range(rows->Text(i, 0));
      for (auto it = first; it != last; ++it) apply(out[it->second], i);
    }
    return {};
  };
  auto stats = c_->Run(kSummaryStatsSql, {}, Repeat::Safe);
  if (auto r = each(stats,
                    [&](InstrumentSummary& s, int i) {
                      if (const auto kind = ArchiveOfName(stats->Text(i, 1)))
                        s.archives[static_cast<std::size_t>(*kind)].stats = {stats->Int(i, 2), stats->Text(i, 3),
                                                                             stats->Text(i, 4)};
                    });
      !r)
    return r.error();
  for (std::size_t k = 0; k < kArchiveKinds.size(); ++k) {
    const SummaryWindow w = WindowOf(kArchiveKinds[k], days, until);
    for (auto& s : out) s.archives[k].expected = w.expected;
    auto held = c_->Run(kSummaryHeldSql, {SqlText(ArchiveName(kArchiveKinds[k])), SqlText(w.from), SqlText(w.to)},
                        Repeat::Safe);
    if (auto r = each(held, [&](InstrumentSummary& s, int i) { s.archives[k].held = held->Int(i, 1); }); !r)
      return r.error();
  }
  for (auto& s : out)
    for (auto& a : s.archives)
      a.completeness = a.expected == 0 ? 100.0 : 100.0 * static_cast<double>(a.held) / static_cast<double>(a.expected);
  auto gone = c_->Run(kSummaryGoneSql, {}, Repeat::Safe);
  if (auto r = each(gone,
                    [&](InstrumentSummary& s, int i) {
                      if (const auto kind = ArchiveOfName(gone->Text(i, 1)))
                        s.archives[static_cast<std::size_t>(*kind)].goneInside = gone->Int(i, 2);
                    });
      !r)
    return r.error();
  auto findings = c_->Run(kSummaryFindingsSql, {}, Repeat::Safe);
  if (auto r = each(findings,
                    [&](InstrumentSummary& s, int i) {
                      s.findings = findings->Int(i, 1);
                      s.openFindings = findings->Int(i, 2);
                    });
      !r)
    return r.error();
  auto conflicts = c_->Run(kSummaryConflictsSql, {}, Repeat::Safe);
  if (auto r = each(conflicts, [&](InstrumentSummary& s, int i) { s.conflicts = conflicts->Int(i, 1); }); !r)
    return r.error();
  return out;
}

}  // namespace statvtk::store

namespace statvtk::store {

Result<std::vector<ReadRun>> SqlStore::ReadRuns(std::span<const ReadRunKey> names) {
  std::vector<ReadRun> out;
  // A bounded number of names per statement (the backends' parameter
  // limits), padded with names no instrument has to a few sizes: the
  // connections keep each statement text prepared.
  constexpr std::size_t kSizes[] = {16, 64, 256, 1024, 4096};
  constexpr std::size_t kChunk = kSizes[std::size(kSizes) - 1];
  for (std::size_t at = 0; at < names.size(); at += kChunk) {
    const auto part = names.subspan(at, std::min(kChunk, names.size() - at));
    std::vector<ReadRunKey> asked(part.begin(), part.end());
    asked.resize(*std::find_if(std::begin(kSizes), std::end(kSizes), [&](std::size_t n) { return n >= part.size(); }));
    auto rows = Run(ReadRunsQuery(asked));
    if (!rows) return rows.error();
    for (int i = 0; i < rows->Count() && static_cast<std::size_t>(i) < part.size(); ++i) {
      ReadRun run;
      run.name = part[static_cast<std::size_t>(i)].name;
      run.failuresInRow = rows->Int(i, 0);
      if (!rows->IsNull(i, 2)) {
        run.lastFailure = ReadAt(*rows, i, 2);
        run.lastCutOff = !run.lastFailure->outcome;
      }
      out.push_back(std::move(run));
    }
  }
  return out;
}

Result<std::int64_t> SqlStore::PruneHeaders(int keepDays, const std::string& nowUtc) {
  const auto now = ParseUtc(nowUtc);
  if (!now) return MakeError(ErrorCode::BadData, "время " + nowUtc);
  const std::string cutoff = UtcText(*now - static_cast<std::time_t>(keepDays) * 86400);
  auto rows = c_->Run(std::string(kPruneHeadersSql) + " RETURNING read_id", {SqlText(cutoff)}, Repeat::Safe);
  if (!rows) return rows.error();
  return static_cast<std::int64_t>(rows->Count());
}

}  // namespace statvtk::store
