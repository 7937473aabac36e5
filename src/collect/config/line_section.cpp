// [Line NAME]: the line's mode, its carrier and timing, its pool or listener.
#include "collect/config/ini_sections.hpp"

#include "base/host_port.hpp"

namespace statvtk::collect::ini {

// The line's spec straight from its section: the carrier, its timing (the
// transport's recommended triple unless given), M-Bus and the modem's dialing.
void FillLine(Checker& c, const Section& s, LineConfig& l) {
  LineSpec& spec = l.spec;
  const std::string mode = c.Take<std::string>(
      s, "mode", "tcp",
      [](const std::string& v) {
        const std::string m = Lower(v);
        return m == "tcp" || m == "serial" || m == "modem" || m == "incoming" ? std::optional(m) : std::nullopt;
      },
      "tcp, serial, modem или incoming");
  l.mode = mode == "serial"     ? LineMode::Serial
           : mode == "modem"    ? LineMode::Modem
           : mode == "incoming" ? LineMode::Incoming
                                : LineMode::Tcp;
  spec.mode = l.mode == LineMode::Serial  ? ConnectMode::Serial
              : l.mode == LineMode::Modem ? ConnectMode::Modem
                                          : ConnectMode::Tcp;
  l.pool = c.Take<std::string>(s, "pool", "", NonEmpty, "имя секции [Modems NAME]");
  l.listen = c.Take<std::string>(s, "listen", "", NonEmpty, "имя секции [Listen NAME]");
  l.id = c.Take<std::string>(s, "id", "", NonEmpty, "текст, который модем линии посылает первым");
  if (!l.pool.empty() && l.mode != LineMode::Modem)
    c.Problem(s.values.at("pool").second, "Pool= задаётся только с Mode=modem");
  if (!l.pool.empty() && s.values.contains("modem"))
    c.Problem(s.values.at("pool").second, "[Line " + s.name + "]: Modem= или Pool=, не оба сразу");
  l.shared = c.Take<bool>(s, "shared", false, Bool01, "0 или 1");
  if (l.shared && (!l.pool.empty() || l.mode == LineMode::Incoming))
    c.Problem(s.values.at("shared").second,
              "[Line " + s.name +
                  "]: Shared=1 — только для линии, к которой каждый сборщик подключается сам, не для Pool= и не для "
                  "Mode=incoming");
  if ((s.values.contains("listen") || s.values.contains("id")) && l.mode != LineMode::Incoming)
    c.Problem(s.line, "[Line " + s.name + "]: Listen= и Id= задаются только с Mode=incoming");
  auto need = [&](const char* key, const char* what) {
    if (!s.values.contains(key)) c.Problem(s.line, "[Line " + s.name + "]: " + what);
  };
  TcpLine tcp;
  SerialLine serial;
  if (l.mode == LineMode::Incoming) {
    need("listen", "Mode=incoming: нужен Listen=NAME");
    need("id", "Mode=incoming: нужен Id=");
  } else if (l.mode == LineMode::Tcp) {
    need("tcp", "Mode=tcp: нужен Tcp=HOST:PORT");
    const auto hp = c.Take<std::optional<std::pair<std::string, int>>>(
        s, "tcp", std::nullopt,
        [](const std::string& v) -> std::optional<std::optional<std::pair<std::string, int>>> {
          const auto at = ParseHostPort(v);
          // The carrier takes a dotted address (an IPv4 address or a dotted name).
          if (!at || at->host.find('.') == std::string::npos) return std::nullopt;
          return std::optional(std::pair(at->host, at->port));
        },
        "HOST:PORT, где HOST — IPv4-адрес или имя с точкой, PORT — 1..65535 (например 127.0.0.1:4001)");
    if (hp) {
      tcp.host = hp->first;
      tcp.port = static_cast<std::uint16_t>(hp->second);
    }
  } else if (l.pool.empty()) {
    const char* key = l.mode == LineMode::Serial ? "serial" : "modem";
    need(key,
         l.mode == LineMode::Serial ? "Mode=serial: нужен Serial=PATH" : "Mode=modem: нужен Modem=PATH (или Pool=)");
    serial.portName = c.Take<std::string>(s, key, "", NonEmpty, "путь к устройству");
  }
  if (l.mode == LineMode::Modem) need("phone", "Mode=modem: нужен Phone=");
  ModemDialJob& dial = spec.dial;
  dial.phoneNo = c.Take<std::string>(s, "phone", "", AnyText, "");
  dial.initString = c.Take<std::string>(s, "init", "", AnyText, "");
  dial.pulse = c.Take<bool>(s, "pulse", false, Bool01, "0 или 1");
  dial.modem = l.mode == LineMode::Modem;
  spec.useMBus = c.Take<bool>(s, "mbus", false, Bool01, "0 или 1");
  spec.baud = static_cast<std::uint32_t>(
      c.Take<long long>(s, "baud", 57600, BaudRate, "одно из 2400, 4800, 9600, 57600, 115200"));
  const ConnectionSettings recommended;
  TimingTriple& t = spec.timing;
  // A modem that calls in is as slow as one that is called.
  t = l.mode == LineMode::Serial                                  ? recommended.recSerial
      : l.mode == LineMode::Modem || l.mode == LineMode::Incoming ? recommended.recModem
                                                                  : recommended.recEthernet;
  t.byteTimeout =
      static_cast<std::uint32_t>(c.Take<long long>(s, "byteconst", t.byteTimeout, Range(1, 60000), "1..60000 мс"));
  t.replyTimeout =
      static_cast<std::uint32_t>(c.Take<long long>(s, "packetconst", t.replyTimeout, Range(1, 60000), "1..60000 мс"));
  t.retries = static_cast<std::uint32_t>(c.Take<long long>(s, "packetretry", t.retries, Range(0, 100), "0..100"));
  tcp.connectTimeoutS =
      static_cast<std::uint32_t>(c.Take<long long>(s, "connecttimeout", 5, Range(1, 600), "1..600 с"));
  dial.connectWaitS = static_cast<int>(c.Take<long long>(s, "connectwait", 60, Range(1, 255), "1..255 с"));
  dial.attempts = static_cast<int>(c.Take<long long>(s, "reconnects", 3, Range(0, 255), "0..255"));
  serial.baud = spec.baud;
  serial.evenParity = spec.useMBus;
  if (l.mode == LineMode::Tcp) spec.target = tcp;
  else spec.target = serial;
}

}  // namespace statvtk::collect::ini
