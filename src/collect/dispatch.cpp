#include "base/program_home.hpp"
#include "base/version.hpp"
#include "collect/commands.hpp"

namespace statvtk::collect {

namespace {

const char* kHelp = R"(Usage: statvtk-collect COMMAND [--home DIR] [--config FILE] [OPTIONS]

Collects the statistics of a fleet of instruments into a record store.
  run       the service: reads every instrument when due, until SIGTERM/SIGINT
  once      every instrument once, now (exit 0 all read, 1 any failed, 2 bad configuration)
  status [--json]
            per instrument: serial, model, line, last good read, next due,
            records per archive, gaps, the last failure
  export --serial S [--from D] [--to D] [--archive hourly|daily|monthly] [--csv|--json]
  report --serial S --day DD.MM.YY | --daily DD.MM.YY DD.MM.YY [--out PATH]
            the workbooks of statvtk-cli report, from the store's records
  scan-into LINE [--addresses LIST] [--bauds LIST|all] [--every D]
            adds the instruments that answer on the line to collect.ini
  --version the program's version
--config FILE defaults to collect.ini in the home. docs/collect.md describes
collect.ini and the store's schema.
)";

}  // namespace

std::optional<Common> ReadCommon(const std::vector<std::string>& args, std::ostream& err) {
  Common c;
  std::optional<std::filesystem::path> home;
  std::optional<std::string> config;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--home" || args[i] == "--config")) {
      if (i + 1 >= args.size()) {
        err << "statvtk-collect: " << args[i] << " needs a value\n";
        return std::nullopt;
      }
      if (args[i] == "--home") home = args[i + 1];
      else config = args[i + 1];
      ++i;
    } else {
      c.rest.push_back(args[i]);
    }
  }
  c.home = ResolveProgramHome(home, ExecutablePath());
  c.configFile = config ? std::filesystem::path(*config) : c.home / "collect.ini";
  return c;
}

std::optional<Config> LoadChecked(const Common& c, std::ostream& err) {
  ConfigResult r = LoadConfig(c.configFile);
  if (!r.config) {
    err << r.Text(c.configFile);
    return std::nullopt;
  }
  return std::move(*r.config);
}

std::unique_ptr<store::RecordStore> OpenStore(const Config& cfg, const Common& c, std::ostream& err) {
  auto s = store::OpenRecordStore(cfg.collector.database, c.home);
  if (!s) {
    err << "statvtk-collect: " << s.error().reason << "\n";
    return nullptr;
  }
  return std::move(*s);
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    (args.empty() ? err : out) << kHelp;
    return args.empty() ? kExitConfig : kExitOk;
  }
  if (args[0] == "--version" || args[0] == "-V") {
    out << "statvtk-collect (StatVTK) " << StatvtkVersion() << "\n";
    return kExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "once") return RunOnce(rest, out, err);
  if (args[0] == "run") return RunService(rest, out, err);
  if (args[0] == "status") return RunStatus(rest, out, err);
  if (args[0] == "export") return RunExport(rest, out, err);
  if (args[0] == "report") return RunReport(rest, out, err);
  if (args[0] == "scan-into") return RunScanInto(rest, out, err);
  err << "statvtk-collect: unknown command " << args[0] << "\n" << kHelp;
  return kExitConfig;
}

}  // namespace statvtk::collect
