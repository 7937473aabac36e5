// The command line of statvtk-sim: parsing into instrument and server
// options, the --now clock text, and the help text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "sim/exchange.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"

namespace statvtk::sim {

struct CommandLine {
  InstrumentOptions instrument;
  // --bus: the instruments sharing the line (empty: the one of `instrument`).
  // Each takes the other options of `instrument`, its own model, address
  // (short and long form alike), line speed, and the seed plus its place.
  std::vector<InstrumentOptions> bus;
  std::uint32_t tickHours = 24;         // hours that pass on each SIGUSR1
  std::optional<ServerOptions> server;  // nothing: no carrier (e.g. only --dump)
  // --exchange N: N modem ports on --pty LINK1..LINKN, dialling the --site numbers.
  std::uint32_t exchangePorts = 0;
  std::vector<SiteOptions> sites;
  std::string dumpPath;
  bool help = false;
  bool version = false;
};

// Parses the arguments (without the program name); the error (BadSettings) says why not.
Result<CommandLine> ParseCommandLine(const std::vector<std::string>& args);

// "YYYY-MM-DD hh:mm:ss" (or "YYYY-MM-DDThh:mm:ss", seconds optional) as a device
// time; "now" is the system clock. nullopt when not valid or outside 2005..2055.
std::optional<std::uint32_t> ParseNow(std::string_view text);

// "MODEL@ADDR[:SPEED],..." of --bus on top of `base`; the error (BadSettings) says why not.
Result<std::vector<InstrumentOptions>> ParseBus(std::string_view text, const InstrumentOptions& base);

// The --help text, made from the options as they are declared.
std::string HelpText();

}  // namespace statvtk::sim
