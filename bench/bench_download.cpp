// Full statistics reads of every model (VTK-08.12, VTK-08.14 C, VTK-08.14 CM,
// LDN-08) from the simulated instrument over loopback TCP: paced at 57600
// bit/s with 2 ms reply latency, and unpaced. For each read it prints the
// exchanges, the wall time, the line's own time (bytes x 10 / baud + latency
// per exchange), their ratio and the reading thread's CPU share. Prints
// figures; not a test.
// Then, for the models with archive pointers, a read of only what is new one
// day after a full read, against a full read at that moment, at 9600 bit/s
// with modem-like reply latency.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "base/progress_observer.hpp"
#include "front/part_sink.hpp"
#include "reading/read_thread.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"

namespace {

using namespace statvtk;

class QuietObserver : public ReadObserver {
 public:
  void LogLine(const std::string&) override {}
  void DeliverStatistics(const StatData&, const std::string&, bool) override { delivered = true; }
  bool delivered = false;
};

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Figures {
  bool ok = false;
  double wall = 0, cpu = 0;
  std::size_t exchanges = 0;
  std::size_t bytes = 0;  // sent and received on the line
};

struct ReadKind {
  bool allKinds = false;  // hourly, daily, monthly and events
  bool readNew = false;   // only what is new since `base`
  std::filesystem::path base;
  std::uint32_t advanceHours = 0;  // time passing before the read
};

Figures Read(DeviceType model, std::uint32_t baud, std::uint32_t latencyMs, const std::filesystem::path& home,
             const ReadKind& kind = {}, std::filesystem::path* written = nullptr) {
  sim::InstrumentOptions io;
  io.model = model;
  io.seed = 1;
  io.latencyMs = latencyMs;
  sim::Instrument inst(io);
  inst.Advance(kind.advanceHours);
  sim::ServerOptions so;
  so.baud = baud;
  auto started = sim::Server::Start(inst, so);
  if (!started) {
    std::fprintf(stderr, "simulator: %s\n", started.error().reason.c_str());
    return {};
  }
  const std::unique_ptr<sim::Server> server = std::move(*started);
  QuietObserver obs;
  PartSink sink(obs, home);
  TReadThread job(sink);
  ReadJob spec;
  spec.line.mode = ConnectMode::Tcp;
  spec.line.target = TcpLine{"127.0.0.1", server->Port(), false, false, "", 5};
  spec.line.timing = {100, 150, 10};
  spec.line.useMBus = model == DeviceType::dtLDN08;
  StatisticsPlan plan;
  plan.range = kind.readNew ? RecordRange::New : RecordRange::All;
  plan.base = kind.base;
  if (kind.allKinds) plan.kinds = {true, true, true, true};
  spec.instruments = {{spec.line.useMBus ? sim::kDefaultLongAddress : 1, plan}};
  job.SetJob(spec);
  Figures f;
  job.Hooks().trace = [&f](const FrameTrace& t) {
    if (t.direction != FrameTrace::Direction::Late) f.bytes += t.bytes.size();
  };
  std::thread worker([&] {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ThreadCpuSeconds();
    job.RunHere();
    f.cpu = ThreadCpuSeconds() - c0;
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  });
  worker.join();
  f.ok = job.Output().whole.outcome == ReadOutcome::Done && obs.delivered;
  f.exchanges = job.Output().whole.requests;
  if (written && !sink.Reports().empty()) *written = sink.Reports().front().file.path;
  return f;
}

}  // namespace

int main() {
  const auto home = std::filesystem::temp_directory_path() / ("statvtk-bench-download-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  constexpr std::uint32_t kBaud = 57600;
  constexpr std::uint32_t kLatencyMs = 2;
  const struct {
    DeviceType model;
    const char* name;
  } models[] = {{DeviceType::dtVTK0812, "VTK-08.12"},
                {DeviceType::dtVTK0814C, "VTK-08.14 C"},
                {DeviceType::dtVTK0814CM, "VTK-08.14 CM"},
                {DeviceType::dtLDN08, "LDN-08"}};

  bool allOk = true;
  std::printf("Full reads over loopback TCP from the simulator\n");
  std::printf("paced: %u bit/s, %u ms reply latency; line time = bytes x 10 / baud + latency x exchanges\n\n", kBaud,
              kLatencyMs);
  std::printf("%-13s %-8s %9s %9s %9s %9s %7s %8s\n", "model", "read", "exchanges", "bytes", "wall, s", "line, s",
              "ratio", "CPU, %");
  for (const auto& m : models) {
    const Figures paced = Read(m.model, kBaud, kLatencyMs, home);
    const double line =
        static_cast<double>(paced.bytes) * 10.0 / kBaud + static_cast<double>(paced.exchanges) * kLatencyMs / 1000.0;
    std::printf("%-13s %-8s %9zu %9zu %9.2f %9.2f %7.3f %8.2f%s\n", m.name, "paced", paced.exchanges, paced.bytes,
                paced.wall, line, paced.wall / line, 100.0 * paced.cpu / paced.wall, paced.ok ? "" : "  FAILED");
    const Figures fast = Read(m.model, 0, 0, home);
    std::printf("%-13s %-8s %9zu %9zu %9.3f %9s %7s %8.2f%s\n", m.name, "unpaced", fast.exchanges, fast.bytes,
                fast.wall, "-", "-", 100.0 * fast.cpu / fast.wall, fast.ok ? "" : "  FAILED");
    allOk = allOk && paced.ok && fast.ok;
  }
  std::printf("\ngoals: paced ratio <= 1.05 for every model; unpaced LDN-08 < 2 s; CPU of a paced read < 5 %%\n");

  // One day after a full read: the full read's exchanges and line time
  // (bytes x 10 / baud + latency per exchange; a paced read keeps within 5 %
  // of it, above) against a new-records read paced for real.
  constexpr std::uint32_t kSlowBaud = 9600;
  constexpr std::uint32_t kModemLatencyMs = 150;
  std::printf("\nOne day after a full read, all kinds: full read vs new records\n");
  std::printf("%u bit/s, %u ms reply latency; full: line time; new: measured wall time\n\n", kSlowBaud,
              kModemLatencyMs);
  std::printf("%-13s %10s %10s %10s %10s %9s\n", "model", "full exch.", "full, s", "new exch.", "new, s", "exch. %");
  for (const auto& m : models) {
    if (m.model == DeviceType::dtVTK0812 || m.model == DeviceType::dtVTK0814CM) continue;
    std::filesystem::path base;
    // The base in a folder of its own: the full read below must not replace it.
    const Figures first = Read(m.model, 0, 0, home / "base", {true, false, {}, 0}, &base);
    const Figures full = Read(m.model, 0, 0, home, {true, false, {}, 24});
    const Figures fresh = Read(m.model, kSlowBaud, kModemLatencyMs, home, {true, true, base, 24});
    const double fullLine = static_cast<double>(full.bytes) * 10.0 / kSlowBaud +
                            static_cast<double>(full.exchanges) * kModemLatencyMs / 1000.0;
    const bool ok = first.ok && full.ok && fresh.ok;
    std::printf("%-13s %10zu %10.1f %10zu %10.1f %9.1f%s\n", m.name, full.exchanges, fullLine, fresh.exchanges,
                fresh.wall, 100.0 * static_cast<double>(fresh.exchanges) / static_cast<double>(full.exchanges),
                ok ? "" : "  FAILED");
    allOk = allOk && ok && fresh.exchanges * 10 <= full.exchanges;
  }
  std::printf("\ngoal: a new-records read one day after needs at most 1/10 of a full read's exchanges\n");
  std::filesystem::remove_all(home);
  return allOk ? 0 : 1;
}
