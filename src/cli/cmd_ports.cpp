// statvtk-cli ports: the serial ports present.
#include "cli/commands.hpp"
#include "link/serial_channel.hpp"

namespace statvtk::cli {

int RunPorts(const Args& args, std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      out << "Usage: statvtk-cli ports\n\n"
             "Lists the serial ports present, one a line: the device path, the\n"
             "/dev/serial/by-id name and the adapter's description, separated by tabs\n"
             "(empty fields where the system gives none).\n";
      return kExitOk;
    }
    err << "statvtk-cli ports: unknown option " << a << "\n";
    return kExitUsage;
  }
  const auto ports = ListSerialPorts();
  if (ports.empty()) err << "No serial ports found.\n";
  for (const auto& p : ports) out << p.path << "\t" << p.byIdName << "\t" << p.description << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
