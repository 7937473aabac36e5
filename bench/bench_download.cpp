// A full VTK-08.12 statistics read (4138 exchanges with identification) from
// the simulated instrument over loopback TCP: paced at 57600 baud with 2 ms
// reply latency, against the time its bytes need on the line plus the
// latencies; unpaced, against 4138 x 20 ms; and the reading thread's CPU time
// as a share of the paced read's wall time. Prints figures; not a test.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "link/progress_observer.hpp"
#include "reading/read_thread.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"

namespace {

using namespace statvtk;

class QuietObserver : public ReadObserver {
 public:
  void LogLine(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
  void DisableControls() override {}
  void EnableControls() override {}
  void DeliverStatistics(const StatData&, const std::string&) override { delivered = true; }
  void DeliverCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string&) override {}
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
};

Figures Read(std::uint32_t baud, std::uint32_t latencyMs, const std::filesystem::path& home) {
  sim::InstrumentOptions io;
  io.model = DeviceType::dtVTK0812;
  io.seed = 1;
  io.latencyMs = latencyMs;
  sim::Instrument inst(io);
  sim::ServerOptions so;
  so.baud = baud;
  std::string error;
  auto server = sim::Server::Start(inst, so, &error);
  if (!server) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return {};
  }
  QuietObserver obs;
  TReadThread job(obs);
  job.SetConnectMode(2);
  job.SetSockIP("127.0.0.1");
  job.SetSockPort(server->Port());
  job.SetNetAddress(1);
  job.SetTimings({100, 400, 5}, {400, 1500, 5}, {100, 150, 10});
  job.SetReadAll(true);
  job.SetProgramHome(home);
  Figures f;
  std::thread worker([&] {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ThreadCpuSeconds();
    job.RunHere();
    f.cpu = ThreadCpuSeconds() - c0;
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  });
  worker.join();
  f.ok = job.Result().outcome == ReadOutcome::Done && obs.delivered;
  f.exchanges = job.Link().SentCount();
  return f;
}

}  // namespace

int main() {
  const auto home = std::filesystem::temp_directory_path() / "statvtk-bench-download";
  std::filesystem::create_directories(home);

  // Bytes on the line of a full VTK-08.12 read: request and reply of each exchange.
  sim::InstrumentOptions probeOpt;
  probeOpt.model = DeviceType::dtVTK0812;
  const std::size_t identLen = sim::Instrument(probeOpt).IdentificationText().size();
  const std::size_t exchanges = 1 + 8 + 1 + 32 + 4096;
  const std::size_t bytes = (7 + 7 + identLen) + 8 * (9 + 7 + 16) + (10 + 7 + 4) + 32 * (10 + 7 + 16) +
                            4096 * (10 + 7 + 16);
  const double lineSeconds = static_cast<double>(bytes) * 10.0 / 57600.0 + static_cast<double>(exchanges) * 0.002;
  // The simulator paces its replies only (a request leaves the reader at once).
  const std::size_t replyBytes = (7 + identLen) + 8 * (7 + 16) + (7 + 4) + 32 * (7 + 16) + 4096 * (7 + 16);
  const double pacedSeconds = static_cast<double>(replyBytes) * 10.0 / 57600.0 + static_cast<double>(exchanges) * 0.002;

  const Figures paced = Read(57600, 2, home);
  std::printf("paced read (57600 baud, 2 ms latency): %s, %zu exchanges, %.2f s\n", paced.ok ? "done" : "FAILED",
              paced.exchanges, paced.wall);
  std::printf("  line time of its %zu bytes plus latencies: %.2f s\n", bytes, lineSeconds);
  std::printf("  ratio to the line time: %.3f (goal <= 1.10)\n", paced.wall / lineSeconds);
  std::printf("  ratio to the time the simulator paces (its %zu reply bytes plus latencies, %.2f s): %.3f\n",
              replyBytes, pacedSeconds, paced.wall / pacedSeconds);
  std::printf("  reading thread CPU: %.3f s = %.2f%% of wall time (goal < 5%%)\n", paced.cpu,
              100.0 * paced.cpu / paced.wall);

  const Figures fast = Read(0, 0, home);
  const double reference = static_cast<double>(exchanges) * 0.020;
  std::printf("unpaced read over loopback TCP: %s, %zu exchanges, %.3f s\n", fast.ok ? "done" : "FAILED",
              fast.exchanges, fast.wall);
  std::printf("  %zu x 20 ms = %.2f s; faster by %.1fx (goal >= 10x)\n", exchanges, reference, reference / fast.wall);

  std::filesystem::remove_all(home);
  return paced.ok && fast.ok ? 0 : 1;
}
