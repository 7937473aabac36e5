// statvtk-collect once and run: the lines in parallel, one thread each, the
// store written through one writer.
#include <chrono>
#include <map>
#include <thread>

#include "collect/collect_log.hpp"
#include "collect/collect_pass.hpp"
#include "collect/commands.hpp"
#include "collect/fleet_services.hpp"
#include "collect/schedule.hpp"
#include "collect/service_notify.hpp"
#include "collect/stop_request.hpp"

namespace statvtk::collect {

namespace {

const char* kOnceAbout = R"(Reads every instrument of collect.ini once, now, each line on its own thread,
into the store. Exit status: 0 all read, 1 any failed, 2 bad configuration.)";

const char* kRunAbout = R"(The service: reads every instrument of collect.ini when it is due, serves the
status page and the REST API (Http=) and publishes to MQTT (Mqtt=), until
SIGTERM or SIGINT.)";

// Each line's stop flag follows the process-wide request.
class LineStop {
 public:
  std::atomic<bool>& Flag() { return flag_; }
  void Follow(const std::atomic<bool>& request) {
    if (request.load()) flag_.store(true);
  }

 private:
  std::atomic<bool> flag_{false};
};

std::map<std::string, std::vector<const InstrumentConfig*>> ByLine(const Config& cfg) {
  std::map<std::string, std::vector<const InstrumentConfig*>> out;
  for (const auto& in : cfg.instruments) out[cfg.Line(in.line)->name].push_back(&in);
  return out;
}

// The instrument's schedule on its line thread.
struct Due {
  const InstrumentConfig* in;
  std::time_t at = 0;
  int failures = 0;
};

void ServeLine(const Config& cfg, const LineConfig& line, std::vector<const InstrumentConfig*> instruments,
               const Common& c, StoreWriter& writer, CollectLog& log, const std::atomic<bool>& request,
               FleetFigures& figures) {
  LineStop stop;
  std::vector<Due> due;
  const std::time_t start = std::time(nullptr);
  for (const auto* in : instruments) due.push_back({in, start, 0});  // each read once at the start
  while (!request.load()) {
    const std::time_t now = std::time(nullptr);
    // Instruments marked silent come last: their time-outs do not hold up
    // the ones that answer.
    std::vector<const InstrumentConfig*> now_due;
    for (bool silent : {false, true})
      for (auto& d : due)
        if (d.at <= now && (d.failures >= cfg.collector.silentAfter) == silent) now_due.push_back(d.in);
    if (now_due.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      continue;
    }
    // The stop request is followed by a watcher while the line reads.
    std::atomic<bool> reading{true};
    std::jthread watcher([&] {
      while (reading.load()) {
        stop.Follow(request);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
    const auto passes = CollectLine(cfg, line, now_due, c.home, writer, stop.Flag(),
                                    [&](const std::string& t) { log.Line("[" + line.name + "] " + t); });
    reading.store(false);
    watcher.join();
    const std::time_t after = std::time(nullptr);
    for (const auto& p : passes)
      for (auto& d : due) {
        if (d.in->name != p.name) continue;
        if (p.outcome == InstrumentOutcome::Done) {
          d.failures = 0;
          d.at = NextDue(*d.in, after);
        } else if (p.outcome == InstrumentOutcome::Failed) {
          ++d.failures;
          d.at = after + RetryPause(cfg.collector, *d.in, d.failures);
        }
        if (p.outcome != InstrumentOutcome::Stopped)
          figures.Read(line.name, p.outcome == InstrumentOutcome::Done, p.requests);
        figures.Due(d.in->name, d.at);
      }
  }
}

}  // namespace

int RunOnce(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  const auto app = CommandApp("once", kOnceAbout, given);
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err);
  if (!store) return kExitFailed;
  StoreWriter writer(*store);
  CollectLog log(err, c.home);
  FleetFigures figures(*cfg);
  auto services = FleetServices::Start(*cfg, c.home, figures, false, [&](const std::string& t) { log.Line(t); });
  if (!services) {
    err << "statvtk-collect: " << services.error().reason << "\n";
    return kExitConfig;
  }
  writer.SetOutbox((*services)->Outbox());
  std::atomic<bool>& request = StopRequest();
  std::atomic<bool> failed{false};
  {
    std::vector<std::jthread> lines;
    for (auto& [name, instruments] : ByLine(*cfg)) {
      const LineConfig* line = cfg->Line(name);
      lines.emplace_back([&, line, list = instruments] {
        LineStop stop;
        std::atomic<bool> reading{true};
        std::jthread watcher([&] {
          while (reading.load()) {
            stop.Follow(request);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        });
        const auto passes = CollectLine(*cfg, *line, list, c.home, writer, stop.Flag(),
                                        [&](const std::string& t) { log.Line("[" + line->name + "] " + t); });
        reading.store(false);
        for (const auto& p : passes)
          if (p.outcome != InstrumentOutcome::Done) failed.store(true);
        if (passes.size() != list.size()) failed.store(true);
      });
    }
  }
  (*services)->Drain(std::chrono::seconds(10));  // what the broker did not take waits for the next run
  return failed.load() ? kExitFailed : kExitOk;
}

int RunService(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  const auto app = CommandApp("run", kRunAbout, given);
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err);
  if (!store) return kExitFailed;
  StoreWriter writer(*store);
  CollectLog log(err, c.home);
  FleetFigures figures(*cfg);
  auto services = FleetServices::Start(*cfg, c.home, figures, true, [&](const std::string& t) { log.Line(t); });
  if (!services) {
    err << "statvtk-collect: " << services.error().reason << "\n";
    return kExitConfig;
  }
  writer.SetOutbox((*services)->Outbox());
  std::atomic<bool>& request = StopRequest();
  log.Line("statvtk-collect: " + std::to_string(cfg->instruments.size()) + " instruments on " +
           std::to_string(cfg->lines.size()) + " lines");
  {
    std::vector<std::jthread> lines;
    for (auto& [name, instruments] : ByLine(*cfg)) {
      const LineConfig* line = cfg->Line(name);
      lines.emplace_back(
          [&, line, list = instruments] { ServeLine(*cfg, *line, list, c, writer, log, request, figures); });
    }
    NotifyReady();
    std::chrono::steady_clock::time_point heard{};
    while (!request.load()) {
      NotifyWatchdog(heard);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    NotifyStopping();
  }
  log.Line("statvtk-collect: stopped");
  return kExitOk;
}

}  // namespace statvtk::collect
