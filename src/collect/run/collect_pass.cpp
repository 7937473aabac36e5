#include "collect/run/collect_pass.hpp"

#include <algorithm>
#include <ctime>

#include "base/local_time.hpp"
#include "base/program_home.hpp"
#include "collect/config/identity.hpp"
#include "collect/image/report_image.hpp"
#include "collect/image/store_image.hpp"
#include "collect/mqtt/outbox.hpp"
#include "collect/run/fault_barrier.hpp"
#include "collect/run/header_retention.hpp"
#include "collect/run/own_situations.hpp"
#include "collect/run/situation_check.hpp"
#include "collect/run/stat_files.hpp"
#include "collect/run/store_product.hpp"
#include "front/download_file.hpp"
#include "stats/device_type.hpp"
#include "store/image_rows.hpp"
#include "store/periods.hpp"
#include "store/record_checks.hpp"

namespace statvtk::collect {

namespace {

using namespace store;

struct Before {
  std::int64_t readId = 0;
  std::string serial;
  std::string startedUtc;
  ReadMode mode = ReadMode::Full;
  std::optional<std::time_t> previousStart;     // the previous attempt of this instrument
  std::optional<ArchivePointers> basePointers;  // those of the image the read starts from
  DuePlan plan;
};

bool TakesWholeMemory(DeviceType type) { return type == DeviceType::dtVTK0812; }

bool KindAsked(const InstrumentConfig& in, ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? in.kinds.hourly : kind == ArchiveKind::Daily ? in.kinds.daily : in.kinds.monthly;
}

// The base of a new-records read: the instrument's memory as the store last
// saw it, slot by slot; a read that still lacks slots of it is a backfill.
Result<void> PlanBase(RecordStore& s, const InstrumentConfig& in, Before& b) {
  auto image = NewestImage(s, b.serial);
  if (!image) return image.error();
  // A model whose read takes the whole memory every time (VTK-08.12) has
  // no new-records read: each of its reads is a full one.
  if (!*image || TakesWholeMemory((*image)->data.type)) return {};
  b.basePointers = PointersOf((*image)->data.type, (*image)->data.header);
  b.plan.kind = DueKind::New;
  b.mode = ReadMode::New;
  for (const ArchiveKind kind : kArchiveKinds) {
    const auto& known = (*image)->known[static_cast<std::size_t>(kind)];
    if (KindAsked(in, kind) && std::find(known.begin(), known.end(), false) != known.end()) b.mode = ReadMode::Backfill;
  }
  b.plan.baseKnown = std::move((*image)->known);
  b.plan.base = std::move((*image)->data);
  return {};
}

// The read's plan: a full read the first time; after that what is new since
// the newest image the store holds, whatever Data/ holds.
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
  // The base is the newest image of the meter the reads saw, a read cut off
  // (a dropped call) included: the next asks only for what it still lacks.
  auto prior = s.Reads({"", in.name, 20, false, line.name, origin});
  if (!prior) return prior.error();
  if (!prior->empty()) b.previousStart = ParseUtc(prior->front().startedUtc);
  const auto known = std::find_if(prior->begin(), prior->end(), [](const ReadRow& r) { return !r.serial.empty(); });
  if (known != prior->end()) {
    b.serial = known->serial;
    if (auto based = PlanBase(s, in, b); !based) return based.error();
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

// What a pass writes with: the configuration, the line, the home and the outbox.
struct PassPlace {
  const Config& cfg;
  const LineConfig& line;
  const InstrumentConfig& in;
  const std::filesystem::path& home;
  MqttOutbox* outbox;
  const LeaseFence* fence;  // a shared line's
};

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
    const ProductPlace place{at.cfg, at.line, at.in, at.outbox != nullptr};
    if (auto put = PutProduct(s, place, {b.readId, b.previousStart, b.basePointers}, r, *model, p, pub); !put)
      return put;
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
    if (auto text = writer.Outage().Failed(b.error().reason)) log(*text, {.event = LogEvent::StoreDown});
    return false;
  }
  if (auto text = writer.Outage().Answered()) log(*text, {.event = LogEvent::StoreBack});
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

// What the collector sees itself in a stored read: another serial than the
// one the store knew at this instrument's place, the meter's clock.
void NoteOwnSituations(const InstrumentRead& r, const std::string& knownSerial, const InstrumentConfig& in,
                       const InstrumentPass& p, StoreWriter& writer, const PassLog& log) {
  if (!knownSerial.empty() && knownSerial != p.serial) {
    log("Прибор " + in.name + ": по его адресу отвечает другой прибор: " + knownSerial + " → " + p.serial);
    NoteMeterReplaced(writer, knownSerial, p.serial, std::chrono::system_clock::to_time_t(r.ended), log);
  }
  if (!r.result.data) return;
  // The header is the read's first request: its clock against the PC's as the read began.
  const auto model = MakeStatModel(*r.result.data);
  if (model)
    CheckClockDrift(writer, p.serial, *model, std::chrono::system_clock::to_time_t(r.started), in.clockDriftS, log);
}

// The machine word of a read's summary line.
LogEvent PassEvent(const InstrumentPass& p) {
  return p.outcome == statvtk::ReadOutcome::Done      ? LogEvent::ReadOk
         : p.outcome == statvtk::ReadOutcome::Stopped ? LogEvent::ReadStopped
                                                      : LogEvent::ReadFailed;
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
    plans.back().fields = {.instrument = in->name, .serial = b->serial};
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
    if (stored && results && !p.serial.empty())
      NoteOwnSituations((*results)[i], befores[i].serial, *read[i], p, writer, log);
    // The situations follow the records the read stored (never its outcome).
    if (stored && p.added > 0 && !p.serial.empty()) {
      const InstrumentRead& r = (*results)[i];
      CheckSituations(writer, p.serial, read[i]->rules, r.Done() && r.result.data ? &*r.result.data : nullptr, log);
    }
    if (stored && file.written) {
      log("Статистика записана в файл " + file.path.string(), {.instrument = p.name, .serial = p.serial});
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
      NothingStored(p, (p.leaseLost ? "аренда линии потеряна: "
                        : results   ? "база данных: "
                                    : "внутренняя ошибка: ") +
                           stored.error().reason);
      if (lost) log("ВНИМАНИЕ: " + stored.error().reason);
      else FinishFailed(writer, befores[i].readId, p);
    }
    log(PassText(p), {.instrument = p.name, .serial = p.serial, .event = PassEvent(p)});
  }
  TrimHeadersDaily(writer, log);
  return passes;
}

}  // namespace statvtk::collect
