// "HOST:PORT" as every option and setting of the programs gives an address
// (a device server, the status page, the MQTT broker): the one parser.
#pragma once

#include <string>
#include <string_view>

#include "base/error.hpp"

namespace statvtk {

struct HostPort {
  std::string host;
  int port = 0;
};

struct HostPortRules {
  const char* defaultHost = nullptr;  // given: "PORT" and ":PORT" take it
  int defaultPort = 0;                // above 0: "HOST" alone takes it
  int minPort = 1;                    // 0: port 0 (the system chooses) is allowed
};

// "HOST:PORT" ("[v6 address]:PORT" too); the error (BadSettings) says what
// is wrong in words that follow the option or key ("--tcp: ...").
Result<HostPort> ParseHostPort(std::string_view text, const HostPortRules& rules = {});

}  // namespace statvtk
