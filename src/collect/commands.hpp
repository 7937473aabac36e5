// statvtk-collect's commands and what they share: the home, collect.ini and the store.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "collect/collect_config.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

inline constexpr int kExitOk = 0, kExitFailed = 1, kExitConfig = 2;

struct Common {
  std::filesystem::path home;
  std::filesystem::path configFile;
  std::vector<std::string> rest;  // the command's own arguments
};

// The home and collect.ini from --home and --config (taken out of `args`).
std::optional<Common> ReadCommon(const std::vector<std::string>& args, std::ostream& err);
// collect.ini loaded and checked, or the problems on err.
std::optional<Config> LoadChecked(const Common& c, std::ostream& err);
// The store of the configuration, or the reason on err.
std::unique_ptr<store::RecordStore> OpenStore(const Config& cfg, const Common& c, std::ostream& err);

int RunOnce(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunService(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunScanInto(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace statvtk::collect
