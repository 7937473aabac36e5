#include "collect/run/own_situations.hpp"

#include <algorithm>
#include <cstdio>

#include "analysis/situations.hpp"
#include "base/local_time.hpp"
#include "collect/config/identity.hpp"
#include "collect/mqtt/outbox.hpp"
#include "collect/run/fault_barrier.hpp"
#include "store/record_checks.hpp"

namespace statvtk::collect {

namespace {

std::string KindName(analysis::SituationKind kind) { return std::string(analysis::SituationKindName(kind)); }

store::SituationRow RowOf(analysis::SituationKind kind, const std::string& serial, const std::string& hour,
                          std::string detail) {
  store::SituationRow row;
  row.serial = serial;
  row.kind = KindName(kind);
  row.source = store::kCollectorSource;
  row.fromPeriod = hour;
  row.hours = 1;
  row.detail = std::move(detail);
  return row;
}

// `change` in one transaction with the MQTT state of the serials it
// touched; a failure said through `log` with `what`.
void Apply(StoreWriter& writer, const std::string& what, const SituationLog& log,
           const std::function<Result<store::SituationChanges>(store::RecordStore&)>& change) {
  auto done = Guarded([&]() -> Result<void> {
    return writer.With([&](store::RecordStore& s) -> Result<void> {
      store::StoreTransaction t(s);
      if (!t.Begun()) return t.Begun().error();
      auto changes = change(s);
      if (!changes) return changes.error();
      std::vector<std::string> discovered;
      if (MqttOutbox* outbox = writer.Outbox()) {
        std::vector<std::string> serials;
        for (const auto* list : {&changes->opened, &changes->closed})
          for (const auto& c : *list)
            if (std::find(serials.begin(), serials.end(), c.serial) == serials.end()) serials.push_back(c.serial);
        for (const auto& serial : serials) {
          store::SituationChanges own;
          for (const auto& c : changes->opened)
            if (c.serial == serial) own.opened.push_back(c);
          for (const auto& c : changes->closed)
            if (c.serial == serial) own.closed.push_back(c);
          auto queued = outbox->EnqueueSituations(s, serial, own);
          if (!queued) return queued.error();
          discovered.insert(discovered.end(), queued->begin(), queued->end());
        }
      }
      if (auto c = t.Commit(); !c) return c.error();
      for (const auto& key : discovered) writer.Outbox()->Discovered(key);
      return {};
    });
  });
  if (!done) log("Нештатная ситуация (" + what + ") не записана: " + done.error().reason);
}

// Adds what `more` changed to `into`.
void Add(store::SituationChanges& into, store::SituationChanges more) {
  for (auto& c : more.opened) into.opened.push_back(std::move(c));
  for (auto& c : more.closed) into.closed.push_back(std::move(c));
}

}  // namespace

std::string LocalHourText(std::time_t t) {
  const std::tm local = LocalTime(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour);
  return buf;
}

Result<std::string> KnownSerial(store::RecordStore& s, const Config& cfg, const LineConfig& line,
                                const std::string& name) {
  // As a read's base is found (collect_pass): its name on its line, at this
  // collector unless the line is shared.
  const std::optional<std::string> origin =
      line.shared ? std::nullopt : std::optional<std::string>(OriginOf(cfg.collector.origin));
  auto prior = s.Reads({"", name, 20, false, line.name, origin});
  if (!prior) return prior.error();
  const auto known =
      std::find_if(prior->begin(), prior->end(), [](const store::ReadRow& r) { return !r.serial.empty(); });
  return known == prior->end() ? std::string() : known->serial;
}

void NoteMeterReplaced(StoreWriter& writer, const std::string& oldSerial, const std::string& newSerial,
                       std::time_t when, const SituationLog& log) {
  const std::string hour = LocalHourText(when);
  store::SituationRow row =
      RowOf(analysis::SituationKind::MeterReplaced, newSerial, hour, oldSerial + " → " + newSerial);
  row.toPeriod = hour;  // an event: one hour, closed as it is raised
  Apply(writer, row.kind + " " + row.detail, log, [&](store::RecordStore& s) { return s.RaiseSituation(row, ""); });
}

void CheckClockDrift(StoreWriter& writer, const std::string& serial, const StatModel& model, std::time_t pcTime,
                     long long limitS, const SituationLog& log) {
  const auto offset = store::ClockOffsetOf(model, pcTime);
  if (!offset) return;
  const std::string hour = LocalHourText(pcTime);
  const std::string kind = KindName(analysis::SituationKind::ClockDrift);
  Apply(writer, kind + " " + serial, log, [&](store::RecordStore& s) -> Result<store::SituationChanges> {
    if (offset->Beyond(limitS))
      return s.RaiseSituation(RowOf(analysis::SituationKind::ClockDrift, serial, hour, ""), "");
    return s.ClearSituations(serial, kind, store::kCollectorSource, hour, "");
  });
}

void NoteCallIn(StoreWriter& writer, const std::vector<std::string>& serials, bool refused, const std::string& host,
                const SituationLog& log) {
  if (serials.empty()) return;
  const std::string hour = LocalHourText(std::time(nullptr));
  const std::string kind = KindName(analysis::SituationKind::CallInRefused);
  Apply(writer, kind + " " + host, log, [&](store::RecordStore& s) -> Result<store::SituationChanges> {
    store::SituationChanges all;
    for (const auto& serial : serials) {
      auto changes = refused ? s.RaiseSituation(RowOf(analysis::SituationKind::CallInRefused, serial, hour, host), "")
                             : s.ClearSituations(serial, kind, store::kCollectorSource, hour, "");
      if (!changes) return changes.error();
      Add(all, std::move(*changes));
    }
    return all;
  });
}

}  // namespace statvtk::collect
