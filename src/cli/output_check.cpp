#include "cli/output_check.hpp"

#include <cerrno>
#include <cstring>

#include "cli/commands.hpp"

namespace statvtk::cli {

int FinishOutput(std::ostream& out, std::ostream& err, const std::string& command) {
  errno = 0;
  out.flush();
  if (out) return kExitOk;
  const int e = errno;
  err << "statvtk-cli " << command << ": cannot write to standard output"
      << (e != 0 ? std::string(": ") + std::strerror(e) : std::string()) << "\n";
  return kExitFile;
}

}  // namespace statvtk::cli
