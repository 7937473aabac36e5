// statvtk-cli scan: which instruments answer on the line, at which address
// and speed.
#include <mutex>

#include "base/printable_text.hpp"
#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "base/json_text.hpp"
#include "cli/stop_signal.hpp"
#include "reading/number_list.hpp"

namespace statvtk::cli {

namespace {

const char* kScanHelp = R"(Usage: statvtk-cli scan [CONNECTION] [--addresses LIST] [--bauds LIST|all] [--json]

Sends only the identification request to each address at each speed and
prints one line per instrument as it answers:
  ADDRESS<TAB>BAUD<TAB>MODEL<TAB>identification text
(MODEL as 'identify' prints it). With --json an array of objects (address,
baud, model, ident) is printed at the end instead.

  --addresses LIST       numbers and ranges, e.g. 1-12 or 1,3,5-8 (default
                         1-32; with --mbus the 32-bit addresses to ask, which
                         must then be given)
  --bauds LIST|all       the speeds to try on a serial port (default: the
                         port's configured speed); all: 2400, 4800, 9600,
                         57600, 115200. A modem or TCP line keeps its speed.
  --json                 print a JSON array

A silent address costs one reply time-out (--reply-timeout, else the
transport's) and is not asked again; an address from which something was
heard is asked again up to the retry count. A progress bar (address and
speed) is drawn on stderr when it is a terminal.

Exit status: 0 at least one instrument answered, 1 none did (or the line
could not be opened), 2 bad usage, 130 stopped by Ctrl+C (what was found so
far is printed).

)";

std::string ModelText(DeviceType t) { return std::string(DeviceTypeName(t)); }

// Prints each instrument as it answers (from the job's thread).
class ScanPrinter : public ScanObserver {
 public:
  ScanPrinter(std::ostream& out, CliObserver& obs, bool json) : out_(out), obs_(obs), json_(json) {}
  void Found(const ScanFound& f) override {
    if (json_) return;
    std::lock_guard lock(mu_);
    obs_.ClearProgress();
    out_ << f.address << '\t' << f.baud << '\t' << ModelText(f.type) << '\t' << PrintableText(f.ident) << '\n';
    out_.flush();
  }

 private:
  std::ostream& out_;
  CliObserver& obs_;
  bool json_;
  std::mutex mu_;
};

}  // namespace

int RunScan(const Args& args, std::ostream& out, std::ostream& err) {
  ConnectionOptions o;
  std::optional<std::string> addressText, baudText;
  bool json = false;
  auto own = [&](const std::string& a, ArgReader& r) {
    std::string v;
    if (a == "--addresses") {
      if (r.Value(a, v)) addressText = v;
    } else if (a == "--bauds") {
      if (r.Value(a, v)) baudText = v;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--address") {
      r.Fail("give the addresses to try with --addresses LIST");
    } else {
      return false;
    }
    return true;
  };
  if (auto done = ReadCommandArgs(args, "scan", kScanHelp, o, out, err, own)) return *done;
  if (auto e = CheckConnectionOptions(o); !e.empty()) return UsageError(err, "scan", e);
  if (o.mbus && !addressText) return UsageError(err, "scan", "--mbus needs the addresses to ask (--addresses LIST)");
  std::vector<std::uint32_t> addresses;
  if (addressText) {
    auto list = ParseNumberList(*addressText, 0, o.mbus ? 0xFFFFFFFFu : 255u);
    if (!list) return UsageError(err, "scan", "--addresses: " + list.error().reason);
    addresses = std::move(*list);
  } else {
    for (std::uint32_t a = 1; a <= 32; ++a) addresses.push_back(a);
  }
  std::vector<std::uint32_t> bauds;
  if (baudText && *baudText == "all") {
    bauds.assign(std::begin(kScanSpeeds), std::end(kScanSpeeds));
  } else if (baudText) {
    auto list = ParseNumberList(*baudText, 50, 4000000);
    if (!list) return UsageError(err, "scan", "--bauds: " + list.error().reason);
    bauds = std::move(*list);
  }

  StopSignal signal;
  JobSetup setup = MakeSetup(o);
  if (!SettingsUsable(setup, "scan", err)) return kExitUsage;
  CliObserver obs(err, StderrIsTerminal());
  ScanPrinter printer(out, obs, json);
  TReadThread job(obs);
  ConfigureJob(job, setup, o, obs, ReadPlan{ReadKind::Custom, {}});
  job.Job().what = ScanRead{addresses, bauds, &printer};
  RunJob(job);
  obs.ClearProgress();
  const auto& found = job.ScanResults();
  if (json) {
    Json list = Json::array();
    for (const ScanFound& f : found)
      list.push_back({{"address", f.address}, {"baud", f.baud}, {"model", ModelText(f.type)}, {"ident", f.ident}});
    out << JsonText(list) << "\n";
  }
  if (job.Result().outcome == ReadOutcome::Stopped) return kExitStopped;
  return found.empty() ? kExitLink : kExitOk;
}

}  // namespace statvtk::cli
