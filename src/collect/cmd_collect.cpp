// statvtk-collect once and run: the lines in parallel (once: one thread each;
// run: a bounded pool of workers), the store written through one writer.
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "collect/commands.hpp"
#include "collect/config/identity.hpp"
#include "collect/dial/call_in_lines.hpp"
#include "collect/dial/modem_pool.hpp"
#include "collect/dial/modem_pools.hpp"
#include "collect/http/exposure.hpp"
#include "collect/run/collect_log.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/fleet_services.hpp"
#include "collect/run/instance_lock.hpp"
#include "collect/run/lease_keeper.hpp"
#include "collect/run/line_pool.hpp"
#include "collect/run/line_schedule.hpp"
#include "collect/run/service_notify.hpp"
#include "collect/run/stop_request.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

const char* kOnceAbout = R"(Reads every instrument of collect.ini once, now, each line on its own thread,
into the store. Exit status: 0 all read, 1 any failed, 2 bad configuration.)";

const char* kRunAbout = R"(The service: reads every instrument of collect.ini when it is due, serves the
status page and the REST API (Http=) and publishes to MQTT (Mqtt=), until
SIGTERM or SIGINT. SIGHUP reads collect.ini again: lines, instruments, modem
pools and call-in listeners added, changed or removed take effect at once (a
read in progress ends first); a file with errors is refused and the running
configuration stays.)";

// `once` on a shared line: its lease taken for the read and given back after;
// a line another collector holds is left to it. False: the read failed.
template <class Run>
bool ReadSharedOnce(Run& f, const LineConfig& line, const std::vector<const InstrumentConfig*>& list,
                    const std::filesystem::path& home) {
  const PassLog log = f.LineLog(line);
  const std::string origin = OriginOf(f.cfg.collector.origin);
  const std::int64_t ttl = f.cfg.collector.leaseTtlS;
  const auto epoch = f.writer.With([&](store::RecordStore& s) { return s.TakeLease(line.name, origin, ttl); });
  if (!epoch) {
    log("аренда линии не взята: " + epoch.error().reason, {.event = LogEvent::LeaseFailed});
    return false;
  }
  if (!*epoch) {
    std::string holder = "?";
    if (const auto leases = f.writer.With([](store::RecordStore& s) { return s.Leases(); }))
      for (const auto& l : *leases)
        if (l.line == line.name) holder = l.origin + " (аренда до " + l.untilUtc + ")";
    log("линию читает сборщик " + holder + ": пропущена", {.event = LogEvent::LineSkipped});
    return true;
  }
  const LeaseFence fence{origin, **epoch, ttl};
  std::vector<InstrumentPass> passes;
  if (auto leases = OpenLeaseStore(f.cfg.collector, home); !leases) {
    log("аренда линии не продлевается: " + leases.error().reason, {.event = LogEvent::LeaseFailed});
  } else {
    const LeaseRenewal renewal(**leases, line.name, fence, log);
    passes = CollectLine(f.cfg, line, list, home, f.writer, StopRequest(), log, {}, &fence);
  }
  if (const auto r = f.writer.With([&](store::RecordStore& s) { return s.ReleaseLease(line.name, origin, **epoch); });
      !r)
    log("аренда линии не отдана: " + r.error().reason, {.event = LogEvent::LeaseFailed});
  return passes.size() == list.size() && std::all_of(passes.begin(), passes.end(), [](const InstrumentPass& p) {
           return p.outcome == ReadOutcome::Done;
         });
}

// What both commands run over: the configuration, the store through its
// one writer, the log and the figures.
struct FleetRun {
  const Config& cfg;
  StoreWriter& writer;
  CollectLog& log;
  FleetFigures& figures;
  PassLog LineLog(const LineConfig& line) { return log.To().OfLine(line.name); }
  PoolContext Pools(std::atomic<bool>& stop) {
    PoolContext p{cfg, home, writer, log.To(), stop, figures.Modems(), &figures};
    p.modemStep = DialStepOfEnvironment();
    return p;
  }
  IncomingContext Incoming(std::atomic<bool>& stop) { return {cfg, home, writer, log.To(), stop, &figures}; }
  std::filesystem::path home;
};

// Sets up a FleetRun (`serving`: checked for the HTTP page and API too) and
// runs `lines` over it; the exit status.
template <class Lines>
int WithFleet(const Common& c, bool serving, std::ostream& err, Lines&& lines) {
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  const ExposureCheck exposure = CheckExposure(*cfg, c.home, serving);
  for (const auto& r : exposure.refusals) err << r << "\n";
  if (!exposure.refusals.empty()) return kExitConfig;
  if (cfg->instruments.empty()) {
    err << c.configFile.string()
        << ": нет ни одной секции [Instrument NAME]: читать нечего (statvtk-collect scan-into LINE добавит приборы, "
           "которые отвечают на линии)\n";
    return kExitConfig;
  }
  // One collector per home: a second one would read every instrument twice
  // and fight the first for its serial ports.
  auto lock = InstanceLock::Take(c.home);
  if (!lock) {
    err << "statvtk-collect: " << lock.error().reason << "\n";
    return lock.error().code == InstanceLock::kHeld ? kExitConfig : kExitFailed;
  }
  auto store = OpenStore(*cfg, c, err);
  if (!store) return kExitFailed;
  StoreWriter writer(*store);
  if (store->Backend() == "sqlite") {
    std::filesystem::path file = cfg->collector.database;
    writer.Watch(file.is_relative() ? c.home / file : file);
  }
  CollectLog log(err, c.home, cfg->collector.logDays, OriginOf(cfg->collector.origin), SystemJournal());
  for (const auto& w : exposure.warnings) log.Line("statvtk-collect: " + w, {.event = LogEvent::ConfigWarning});
  FleetFigures figures(*cfg);
  figures.CountLogFailures([&log] { return log.WriteFailures(); });
  figures.SetAck([&writer](std::int64_t id, const std::string& by) {
    return writer.With([&](store::RecordStore& s) { return s.AckFinding(id, by, store::UtcNow()); });
  });
  figures.SetSituationAck([&writer](std::int64_t id, const std::string& by) {
    return writer.With([&](store::RecordStore& s) { return s.AckSituation(id, by, store::UtcNow()); });
  });
  FleetRun run{*cfg, writer, log, figures, c.home};
  return lines(run);
}

// once and run: only --home and --config, then `lines` over a FleetRun of
// that home (WithFleet); the exit status.
template <class Lines>
int FleetCommand(const std::string& name, const std::string& about, bool serving, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err, Lines&& lines) {
  CommonArgs given;
  const auto app = CommandApp(name, about, given);
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const Common c = given.Resolved();
  return WithFleet(c, serving, err, [&](FleetRun& f) { return lines(f, c); });
}

using ServeFn = std::function<void(const LineConfig&, const std::vector<const InstrumentConfig*>&)>;

// One thread per line, each running `serve` over the line's instruments;
// `meanwhile` runs on the calling thread; all are joined before it returns.
void OnEachLine(const Config& cfg, const ServeFn& serve, const std::function<void()>& meanwhile = {}) {
  std::vector<std::jthread> lines;
  for (auto& [name, instruments] : ByLine(cfg))
    lines.emplace_back([&serve, line = cfg.Line(name), list = instruments] { serve(*line, list); });
  if (meanwhile) meanwhile();
}

// collect.ini read again on SIGHUP, checked whole: the configuration to run,
// or null with the reason in the log (the running one stays). The
// [Collector] section is read at the start only.
std::shared_ptr<const Config> Reloaded(const Common& c, const Config& running, CollectLog& log) {
  ConfigResult r = LoadConfig(c.configFile);
  const std::string refused =
      "statvtk-collect: " + c.configFile.string() + " не принят, работает прежняя конфигурация: ";
  if (!r.config) {
    std::istringstream problems(r.Text(c.configFile));
    for (std::string line; std::getline(problems, line);)
      if (!line.empty()) log.Line(refused + line, {.event = LogEvent::ConfigRefused});
    return nullptr;
  }
  if (r.config->instruments.empty()) {
    log.Line(refused + "нет ни одной секции [Instrument NAME]", {.event = LogEvent::ConfigRefused});
    return nullptr;
  }
  r.config->collector = running.collector;
  return std::make_shared<const Config>(std::move(*r.config));
}

// What `run` runs over: the line pool, the modem pools, the call-in listeners.
struct Running {
  LinePool& lines;
  ModemPools& pools;
  CallInLines& callIn;
};

std::string Names(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& n : v) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? std::string("нет") : out;
}

// The lines, instruments, modem pools and call-in listeners of `cfg` run
// from now on: each is added, changed or retired here and nowhere else.
void RunLines(const Running& run, std::shared_ptr<const Config> cfg, FleetRun& f, bool reload) {
  f.figures.Configure(*cfg);
  const LinePool::Changes changes = run.lines.Apply(cfg);
  const ModemPools::Changes pools = run.pools.Apply(cfg);
  if (!reload) return;
  const CallInLines::Changes callIn = run.callIn.Apply(cfg);
  f.log.Line("statvtk-collect: collect.ini прочитан заново: приборов " + std::to_string(cfg->instruments.size()) +
                 "; линии добавлены: " + Names(changes.added) + "; изменены: " + Names(changes.changed) +
                 "; удалены: " + Names(changes.removed),
             {.event = LogEvent::Reload});
  if (pools.added.size() + pools.changed.size() + pools.removed.size() + callIn.added.size() + callIn.changed.size() +
          callIn.removed.size() >
      0)
    f.log.Line("statvtk-collect: collect.ini прочитан заново: пулы модемов добавлены: " + Names(pools.added) +
                   "; изменены: " + Names(pools.changed) + "; удалены: " + Names(pools.removed) +
                   "; приём вызовов добавлен: " + Names(callIn.added) + "; изменён: " + Names(callIn.changed) +
                   "; удалён: " + Names(callIn.removed),
               {.event = LogEvent::Reload});
}

// The services over the run (`serving`: HTTP and the alerts too), each
// read's MQTT messages handed to the writer; null with the reason on err.
std::unique_ptr<FleetServices> StartServices(FleetRun& f, bool serving, std::ostream& err) {
  auto services = FleetServices::Start(f.cfg, f.home, f.figures, serving, f.log.To());
  if (!services) {
    err << "statvtk-collect: " << services.error().reason << "\n";
    return nullptr;
  }
  f.writer.SetOutbox((*services)->Outbox());
  return std::move(*services);
}

// What `run`'s line pool does with a line it took.
LineWork WorkOf(FleetRun& f, const Common& c) {
  LineWork work;
  work.schedule = [&f](const Config& cfg, const LineConfig&, const std::vector<const InstrumentConfig*>& list) {
    return LineSchedule(cfg, list, f.writer, &f.figures);
  };
  work.read = [&f, &c](const Config& cfg, const LineConfig& line, std::vector<Due>& due, std::atomic<bool>& stop,
                       std::int64_t epoch) {
    return ReadDueNow(cfg, line, due, c.home, f.writer, f.LineLog(line), stop, epoch, f.figures);
  };
  return work;
}

// Until the stop request: the watchdog fed, collect.ini read again on SIGHUP.
void ServeUntilStop(const Running& run, std::shared_ptr<const Config>& running, FleetRun& f, const Common& c) {
  std::atomic<bool>& request = StopRequest();
  std::atomic<bool>& reload = ReloadRequest();
  std::chrono::steady_clock::time_point heard{};
  while (!request.load()) {
    NotifyWatchdog(heard);
    if (reload.exchange(false))
      if (auto next = Reloaded(c, *running, f.log)) RunLines(run, running = next, f, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace

int RunOnce(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return FleetCommand("once", kOnceAbout, false, args, out, err, [&](FleetRun& f, const Common& c) {
    const auto services = StartServices(f, false, err);
    if (!services) return kExitConfig;
    std::atomic<bool> failed{false};
    for (const auto& line : f.cfg.lines)
      if (line.mode == LineMode::Incoming)
        f.log.Line("[" + line.name + "] Mode=incoming: линию читает служба (run), пока её модем на связи",
                   {.line = line.name, .event = LogEvent::LineSkipped});
    const PoolContext pools = f.Pools(StopRequest());
    OnEachLine(
        f.cfg,
        [&](const LineConfig& line, const std::vector<const InstrumentConfig*>& list) {
          if (line.shared) {
            if (!ReadSharedOnce(f, line, list, c.home)) failed.store(true);
            return;
          }
          const auto passes = CollectLine(f.cfg, line, list, c.home, f.writer, StopRequest(), f.LineLog(line));
          for (const auto& p : passes)
            if (p.outcome != ReadOutcome::Done) failed.store(true);
          if (passes.size() != list.size()) failed.store(true);
        },
        [&] {
          if (!RunPools(pools, true)) failed.store(true);
        });
    services->Drain(std::chrono::seconds(10));  // what the broker did not take waits for the next run
    return failed.load() ? kExitFailed : kExitOk;
  });
}

// `run`'s order of start and stop, kept here and nowhere else (docs/collect.md
// "Start and stop" and "How the collector is built" say the same).
//
// Start:
//   1. collect.ini checked, the home's lock, the store and its writer, the
//      log, the figures (WithFleet);
//   2. the call-in listeners bound, the figures told where their state is:
//      before any thread that reads the live state starts;
//   3. the services that read it: the MQTT publisher, HTTP, the alerts;
//   4. the leases' own connection and their keeper, the line pool with its
//      lines, the modem pools' threads, the call-in listeners' threads;
//   5. systemd told "ready".
// Stop (SIGTERM or SIGINT):
//   1. every stop flag set: the line pool's lines, the modem pools and the
//      call-in listeners (and the stop request), the publisher, the alerts;
//   2. the reads end: the line pool's workers, the modem pools' threads and
//      the call-in listeners' threads joined;
//   3. the leases given up (renewed until the reads ended);
//   4. the alerts' and the publisher's threads joined (the publisher says
//      "offline");
//   5. HTTP stopped, the state it shows still there;
//   6. the state destroyed: the call-in lines, the figures, the store.
int RunService(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return FleetCommand("run", kRunAbout, true, args, out, err, [&](FleetRun& f, const Common& c) {
    std::atomic<bool>& request = StopRequest();
    ReloadRequest().store(false);  // from now on SIGHUP reads collect.ini again
    f.log.Line("statvtk-collect: приборов " + std::to_string(f.cfg.instruments.size()) + ", линий " +
                   std::to_string(f.cfg.lines.size()),
               {.event = LogEvent::Start});
    auto running = std::make_shared<const Config>(f.cfg);
    // Start 2.
    CallInLines callIn(f.Incoming(request), request);
    if (const auto opened = callIn.Open(running); !opened) {
      err << "statvtk-collect: " << opened.error().reason << "\n";
      return kExitConfig;
    }
    f.figures.DescribeIncoming([p = &callIn](const std::string& l) { return p->Describe(l); });
    // Start 3.
    const auto services = StartServices(f, true, err);
    if (!services) return kExitConfig;
    // Start 4.
    auto leases = OpenLeaseStore(f.cfg.collector, c.home);
    if (!leases) {
      err << "statvtk-collect: " << leases.error().reason << "\n";
      return kExitFailed;
    }
    LeaseKeeper keeper(std::move(*leases), f.cfg.collector, f.log.To());
    LinePool lines(WorkOf(f, c), request);
    ModemPools pools(f.Pools(request));
    const Running run{lines, pools, callIn};
    RunLines(run, running, f, false);
    callIn.Serve();
    keeper.Start(lines);
    // Start 5.
    NotifyReady();
    ServeUntilStop(run, running, f, c);
    NotifyStopping();
    // Stop 1.
    request.store(true);
    lines.Stop();
    pools.Stop();
    callIn.Stop();
    services->RequestStop();
    // Stop 2.
    lines.Join();
    pools.Join();
    callIn.Join();
    f.writer.SetOutbox(nullptr);
    // Stop 3.
    keeper.Release();
    // Stop 4 and 5.
    services->Stop();
    f.log.Line("statvtk-collect: остановлен", {.event = LogEvent::Stop});
    return kExitOk;  // Stop 6, as this scope and WithFleet's end.
  });
}

}  // namespace statvtk::collect
