// statvtk-collect's commands and what they share: the home, collect.ini and the store.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/command_line.hpp"
#include "collect/config/collect_config.hpp"
#include "collect/config/identity.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

inline constexpr int kExitOk = 0, kExitFailed = 1, kExitConfig = 2;

struct Common {
  std::filesystem::path home;
  std::filesystem::path configFile;
};

// --home DIR and --config FILE, which every command takes.
struct CommonArgs {
  std::optional<std::filesystem::path> home;
  std::optional<std::filesystem::path> config;
  Common Resolved() const;  // the home (else STATVTK_HOME, ...) and collect.ini in it
};

// The app of a command, "statvtk-collect NAME", with --home and --config into
// `given`; the command declares its own options on it.
std::unique_ptr<CLI::App> CommandApp(const std::string& name, const std::string& description, CommonArgs& given,
                                     const std::string& footer = {});
// Parses a command's arguments: nullopt to go on, or the exit status when
// the command ends here (kExitOk after the help on `out`, kExitConfig after
// the reason on `err`).
std::optional<int> ParseCommand(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                                std::ostream& err);
// The two in one: the command's app made (CommandApp) with its own options
// declared by `declare` into `o`, and the arguments parsed.
template <class Options>
std::optional<int> ParseCommand(const std::string& name, const std::string& description, const std::string& footer,
                                CommonArgs& given, Options& o, void (*declare)(CLI::App&, Options&),
                                const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto app = CommandApp(name, description, given, footer);
  declare(*app, o);
  return ParseCommand(*app, args, out, err);
}
// collect.ini loaded and checked, or the problems on err.
std::optional<Config> LoadChecked(const Common& c, std::ostream& err);
// The store of the configuration, or the reason on err; `readOnly` for the
// commands that only look (status, export, report): they work in a home
// they may not write and never change the store.
std::unique_ptr<store::RecordStore> OpenStore(const Config& cfg, const Common& c, std::ostream& err,
                                              bool readOnly = false);

int RunOnce(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunService(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunScanInto(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunAck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunToken(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace statvtk::collect
