// Whether standard error is a terminal (isatty).
#include <unistd.h>

#include "cli/cli_job.hpp"

namespace statvtk::cli {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace statvtk::cli
