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
#include "link/settings.hpp"
#include "reading/job_prep.hpp"
#include "reading/read_thread.hpp"

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

// Prepares the job from the settings and `plan` (as the desktop does), then
// gives it the stop and abort flags (the Ctrl+C handler's) and, with
// --trace, the frame trace.
void ConfigureJob(TReadThread& job, const JobSetup& setup, const ConnectionOptions& o, CliObserver& obs,
                  const ReadPlan& plan);

// Runs the job on its thread and waits for it.
void RunJob(TReadThread& job);

}  // namespace statvtk::cli
