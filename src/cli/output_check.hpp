// The end of a command that printed its result on standard output: the
// stream is flushed, and a failed write (a full disk, a closed pipe) is told.
#pragma once

#include <ostream>
#include <string>

namespace statvtk::cli {

// Flushes `out`; on failure writes "statvtk-cli COMMAND: ..." with the
// system's reason to `err` and returns kExitFile, else kExitOk.
int FinishOutput(std::ostream& out, std::ostream& err, const std::string& command);

}  // namespace statvtk::cli
