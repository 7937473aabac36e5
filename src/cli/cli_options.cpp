#include "cli/cli_options.hpp"

#include <algorithm>

#include "base/host_port.hpp"
#include "cli/commands.hpp"
#include "link/frame.hpp"

namespace statvtk::cli {

namespace {

template <class T>
CLI::Option* Number(CLI::App& app, const std::string& name, std::optional<T>& target, long long lo, long long hi,
                    const std::string& type, const std::string& description) {
  return args::AddOptional(app, name, target, description)->transform(args::Decimal(lo, hi))->type_name(type);
}

CLI::Option* Text(CLI::App& app, const std::string& name, std::optional<std::string>& target, const std::string& type,
                  const std::string& description) {
  return args::AddOptional(app, name, target, description)->type_name(type);
}

// The connection options, after the command's own; an --address of the
// command's own (a list) stays.
void AddConnectionOptions(CLI::App& app, ConnectionOptions& o) {
  const bool withAddress = app.get_option_no_throw("--address") == nullptr;
  app.option_defaults()->group(kConnectionGroup);
  Text(app, "--serial", o.serial, "PORT", "serial line on PORT (e.g. /dev/ttyUSB0)");
  Number(app, "--baud", o.baud, 1, 4000000, "N", "2400, 4800, 9600, 57600 or 115200");
  app.add_flag("--mbus", o.mbus, "M-Bus: even parity and 32-bit addresses");
  Text(app, "--tcp", o.tcp, "HOST:PORT", "TCP to a device server (HOST a dotted IPv4 address)");
  app.add_flag("--gate", o.gate, "a 318M device at the TCP address is the gateway");
  Text(app, "--dyndns", o.dyndns, "NAME", "connect to the DynDNS host NAME instead of HOST");
  Text(app, "--modem", o.modem, "PORT", "Hayes modem on PORT");
  Text(app, "--phone", o.phone, "NUMBER", "number the modem dials");
  app.add_flag("--pulse", o.pulse, "pulse dialing (default tone)");
  if (withAddress)
    Number(app, "--address", o.address, 0, 0xFFFFFFFFLL, "N", "the instrument's network address (M-Bus: 32 bits)");
  Number(app, "--byte-timeout", o.byteTimeout, 1, 60000, "MS", "wait for each reply byte after the first");
  Number(app, "--reply-timeout", o.replyTimeout, 1, 60000, "MS", "wait for the first reply byte");
  Number(app, "--retries", o.retries, 1, 255, "N", "attempts of one exchange");
  args::AddOptional(app, "--home", o.home, "program home (StatVTK.ini, Data/); also STATVTK_HOME")->type_name("DIR");
  app.add_flag("--trace", o.trace, "every frame sent and received in hex on stderr");
}

}  // namespace

std::unique_ptr<CLI::App> CommandApp(const std::string& command, const std::string& description,
                                     const std::string& footer) {
  return args::MakeApp("statvtk-cli " + command, description, footer);
}

std::optional<int> ParseInstrumentCommand(CLI::App& app, ConnectionOptions& o,
                                          const std::vector<std::string>& arguments, std::ostream& out,
                                          std::ostream& err) {
  AddConnectionOptions(app, o);
  if (auto done = ParseCommand(app, arguments, out, err)) return done;
  if (auto e = CheckConnectionOptions(o); !e.empty()) return args::UsageError(err, app.get_name(), e, kExitUsage);
  return std::nullopt;
}

std::optional<int> ParseCommand(CLI::App& app, const std::vector<std::string>& arguments, std::ostream& out,
                                std::ostream& err) {
  return args::ParseOrEnd(app, arguments, out, err, kExitUsage);
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

int UsageError(std::ostream& err, const std::string& command, const std::string& message) {
  return args::UsageError(err, "statvtk-cli " + command, message, kExitUsage);
}

}  // namespace statvtk::cli
