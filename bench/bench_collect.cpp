// A simulated fleet collected by statvtk-collect once: 40 instruments
// (VTK-08.14 C, VTK-08.14 CM, LDN-08) on 8 loopback TCP lines, each reply
// 20 ms late, one day after a first full collection. Prints
//  - the wall time against the slowest line's own time (its exchanges times
//    the time of one exchange, measured on a line alone): how well the lines
//    run side by side (goal <= 1.3);
//  - the exchanges of the day's pass as a share of the full reads' (goal <= 10 %);
//  - the resident memory over many collection passes on one line (the loop of
//    `run`, without pauses): flat when nothing is kept from pass to pass.
// Usage: bench_collect [passes]   (default 1000). Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "collect/commands.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/store_writer.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "store/record_store.hpp"

namespace {

using namespace statvtk;
using namespace statvtk::collect;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 8, kPerLine = 5;
constexpr std::uint32_t kLatencyMs = 20;

// The line's instruments, made again from the same seeds whenever the reply
// delay changes (same seed, same memory), served on a new port.
struct Line {
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::unique_ptr<sim::Server> server;
};

Line StartLine(int index, int count, std::uint32_t latencyMs, std::uint32_t advanceHours) {
  static constexpr DeviceType kModels[] = {DeviceType::dtVTK0814C, DeviceType::dtLDN08, DeviceType::dtVTK0814CM};
  Line line;
  std::vector<sim::Instrument*> raw;
  for (int k = 0; k < count; ++k) {
    sim::InstrumentOptions o;
    o.model = kModels[(index + k) % 3];
    o.address = static_cast<std::uint32_t>(k + 1);
    o.longAddress = o.address;
    o.seed = static_cast<std::uint64_t>(100 + index * 10 + k);
    o.latencyMs = latencyMs;
    line.instruments.push_back(std::make_unique<sim::Instrument>(o));
    if (advanceHours) line.instruments.back()->Advance(advanceHours);
    raw.push_back(line.instruments.back().get());
  }
  sim::ServerOptions so;
  so.carrier = sim::CarrierKind::Tcp;
  auto started = sim::Server::Start(raw, so);
  if (!started) {
    std::fprintf(stderr, "bench_collect: the simulator did not start: %s\n", started.error().reason.c_str());
    std::exit(1);
  }
  line.server = std::move(*started);
  return line;
}

void WriteConfig(const fs::path& home, const std::vector<Line>& lines) {
  std::ofstream ini(home / "collect.ini", std::ios::trunc);
  ini << "[Collector]\nDatabase=collect.sqlite\n";
  for (std::size_t i = 0; i < lines.size(); ++i)
    ini << "\n[Line L" << i << "]\nMode=tcp\nTcp=127.0.0.1:" << lines[i].server->Port()
        << "\nPacketConst=500\nByteConst=100\nPacketRetry=2\n";
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (std::size_t k = 0; k < lines[i].instruments.size(); ++k)
      ini << "\n[Instrument i" << i << "_" << k << "]\nLine=L" << i << "\nAddress=" << k + 1 << "\nEvery=1h\n";
}

double Once(const fs::path& home) {
  std::ostringstream out, err;
  const auto t0 = Clock::now();
  const int rc = Dispatch({"once", "--home", home.string()}, out, err);
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (rc != kExitOk) {
    std::fprintf(stderr, "bench_collect: once failed (%d):\n%s\n", rc, err.str().c_str());
    std::exit(1);
  }
  return s;
}

// The exchanges of each instrument's latest read, summed per line.
std::vector<std::int64_t> LineRequests(const fs::path& home, int lines, int perLine) {
  auto s = store::OpenRecordStore("collect.sqlite", home);
  if (!s) std::exit(1);
  std::vector<std::int64_t> out(static_cast<std::size_t>(lines), 0);
  for (int i = 0; i < lines; ++i)
    for (int k = 0; k < perLine; ++k) {
      const auto reads = (*s)->Reads({"", "i" + std::to_string(i) + "_" + std::to_string(k), 1, false});
      if (reads && !reads->empty()) out[static_cast<std::size_t>(i)] += reads->front().requests;
    }
  return out;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

fs::path NewHome(const char* what) {
  const fs::path home = fs::temp_directory_path() /
                        ("statvtk-bench-collect-" + std::string(what) + std::to_string(std::random_device{}()));
  fs::create_directories(home);
  return home;
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

  // One exchange's time: one instrument alone on its line, a day after its full read.
  const fs::path alone = NewHome("alone-");
  {
    std::vector<Line> one;
    one.push_back(StartLine(0, 1, 0, 0));
    WriteConfig(alone, one);
    Once(alone);
  }
  std::vector<Line> one;
  one.push_back(StartLine(0, 1, kLatencyMs, 24));
  WriteConfig(alone, one);
  const double aloneS = Once(alone);
  const std::int64_t aloneRequests = LineRequests(alone, 1, 1)[0];
  one.clear();
  const double exchangeS = aloneS / static_cast<double>(std::max<std::int64_t>(1, aloneRequests));

  // The fleet: full reads at once (no delay), then the day's pass, timed.
  const fs::path home = NewHome("fleet-");
  std::vector<Line> lines;
  for (int i = 0; i < kLines; ++i) lines.push_back(StartLine(i, kPerLine, 0, 0));
  WriteConfig(home, lines);
  const double fullS = Once(home);
  const auto fullRequests = LineRequests(home, kLines, kPerLine);
  lines.clear();
  for (int i = 0; i < kLines; ++i) lines.push_back(StartLine(i, kPerLine, kLatencyMs, 24));
  WriteConfig(home, lines);
  const double dayS = Once(home);
  const auto dayRequests = LineRequests(home, kLines, kPerLine);
  lines.clear();

  std::int64_t fullTotal = 0, dayTotal = 0, slowest = 0;
  for (int i = 0; i < kLines; ++i) {
    fullTotal += fullRequests[static_cast<std::size_t>(i)];
    dayTotal += dayRequests[static_cast<std::size_t>(i)];
    slowest = std::max(slowest, dayRequests[static_cast<std::size_t>(i)]);
  }
  const double lineOwnS = static_cast<double>(slowest) * exchangeS;
  std::printf("fleet: %d instruments on %d TCP lines, replies %u ms late\n", kLines * kPerLine, kLines, kLatencyMs);
  std::printf("one exchange (a line alone): %.1f ms (%lld exchanges in %.2f s)\n", exchangeS * 1000,
              static_cast<long long>(aloneRequests), aloneS);
  std::printf("full reads (no delay): %lld exchanges in %.2f s\n", static_cast<long long>(fullTotal), fullS);
  std::printf("a day later: %lld exchanges in %.2f s; slowest line %lld exchanges = %.2f s of its own\n",
              static_cast<long long>(dayTotal), dayS, static_cast<long long>(slowest), lineOwnS);
  std::printf("wall / slowest line's own time: %.2f (goal <= 1.3)\n", dayS / lineOwnS);
  std::printf("exchanges of the day's pass / full reads: %.1f %% (goal <= 10 %%)\n",
              100.0 * static_cast<double>(dayTotal) / static_cast<double>(std::max<std::int64_t>(1, fullTotal)));

  // Memory: the passes of `run` on one line of two instruments, an hour
  // passing before each, without pauses.
  const fs::path mem = NewHome("memory-");
  Line line = StartLine(0, 2, 0, 0);
  {
    std::vector<Line> tmp;
    WriteConfig(mem, tmp);  // the collector section only; the line follows
  }
  {
    std::ofstream ini(mem / "collect.ini", std::ios::app);
    ini << "\n[Line L0]\nMode=tcp\nTcp=127.0.0.1:" << line.server->Port()
        << "\nPacketConst=500\nByteConst=100\nPacketRetry=2\n"
           "\n[Instrument i0_0]\nLine=L0\nAddress=1\nEvery=1h\n\n[Instrument i0_1]\nLine=L0\nAddress=2\nEvery=1h\n";
  }
  ConfigResult cfg = LoadConfig(mem / "collect.ini");
  auto st = store::OpenRecordStore("collect.sqlite", mem);
  if (!cfg.config || !st) return 1;
  StoreWriter writer(**st);
  std::vector<const InstrumentConfig*> due;
  for (const auto& in : cfg.config->instruments) due.push_back(&in);
  std::atomic<bool> stop{false};
  long rssAtTenth = 0, failures = 0;
  const auto t0 = Clock::now();
  for (int p = 1; p <= passes; ++p) {
    for (auto& in : line.instruments) in->Advance(1);
    for (const auto& r :
         CollectLine(*cfg.config, cfg.config->lines[0], due, mem, writer, stop, [](const std::string&) {}))
      if (r.outcome != statvtk::ReadOutcome::Done) ++failures;
    // Each pass writes its files; the disk is not what is measured here: all
    // but each serial's newest (the next pass's base) go.
    if (p % 50 == 0) {
      std::map<std::string, fs::path> newest;
      std::vector<fs::path> all;
      for (const auto& f : fs::directory_iterator(mem / "Data")) {
        all.push_back(f.path());
        const std::string serial = f.path().filename().string().substr(0, f.path().filename().string().find('-'));
        auto& n = newest[serial];
        if (n.empty() || fs::last_write_time(f.path()) > fs::last_write_time(n)) n = f.path();
      }
      for (const auto& f : all)
        if (newest[f.filename().string().substr(0, f.filename().string().find('-'))] != f) fs::remove(f);
    }
    if (p == passes / 10) rssAtTenth = RssKb();
  }
  const double memS = std::chrono::duration<double>(Clock::now() - t0).count();
  const long rssEnd = RssKb();
  std::printf(
      "memory over %d passes (%.1f s, %ld failed reads): %ld KiB after %d, %ld KiB after %d: %+.1f KiB per 100 "
      "passes\n",
      passes, memS, failures, rssAtTenth, passes / 10, rssEnd, passes,
      100.0 * static_cast<double>(rssEnd - rssAtTenth) / (passes - passes / 10));

  std::error_code ec;
  for (const auto& p : {alone, home, mem}) fs::remove_all(p, ec);
  return 0;
}
