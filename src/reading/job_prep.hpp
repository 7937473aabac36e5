// Turning the connection settings and what the user chose to read into a
// prepared reading job: the one place both front ends build their jobs.
#pragma once

#include <filesystem>

#include "link/settings.hpp"
#include "reading/read_choice.hpp"

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

// Gives `job` the connection (the address is settings.netAddress), the
// program home and what to read. The stop flag, abort flag and frame trace
// stay with the caller, which owns them.
void PrepareReadJob(TReadThread& job, const ConnectionSettings& settings, const std::filesystem::path& home,
                    const ReadPlan& plan);

}  // namespace statvtk
