// statvtk-cli's command dispatcher and its general help.
#include <ostream>
#include <string_view>

#include "cli/commands.hpp"
#include "cli/output_check.hpp"
#include "base/version.hpp"

namespace statvtk::cli {

namespace {
const char* kHelp = R"(Usage: statvtk-cli COMMAND [OPTIONS]

The command-line program of StatVTK, the service utility for the VTK-08.12,
VTK-08.14 (C, CM) and LDN-08 flowmeters.

Commands:
  read       read the statistics from the instrument into a statistics file
  current    show the instrument's current readings, once or repeated
  identify   identify the instrument at the address
  scan       find the instruments on the line (addresses and speeds)
  show       decode a statistics file (text or --json)
  ports      list the serial ports present
  export     export a statistics file
  report     make a report from a statistics file
  info       technical information of a statistics file

Several instruments on one line: 'scan --addresses 1-12 --bauds all' lists
those that answer; 'read --address 3,7,11' reads them in one go, each into
its own file. 'read --new' (or '--base FILE') reads only what is new since
the last read of the instrument and writes the same file a full read would.

'statvtk-cli COMMAND --help' describes each command and its options;
'statvtk-cli --version' prints the program's version.
Exit status: 0 done, 1 instrument or link failed, 2 bad usage, 3 a file could
not be read or written, 130 stopped by Ctrl+C.
)";

using Command = int (*)(const Args&, std::ostream&, std::ostream&);
struct Entry {
  std::string_view name;
  Command run;
};
constexpr Entry kCommands[] = {
    {"read", RunRead},     {"current", RunCurrent}, {"identify", RunIdentify}, {"show", RunShow}, {"ports", RunPorts},
    {"export", RunExport}, {"report", RunReport},   {"info", RunInfo},         {"scan", RunScan},
};
}  // namespace

int Dispatch(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kHelp;
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kHelp;
    return FinishOutput(out, err, "--help");
  }
  if (args[0] == "--version" || args[0] == "-V") {
    out << "statvtk-cli (StatVTK) " << StatvtkVersion() << "\n";
    return FinishOutput(out, err, "--version");
  }
  for (const auto& c : kCommands) {
    if (args[0] != c.name) continue;
    const int code = c.run(Args(args.begin() + 1, args.end()), out, err);
    // Every command ends here: what it printed is flushed, and output that
    // went nowhere turns a success into exit 3.
    const int written = FinishOutput(out, err, std::string(c.name));
    return code == kExitOk ? written : code;
  }
  err << "statvtk-cli: unknown command '" << args[0] << "'\n"
      << "Try 'statvtk-cli --help'.\n";
  return kExitUsage;
}

}  // namespace statvtk::cli
