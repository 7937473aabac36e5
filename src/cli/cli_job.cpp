#include "cli/cli_job.hpp"

#include "base/program_home.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"
#include "reading/reads.hpp"

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

RunHooks MakeHooks(const ConnectionOptions& o, CliObserver& obs) {
  RunHooks hooks;
  if (o.trace) hooks.trace = [&obs](const FrameTrace& f) { obs.Trace(f); };
  return hooks;
}

LineResult RunJob(const ReadJob& job, PartSink& sink, const RunHooks& hooks) {
  if (!job.settingsError.empty()) return RefuseLine(job.line, job.instruments, job.settingsError, sink);
  return ReadLine(job.line, job.instruments, sink, StopSignal::StopFlag(), hooks);
}

}  // namespace statvtk::cli
