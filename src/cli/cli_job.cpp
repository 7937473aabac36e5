#include "cli/cli_job.hpp"

#include "base/program_home.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"

namespace statvtk::cli {

JobSetup MakeSetup(const ConnectionOptions& o) {
  JobSetup s;
  s.home = ResolveProgramHome(o.home, ExecutablePath());
  s.ini = std::make_unique<IniFile>(SettingsPath(s.home));
  s.settings = ApplyConnectionOptions(LoadConnectionSettings(*s.ini), o);
  return s;
}

bool SettingsUsable(const JobSetup& setup, const std::string& command, std::ostream& err) {
  const std::string e = ConnectionSettingsError(setup.settings);
  if (e.empty()) return true;
  err << "statvtk-cli " << command << ": " << e << "\n";
  return false;
}

void ConfigureJob(TReadThread& job, const JobSetup& setup, const ConnectionOptions& o, CliObserver& obs,
                  const ReadPlan& plan) {
  PrepareReadJob(job, setup.settings, setup.home, plan);
  job.SetStopFlag(&StopSignal::StopFlag());
  job.SetAbortFlag(&StopSignal::AbortFlag());
  if (o.trace) job.Hooks().trace = [&obs](const FrameTrace& f) { obs.Trace(f); };
}

void RunJob(TReadThread& job) {
  job.Start();
  job.Wait();
}

}  // namespace statvtk::cli
