// What the instrument commands share: the program home, the settings of
// StatVTK.ini with the options laid over them, and one job run to its end.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/ini_file.hpp"
#include "cli/cli_observer.hpp"
#include "cli/cli_options.hpp"
#include "cli/stop_signal.hpp"
#include "front/part_sink.hpp"
#include "link/settings.hpp"
#include "reading/job_prep.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"

namespace statvtk::cli {

struct JobSetup {
  std::filesystem::path home;
  std::unique_ptr<IniFile> ini;
  ConnectionSettings settings;
};

// Resolves the home and loads the settings; the options win over the file.
JobSetup MakeSetup(const ConnectionOptions& o);

// False, with the reason on err, when StatVTK.ini (with the options laid
// over it) holds a connection value out of its range: no job may start.
bool SettingsUsable(const JobSetup& setup, const std::string& command, std::ostream& err);

// Whether stderr is a terminal (for the progress bar).
bool StderrIsTerminal();

// What stands between a command's run and the world: with --trace, every
// frame goes to `obs`.
RunHooks MakeHooks(const ConnectionOptions& o, CliObserver& obs);

// Runs `job` (MakeReadJob) on this thread to its end, its events shown by
// `sink`; the Ctrl+C handler's stop ends it.
LineResult RunJob(const ReadJob& job, PartSink& sink, const RunHooks& hooks);

// An instrument command's read: Ctrl+C is its stop while it lives, the
// settings come from the options, the texts go to stderr.
struct CommandRead {
  CommandRead(const ConnectionOptions& o, std::ostream& err, bool progressBar = false)
      : setup(MakeSetup(o)), obs(err, progressBar), sink(obs, setup.home), hooks(MakeHooks(o, obs)) {}
  // The job of the settings for `plan`, read to its end.
  LineResult Run(const ReadPlan& plan) { return RunJob(MakeReadJob(setup.settings, setup.home, plan), sink, hooks); }

  StopSignal signal;
  JobSetup setup;
  CliObserver obs;
  PartSink sink;
  RunHooks hooks;
};

}  // namespace statvtk::cli
