// statvtk-collect report: the command line around RunStoreReport.
#include "collect/commands.hpp"
#include "collect/report_command.hpp"

namespace statvtk::collect {

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") {
      out << kStoreReportHelp;
      return kExitOk;
    }
  auto c = ReadCommon(args, err);
  if (!c) return kExitConfig;
  std::string why;
  const auto parsed = ParseStoreReportArgs(c->rest, &why);
  if (!parsed) {
    err << "statvtk-collect " << why << "\n" << kStoreReportHelp;
    return kExitConfig;
  }
  auto cfg = LoadChecked(*c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, *c, err);
  if (!store) return kExitFailed;
  return RunStoreReport(*parsed, *store, c->home, out, err);
}

}  // namespace statvtk::collect
