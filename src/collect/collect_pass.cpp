#include "collect/collect_pass.hpp"

#include <ctime>

#include "base/local_time.hpp"
#include "collect/backfill.hpp"
#include "collect/fault_barrier.hpp"
#include "collect/mqtt_outbox.hpp"
#include "stats/device_type.hpp"
#include "store/image_rows.hpp"
#include "store/periods.hpp"
#include "store/record_checks.hpp"

namespace statvtk::collect {

namespace {

using namespace store;

long long LocalSeconds(std::time_t t) {
  const std::tm tm = LocalTime(t);
  return CalendarSeconds(PeriodTimeOf(tm), tm.tm_min, tm.tm_sec);
}

struct Before {
  std::int64_t readId = 0;
  std::string serial;
  ReadMode mode = ReadMode::Full;
  std::optional<std::time_t> previousStart;  // the previous attempt of this instrument
  DuePlan plan;
};

Result<Before> Open(RecordStore& s, const Config& cfg, const LineConfig& line, const InstrumentConfig& in) {
  Before b;
  b.plan.address = in.address;
  b.plan.hourly = in.kinds.hourly;
  b.plan.daily = in.kinds.daily;
  b.plan.monthly = in.kinds.monthly;
  b.plan.events = in.kinds.events;
  // The instrument is its name on its line at this collector: another site's
  // instrument of the same name in a shared store is another one.
  const std::string origin = OriginOf(cfg.collector.origin);
  auto prior = s.Reads({"", in.name, 1, false, line.name, origin});
  if (!prior) return prior.error();
  if (!prior->empty()) b.previousStart = ParseUtc(prior->front().startedUtc);
  auto good = s.Reads({"", in.name, 1, true, line.name, origin});
  if (!good) return good.error();
  if (!good->empty()) {
    b.serial = good->front().serial;
    b.mode = ReadMode::New;
    b.plan.kind = DueKind::NewSinceNewest;
    for (std::size_t k = 0; k < kArchiveKinds.size(); ++k) {
      auto held = s.Periods(b.serial, kArchiveKinds[k], "", "");
      auto gone = s.Gone(b.serial, kArchiveKinds[k]);
      if (!held || !gone) return held ? gone.error() : held.error();
      b.plan.wanted.periods[k] = Holes(kArchiveKinds[k], *held, *gone);
    }
    if (!b.plan.wanted.Empty()) {
      b.mode = ReadMode::Backfill;
      b.plan.kind = DueKind::Wanted;
    }
  } else {
    b.plan.kind = DueKind::Full;
  }
  auto id = s.StartRead({b.serial, in.name, line.name, UtcNow(), b.mode});
  if (!id) return id.error();
  b.readId = *id;
  return b;
}

store::ReadOutcome StoredOutcome(statvtk::ReadOutcome o) {
  return o == statvtk::ReadOutcome::Done      ? store::ReadOutcome::Done
         : o == statvtk::ReadOutcome::Stopped ? store::ReadOutcome::Stopped
                                              : store::ReadOutcome::Failed;
}

Result<void> Store(RecordStore& s, const Config& cfg, const LineConfig& line, const InstrumentConfig& in,
                   const Before& b, const InstrumentRead& r, InstrumentPass& p, MqttOutbox* outbox) {
  StoreTransaction t(s);
  std::vector<RecordRow> added;
  if (!t.Begun()) return t.Begun().error();
  const std::time_t now = std::chrono::system_clock::to_time_t(r.ended);
  std::unique_ptr<StatModel> model = r.result.data ? MakeStatModel(*r.result.data) : nullptr;
  if (model) {
    p.serial = StoredSerial(*model);
    const ImageRows rows = RowsOf(*model, b.readId, LocalTime(now).tm_gmtoff);
    std::optional<long long> deviceOffset;
    if (const auto clock = DeviceClockOf(*model)) deviceOffset = clock->seconds - LocalSeconds(now);
    std::array<std::vector<RecordRow>, 3> byArchive;
    for (const auto& row : rows.records) byArchive[static_cast<std::size_t>(row.archive)].push_back(row);
    for (std::size_t k = 0; k < kArchiveKinds.size(); ++k) {
      const ArchiveKind kind = kArchiveKinds[k];
      auto held = s.Periods(p.serial, kind, "", "");
      auto gone = s.Gone(p.serial, kind);
      if (!held || !gone) return held ? gone.error() : held.error();
      BackfillInput in{kind, std::move(*held), std::move(*gone), {}, std::nullopt};
      for (const auto& row : byArchive[k]) in.fetched.push_back(row.period);
      if (b.previousStart && deviceOffset && r.Done()) {
        const PeriodTime then = TimeOfCalendarSeconds(LocalSeconds(*b.previousStart) + *deviceOffset);
        in.dueBy = StepPeriod(kind, then, -1);
      }
      const BackfillCount count = CountBackfill(in);
      p.recovered += static_cast<std::int64_t>(count.recovered.size());
      p.lost += static_cast<std::int64_t>(count.lost.size());
      for (const auto& period : count.lost)
        if (auto m = s.MarkGone(p.serial, kind, period, b.readId); !m) return m;
    }
    for (const auto& row : rows.records) {
      auto u = s.UpsertRecord(row);
      if (!u) return u.error();
      if (*u == Upsert::Added) ++p.added;
      if (*u == Upsert::Added && outbox) added.push_back(row);
      if (*u == Upsert::Conflict) {
        ++p.conflicts;
        FindingRow f{0,           p.serial,   FindingKind::Conflict,
                     row.archive, row.period, "Запись изменилась под тем же временем: " + row.raw.substr(0, 16) + "…",
                     b.readId,    "",         {},
                     {}};
        if (auto a = s.AddFinding(f); !a) return a.error();
      }
    }
    for (const auto& e : rows.events)
      if (auto a = s.UpsertEvent(e); !a) return a.error();
    for (auto& records : byArchive)
      for (auto& f : CheckRecords(records))
        if (auto a = s.AddFinding(f); !a) return a.error();
    if (auto f = CheckClock(*model, now, cfg.collector.clockLimitS)) {
      f->readId = b.readId;
      if (auto a = s.AddFinding(*f); !a) return a.error();
    }
    const bool done = r.Done();
    if (auto u = s.UpsertInstrument({p.serial,
                                     std::string(DeviceTypeName(model->Type())),
                                     in.name,
                                     line.name,
                                     in.address,
                                     UtcNow(),
                                     done ? UtcText(now) : std::string(),
                                     {}});
        !u)
      return u;
  }
  ReadFinish f;
  f.serial = p.serial;
  f.endedUtc = UtcText(now);
  f.outcome = StoredOutcome(p.outcome);
  f.error = p.error;
  f.requests = p.requests;
  f.file = r.file.written ? r.file.path.string() : std::string();
  f.recovered = p.recovered;
  f.lost = p.lost;
  f.added = p.added;
  f.conflicts = p.conflicts;
  if (auto fr = s.FinishRead(b.readId, f); !fr) return fr;
  if (outbox)
    if (auto m = outbox->AfterRead(s, in.name, added); !m) return m;
  return t.Commit();
}

// The read row of a pass that could not be stored, finished as failed
// outside the transaction that failed.
void FinishFailed(StoreWriter& writer, std::int64_t readId, const InstrumentPass& p) {
  ReadFinish f;
  f.serial = p.serial;
  f.endedUtc = UtcNow();
  f.outcome = store::ReadOutcome::Failed;
  f.error = p.error;
  f.requests = p.requests;
  auto finished = Guarded([&] { return writer.With([&](RecordStore& s) { return s.FinishRead(readId, f); }); });
  if (!finished) writer.Outage().Unfinished(readId, f);  // finished once the store answers again
}

// The store before a read: a failure is said once a minute while it lasts,
// its end once, and what it left unfinished is finished then.
bool StoreAnswers(StoreWriter& writer, const Result<Before>& b, const PassLog& log) {
  if (!b) {
    if (auto text = writer.Outage().Failed(b.error().reason)) log(*text);
    return false;
  }
  if (auto text = writer.Outage().Answered()) log(*text);
  if (auto settled = Guarded([&] { return writer.With([&](RecordStore& s) { return writer.Outage().Settle(s); }); });
      !settled)
    log("база данных: " + settled.error().reason);
  return true;
}

}  // namespace

std::string PassText(const InstrumentPass& p) {
  std::string s = "Прибор " + p.name + (p.serial.empty() ? "" : " (" + p.serial + ")") + ": ";
  s += p.outcome == statvtk::ReadOutcome::Done      ? "прочитан"
       : p.outcome == statvtk::ReadOutcome::Stopped ? "остановлен"
                                                    : "ошибка";
  if (!p.error.empty()) s += " — " + p.error;
  s += "; режим " + std::string(ReadModeName(p.mode)) + ", запросов " + std::to_string(p.requests) +
       ", новых записей " + std::to_string(p.added);
  if (p.recovered || p.lost)
    s += ", восстановлено " + std::to_string(p.recovered) + ", потеряно " + std::to_string(p.lost);
  if (p.conflicts) s += ", конфликтов " + std::to_string(p.conflicts);
  return s;
}

std::vector<InstrumentPass> CollectLine(const Config& cfg, const LineConfig& line,
                                        const std::vector<const InstrumentConfig*>& due,
                                        const std::filesystem::path& home, StoreWriter& writer, std::atomic<bool>& stop,
                                        const PassLog& log) {
  std::vector<InstrumentPass> passes;
  std::vector<Before> befores;
  std::vector<const InstrumentConfig*> read;
  std::vector<DuePlan> plans;
  for (const InstrumentConfig* in : due) {
    auto b = Guarded([&] { return writer.With([&](RecordStore& s) { return Open(s, cfg, line, *in); }); });
    if (!StoreAnswers(writer, b, log)) continue;  // failed: its next try after the retry pause
    passes.push_back({in->name, b->serial, statvtk::ReadOutcome::Failed, {}, 0, 0, 0, 0, 0, b->mode});
    plans.push_back(b->plan);
    read.push_back(in);
    befores.push_back(std::move(*b));
  }
  // Nothing to read (the store failed every one): the line is not opened, a
  // modem not dialed.
  if (plans.empty()) return passes;
  auto results =
      Guarded([&] { return Result<std::vector<InstrumentRead>>(ReadDue(line.spec, plans, home, stop, log)); });
  for (std::size_t i = 0; i < passes.size(); ++i) {
    InstrumentPass& p = passes[i];
    Result<void> stored = results ? Result<void>() : Result<void>(results.error());
    if (results) {
      const InstrumentRead& r = (*results)[i];
      p.outcome = r.result.outcome;
      p.error = r.error;
      p.requests = r.result.requests;
      stored = Guarded([&] {
        return writer.With(
            [&](RecordStore& s) { return Store(s, cfg, line, *read[i], befores[i], r, p, writer.Outbox()); });
      });
    }
    // Whatever went wrong, the read row is finished, as failed, with the reason.
    if (!stored) {
      p.outcome = statvtk::ReadOutcome::Failed;
      p.error = (results ? "база данных: " : "внутренняя ошибка: ") + stored.error().reason;
      FinishFailed(writer, befores[i].readId, p);
    }
    log(PassText(p));
  }
  return passes;
}

}  // namespace statvtk::collect
