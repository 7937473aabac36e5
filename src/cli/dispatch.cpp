// statvtk-cli's command dispatcher and its general help.
#include <ostream>
#include <string>

#include "base/command_line.hpp"
#include "base/version.hpp"
#include "cli/commands.hpp"
#include "cli/output_check.hpp"

namespace statvtk::cli {

namespace {

const char* kAbout = R"(The command-line program of StatVTK, the service utility for the VTK-08.12,
VTK-08.14 (C, CM) and LDN-08 flowmeters.)";

const char* kFooter = R"(Several instruments on one line: 'scan --addresses 1-12 --bauds all' lists
those that answer; 'read --address 3,7,11' reads them in one go, each into
its own file. 'read --new' (or '--base FILE') reads only what is new since
the last read of the instrument and writes the same file a full read would.

'statvtk-cli COMMAND --help' describes each command and its options.
Exit status: 0 done, 1 instrument or link failed, 2 bad usage, 3 a file could
not be read or written, 130 stopped by Ctrl+C.
)";

constexpr args::Command kCommands[] = {
    {"read", "read the statistics from the instrument into a statistics file", RunRead},
    {"current", "show the instrument's current readings, once or repeated", RunCurrent},
    {"identify", "identify the instrument at the address", RunIdentify},
    {"scan", "find the instruments on the line (addresses and speeds)", RunScan},
    {"show", "decode a statistics file (text or --json)", RunShow},
    {"ports", "list the serial ports present", RunPorts},
    {"export", "export a statistics file", RunExport},
    {"report", "make a report from a statistics file", RunReport},
    {"info", "technical information of a statistics file", RunInfo},
    {"situations", "abnormal situations and monthly summaries of a statistics file", RunSituations},
};

}  // namespace

int Dispatch(const Args& args, std::ostream& out, std::ostream& err) {
  const args::Program program{.name = "statvtk-cli",
                              .about = kAbout,
                              .footer = kFooter,
                              .version = "statvtk-cli (StatVTK) " + std::string(StatvtkVersion()),
                              .commands = kCommands,
                              .usageExit = kExitUsage,
                              // Every command ends here: what it printed is flushed, and output that
                              // went nowhere turns a success into exit 3.
                              .finish = [&](int status, const std::string& what) {
                                const int written = FinishOutput(out, err, what);
                                return status == kExitOk ? written : status;
                              }};
  return args::RunProgram(program, args, out, err);
}

}  // namespace statvtk::cli
