#include "collect/views/instrument_view.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "analysis/situations.hpp"
#include "base/local_time.hpp"
#include "base/utf8.hpp"
#include "collect/image/archive_slots.hpp"
#include "collect/views/collectors_view.hpp"
#include "collect/views/periods.hpp"
#include "store/periods.hpp"

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

// The run of failures since the last good read, and the last failure.
void AddReads(const store::ReadRun& run, const FleetLive& live, InstrumentView& v) {
  v.failuresInRow = static_cast<int>(run.failuresInRow);
  if (run.lastFailure) {
    const auto& r = *run.lastFailure;
    v.lastFailure = InstrumentView::Failure{r.endedUtc.empty() ? r.startedUtc : r.endedUtc,
                                            run.lastCutOff ? "чтение прервано (программа завершилась)" : r.error};
  }
  v.silent = v.failuresInRow >= live.silentAfter;
}

// The holes between the oldest and the newest record held, less those known
// gone: counted from the archive's figures, not from its periods.
void AddArchives(const store::InstrumentSummary* summary, InstrumentView& v) {
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
    const std::int64_t span = store::PeriodsBetween(kind, *oldest, *newest) + 1;
    v.gaps[a] = std::max<std::int64_t>(0, span - stats.records - summary->archives[a].goneInside);
  }
}

// `clockDrift`: its clock_drift situation is open (the clock its reads found
// off by more than ClockDrift=).
InstrumentView ViewOf(const FleetLive& live, const store::InstrumentSummary* summary, store::InstrumentRow in,
                      const store::ReadRun& run, const std::vector<store::FindingRow>& findings, bool clockDrift,
                      std::chrono::system_clock::time_point now) {
  InstrumentView v;
  v.instrument = std::move(in);
  // Another collector's instrument is judged by the interval it keeps in the store.
  if (v.instrument.everyS && *v.instrument.everyS > 0) v.everyS = *v.instrument.everyS;
  if (live.everySeconds)
    if (auto e = live.everySeconds(v.instrument.name); e && *e > 0) v.everyS = *e;
  if (live.incoming) v.connection = live.incoming(v.instrument.line);
  if (summary && summary->lastGoodRead) {
    const auto& g = *summary->lastGoodRead;
    v.lastGoodReadUtc = g.endedUtc.empty() ? g.startedUtc : g.endedUtc;
  } else {
    v.lastGoodReadUtc = v.instrument.lastReadUtc;
  }
  if (live.nextDueUtc) v.nextDueUtc = live.nextDueUtc(v.instrument.name, v.lastGoodReadUtc);
  AddReads(run, live, v);
  AddArchives(summary, v);
  HealthFacts facts;
  facts.everyS = v.everyS;
  facts.failuresInRow = v.failuresInRow;
  facts.silentAfter = live.silentAfter;
  if (summary) {
    if (summary->lastGoodRead) facts.lastGood = UtcMoment(v.lastGoodReadUtc);
    facts.hourlyCompleteness = summary->archives[0].completeness;
    facts.clockOff = clockDrift;
    v.conflicts = summary->conflicts;
    v.openFindings = summary->openFindings;
    for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a) v.newest[a] = summary->archives[a].stats.newest;
  }
  v.health = HealthOf(facts, now);
  v.down = IsDown(facts, now);
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
  // The clock state is the open clock_drift situation, as the alerts, MQTT and /metrics see it.
  store::SituationQuery drifting = store::OpenSituations();
  drifting.kind = analysis::SituationKindName(analysis::SituationKind::ClockDrift);
  auto drifts = store.Situations(drifting);
  if (!drifts) return drifts.error();
  std::set<std::string> clockOff;
  for (const auto& d : *drifts) clockOff.insert(d.serial);
  // Each instrument looks at its own findings only: linear in the fleet.
  std::map<std::string, std::vector<store::FindingRow>> findingsOf;
  for (auto& f : *findings) findingsOf[f.serial].push_back(std::move(f));
  const std::vector<store::FindingRow> none;
  const auto own = [&](const std::string& serial) -> const std::vector<store::FindingRow>& {
    const auto it = findingsOf.find(serial);
    return it == findingsOf.end() ? none : it->second;
  };
  // Instruments of collect.ini that never answered: no serial yet, only their reads.
  std::vector<const FleetLive::Configured*> unknown;
  const auto configured = live.configured ? live.configured() : std::vector<FleetLive::Configured>{};
  std::set<std::string> named;
  for (const auto& s : *summaries) named.insert(s.instrument.name);
  for (const auto& c : configured)
    if (!named.contains(c.name)) unknown.push_back(&c);
  // The reads of every instrument, by its name on its line, in one question.
  std::vector<store::ReadRunKey> names;
  for (const auto& s : *summaries) names.push_back({s.instrument.name, s.instrument.line});
  for (const auto* c : unknown) names.push_back({c->name, c->line});
  auto runs = store.ReadRuns(names);
  if (!runs) return runs.error();
  auto holders = HoldersOf(store);
  if (!holders) return holders.error();
  std::vector<InstrumentView> out;
  out.reserve(names.size());
  for (std::size_t i = 0; i < summaries->size(); ++i)
    out.push_back(ViewOf(live, &(*summaries)[i], (*summaries)[i].instrument, runs->at(i),
                         own((*summaries)[i].instrument.serial), clockOff.contains((*summaries)[i].instrument.serial),
                         now));
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    const auto& c = *unknown[i];
    out.push_back(ViewOf(live, nullptr, {"", "", c.name, c.line, c.address, "", "", {}},
                         runs->at(summaries->size() + i), none, false, now));
  }
  for (auto& v : out)
    if (const auto it = holders->find(v.instrument.line); it != holders->end()) v.heldBy = it->second;
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
  j["health_text"] = HealthWords(v.health);
  j["health_rank"] = HealthRank(v.health);
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
  j["open_findings"] = v.openFindings;
  j["conflicts"] = v.conflicts;
  if (!v.connection.empty()) j["connection"] = v.connection;
  j["held_by"] = orNull(v.heldBy);
  return j;
}

}  // namespace statvtk::collect
