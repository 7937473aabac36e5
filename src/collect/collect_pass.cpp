#include "collect/collect_pass.hpp"

#include <algorithm>
#include <ctime>

#include "base/local_time.hpp"
#include "base/program_home.hpp"
#include "collect/backfill.hpp"
#include "collect/fault_barrier.hpp"
#include "collect/header_retention.hpp"
#include "collect/mqtt_outbox.hpp"
#include "collect/report_image.hpp"
#include "collect/stat_files.hpp"
#include "collect/store_image.hpp"
#include "front/download_file.hpp"
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
  std::string startedUtc;
  ReadMode mode = ReadMode::Full;
  std::optional<std::time_t> previousStart;  // the previous attempt of this instrument
  DuePlan plan;
};

bool TakesWholeMemory(DeviceType type) { return type == DeviceType::dtVTK0812; }

// Whether the store knows holes in what the instrument may still hold: the
// read then takes that archive whole (its base does not hold it whole).
Result<bool> HasHoles(RecordStore& s, const std::string& serial) {
  for (const ArchiveKind kind : kArchiveKinds) {
    auto stats = s.Stats(serial, kind);
    if (!stats) return stats.error();
    const auto newest = ParsePeriod(kind, stats->newest);
    if (stats->records < 2 || !newest) continue;
    const auto span = WantedSpan(kind, stats->oldest, *newest);
    if (!span) continue;
    auto holes = s.Holes(serial, kind, span->from, span->to);
    if (!holes) return holes.error();
    if (!holes->empty()) return true;
  }
  return false;
}

// The read's plan: a full read the first time; after that what is new since
// the newest image the store holds (the header of its newest read and its
// records), whatever Data/ holds.
Result<Before> Open(RecordStore& s, const Config& cfg, const LineConfig& line, const InstrumentConfig& in) {
  Before b;
  b.plan.address = in.address;
  b.plan.hourly = in.kinds.hourly;
  b.plan.daily = in.kinds.daily;
  b.plan.monthly = in.kinds.monthly;
  b.plan.events = in.kinds.events;
  b.plan.kind = DueKind::Full;
  // The instrument is its name on its line at this collector: another site's
  // instrument of the same name in a shared store is another one.
  // A shared line's instrument is the same one whichever collector read it.
  const std::optional<std::string> origin =
      line.shared ? std::nullopt : std::optional<std::string>(OriginOf(cfg.collector.origin));
  auto prior = s.Reads({"", in.name, 1, false, line.name, origin});
  if (!prior) return prior.error();
  if (!prior->empty()) b.previousStart = ParseUtc(prior->front().startedUtc);
  auto good = s.Reads({"", in.name, 1, true, line.name, origin});
  if (!good) return good.error();
  if (!good->empty()) {
    b.serial = good->front().serial;
    auto base = NewestImage(s, b.serial);
    if (!base) return base.error();
    // A model whose read takes the whole memory every time (VTK-08.12) has
    // no new-records read: each of its reads is a full one.
    if (*base && TakesWholeMemory((*base)->type)) base->reset();
    if (*base) {
      b.plan.base = std::move(**base);
      b.plan.kind = DueKind::New;
      b.mode = ReadMode::New;
      auto holes = HasHoles(s, b.serial);
      if (!holes) return holes.error();
      if (*holes) b.mode = ReadMode::Backfill;
    }
  }
  b.startedUtc = UtcNow();
  auto id = s.StartRead({b.serial, in.name, line.name, b.startedUtc, b.mode});
  if (!id) return id.error();
  b.readId = *id;
  return b;
}

store::ReadOutcome StoredOutcome(statvtk::ReadOutcome o) {
  return o == statvtk::ReadOutcome::Done      ? store::ReadOutcome::Done
         : o == statvtk::ReadOutcome::Stopped ? store::ReadOutcome::Stopped
                                              : store::ReadOutcome::Failed;
}

bool KindAsked(const InstrumentConfig& in, ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? in.kinds.hourly : kind == ArchiveKind::Daily ? in.kinds.daily : in.kinds.monthly;
}

// What a pass writes with: the configuration, the line, the home and the outbox.
struct PassPlace {
  const Config& cfg;
  const LineConfig& line;
  const InstrumentConfig& in;
  const std::filesystem::path& home;
  MqttOutbox* outbox;
  const LeaseFence* fence;  // a shared line's
};

// The records the read fetched (a VTK-08.12's read takes the whole memory:
// all), damaged ones too: the store keeps each record's place in the archive.
ImageRows FetchedRows(const StatModel& model, const ReadResult& r, std::int64_t readId, std::int64_t offset) {
  if (TakesWholeMemory(model.Type())) return RowsOf(model, readId, offset, {}, true);
  std::array<std::vector<std::uint32_t>, 3> fetched;
  for (const ArchiveKind kind : kArchiveKinds) {
    auto& v = fetched[static_cast<std::size_t>(kind)];
    v = r.fetched.Of(kind);
    std::sort(v.begin(), v.end());
  }
  return RowsOf(
      model, readId, offset,
      [&fetched](ArchiveKind kind, std::uint32_t pos) {
        const auto& v = fetched[static_cast<std::size_t>(kind)];
        return std::binary_search(v.begin(), v.end(), pos);
      },
      true);
}

// The holes an earlier read should have filled: those this read fetched came
// back, the rest are gone for good (marked, never asked for again). Counted
// before the read's records go in.
Result<void> CountBackfill(RecordStore& s, const PassPlace& at, const Before& b, const ImageRows& rows,
                           const PeriodTime& then, InstrumentPass& p) {
  for (const ArchiveKind kind : kArchiveKinds) {
    if (!KindAsked(at.in, kind)) continue;
    auto stats = s.Stats(p.serial, kind);
    if (!stats) return stats.error();
    if (stats->records == 0) continue;
    const auto span = WantedSpan(kind, stats->oldest, StepPeriod(kind, then, -1));
    if (!span) continue;
    auto wanted = s.Holes(p.serial, kind, span->from, span->to);
    if (!wanted) return wanted.error();
    std::vector<std::string> fetched;
    for (const auto& row : rows.records)
      if (row.archive == kind) fetched.push_back(row.period);
    const BackfillCount count = SplitWanted(*wanted, fetched);
    p.recovered += static_cast<std::int64_t>(count.recovered.size());
    // A hole after the oldest period this read fetched is one the instrument
    // never recorded (it was off); before it, one its archive no longer holds.
    const auto oldestFetched = std::min_element(fetched.begin(), fetched.end());
    for (const auto& period : count.lost)
      ++(oldestFetched != fetched.end() && period > *oldestFetched ? p.notRecorded : p.lost);
    for (const auto& period : count.lost)
      if (auto m = s.MarkGone(p.serial, kind, period, b.readId); !m) return m;
  }
  return {};
}

// An archive the read took whole shows the periods the instrument never
// wrote (it was off): the holes between its oldest and newest record are
// known gone, and take no place in the next read's base.
Result<void> MarkNeverWritten(RecordStore& s, const StatModel& model, const ReadResult& r, const ImageRows& rows,
                              const std::string& serial, std::int64_t readId) {
  for (const ArchiveKind kind : kArchiveKinds) {
    const std::size_t slots = SlotsOf(model.Type(), kind).count;
    const bool whole =
        TakesWholeMemory(model.Type()) ? r.outcome == statvtk::ReadOutcome::Done : r.fetched.Of(kind).size() >= slots;
    if (slots == 0 || !whole) continue;
    std::string oldest, newest;
    for (const auto& row : rows.records) {
      if (row.archive != kind || !ParsePeriod(kind, row.period)) continue;
      if (oldest.empty() || row.period < oldest) oldest = row.period;
      if (newest.empty() || row.period > newest) newest = row.period;
    }
    if (oldest.empty()) continue;
    auto holes = s.Holes(serial, kind, oldest, newest);
    if (!holes) return holes.error();
    for (const auto& period : *holes)
      if (auto m = s.MarkGone(serial, kind, period, readId); !m) return m;
  }
  return {};
}

// The read's product: its header block, the records it fetched, its events,
// the checks' findings and the instrument.
Result<void> PutProduct(RecordStore& s, const PassPlace& at, const Before& b, const InstrumentRead& r,
                        const StatModel& model, InstrumentPass& p, ReadPublication& pub) {
  const std::time_t now = std::chrono::system_clock::to_time_t(r.ended);
  const std::int64_t offset = LocalTime(now).tm_gmtoff;
  const std::string modelName(DeviceTypeName(model.Type()));
  if (auto h = s.PutHeader({b.readId, p.serial, modelName, UtcText(now), offset, r.result.data->header}); !h) return h;
  const ImageRows rows = FetchedRows(model, r.result, b.readId, offset);
  if (const auto clock = DeviceClockOf(model); clock && b.previousStart && r.Done()) {
    const long long deviceOffset = clock->seconds - LocalSeconds(now);
    const PeriodTime then = TimeOfCalendarSeconds(LocalSeconds(*b.previousStart) + deviceOffset);
    if (auto c = CountBackfill(s, at, b, rows, then, p); !c) return c;
  }
  auto upserts = s.PutRecords(rows.records);
  if (!upserts) return upserts.error();
  for (std::size_t i = 0; i < rows.records.size() && i < upserts->size(); ++i) {
    const RecordRow& row = rows.records[i];
    const Upsert u = (*upserts)[i];
    if (u == Upsert::Added) {
      ++p.added;
      if (at.outbox && row.valid) pub.added.push_back(row);  // a damaged record's values are not published
    }
    if (u != Upsert::Conflict) continue;
    // The same period twice in one read: the instrument's clock was set back over it.
    const bool repeated =
        std::any_of(rows.records.begin(), rows.records.begin() + static_cast<std::ptrdiff_t>(i),
                    [&](const RecordRow& o) { return o.archive == row.archive && o.period == row.period; });
    ++(repeated ? p.repeated : p.conflicts);
    FindingRow f{0,
                 p.serial,
                 repeated ? FindingKind::RepeatedHour : FindingKind::Conflict,
                 row.archive,
                 row.period,
                 repeated ? "Период " + row.period +
                                " записан прибором дважды (часы прибора переведены назад): хранится первая запись"
                          : "Запись изменилась под тем же временем: " + row.raw.substr(0, 16) + "…",
                 b.readId,
                 "",
                 {},
                 {}};
    if (auto a = s.AddFinding(f); !a) return a.error();
  }
  if (auto g = MarkNeverWritten(s, model, r.result, rows, p.serial, b.readId); !g) return g;
  if (auto e = s.PutEvents(rows.events); !e) return e.error();
  // The newest hourly (else daily) record for the state message.
  for (const ArchiveKind kind : {ArchiveKind::Daily, ArchiveKind::Hourly})
    for (const auto& row : rows.records)
      if (row.archive == kind && row.valid &&
          (!pub.newest || pub.newest->archive != kind || row.period > pub.newest->period))
        pub.newest = row;
  std::array<std::vector<RecordRow>, 3> byArchive;
  for (const auto& row : rows.records)
    if (row.valid) byArchive[static_cast<std::size_t>(row.archive)].push_back(row);
  for (auto& records : byArchive)
    for (auto& f : CheckRecords(std::move(records)))
      if (auto a = s.AddFinding(f); !a) return a.error();
  if (auto f = CheckClock(model, now, at.cfg.collector.clockLimitS)) {
    f->readId = b.readId;
    if (auto a = s.AddFinding(*f); !a) return a.error();
  }
  const bool done = p.outcome == statvtk::ReadOutcome::Done;
  pub.instrument = {p.serial,    modelName, at.in.name, at.line.name, at.in.address, UtcNow(), done ? UtcText(now) : "",
                    at.in.everyS};
  return s.UpsertInstrument(pub.instrument);
}

// The statistics file of the read (KeepFiles=), before its rows are stored:
// a read that was to leave a file and could not is no done read.
DownloadFile WriteReadFile(const PassPlace& at, const InstrumentRead& r, InstrumentPass& p) {
  const KeepFiles keep = at.cfg.collector.keepFiles;
  if (keep == KeepFiles::None || !r.result.data) return {};
  // The newest file stands for the instrument's state: never a partial image.
  if (keep == KeepFiles::Newest && !r.Done()) return {};
  DownloadFile file = WriteDownload(*r.result.data, at.home, r.ended);
  if (!file.written && r.Done()) {
    p.outcome = statvtk::ReadOutcome::Failed;
    p.error = "файл статистики: " + (file.error ? file.error->reason : file.path.string());
  }
  return file;
}

Result<void> Store(RecordStore& s, const PassPlace& at, const Before& b, const InstrumentRead& r,
                   const DownloadFile& file, InstrumentPass& p) {
  StoreTransaction t(s);
  if (!t.Begun()) return t.Begun().error();
  if (at.fence) {
    auto held = s.RenewLease(at.line.name, at.fence->origin, at.fence->epoch, at.fence->ttlS);
    if (!held) return held.error();
    if (!*held) {
      p.leaseLost = true;
      return MakeError(ErrorCode::StoreBusy, "линия " + at.line.name + " теперь у другого сборщика (эпоха аренды " +
                                                 std::to_string(at.fence->epoch) + " прошла)");
    }
  }
  ReadPublication pub;
  std::unique_ptr<StatModel> model = r.result.data ? MakeStatModel(*r.result.data) : nullptr;
  if (model) {
    p.serial = StoredSerial(*model);
    if (auto put = PutProduct(s, at, b, r, *model, p, pub); !put) return put;
  }
  ReadFinish f;
  f.serial = p.serial;
  f.endedUtc = UtcText(std::chrono::system_clock::to_time_t(r.ended));
  f.outcome = StoredOutcome(p.outcome);
  f.error = p.error;
  f.requests = p.requests;
  f.file = file.written ? file.path.string() : std::string();
  f.recovered = p.recovered;
  f.lost = p.lost;
  f.added = p.added;
  f.conflicts = p.conflicts + p.repeated;
  if (auto fr = s.FinishRead(b.readId, f); !fr) return fr;
  bool discovery = false;
  if (at.outbox) {
    pub.read = {b.readId, p.serial,   at.in.name, at.line.name, b.startedUtc, f.endedUtc, b.mode,      f.outcome,
                f.error,  f.requests, f.file,     f.recovered,  f.lost,       f.added,    f.conflicts, ""};
    if (pub.instrument.serial.empty()) pub.instrument = {p.serial, "", at.in.name, at.line.name, 0, "", "", {}};
    if (f.outcome == store::ReadOutcome::Done) pub.lastGoodReadUtc = f.endedUtc;
    auto queued = at.outbox->Enqueue(s, std::move(pub));
    if (!queued) return queued.error();
    discovery = *queued;
  }
  if (auto c = t.Commit(); !c) return c;
  // Only a committed read's discovery is sent: the mark follows the commit.
  if (discovery) at.outbox->Discovered(p.serial);
  return {};
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

// A read whose rows did not go in: it stored nothing, whatever it counted.
void NothingStored(InstrumentPass& p, const std::string& why) {
  p.outcome = statvtk::ReadOutcome::Failed;
  p.error = why;
  p.stored = false;
  p.added = p.conflicts = p.repeated = p.recovered = p.lost = p.notRecorded = 0;
}

}  // namespace

std::string PassText(const InstrumentPass& p) {
  std::string s = "Прибор " + p.name + (p.serial.empty() ? "" : " (" + p.serial + ")") + ": ";
  s += p.outcome == statvtk::ReadOutcome::Done      ? "прочитан"
       : p.outcome == statvtk::ReadOutcome::Stopped ? "остановлен"
                                                    : "ошибка";
  if (!p.error.empty()) s += " — " + p.error;
  s += "; режим " + std::string(ReadModeName(p.mode)) + ", запросов " + std::to_string(p.requests);
  if (!p.stored) return s + "; в базу данных ничего не записано";
  s += ", новых записей " + std::to_string(p.added);
  if (p.recovered) s += ", восстановлено " + std::to_string(p.recovered);
  if (p.lost) s += ", потеряно " + std::to_string(p.lost);
  if (p.notRecorded) s += ", не записаны прибором " + std::to_string(p.notRecorded);
  if (p.conflicts) s += ", конфликтов " + std::to_string(p.conflicts);
  if (p.repeated) s += ", повторённых периодов (часы переведены назад) " + std::to_string(p.repeated);
  return s;
}

std::vector<InstrumentPass> CollectLine(const Config& cfg, const LineConfig& line,
                                        const std::vector<const InstrumentConfig*>& due,
                                        const std::filesystem::path& home, StoreWriter& writer, std::atomic<bool>& stop,
                                        const PassLog& log, const LineHooks& hooks, const LeaseFence* fence) {
  std::vector<InstrumentPass> passes;
  // A store deleted under the collector: nothing is read into it.
  if (const auto lost = writer.Lost()) {
    log("ВНИМАНИЕ: " + *lost + "; приборы линии не читаются, пока statvtk-collect не будет перезапущен");
    for (const InstrumentConfig* in : due) {
      passes.push_back({in->name, "", statvtk::ReadOutcome::Failed, "база данных: " + *lost});
      passes.back().stored = false;
    }
    return passes;
  }
  std::vector<Before> befores;
  std::vector<const InstrumentConfig*> read;
  std::vector<DuePlan> plans;
  for (const InstrumentConfig* in : due) {
    auto b = Guarded([&] { return writer.With([&](RecordStore& s) { return Open(s, cfg, line, *in); }); });
    if (!StoreAnswers(writer, b, log)) continue;  // failed: its next try after the retry pause
    passes.push_back({in->name, b->serial, statvtk::ReadOutcome::Failed, {}, 0, 0, 0, 0, 0, b->mode});
    plans.push_back(std::move(b->plan));
    read.push_back(in);
    befores.push_back(std::move(*b));
  }
  // Nothing to read (the store failed every one): the line is not opened, a
  // modem not dialed.
  if (plans.empty()) return passes;
  auto results =
      Guarded([&] { return Result<std::vector<InstrumentRead>>(ReadDue(line.spec, plans, home, stop, log, hooks)); });
  plans.clear();  // the bases are no longer needed
  for (std::size_t i = 0; i < passes.size(); ++i) {
    InstrumentPass& p = passes[i];
    Result<void> stored = results ? Result<void>() : Result<void>(results.error());
    DownloadFile file;
    if (results) {
      const InstrumentRead& r = (*results)[i];
      p.outcome = r.result.outcome;
      p.error = r.error;
      p.requests = r.result.requests;
      const PassPlace at{cfg, line, *read[i], home, writer.Outbox(), fence};
      file = WriteReadFile(at, r, p);
      stored = Guarded([&] {
        return writer.With([&](RecordStore& s) -> Result<void> {
          // Checked at the last moment: a commit into a deleted file reports success.
          if (const auto lost = writer.Lost()) return MakeError(ErrorCode::StoreUnreachable, *lost);
          return Store(s, at, befores[i], r, file, p);
        });
      });
    }
    if (stored && file.written) {
      log("Статистика записана в файл " + file.path.string());
      if (cfg.collector.keepFiles == KeepFiles::Newest)
        if (const auto e = RemoveOtherFiles(file.path.parent_path(), *(*results)[i].result.data, file.path))
          log("Не удалось удалить прежний файл статистики: " + e->reason);
    }
    // Whatever went wrong, the read row is finished, as failed, with the reason.
    if (!stored) {
      if (file.written) {
        std::error_code ec;
        std::filesystem::remove(file.path, ec);  // the store does not have it: neither does Data/
      }
      const bool lost = writer.Lost().has_value();
      NothingStored(p, (p.leaseLost ? "аренда линии потеряна (lease lost): "
                        : results   ? "база данных: "
                                    : "внутренняя ошибка: ") +
                           stored.error().reason);
      if (lost) log("ВНИМАНИЕ: " + stored.error().reason);
      else FinishFailed(writer, befores[i].readId, p);
    }
    log(PassText(p));
  }
  TrimHeadersDaily(writer, log);
  return passes;
}

}  // namespace statvtk::collect
