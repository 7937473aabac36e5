// statvtk-sim: the simulated instrument as a program.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.hpp"
#include "base/printable_text.hpp"
#include "base/version.hpp"
#include "sim/options.hpp"

using namespace statvtk::sim;

namespace {

// --exchange: the modem ports in front of the sites, until SIGINT or SIGTERM.
int ServeExchange(const CommandLine& cl, sigset_t& signals) {
  Exchange exchange(cl.sites, cl.server->modemOptions);
  std::vector<std::unique_ptr<Server>> ports;
  for (std::uint32_t i = 1; i <= cl.exchangePorts; ++i) {
    ServerOptions o = *cl.server;
    o.ptyLink += std::to_string(i);
    o.exchange = &exchange;
    auto started = Server::Start(std::vector<Instrument*>{}, o);
    if (!started) {
      std::fprintf(stderr, "statvtk-sim: %s\n", started.error().reason.c_str());
      return 1;
    }
    std::printf("statvtk-sim: exchange modem %u on pty %s -> %s\n", i, (*started)->LinkPath().c_str(),
                (*started)->SlavePath().c_str());
    ports.push_back(std::move(*started));
  }
  for (std::size_t i = 0; i < exchange.Sites(); ++i) {
    const SiteOptions& s = exchange.Site(static_cast<int>(i));
    Instrument& in = exchange.InstrumentOf(static_cast<int>(i));
    std::printf("statvtk-sim: site %s: %s \"%s\" at address %u%s%s%s\n", s.number.c_str(),
                std::string(statvtk::DeviceTypeName(in.Model())).c_str(),
                statvtk::PrintableText(in.IdentificationText()).c_str(), static_cast<unsigned>(in.Options().address),
                s.busyCalls ? (", busy for " + std::to_string(s.busyCalls) + " call(s)").c_str() : "",
                s.neverAnswers ? ", never answers" : "",
                s.dropAfter ? (", drops after " + std::to_string(*s.dropAfter) + " replies").c_str() : "");
  }
  std::fflush(stdout);
  int sig = 0;
  while (sigwait(&signals, &sig) == 0 && sig == SIGUSR1) {
    for (std::size_t i = 0; i < exchange.Sites(); ++i) exchange.InstrumentOf(static_cast<int>(i)).Advance(cl.tickHours);
    std::fprintf(stderr, "statvtk-sim: %u hour(s) passed\n", cl.tickHours);
  }
  for (auto& p : ports) p->Stop();
  for (std::size_t i = 0; i < exchange.Sites(); ++i)
    std::fprintf(stderr, "statvtk-sim: site %s: %u call(s)\n", exchange.Site(static_cast<int>(i)).number.c_str(),
                 exchange.CallsTo(static_cast<int>(i)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!cl) {
    std::fprintf(stderr, "statvtk-sim: %s\n", cl.error().reason.c_str());
    return 2;
  }
  if (cl->help) {
    const std::string help = HelpText();
    std::fwrite(help.data(), 1, help.size(), stdout);
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
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::vector<std::unique_ptr<Instrument>> instruments;
  if (cl->bus.empty()) instruments.push_back(std::make_unique<Instrument>(cl->instrument));
  for (const auto& o : cl->bus) instruments.push_back(std::make_unique<Instrument>(o));
  Instrument& instrument = *instruments.front();
  std::vector<Instrument*> line;
  for (auto& i : instruments) line.push_back(i.get());
  if (!cl->dumpPath.empty()) {
    const std::vector<std::uint8_t> bytes = instrument.ExpectedDumpBytes();
    if (const auto written = statvtk::AtomicWriteFile(cl->dumpPath, {bytes}); !written) {
      std::fprintf(stderr, "statvtk-sim: cannot write %s: %s\n", cl->dumpPath.c_str(), written.error().reason.c_str());
      return 1;
    }
  }
  if (!cl->server) return 0;
  if (cl->exchangePorts > 0) return ServeExchange(*cl, signals);
  ServerOptions serverOptions = *cl->server;
  if (serverOptions.carrier == CarrierKind::Client)  // the connection's end ends the program
    serverOptions.ended = [] { ::kill(::getpid(), SIGTERM); };
  auto started = Server::Start(line, serverOptions);
  if (!started) {
    std::fprintf(stderr, "statvtk-sim: %s\n", started.error().reason.c_str());
    return 1;
  }
  std::unique_ptr<Server> server = std::move(*started);
  for (const Instrument* in : line) {
    const std::string model(statvtk::DeviceTypeName(in->Model()));
    std::string where =
        cl->server->carrier == CarrierKind::Tcp ? "on tcp 127.0.0.1:" + std::to_string(server->Port())
        : cl->server->carrier == CarrierKind::Client
            ? "connected to " + cl->server->connectHost + ":" + std::to_string(cl->server->connectPort) + " as \"" +
                  statvtk::PrintableText(cl->server->id) + "\""
            : "on pty " + server->LinkPath() + " -> " + server->SlavePath() + (cl->server->modem ? " (modem)" : "");
    if (!cl->bus.empty()) {
      where = "at address " + std::to_string(in->Options().address) +
              (in->Options().lineSpeed ? ", " + std::to_string(in->Options().lineSpeed) + " bit/s" : "") + " " + where;
    }
    // An --ident text with control characters keeps this one line.
    std::printf("statvtk-sim: %s \"%s\" %s\n", model.c_str(), statvtk::PrintableText(in->IdentificationText()).c_str(),
                where.c_str());
  }
  std::fflush(stdout);
  int sig = 0;
  while (sigwait(&signals, &sig) == 0 && sig == SIGUSR1) {
    for (Instrument* in : line) in->Advance(cl->tickHours);
    std::fprintf(stderr, "statvtk-sim: %u hour(s) passed\n", cl->tickHours);
  }
  server->Stop();
  const FaultRates& f = cl->instrument.faults;
  if (cl->instrument.verbose || f.drop > 0 || f.corrupt > 0 || f.wrongCommand > 0 || f.noise > 0 || f.truncate > 0 ||
      cl->instrument.silentAfter)
    for (const Instrument* in : line) std::fprintf(stderr, "statvtk-sim: %s\n", in->CountsText().c_str());
  return 0;
}
