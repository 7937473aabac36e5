// Turning the connection settings and what the user chose to read into a
// reading job: the one place the front ends build their jobs.
#pragma once

#include <filesystem>

#include "link/settings.hpp"
#include "reading/read_choice.hpp"
#include "reading/read_job.hpp"

namespace statvtk {

// What a job reads.
enum class ReadKind {
  Statistics,      // the archives the read choice names
  Current,         // the current-values block, handed to a new window
  CurrentRefresh,  // the current-values block, handed to the window that polls (no stage texts)
  Identify,        // identification only
  Check,           // identification and the header blocks (the serial): who answers, handed to no window
  Custom           // the caller names the instruments itself (a search, a batch)
};

struct ReadPlan {
  ReadKind kind = ReadKind::Statistics;
  ReadChoice choice;  // used by Statistics only
};

// The plan of one instrument for `plan` (a new-records read takes its base
// from the home's Data folder); Custom gives an empty statistics plan.
InstrumentPlan InstrumentPlanOf(const ReadPlan& plan, const std::filesystem::path& home);

// The job of the connection settings (one instrument at settings.netAddress,
// an out-of-range value is refused by the run; none for Custom), the program
// home (its Data folder holds the bases of new-records reads) and what to read.
ReadJob MakeReadJob(const ConnectionSettings& settings, const std::filesystem::path& home, const ReadPlan& plan);

}  // namespace statvtk
