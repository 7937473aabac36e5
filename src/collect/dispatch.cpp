#include "base/program_home.hpp"
#include "base/version.hpp"
#include "collect/commands.hpp"
#include "collect/config/identity.hpp"

namespace statvtk::collect {

namespace {

const char* kAbout = R"(Collects the statistics of a fleet of instruments into a record store.)";

const char* kFooter = R"(--config FILE defaults to collect.ini in the home. docs/collect-reference.md
describes collect.ini and the store's schema, docs/collect.md how to run the
collector; 'statvtk-collect COMMAND --help' each command's options.
)";

constexpr args::Command kCommands[] = {
    {"run", "the service: reads every instrument when due, until SIGTERM/SIGINT", RunService},
    {"once", "every instrument once, now (exit 0 all read, 1 any failed, 2 bad configuration)", RunOnce},
    {"status",
     "per instrument: serial, model, line, last good read, next due, records, gaps, the last failure; the collectors",
     RunStatus},
    {"export", "one instrument's stored records as CSV or JSON", RunExport},
    {"report", "the workbooks of statvtk-cli report, from the store's records", RunReport},
    {"scan-into", "adds the instruments that answer on a line to collect.ini", RunScanInto},
    {"ack", "acknowledges findings by id, or every open one of an instrument (--serial)", RunAck},
    {"token", "add, list or remove the tokens of the page and API (token add NAME)", RunToken},
};

}  // namespace

Common CommonArgs::Resolved() const {
  Common c;
  c.home = ResolveProgramHome(home, ExecutablePath());
  c.configFile = config ? *config : c.home / "collect.ini";
  return c;
}

std::unique_ptr<CLI::App> CommandApp(const std::string& name, const std::string& description, CommonArgs& given,
                                     const std::string& footer) {
  auto app = args::MakeApp("statvtk-collect " + name, description, footer);
  app->option_defaults()->group("Files");
  args::AddOptional(*app, "--home", given.home, "program home (collect.ini, the store, Data/, logs/)")
      ->type_name("DIR");
  args::AddOptional(*app, "--config", given.config, "the configuration (default: collect.ini in the home)")
      ->type_name("FILE");
  app->option_defaults()->group("Options");
  return app;
}

std::optional<int> ParseCommand(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                                std::ostream& err) {
  return args::ParseOrEnd(app, args, out, err, kExitConfig);
}

std::optional<Config> LoadChecked(const Common& c, std::ostream& err) {
  ConfigResult r = LoadConfig(c.configFile);
  if (!r.config) {
    err << r.Text(c.configFile);
    return std::nullopt;
  }
  return std::move(*r.config);
}

std::unique_ptr<store::RecordStore> OpenStore(const Config& cfg, const Common& c, std::ostream& err, bool readOnly) {
  auto s = store::OpenRecordStore(cfg.collector.database, c.home, StoreOptionsOf(cfg.collector, readOnly));
  if (!s) {
    err << "statvtk-collect: " << s.error().reason << "\n";
    return nullptr;
  }
  return std::move(*s);
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const args::Program program{.name = "statvtk-collect",
                              .about = kAbout,
                              .footer = kFooter,
                              .version = "statvtk-collect (StatVTK) " + std::string(StatvtkVersion()),
                              .commands = kCommands,
                              .usageExit = kExitConfig,
                              .finish = {}};
  return args::RunProgram(program, args, out, err);
}

}  // namespace statvtk::collect
