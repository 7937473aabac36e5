// statvtk-collect report: the command line around RunStoreReport.
#include "collect/commands.hpp"
#include "collect/image/report_command.hpp"

namespace statvtk::collect {

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  StoreReportArgs parsed;
  if (auto done = ParseCommand("report", kStoreReportAbout, kStoreReportFooter, given, parsed,
                               DeclareStoreReportOptions, args, out, err))
    return *done;
  if (const auto why = CheckStoreReportArgs(parsed))
    return args::UsageError(err, "statvtk-collect report", *why, kExitConfig);
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err, true);
  if (!store) return kExitFailed;
  return RunStoreReport(parsed, *store, c.home, out, err);
}

}  // namespace statvtk::collect
