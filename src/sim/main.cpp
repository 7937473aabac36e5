// statvtk-sim: the simulated instrument as a program.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.hpp"
#include "base/version.hpp"
#include "sim/options.hpp"

using namespace statvtk::sim;

int main(int argc, char** argv) {
  const auto cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!cl) {
    std::fprintf(stderr, "statvtk-sim: %s\n", cl.error().reason.c_str());
    return 2;
  }
  if (cl->help) {
    std::fwrite(HelpText().data(), 1, HelpText().size(), stdout);
    return 0;
  }
  if (cl->version) {
    const std::string_view version = statvtk::StatvtkVersion();
    std::printf("statvtk-sim (StatVTK) %.*s\n", static_cast<int>(version.size()), version.data());
    return 0;
  }
  // The signals are taken by sigwait below; every thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Instrument instrument(cl->instrument);
  if (!cl->dumpPath.empty()) {
    const std::vector<std::uint8_t> bytes = instrument.ExpectedDumpBytes();
    if (const auto written = statvtk::AtomicWriteFile(cl->dumpPath, {bytes}); !written) {
      std::fprintf(stderr, "statvtk-sim: cannot write %s: %s\n", cl->dumpPath.c_str(),
                   written.error().reason.c_str());
      return 1;
    }
  }
  if (!cl->server) return 0;
  auto started = Server::Start(instrument, *cl->server);
  if (!started) {
    std::fprintf(stderr, "statvtk-sim: %s\n", started.error().reason.c_str());
    return 1;
  }
  std::unique_ptr<Server> server = std::move(*started);
  const std::string model(statvtk::DeviceTypeName(instrument.Model()));
  if (cl->server->carrier == CarrierKind::Tcp)
    std::printf("statvtk-sim: %s \"%s\" on tcp 127.0.0.1:%u\n", model.c_str(), instrument.IdentificationText().c_str(),
                server->Port());
  else
    std::printf("statvtk-sim: %s \"%s\" on pty %s -> %s%s\n", model.c_str(), instrument.IdentificationText().c_str(),
                server->LinkPath().c_str(), server->SlavePath().c_str(), cl->server->modem ? " (modem)" : "");
  std::fflush(stdout);
  int sig = 0;
  sigwait(&signals, &sig);
  server->Stop();
  const FaultRates& f = cl->instrument.faults;
  if (cl->instrument.verbose || f.drop > 0 || f.corrupt > 0 || f.wrongCommand > 0 || f.noise > 0 || f.truncate > 0 ||
      cl->instrument.silentAfter)
    std::fprintf(stderr, "statvtk-sim: %s\n", instrument.CountsText().c_str());
  return 0;
}
