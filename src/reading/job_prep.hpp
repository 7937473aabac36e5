// Turning the connection settings and what the user chose to read into a
// reading job: the one place the front ends build their jobs.
#pragma once

#include <filesystem>

#include "link/settings.hpp"
#include "reading/read_choice.hpp"
#include "reading/read_job.hpp"

namespace statvtk {

class TReadThread;

// What a job reads.
enum class ReadKind {
  Statistics,      // the archives the read choice names
  Current,         // the current-values block, handed to a new window
  CurrentRefresh,  // the current-values block, handed to the window that polls
  Identify,        // identification only
  Custom           // the caller sets what to read itself (a scan, a batch)
};

struct ReadPlan {
  ReadKind kind = ReadKind::Statistics;
  ReadChoice choice;  // used by Statistics only
};

// The job of the connection settings (the address is settings.netAddress,
// an out-of-range value is refused by the run), the program home and what to read.
ReadJob MakeReadJob(const ConnectionSettings& settings, const std::filesystem::path& home, const ReadPlan& plan);

// Gives `job` that job. The stop flag, abort flag and frame trace stay with
// the caller, which owns them.
void PrepareReadJob(TReadThread& job, const ConnectionSettings& settings, const std::filesystem::path& home,
                    const ReadPlan& plan);

}  // namespace statvtk
