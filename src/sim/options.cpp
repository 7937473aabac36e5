#include "sim/options.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "base/command_line.hpp"
#include "base/host_port.hpp"
#include "sim/shape_options.hpp"

namespace statvtk::sim {

namespace {

// C escapes of --serial and --ident: \n \r \t \e \0 \\ \xNN; nothing on a bad one.
std::optional<std::string> Unescape(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\') {
      out += v[i];
      continue;
    }
    if (++i >= v.size()) return std::nullopt;
    switch (v[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'e': out += '\x1b'; break;
      case '0': out += '\0'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        if (i + 2 >= v.size()) return std::nullopt;  // two digits must follow
        const auto hex = [](char c) {
          return c >= '0' && c <= '9'   ? c - '0'
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                        : -1;
        };
        const int hi = hex(v[i + 1]), lo = hex(v[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

}  // namespace

std::optional<std::uint32_t> ParseNow(std::string_view text) {
  if (text == "now") return static_cast<std::uint32_t>(std::time(nullptr));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep = 0;
  const std::string t(text);
  const int n = std::sscanf(t.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &sep, &h, &mi, &s);
  if (n != 3 && n < 6) return std::nullopt;
  if (n >= 4 && sep != ' ' && sep != 'T') return std::nullopt;
  if (y < 2005 || y > 2055 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
      s < 0)
    return std::nullopt;
  const std::int64_t v = CivilToDeviceTime(y, mo, d, h, mi, s);
  if (DeviceTimeToCivil(static_cast<std::uint32_t>(v)).day != d) return std::nullopt;  // 31.02 and the like
  return static_cast<std::uint32_t>(v);
}

Result<std::vector<InstrumentOptions>> ParseBus(std::string_view text, const InstrumentOptions& base) {
  std::vector<InstrumentOptions> out;
  auto fail = [](const std::string& why) -> Result<std::vector<InstrumentOptions>> {
    return MakeError(ErrorCode::BadSettings, why);
  };
  std::size_t from = 0;
  while (from <= text.size()) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    const std::string item(text.substr(from, comma - from));
    from = comma + 1;
    const std::size_t at = item.find('@');
    if (at == std::string::npos) return fail("bus entry without @ADDR: " + item);
    const std::size_t colon = item.find(':', at);
    const auto model = ParseModel(item.substr(0, at));
    if (!model) return fail("unknown model in bus entry: " + item);
    InstrumentOptions o = base;
    o.model = *model;
    o.seed = base.seed + out.size();
    const std::string_view rest = std::string_view(item).substr(at + 1);
    const auto address =
        args::DecimalValue(rest.substr(0, colon == std::string::npos ? rest.npos : colon - at - 1), 0, 255);
    if (!address) return fail("bad address in bus entry: " + item);
    o.address = static_cast<std::uint8_t>(*address);
    o.longAddress = o.address;
    if (colon != std::string::npos) {
      const auto speed = args::DecimalValue(std::string_view(item).substr(colon + 1), 50, 4000000);
      if (!speed) return fail("bad speed in bus entry: " + item);
      o.lineSpeed = static_cast<std::uint32_t>(*speed);
    }
    for (const auto& other : out)
      if (other.address == o.address) return fail("two instruments at address " + std::to_string(o.address));
    out.push_back(o);
    if (comma == text.size()) break;
  }
  return out;
}

namespace {

const char* kAbout = R"(A simulated VTK-08.12, VTK-08.14 C/CM or LDN-08 flowmeter on a loopback TCP
port or a pseudo-terminal, optionally behind a Hayes modem.)";

const char* kFooter = R"(Time: each SIGUSR1 lets --tick-hours hours pass on every instrument of the
line: each closed hour, day and month writes its record after the pointer, a
few events are written, the clock and current values move on.

The memory shapes apply to every instrument of --bus and --site; a shaped
record is overwritten as any other once time brings the pointer to it.

Malformed requests, requests the model does not know and reads outside a
memory get no reply and a line on standard error. The counters of requests
and injected faults are printed on exit when faults were asked for or with
--verbose. SIGINT and SIGTERM end the program cleanly.
)";

// What the options fill before they become a CommandLine.
struct Given {
  CommandLine c;
  ModemOptions modem;
  bool modemWanted = false;
  std::optional<CarrierKind> carrier;
  std::uint16_t port = 0;
  std::string link, bus;
  std::uint32_t baud = 0;
  std::vector<std::string> sites;
  std::string connect, id;
  bool idGiven = false;
};

// A whole number lo..hi in decimal into `target`.
template <class T>
CLI::Option* Whole(CLI::App& app, const std::string& name, T& target, long long lo, long long hi, const char* type,
                   const std::string& description) {
  return app
      .add_option_function<long long>(
          name, [&target](long long v) { target = static_cast<T>(v); }, description)
      ->transform(args::Decimal(lo, hi))
      ->type_name(type);
}

CLI::Validator Check(std::function<bool(const std::string&)> ok, std::string why) {
  return CLI::Validator([ok = std::move(ok), why = std::move(why)](std::string& v) { return ok(v) ? "" : why; }, "");
}

CLI::Option* Probability(CLI::App& app, const std::string& name, double& target, const std::string& description) {
  const auto valid = [](const std::string& v) {
    char* end = nullptr;
    const double p = std::strtod(v.c_str(), &end);
    return !v.empty() && *end == '\0' && p >= 0.0 && p <= 1.0;
  };
  return app.add_option(name, target, description)->check(Check(valid, "a probability from 0 to 1"))->type_name("P");
}

void InstrumentOptionsOf(CLI::App& app, Given& g) {
  InstrumentOptions& in = g.c.instrument;
  app.option_defaults()->group("Instrument");
  app.add_option_function<std::string>(
         "--model", [&in](const std::string& v) { in.model = *ParseModel(v); },
         "0812 | 0814c | 0814cm | ldn (default 0814c)")
      ->check(Check([](const std::string& v) { return ParseModel(v).has_value(); }, "0812, 0814c, 0814cm or ldn"))
      ->type_name("M");
  app.add_option("--seed", in.seed, "history generator seed (default 1); same seed, same memories")
      ->transform(args::Unsigned(UINT64_MAX))
      ->type_name("N");
  app.add_option_function<std::string>(
         "--now", [&in](const std::string& v) { in.now = *ParseNow(v); },
         "the instrument's clock, \"YYYY-MM-DD hh:mm:ss\" or \"now\" (default 2026-12-08 10:30:00); the clock stands "
         "still")
      ->check(Check([](const std::string& v) { return ParseNow(v).has_value(); }, "YYYY-MM-DD hh:mm:ss, 2005..2055"))
      ->type_name("TIME");
  Whole(app, "--address", in.address, 0, 255, "N", "network address of the short form, 0..255 (default 1)");
  Whole(app, "--long-address", in.longAddress, 0, UINT32_MAX, "N",
        "32-bit address of the long form (default 12345678)");
  Whole(app, "--line-speed", in.lineSpeed, 50, 4000000, "N",
        "on --pty, the only speed (bit/s) at which it hears frames; a client at another speed gets silence (default: "
        "any)");
  const auto escaped = [](std::size_t max) {
    return Check([max](const std::string& v) { return Unescape(v) && Unescape(v)->size() <= max; },
                 "C escapes \\n \\r \\t \\e \\0 \\\\ \\xNN" + std::string(max < 100 ? ", at most 8 bytes" : ""));
  };
  app.add_option_function<std::string>(
         "--serial", [&in](const std::string& v) { in.serial = Unescape(v); },
         "the serial number a VTK model reports (at most 8 bytes, padded with NULs) instead of its generated one; C "
         "escapes \\n \\r \\t \\e \\0 \\\\ \\xNN")
      ->check(escaped(8))
      ->type_name("TEXT");
  app.add_option_function<std::string>(
         "--ident", [&in](const std::string& v) { in.ident = Unescape(v); },
         "the identification text reported instead of the model's own (the reader knows the model by a key in it); "
         "the same escapes")
      ->check(escaped(std::string::npos))
      ->type_name("TEXT");
  app.add_option("--bus", g.bus,
                 "several instruments on the line, MODEL@ADDR[:SPEED],... (e.g. 0814c@3,ldn@7:57600,0812@11); each "
                 "answers only its own address (short and long form), seeds follow --seed")
      ->check(Check([](const std::string& v) { return !v.empty(); }, "MODEL@ADDR[:SPEED],..."))
      ->type_name("LIST");
}

void CarrierOptionsOf(CLI::App& app, Given& g) {
  app.option_defaults()->group("Carrier (one client at a time)");
  app.add_option_function<long long>(
         "--tcp", [&g](long long v) { g.port = static_cast<std::uint16_t>(v), g.carrier = CarrierKind::Tcp; },
         "listen on 127.0.0.1:PORT; 0 picks a free port (printed)")
      ->transform(args::Decimal(0, 65535))
      ->type_name("PORT");
  app.add_option_function<std::string>(
         "--pty", [&g](const std::string& v) { g.link = v, g.carrier = CarrierKind::Pty; },
         "open a pseudo-terminal and make LINK a symbolic link to its slave; open LINK as the serial port")
      ->check(Check([](const std::string& v) { return !v.empty(); }, "a path"))
      ->type_name("LINK");
  Whole(app, "--baud", g.baud, 50, 4000000, "N", "send every byte at the line's speed, 10 bits a byte");
  Whole(app, "--latency", g.c.instrument.latencyMs, 0, 60000, "MS", "the instrument's delay before each reply");
  app.option_defaults()->group("Modem (in front of the instrument on the carrier)");
  app.add_flag("--modem", g.modemWanted,
               "Hayes commands: AT, ATDT/ATDP<number>, ATH0, ATO, ATE0/1, ATZ; +++ with the guard time returns to "
               "command mode");
  Whole(app, "--busy", g.modem.busyCalls, 0, 1000000, "K", "the first K calls get BUSY");
  Whole(app, "--no-answer", g.modem.noAnswerCalls, 0, 1000000, "K", "the next K calls ring out: NO ANSWER");
  Whole(app, "--no-carrier", g.modem.noCarrierCalls, 0, 1000000, "K", "the next K calls fail: NO CARRIER");
  Whole(app, "--ring", g.modem.ringMs, 0, 600000, "MS", "ringing before NO ANSWER (default 3000)");
  Whole(app, "--dial-delay", g.modem.dialDelayMs, 0, 600000, "MS",
        "from the dial command to CONNECT or BUSY (default 1500)");
  Whole(app, "--guard", g.modem.guardMs, 20, 10000, "MS", "escape guard time before and after +++ (default 1000)");
  app.option_defaults()->group("Telephone exchange (several modem ports, instruments by phone number)");
  Whole(app, "--exchange", g.c.exchangePorts, 1, 64, "N",
        "N modem ports, the pseudo-terminals LINK1..LINKN of --pty, dialling the --site numbers; a site talks on one "
        "call at a time (a second caller hears BUSY), an unknown number gets NO CARRIER; --dial-delay and --ring "
        "time the calls");
  app.add_option(
         "--site", g.sites,
         "a site of the exchange, NUMBER=MODEL@ADDR[,busy=K][,no-answer][,drop=N][,drop-each=N]: busy for its first K "
         "calls, never answering, losing the carrier after N replies in its first connected call, or in every one "
         "(repeat for more sites)")
      ->type_name("SITE");
  app.option_defaults()->group("Client (a GPRS modem that calls the collector)");
  app.add_option("--connect", g.connect,
                 "connect to HOST:PORT, send the --id line, then answer as the instrument; the program ends when the "
                 "connection does")
      ->check(Check([](const std::string& v) { return ParseHostPort(v).has_value(); }, "HOST:PORT"))
      ->type_name("HOST:PORT");
  app.add_option_function<std::string>(
         "--id", [&g](const std::string& v) { g.id = v, g.idGiven = true; },
         "the line sent first on --connect (CR LF added); C escapes as --ident")
      ->type_name("TEXT");
}

void FaultAndOtherOptionsOf(CLI::App& app, Given& g) {
  InstrumentOptions& in = g.c.instrument;
  app.option_defaults()->group("Faults, each a probability 0..1 per reply");
  Probability(app, "--drop", in.faults.drop, "no reply");
  Probability(app, "--corrupt", in.faults.corrupt, "a wrong checksum");
  Probability(app, "--wrong-command", in.faults.wrongCommand, "a valid frame with another command");
  Probability(app, "--noise", in.faults.noise, "1..8 garbage bytes (never 0xAA) before the reply");
  Probability(app, "--truncate", in.faults.truncate, "the reply cut short");
  args::AddOptional(app, "--silent-after", in.silentAfter,
                    "send N replies, then answer nothing more (the line goes dead in the middle of a read)")
      ->transform(args::Unsigned(UINT64_MAX))
      ->type_name("N");
  app.option_defaults()->group("Time");
  Whole(app, "--tick-hours", g.c.tickHours, 1, 24 * 366, "N", "hours that pass on each SIGUSR1 (default 24)");
  app.option_defaults()->group("Other");
  app.add_option("--dump", g.c.dumpPath,
                 "write the statistics file a correct full read must give (written atomically); without a carrier, "
                 "exit after it")
      ->check(Check([](const std::string& v) { return !v.empty(); }, "a path"))
      ->type_name("FILE");
  app.add_flag("-v,--verbose", in.verbose, "log every request; print the counters on exit");
  app.add_flag("-V,--version", g.c.version, "the program's version");
  app.get_help_ptr()->group("Other");
}

std::unique_ptr<CLI::App> SimApp(Given& g) {
  auto app = args::MakeApp("statvtk-sim", kAbout, kFooter);
  InstrumentOptionsOf(*app, g);
  ShapeOptionsOf(*app, g.c.instrument.shapes);
  CarrierOptionsOf(*app, g);
  FaultAndOtherOptionsOf(*app, g);
  return app;
}

// The options that depend on each other, once all are known.
Result<CommandLine> Finish(Given g) {
  auto fail = [](const std::string& text) -> Result<CommandLine> { return MakeError(ErrorCode::BadSettings, text); };
  CommandLine& c = g.c;
  if (g.modemWanted && !g.carrier) return fail("--modem needs a carrier (--pty or --tcp)");
  if (c.instrument.serial && c.instrument.model == DeviceType::dtLDN08)
    return fail("--serial: an LDN-08 reports its serial number as a number");
  if (!g.bus.empty()) {
    // The entries take the other options whatever their order on the line.
    auto bus = ParseBus(g.bus, c.instrument);
    if (!bus) return fail("bad value for --bus: " + bus.error().reason);
    c.bus = std::move(*bus);
    if (!c.dumpPath.empty()) return fail("--dump takes one instrument, not --bus");
  }
  if (c.exchangePorts > 0 || !g.sites.empty()) {
    if (c.exchangePorts == 0 || g.carrier != CarrierKind::Pty || !g.modemWanted)
      return fail("--exchange N and --site go with --pty LINK and --modem");
    if (g.sites.empty()) return fail("--exchange needs at least one --site");
    for (const auto& text : g.sites) {
      auto site = ParseSite(text, c.instrument);
      if (!site) return fail("bad value for --site: " + site.error().reason);
      site->instrument.seed = c.instrument.seed + c.sites.size();
      c.sites.push_back(std::move(*site));
    }
  }
  if (!g.connect.empty()) {
    if (g.carrier) return fail("--connect is the carrier itself: not with --tcp or --pty");
    if (!g.idGiven) return fail("--connect needs --id TEXT");
    const auto id = Unescape(g.id);
    if (!id) return fail("--id: bad escape");
    const auto at = ParseHostPort(g.connect);
    ServerOptions o;
    o.carrier = CarrierKind::Client;
    o.baud = g.baud;
    o.connectHost = at->host;
    o.connectPort = static_cast<std::uint16_t>(at->port);
    o.id = *id;
    c.server = std::move(o);
  }
  if (g.carrier) {
    ServerOptions o;
    o.carrier = *g.carrier;
    o.tcpPort = g.port;
    o.ptyLink = g.link;
    o.modem = g.modemWanted;
    o.modemOptions = g.modem;
    o.baud = g.baud;
    c.server = std::move(o);
  }
  return std::move(c);
}

}  // namespace

Result<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments) {
  Given g;
  const auto app = SimApp(g);
  const args::Parsed parsed = args::Parse(*app, arguments);
  if (parsed.end == args::Parsed::End::Help) {
    CommandLine c;
    c.help = true;
    return c;
  }
  if (parsed.end == args::Parsed::End::Usage) return MakeError(ErrorCode::BadSettings, parsed.text + " (see --help)");
  if (g.c.version) return std::move(g.c);
  return Finish(std::move(g));
}

std::string HelpText() {
  Given g;
  return SimApp(g)->help();
}

}  // namespace statvtk::sim
