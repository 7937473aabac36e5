// Where a link goes and how it waits: a serial line (possibly behind a
// modem) or a TCP endpoint, and the timing triple; fixed when a link is made.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "link/settings.hpp"

namespace statvtk {

// A serial port: its number (ComPort) or device path, speed and parity.
struct SerialLine {
  std::uint8_t comPort = 1;
  std::string portName;  // device path; empty: SerialPortPathOf(comPort)
  std::uint32_t baud = 9600;
  bool evenParity = false;  // 8E1 on an M-Bus line, else 8N1
  std::string Path() const;
};

// A TCP endpoint (an Ethernet converter or a gate).
struct TcpLine {
  std::string host;  // dotted IPv4 text
  std::uint16_t port = 0;
  bool useGate = false;
  bool useDynDns = false;  // connect to dynDnsName, resolved by name
  std::string dynDnsName;
  std::uint32_t connectTimeoutS = 5;
  // The address connected to: the DynDNS name or the dotted host.
  const std::string& Address() const { return useDynDns ? dynDnsName : host; }
  std::string Where() const { return Address() + ":" + std::to_string(port); }
};

using LineTarget = std::variant<SerialLine, TcpLine>;

// The target of the connection settings, with the values it can use: a host
// text needs a dot, port number 0 is port 1, the connect wait at least 1 s.
LineTarget LineTargetOf(const ConnectionSettings& s);

inline bool IsTcp(const LineTarget& t) { return std::holds_alternative<TcpLine>(t); }

}  // namespace statvtk
