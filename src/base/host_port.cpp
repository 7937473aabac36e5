#include "base/host_port.hpp"

#include <charconv>

namespace statvtk {

Result<HostPort> ParseHostPort(std::string_view text, const HostPortRules& rules) {
  const auto fail = [&](const std::string& why) -> Result<HostPort> { return MakeError(ErrorCode::BadSettings, why); };
  HostPort out;
  std::string_view host = text, port;
  // The port follows the last colon, unless that colon is inside [brackets].
  const std::size_t colon = text.rfind(':');
  const std::size_t close = text.rfind(']');
  const bool split = colon != std::string_view::npos && (close == std::string_view::npos || colon > close);
  // Without a colon the text is the port when a host is implied, else the host.
  const bool portGiven = split || (rules.defaultHost && rules.defaultPort == 0);
  if (split) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  } else if (portGiven) {
    host = {};
    port = text;
  }
  if (!portGiven && rules.defaultPort == 0) return fail("HOST:PORT expected");
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  out.host = host.empty() && rules.defaultHost ? rules.defaultHost : std::string(host);
  if (out.host.empty()) return fail("HOST:PORT expected");
  if (!portGiven) {
    out.port = rules.defaultPort;
    return out;
  }
  int p = -1;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
  if (port.empty() || ec != std::errc() || end != port.data() + port.size() || p < rules.minPort || p > 65535)
    return fail("the port must be a number from " + std::to_string(rules.minPort) + " to 65535");
  out.port = p;
  return out;
}

}  // namespace statvtk
