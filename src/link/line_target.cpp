#include "link/line_target.hpp"

#include <algorithm>

namespace statvtk {

namespace {
std::string DottedOrNone(const std::string& host) { return host.find('.') != std::string::npos ? host : std::string(); }
}  // namespace

LineTarget LineTargetOf(const ConnectionSettings& s) {
  if (s.connectMode == ConnectMode::Tcp) {
    TcpLine t;
    t.host = DottedOrNone(s.sockIp);
    t.port = static_cast<std::uint16_t>(s.sockPort);
    t.useGate = s.useGate;
    t.useDynDns = s.useDynDns;
    t.dynDnsName = DottedOrNone(s.dynDnsName);
    t.connectTimeoutS = static_cast<std::uint32_t>(std::max(s.connectTimeoutS, 1));
    return t;
  }
  SerialLine l;
  const int com = std::clamp(s.comPort, 0, 255);
  l.comPort = static_cast<std::uint8_t>(com == 0 ? 1 : com);
  l.portName = s.portName;
  l.baud = s.BaudRate() != 0 ? s.BaudRate() : 9600;
  l.evenParity = s.useMBus;
  return l;
}

}  // namespace statvtk
