#include "cli/cli_options.hpp"

#include <algorithm>
#include <charconv>

#include "base/host_port.hpp"
#include "link/frame.hpp"

namespace statvtk::cli {

bool ArgReader::Value(const std::string& option, std::string& out) {
  if (Done()) {
    Fail(option + " needs a value");
    return false;
  }
  out = Next();
  return true;
}

bool ArgReader::Number(const std::string& option, long long min, long long max, long long& out) {
  std::string text;
  if (!Value(option, text)) return false;
  long long v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || v < min || v > max) {
    Fail(option + ": \"" + text + "\" is not a number from " + std::to_string(min) + " to " + std::to_string(max));
    return false;
  }
  out = v;
  return true;
}

bool TakeConnectionOption(const std::string& arg, ArgReader& r, ConnectionOptions& o) {
  std::string s;
  long long n = 0;
  auto text = [&](std::optional<std::string>& field) {
    if (r.Value(arg, s)) field = s;
    return true;
  };
  auto number = [&](auto& field, long long min, long long max) {
    if (r.Number(arg, min, max, n)) field = static_cast<std::remove_reference_t<decltype(*field)>>(n);
    return true;
  };
  if (arg == "--serial") return text(o.serial);
  if (arg == "--modem") return text(o.modem);
  if (arg == "--tcp") return text(o.tcp);
  if (arg == "--dyndns") return text(o.dyndns);
  if (arg == "--phone") return text(o.phone);
  if (arg == "--baud") return number(o.baud, 1, 4000000);
  if (arg == "--address") return number(o.address, 0, 0xFFFFFFFFLL);
  if (arg == "--byte-timeout") return number(o.byteTimeout, 1, 60000);
  if (arg == "--reply-timeout") return number(o.replyTimeout, 1, 60000);
  if (arg == "--retries") return number(o.retries, 1, 255);
  if (arg == "--mbus") return o.mbus = true;
  if (arg == "--gate") return o.gate = true;
  if (arg == "--pulse") return o.pulse = true;
  if (arg == "--trace") return o.trace = true;
  if (arg == "--home") {
    if (r.Value(arg, s)) o.home = s;
    return true;
  }
  return false;
}

std::string CheckConnectionOptions(const ConnectionOptions& o) {
  const int transports = (o.serial ? 1 : 0) + (o.modem ? 1 : 0) + (o.tcp ? 1 : 0);
  if (transports > 1) return "give at most one of --serial, --modem and --tcp";
  if (o.phone && !o.modem) return "--phone needs --modem";
  if (o.baud && std::find(kBaudRates.begin(), kBaudRates.end(), *o.baud) == kBaudRates.end())
    return "--baud: the rates are 2400, 4800, 9600, 57600 and 115200";
  if (o.tcp) {
    const auto at = ParseHostPort(*o.tcp);
    if (!at) return "--tcp: " + at.error().reason;
    if (!o.dyndns && at->host.find('.') == std::string::npos)
      return "--tcp: the host must be a dotted IPv4 address (use --dyndns NAME for a host name)";
  }
  if (o.address && !o.mbus && frame::AddressNeedsMBus(*o.address))
    return "--address: 0..255 (M-Bus addresses need --mbus)";
  return {};
}

ConnectionSettings ApplyConnectionOptions(ConnectionSettings s, const ConnectionOptions& o) {
  if (o.serial) {
    s.connectMode = ConnectMode::Serial;
    s.portName = *o.serial;
  }
  if (o.modem) {
    s.connectMode = ConnectMode::Modem;
    s.portName = *o.modem;
  }
  if (o.tcp) {
    s.connectMode = ConnectMode::Tcp;
    if (const auto at = ParseHostPort(*o.tcp)) {
      s.sockIp = at->host;
      s.sockPort = at->port;
    }
  }
  if (o.dyndns) {
    s.useDynDns = true;
    s.dynDnsName = *o.dyndns;
  }
  if (o.gate) s.useGate = true;
  if (o.mbus) s.useMBus = true;
  if (o.phone) s.phoneNo = *o.phone;
  if (o.pulse) s.tone = false;
  if (o.baud) {
    const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), *o.baud);
    s.baudIndex = static_cast<int>(it - kBaudRates.begin()) + 1;
  }
  if (o.address) s.netAddress = *o.address;
  TimingTriple& t = s.connectMode == ConnectMode::Modem ? s.modem
                    : s.connectMode == ConnectMode::Tcp ? s.ethernet
                                                        : s.serial;
  if (o.byteTimeout) t.byteTimeout = *o.byteTimeout;
  if (o.replyTimeout) t.replyTimeout = *o.replyTimeout;
  if (o.retries) t.retries = *o.retries;
  return s;
}

const char* ConnectionHelp() {
  return R"(Connection (what is not given comes from StatVTK.ini in the program home):
  --serial PORT          serial line on PORT (e.g. /dev/ttyUSB0)
  --baud N               2400, 4800, 9600, 57600 or 115200
  --mbus                 M-Bus: even parity and 32-bit addresses
  --tcp HOST:PORT        TCP to a device server (HOST a dotted IPv4 address)
  --gate                 a 318M device at the TCP address is the gateway
  --dyndns NAME          connect to the DynDNS host NAME instead of HOST
  --modem PORT           Hayes modem on PORT
  --phone NUMBER         number the modem dials
  --pulse                pulse dialing (default tone)
  --address N            the instrument's network address (M-Bus: 32 bits)
  --byte-timeout MS      wait for each reply byte after the first
  --reply-timeout MS     wait for the first reply byte
  --retries N            attempts of one exchange
  --home DIR             program home (StatVTK.ini, Data/); also STATVTK_HOME
  --trace                every frame sent and received in hex on stderr
)";
}

}  // namespace statvtk::cli
