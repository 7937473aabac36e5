// statvtk-cli ports: the serial ports present.
#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "link/serial_channel.hpp"

namespace statvtk::cli {

int RunPorts(const Args& args, std::ostream& out, std::ostream& err) {
  const auto app = CommandApp("ports",
                              "Lists the serial ports present, one a line: the device path, the\n"
                              "/dev/serial/by-id name and the adapter's description, separated by tabs\n"
                              "(empty fields where the system gives none).",
                              "");
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const auto ports = ListSerialPorts();
  if (ports.empty()) err << "No serial ports found.\n";
  for (const auto& p : ports) out << p.path << "\t" << p.byIdName << "\t" << p.description << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
