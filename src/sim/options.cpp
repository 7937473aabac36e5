#include "sim/options.hpp"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace statvtk::sim {

namespace {

template <typename T>
bool Number(const std::string& s, T& out, T lo, T hi) {
  unsigned long long v = 0;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  out = static_cast<T>(v);
  return true;
}

bool Probability(const std::string& s, double& out) {
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
  out = v;
  return true;
}

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
    if (!Number<std::uint8_t>(item.substr(at + 1, colon == std::string::npos ? std::string::npos : colon - at - 1),
                              o.address, 0, 255))
      return fail("bad address in bus entry: " + item);
    o.longAddress = o.address;
    if (colon != std::string::npos && !Number<std::uint32_t>(item.substr(colon + 1), o.lineSpeed, 50, 4000000))
      return fail("bad speed in bus entry: " + item);
    for (const auto& other : out)
      if (other.address == o.address) return fail("two instruments at address " + std::to_string(o.address));
    out.push_back(o);
    if (comma == text.size()) break;
  }
  return out;
}

Result<CommandLine> ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  ModemOptions modem;
  bool wantModem = false;
  std::optional<CarrierKind> carrier;
  std::uint16_t port = 0;
  std::string link;
  std::uint32_t baud = 0;
  std::string busText;
  auto fail = [](const std::string& text) -> Result<CommandLine> { return MakeError(ErrorCode::BadSettings, text); };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    auto bad = [&]() { return fail("bad value for " + a + ": " + v); };
    if (a == "--help" || a == "-h") {
      c.help = true;
    } else if (a == "--version" || a == "-V") {
      c.version = true;
    } else if (a == "--verbose" || a == "-v") {
      c.instrument.verbose = true;
    } else if (a == "--modem") {
      wantModem = true;
    } else if (a == "--model" || a == "--seed" || a == "--now" || a == "--address" || a == "--long-address" ||
               a == "--tcp" || a == "--pty" || a == "--busy" || a == "--no-answer" || a == "--no-carrier" ||
               a == "--ring" || a == "--dial-delay" || a == "--guard" || a == "--baud" || a == "--latency" ||
               a == "--drop" || a == "--corrupt" || a == "--wrong-command" || a == "--noise" || a == "--truncate" ||
               a == "--silent-after" || a == "--dump" || a == "--bus" || a == "--line-speed" || a == "--tick-hours" ||
               a == "--serial" || a == "--ident") {
      if (!value(v)) return fail("missing value after " + a);
      InstrumentOptions& in = c.instrument;
      bool ok = true;
      if (a == "--model") {
        const auto m = ParseModel(v);
        ok = m.has_value();
        if (ok) in.model = *m;
      } else if (a == "--seed") {
        ok = Number<std::uint64_t>(v, in.seed, 0, UINT64_MAX);
      } else if (a == "--now") {
        const auto t = ParseNow(v);
        ok = t.has_value();
        if (ok) in.now = *t;
      } else if (a == "--address") {
        ok = Number<std::uint8_t>(v, in.address, 0, 255);
      } else if (a == "--long-address") {
        ok = Number<std::uint32_t>(v, in.longAddress, 0, UINT32_MAX);
      } else if (a == "--tcp") {
        ok = Number<std::uint16_t>(v, port, 0, 65535), carrier = CarrierKind::Tcp;
      } else if (a == "--pty") {
        ok = !v.empty(), link = v, carrier = CarrierKind::Pty;
      } else if (a == "--busy") {
        ok = Number<std::uint32_t>(v, modem.busyCalls, 0, 1000000);
      } else if (a == "--no-answer") {
        ok = Number<std::uint32_t>(v, modem.noAnswerCalls, 0, 1000000);
      } else if (a == "--no-carrier") {
        ok = Number<std::uint32_t>(v, modem.noCarrierCalls, 0, 1000000);
      } else if (a == "--ring") {
        ok = Number<std::uint32_t>(v, modem.ringMs, 0, 600000);
      } else if (a == "--dial-delay") {
        ok = Number<std::uint32_t>(v, modem.dialDelayMs, 0, 600000);
      } else if (a == "--guard") {
        ok = Number<std::uint32_t>(v, modem.guardMs, 20, 10000);
      } else if (a == "--baud") {
        ok = Number<std::uint32_t>(v, baud, 50, 4000000);
      } else if (a == "--latency") {
        ok = Number<std::uint32_t>(v, in.latencyMs, 0, 60000);
      } else if (a == "--drop") {
        ok = Probability(v, in.faults.drop);
      } else if (a == "--corrupt") {
        ok = Probability(v, in.faults.corrupt);
      } else if (a == "--wrong-command") {
        ok = Probability(v, in.faults.wrongCommand);
      } else if (a == "--noise") {
        ok = Probability(v, in.faults.noise);
      } else if (a == "--truncate") {
        ok = Probability(v, in.faults.truncate);
      } else if (a == "--silent-after") {
        std::uint64_t n = 0;
        ok = Number<std::uint64_t>(v, n, 0, UINT64_MAX);
        if (ok) in.silentAfter = n;
      } else if (a == "--dump") {
        ok = !v.empty(), c.dumpPath = v;
      } else if (a == "--bus") {
        ok = !v.empty(), busText = v;
      } else if (a == "--line-speed") {
        ok = Number<std::uint32_t>(v, in.lineSpeed, 50, 4000000);
      } else if (a == "--tick-hours") {
        ok = Number<std::uint32_t>(v, c.tickHours, 1, 24 * 366);
      } else if (a == "--serial" || a == "--ident") {
        const auto text = Unescape(v);
        ok = text.has_value() && (a == "--ident" || text->size() <= 8);
        if (ok) (a == "--serial" ? in.serial : in.ident) = *text;
      }
      if (!ok) return bad();
    } else {
      return fail("unknown option: " + a + " (see --help)");
    }
  }
  if (wantModem && !carrier) return fail("--modem needs a carrier (--pty or --tcp)");
  if (c.instrument.serial && c.instrument.model == DeviceType::dtLDN08)
    return fail("--serial: an LDN-08 reports its serial number as a number");
  if (!busText.empty()) {
    // The entries take the other options whatever their order on the line.
    auto bus = ParseBus(busText, c.instrument);
    if (!bus) return fail("bad value for --bus: " + bus.error().reason);
    c.bus = std::move(*bus);
    if (!c.dumpPath.empty()) return fail("--dump takes one instrument, not --bus");
  }
  if (carrier) {
    ServerOptions s;
    s.carrier = *carrier;
    s.tcpPort = port;
    s.ptyLink = link;
    s.modem = wantModem;
    s.modemOptions = modem;
    s.baud = baud;
    c.server = s;
  }
  return c;
}

std::string_view HelpText() {
  return R"(statvtk-sim: a simulated VTK-08.12, VTK-08.14 C/CM or LDN-08 flowmeter.

Usage: statvtk-sim [options]

Instrument:
  --model M            0812 | 0814c | 0814cm | ldn (default 0814c)
  --seed N             history generator seed (default 1); same seed, same memories
  --now TIME           the instrument's clock, "YYYY-MM-DD hh:mm:ss" or "now"
                       (default 2026-12-08 10:30:00); the clock stands still
  --address N          network address of the short form, 0..255 (default 1)
  --long-address N     32-bit address of the long form (default 12345678)
  --line-speed N       on --pty, the only speed (bit/s) at which it hears frames;
                       a client at another speed gets silence (default: any)
  --serial TEXT        the serial number a VTK model reports (at most 8 bytes,
                       padded with NULs), instead of its generated one
  --ident TEXT         the identification text reported instead of the model's
                       own (the reader knows the model by a key in it)
                       Both take C escapes: \n \r \t \e \0 \\ \xNN
  --bus LIST           several instruments on the line, MODEL@ADDR[:SPEED],...
                       (e.g. 0814c@3,ldn@7:57600,0812@11); each answers only its
                       own address (short and long form), seeds follow --seed

Carrier (one client at a time):
  --tcp PORT           listen on 127.0.0.1:PORT; 0 picks a free port (printed)
  --pty LINK           open a pseudo-terminal and make LINK a symbolic link to
                       its slave; open LINK as the serial port
  --baud N             send every byte at the line's speed, 10 bits a byte
  --latency MS         the instrument's delay before each reply

Modem (--modem, in front of the instrument on the carrier):
  --modem              Hayes commands: AT, ATDT/ATDP<number>, ATH0, ATO, ATE0/1,
                       ATZ; +++ with the guard time returns to command mode
  --busy K             the first K calls get BUSY
  --no-answer K        the next K calls ring out: NO ANSWER
  --no-carrier K       the next K calls fail: NO CARRIER
  --ring MS            ringing before NO ANSWER (default 3000)
  --dial-delay MS      from the dial command to CONNECT or BUSY (default 1500)
  --guard MS           escape guard time before and after +++ (default 1000)

Faults, each a probability 0..1 per reply:
  --drop P             no reply
  --corrupt P          a wrong checksum
  --wrong-command P    a valid frame with another command
  --noise P            1..8 garbage bytes (never 0xAA) before the reply
  --truncate P         the reply cut short
  --silent-after N     send N replies, then answer nothing more (the line
                       goes dead in the middle of a read)

Time:
  SIGUSR1              lets --tick-hours hours pass (default 24): each closed
                       hour, day and month writes its record after the pointer,
                       a few events are written, the clock and current values
                       move on (every instrument on the line)
  --tick-hours N       hours per SIGUSR1

Other:
  --dump FILE          write the statistics file a correct full read must give
                       (written atomically); without a carrier, exit after it
  --verbose, -v        log every request; print the counters on exit
  --help, -h           this text
  --version, -V        the program's version

Malformed requests, requests the model does not know and reads outside a
memory get no reply and a line on standard error. The counters of requests
and injected faults are printed on exit when faults were asked for or with
--verbose. SIGINT and SIGTERM end the program cleanly.
)";
}

}  // namespace statvtk::sim
