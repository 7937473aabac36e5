#include "collect/instrument_view.hpp"

#include <algorithm>

#include "base/local_time.hpp"
#include "base/utf8.hpp"
#include "store/periods.hpp"
#include "collect/report_image.hpp"

namespace statvtk::collect {

namespace {

constexpr std::size_t kFindingsPerInstrument = 20;
constexpr std::size_t kReadsLookedAt = 50;

std::string NowPeriod(const FleetLive& live, std::chrono::system_clock::time_point now) {
  if (live.nowPeriod) return live.nowPeriod();
  const std::tm t = LocalTime(now);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour);
  return buf;
}

// The reads of the instrument (by its name in collect.ini, else its serial),
// newest first: the run of failures since the last good read, and the last
// failure. A read without an outcome that is not the newest was cut off by
// the end of the process.
Result<void> AddReads(store::RecordStore& s, const FleetLive& live, InstrumentView& v) {
  const auto& in = v.instrument;
  auto reads = s.Reads({in.name.empty() ? in.serial : "", in.name, kReadsLookedAt, false});
  if (!reads) return reads.error();
  for (std::size_t i = 0; i < reads->size(); ++i) {
    const store::ReadRow& r = (*reads)[i];
    if (r.outcome == store::ReadOutcome::Done) break;
    ++v.failuresInRow;
    const bool cutOff = !r.outcome && i > 0;
    if (v.lastFailure || (r.outcome != store::ReadOutcome::Failed && !cutOff)) continue;
    v.lastFailure = InstrumentView::Failure{r.endedUtc.empty() ? r.startedUtc : r.endedUtc,
                                            cutOff ? "чтение прервано (программа завершилась)" : r.error};
  }
  v.silent = v.failuresInRow >= live.silentAfter;
  return {};
}

// The holes between the oldest and the newest record held, less those known
// gone: counted from the archive's figures, not from its periods.
Result<void> AddArchives(store::RecordStore& s, const store::InstrumentSummary* summary, InstrumentView& v) {
  const DeviceType type = TypeOfModelName(v.instrument.model);
  for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a) {
    const ArchiveKind kind = store::kArchiveKinds[a];
    if (!summary) continue;
    const bool kept = type == DeviceType::dtUnknown || SlotsOf(type, kind).count > 0;
    if (kept) v.completeness[a] = summary->archives[a].completeness;
    const store::ArchiveStats& stats = summary->archives[a].stats;
    v.records[a] = stats.records;
    const auto oldest = store::ParsePeriod(kind, stats.oldest), newest = store::ParsePeriod(kind, stats.newest);
    if (stats.records < 2 || !oldest || !newest) continue;
    auto gone = s.Gone(v.instrument.serial, kind);
    if (!gone) return gone.error();
    std::int64_t goneInside = 0;
    for (const auto& g : *gone) goneInside += g > stats.oldest && g < stats.newest;
    const std::int64_t span = store::PeriodsBetween(kind, *oldest, *newest) + 1;
    v.gaps[a] = std::max<std::int64_t>(0, span - stats.records - goneInside);
  }
  return {};
}

Result<InstrumentView> ViewOf(store::RecordStore& s, const FleetLive& live, const store::InstrumentSummary* summary,
                              store::InstrumentRow in, const std::vector<store::FindingRow>& findings,
                              std::chrono::system_clock::time_point now) {
  InstrumentView v;
  v.instrument = std::move(in);
  if (live.everySeconds)
    if (auto e = live.everySeconds(v.instrument.name); e && *e > 0) v.everyS = *e;
  if (live.nextDueUtc) v.nextDueUtc = live.nextDueUtc(v.instrument.name);
  if (live.incoming) v.connection = live.incoming(v.instrument.line);
  if (summary && summary->lastGoodRead) {
    const auto& g = *summary->lastGoodRead;
    v.lastGoodReadUtc = g.endedUtc.empty() ? g.startedUtc : g.endedUtc;
  } else {
    v.lastGoodReadUtc = v.instrument.lastReadUtc;
  }
  if (summary) {
    bool clockOff = false;
    for (const auto& f : findings)
      clockOff = clockOff || (summary->lastGoodRead && f.kind == store::FindingKind::ClockOff &&
                              f.readId == summary->lastGoodRead->id && f.serial == v.instrument.serial);
    v.health = HealthOf(*summary, v.everyS, now, clockOff);
    v.conflicts = summary->conflicts;
  }
  if (auto r = AddReads(s, live, v); !r) return r.error();
  if (auto r = AddArchives(s, summary, v); !r) return r.error();
  for (const auto& f : findings)
    if (!v.instrument.serial.empty() && f.serial == v.instrument.serial && v.findings.size() < kFindingsPerInstrument)
      v.findings.push_back(f);
  return v;
}

}  // namespace

Result<std::vector<InstrumentView>> FleetView(store::RecordStore& store, const FleetLive& live) {
  const auto now = live.now ? live.now() : std::chrono::system_clock::now();
  auto summaries = store::Summaries(store, "", live.completenessDays, NowPeriod(live, now));
  if (!summaries) return summaries.error();
  auto findings = store.Findings("");
  if (!findings) return findings.error();
  std::vector<InstrumentView> out;
  for (const auto& s : *summaries) {
    auto v = ViewOf(store, live, &s, s.instrument, *findings, now);
    if (!v) return v.error();
    out.push_back(std::move(*v));
  }
  // Instruments of collect.ini that never answered: no serial yet, only their reads.
  const auto configured = live.configured ? live.configured() : std::vector<FleetLive::Configured>{};
  for (const auto& c : configured) {
    bool known = false;
    for (const auto& s : *summaries) known = known || s.instrument.name == c.name;
    if (known) continue;
    auto v = ViewOf(store, live, nullptr, {"", "", c.name, c.line, c.address, "", ""}, *findings, now);
    if (!v) return v.error();
    out.push_back(std::move(*v));
  }
  return out;
}

Json InstrumentJson(const InstrumentView& v) {
  const auto orNull = [](const std::string& s) { return s.empty() ? Json(nullptr) : Json(s); };
  const auto& in = v.instrument;
  Json j;
  j["serial"] = ValidUtf8(in.serial);
  j["model"] = in.model;
  j["name"] = in.name;
  j["line"] = in.line;
  j["address"] = in.address;
  j["first_seen_utc"] = orNull(in.firstSeenUtc);
  j["last_read_utc"] = orNull(v.lastGoodReadUtc);
  j["next_due_utc"] = orNull(v.nextDueUtc);
  j["every_s"] = v.everyS;
  j["health"] = HealthName(v.health);
  for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a) {
    const std::string archive(store::ArchiveName(store::kArchiveKinds[a]));
    j["completeness_pct"][archive] = v.completeness[a] ? Json(*v.completeness[a]) : Json(nullptr);
    j["records"][archive] = v.records[a];
    j["gaps"][archive] = v.gaps[a];
  }
  j["failures_in_row"] = v.failuresInRow;
  j["silent"] = v.silent;
  j["last_failure"] =
      v.lastFailure ? Json{{"utc", v.lastFailure->utc}, {"reason", ValidUtf8(v.lastFailure->reason)}} : Json(nullptr);
  j["findings"] = Json::array();
  for (const auto& f : v.findings) j["findings"].push_back(FindingJson(f));
  j["conflicts"] = v.conflicts;
  if (!v.connection.empty()) j["connection"] = v.connection;
  return j;
}

}  // namespace statvtk::collect
