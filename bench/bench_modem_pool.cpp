// 40 remote sites on a pool of 4 dial-up modems, read by statvtk-collect
// once through the simulator's telephone exchange: every call connects after
// 8 s, one site in five is busy at its first dial (RetryBusy=1s). Prints the
// pass's wall time against the sum of the calls' own times (dial to
// hang-up) divided by the 4 modems: how well the modems are kept busy
// (goal <= 1.15). The telephone runs on a time scale (default 1/20: the 8 s
// connect takes 0.4 s, the dialogue's 100 ms steps 5 ms), printed with the figures.
// Usage: bench_modem_pool [scale-divisor]. Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "collect/commands.hpp"
#include "collect/dial/modem_call.hpp"
#include "collect/views/periods.hpp"
#include "sim/exchange.hpp"
#include "sim/server.hpp"
#include "store/record_store.hpp"

namespace {

using namespace statvtk;
namespace fs = std::filesystem;

constexpr int kSites = 40, kModems = 4;
constexpr std::uint32_t kConnectMs = 8000;

}  // namespace

int main(int argc, char** argv) {
  const int divisor = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const fs::path home = fs::temp_directory_path() / ("statvtk-bench-pool-" + std::to_string(std::random_device{}()));
  fs::create_directories(home);
  const std::string step = std::to_string(std::max(1, 100 / divisor));
  setenv("STATVTK_MODEM_STEP_MS", step.c_str(), 1);
  sim::ModemOptions mo;
  mo.dialDelayMs = kConnectMs / static_cast<std::uint32_t>(divisor);
  mo.ringMs = 30000 / static_cast<std::uint32_t>(divisor);
  mo.guardMs = 20;
  std::vector<sim::SiteOptions> sites;
  std::ostringstream ini;
  ini << "[Collector]\nDatabase=collect.sqlite\nKeepFiles=none\n\n[Modems pool]\nDevices=";
  for (int m = 1; m <= kModems; ++m) ini << (m > 1 ? "," : "") << (home / ("modem" + std::to_string(m))).string();
  ini << "\nConnectWait=60\nRetryBusy=1s\nRetryNoCarrier=1s\nDialsPerPass=3\n\n";
  for (int i = 0; i < kSites; ++i) {
    const std::string number = std::to_string(1000 + i);
    sim::InstrumentOptions o;
    o.model = i % 2 ? DeviceType::dtLDN08 : DeviceType::dtVTK0814C;
    o.seed = 100 + static_cast<std::uint64_t>(i);
    o.longAddress = 1;  // Address=1 in both forms
    o.latencyMs = 5;
    sim::SiteOptions s{number, o, i % 5 == 0 ? 1u : 0u, false, std::nullopt};
    sites.push_back(s);
    ini << "[Line site-" << number << "]\nMode=modem\nPool=pool\nPhone=" << number << "\n\n[Instrument i" << number
        << "]\nLine=site-" << number << "\nKinds=monthly\n\n";
  }
  std::ofstream(home / "collect.ini") << ini.str();
  sim::Exchange exchange(sites, mo);
  std::vector<std::unique_ptr<sim::Server>> ports;
  for (int m = 1; m <= kModems; ++m) {
    sim::ServerOptions so;
    so.carrier = sim::CarrierKind::Pty;
    so.ptyLink = (home / ("modem" + std::to_string(m))).string();
    so.modem = true;
    so.modemOptions = mo;
    so.exchange = &exchange;
    auto started = sim::Server::Start(std::vector<sim::Instrument*>{}, so);
    if (!started) {
      std::fprintf(stderr, "bench_modem_pool: %s\n", started.error().reason.c_str());
      return 1;
    }
    ports.push_back(std::move(*started));
  }
  std::ostringstream out, err;
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = collect::Dispatch({"once", "--home", home.string()}, out, err);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  auto store = store::OpenRecordStore("collect.sqlite", home);
  double own = 0;
  std::size_t calls = 0, busy = 0, connected = 0;
  for (const auto& c : (*store)->Calls("", 0).value()) {
    own += static_cast<double>(*collect::UtcMillisOf(c.endedUtc) - *collect::UtcMillisOf(c.dialedUtc)) / 1000.0;
    ++calls;
    busy += c.outcome == "BUSY";
    connected += !c.connectedUtc.empty();
  }
  std::printf("modem pool: %d sites on %d modems, connect after %u s, 20 %% busy at the first dial\n", kSites, kModems,
              kConnectMs / 1000);
  std::printf("time scale 1/%d (connect %u ms, dialogue step %s ms); once exit %d\n", divisor, mo.dialDelayMs,
              step.c_str(), rc);
  std::printf("calls %zu (busy %zu, connected %zu); sum of the calls' own times %.2f s\n", calls, busy, connected, own);
  std::printf("wall %.2f s, own / %d = %.2f s, ratio %.3f (goal <= 1.15)\n", wall, kModems, own / kModems,
              wall / (own / kModems));
  ports.clear();
  std::error_code ec;
  fs::remove_all(home, ec);
  return rc == 0 ? 0 : 1;
}
