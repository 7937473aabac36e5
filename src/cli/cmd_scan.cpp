// statvtk-cli scan: which instruments answer on the line, at which address
// and speed.
#include "base/command_line.hpp"
#include "base/printable_text.hpp"
#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "base/json_text.hpp"
#include "cli/stop_signal.hpp"
#include "reading/number_list.hpp"
#include "reading/reads.hpp"

namespace statvtk::cli {

namespace {

const char* kScanAbout = R"(Sends only the identification request to each address at each speed and
prints one line per instrument as it answers:
  ADDRESS<TAB>BAUD<TAB>MODEL<TAB>identification text
(MODEL as 'identify' prints it). With --json an array of objects (address,
baud, model, ident) is printed at the end instead.)";

const char* kScanFooter = R"(A silent address costs one reply time-out (--reply-timeout, else the
transport's) and is not asked again; an address from which something was
heard is asked again up to the retry count. A progress bar (address and
speed) is drawn on stderr when it is a terminal.

Exit status: 0 at least one instrument answered, 1 none did (or the line
could not be opened), 2 bad usage, 130 stopped by Ctrl+C (what was found so
far is printed).
)";

struct ScanOptions {
  ConnectionOptions conn;
  std::optional<std::string> addresses, bauds;
  bool json = false;
};

void DeclareScanOptions(CLI::App& app, ScanOptions& o) {
  app.option_defaults()->group("Scan");
  args::AddOptional(app, "--addresses", o.addresses,
                    "numbers and ranges, e.g. 1-12 or 1,3,5-8 (default 1-32; with --mbus the 32-bit addresses to "
                    "ask, which must then be given)")
      ->type_name("LIST");
  args::AddOptional(app, "--bauds", o.bauds,
                    "the speeds to try on a serial port (default: the port's configured speed); all: 2400, 4800, "
                    "9600, 57600, 115200. A modem or TCP line keeps its speed.")
      ->type_name("LIST|all");
  app.add_flag("--json", o.json, "print a JSON array");
  // One address is not a scan: the list has its own option.
  app.add_option_function<std::string>("--address",
                                       [](const std::string&) {
                                         throw CLI::ValidationError("--address",
                                                                    "give the addresses to try with --addresses LIST");
                                       })
      ->group("");
}

std::string ModelText(DeviceType t) { return std::string(DeviceTypeName(t)); }

// Prints each instrument as it answers.
class ScanPrinter : public CliObserver {
 public:
  ScanPrinter(std::ostream& out, std::ostream& err, bool json)
      : CliObserver(err, StderrIsTerminal()), out_(out), json_(json) {}
  void Found(const ScanFound& f) override {
    if (json_) return;
    ClearProgress();
    out_ << f.address << '\t' << f.baud << '\t' << ModelText(f.type) << '\t' << PrintableText(f.ident) << '\n';
    out_.flush();
  }

 private:
  std::ostream& out_;
  bool json_;
};

}  // namespace

int RunScan(const Args& args, std::ostream& out, std::ostream& err) {
  ScanOptions so;
  if (auto done = ParseInstrumentCommand("scan", kScanAbout, kScanFooter, so, DeclareScanOptions, args, out, err))
    return *done;
  const auto addresses = ScanAddresses(so.addresses, so.conn.mbus);
  if (!addresses) return UsageError(err, "scan", addresses.error().reason);
  const auto bauds = ScanSpeeds(so.bauds);
  if (!bauds) return UsageError(err, "scan", bauds.error().reason);
  const ConnectionOptions& o = so.conn;
  const bool json = so.json;

  StopSignal signal;
  JobSetup setup = MakeSetup(o);
  if (!SettingsUsable(setup, "scan", err)) return kExitUsage;
  ScanPrinter obs(out, err, json);
  PartSink sink(obs, setup.home);
  const ReadJob job = MakeReadJob(setup.settings, setup.home, ReadPlan{ReadKind::Custom, {}});
  const LineResult run = Scan(job.line, *addresses, *bauds, sink, StopSignal::StopFlag(), MakeHooks(o, obs));
  obs.ClearProgress();
  const auto& found = run.found;
  if (json) {
    Json list = Json::array();
    for (const ScanFound& f : found)
      list.push_back({{"address", f.address}, {"baud", f.baud}, {"model", ModelText(f.type)}, {"ident", f.ident}});
    out << JsonText(list) << "\n";
  }
  if (run.whole.outcome == ReadOutcome::Stopped) return kExitStopped;
  return found.empty() ? kExitLink : kExitOk;
}

}  // namespace statvtk::cli
