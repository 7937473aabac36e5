// Whether standard error is a console (a file or a pipe is not).
#include <windows.h>

#include "cli/cli_job.hpp"

namespace statvtk::cli {

bool StderrIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace statvtk::cli
