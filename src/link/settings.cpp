// Program-wide connection settings: every key of StatVTK.ini with its default,
// its clamp and the Recommended fallback of the timing values.
#include "link/settings.hpp"

#include "link/frame.hpp"
#include "link/serial_channel.hpp"

#include <algorithm>
#include <limits>

namespace statvtk {

namespace {

constexpr const char* kSettings = "Settings";
constexpr const char* kModem = "Modem";
constexpr const char* kSerial = "Serial";
constexpr const char* kEthernet = "Ethernet";
constexpr const char* kRecommended = "Recommended";

int ClampInt(long long v, long long lo, long long hi) { return static_cast<int>(std::clamp(v, lo, hi)); }
int ToInt(long long v) { return ClampInt(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()); }
std::uint32_t ToU32(long long v) {
  return static_cast<std::uint32_t>(std::clamp<long long>(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

// Notes where a setting came from when the file holds its key.
void NoteWritten(ConnectionSettings& s, const IniFile& ini, std::string field, const char* section, const char* key,
                 long long value) {
  if (!ini.ValueExists(section, key)) return;
  s.written.push_back({std::move(field), section, key, ini.ReadString(section, key, ""), value});
}

// The origin of a timing value: the transport's own key, else the
// Recommended key it falls back on (when that one was read).
void NoteTiming(ConnectionSettings& s, const IniFile& ini, const char* section, const char* key, const char* recKey,
                long long value) {
  const std::string field = std::string(section) + "/" + key;
  if (ini.ValueExists(section, key)) return NoteWritten(s, ini, field, section, key, value);
  NoteWritten(s, ini, field, kRecommended, recKey, value);
}

TimingTriple ReadTriple(const IniFile& ini, const char* section, const char* b, const char* p, const char* r,
                        const TimingTriple& def) {
  return {ToU32(ini.ReadInteger(section, b, def.byteTimeout)), ToU32(ini.ReadInteger(section, p, def.replyTimeout)),
          ToU32(ini.ReadInteger(section, r, def.retries))};
}

void NoteTriple(ConnectionSettings& s, const IniFile& ini, const char* section, const char* recPrefix,
                const TimingTriple& t) {
  const std::string pre = recPrefix;
  NoteTiming(s, ini, section, "ByteConst", (pre + "B").c_str(), t.byteTimeout);
  NoteTiming(s, ini, section, "PacketConst", (pre + "P").c_str(), t.replyTimeout);
  NoteTiming(s, ini, section, "PacketRetry", (pre + "R").c_str(), t.retries);
}

const WrittenKey* WrittenAs(const ConnectionSettings& s, const std::string& field, long long value) {
  for (const WrittenKey& w : s.written)
    if (w.field == field && w.value == value) return &w;
  return nullptr;  // not from the file, or changed since (an option, the dialog)
}

void WriteTriple(IniFile& ini, const char* section, const TimingTriple& t, Result<void>& written) {
  KeepFirstError(written, ini.WriteInteger(section, "ByteConst", t.byteTimeout));
  KeepFirstError(written, ini.WriteInteger(section, "PacketConst", t.replyTimeout));
  KeepFirstError(written, ini.WriteInteger(section, "PacketRetry", t.retries));
}

}  // namespace

std::uint32_t BaudRateOfIndex(long long index) {
  if (index < 1 || index > static_cast<long long>(kBaudRates.size())) return kBaudRates[3];
  return kBaudRates[static_cast<std::size_t>(index - 1)];
}

ConnectMode ConnectModeOf(long long value) {
  return value == 1 ? ConnectMode::Modem : value == 2 ? ConnectMode::Tcp : ConnectMode::Serial;
}

const TimingTriple& ConnectionSettings::Timing() const {
  switch (connectMode) {
    case ConnectMode::Modem: return modem;
    case ConnectMode::Tcp: return ethernet;
    case ConnectMode::Serial: break;
  }
  return serial;
}

std::string ConnectionSettings::SerialPath() const {
  if (!portName.empty()) return portName;
  return SerialPortPathOf(comPort);
}

std::string ConnectionSettings::ConnectionText() const {
  switch (connectMode) {
    case ConnectMode::Modem: return "Модем, " + SerialPath();
    case ConnectMode::Tcp: return sockIp + ":" + std::to_string(sockPort);
    case ConnectMode::Serial: break;
  }
  return SerialPath() + ", " + std::to_string(BaudRate()) + " bps";
}

ConnectionSettings LoadConnectionSettings(const IniFile& ini) {
  ConnectionSettings s;
  s.netAddress = ini.ReadInteger(kSettings, "NetAddress", 1);
  s.comPort = ToInt(ini.ReadInteger(kSettings, "ComPort", 1));
  s.baudIndex = ToInt(ini.ReadInteger(kSettings, "BaudRate", 4));
  s.useMBus = ini.ReadBool(kSettings, "UseMBus", false);
  const long long reconnects = ini.ReadInteger(kSettings, "Reconnects", 3);
  s.reconnects = reconnects <= 0 ? 3 : ClampInt(reconnects, 1, 255);
  s.portName = ini.ReadString(kSettings, "PortName", "");

  s.recSerial = ReadTriple(ini, kRecommended, "ComB", "ComP", "ComR", s.recSerial);
  s.recModem = ReadTriple(ini, kRecommended, "ModemB", "ModemP", "ModemR", s.recModem);
  s.recEthernet = ReadTriple(ini, kRecommended, "XPortB", "XPortP", "XPortR", s.recEthernet);
  s.serial = ReadTriple(ini, kSerial, "ByteConst", "PacketConst", "PacketRetry", s.recSerial);
  s.modem = ReadTriple(ini, kModem, "ByteConst", "PacketConst", "PacketRetry", s.recModem);
  s.ethernet = ReadTriple(ini, kEthernet, "ByteConst", "PacketConst", "PacketRetry", s.recEthernet);

  s.phoneNo = ini.ReadString(kModem, "PhoneNo", "");
  s.tone = ini.ReadBool(kModem, "Tone", true);
  s.initString = ini.ReadString(kModem, "InitString", "");
  s.connectWaitS = ClampInt(ini.ReadInteger(kModem, "ConnectWait", 60), 1, 255);
  s.connectTimeoutS = ClampInt(ini.ReadInteger(kEthernet, "ConnectTimeout", 5), 1, 255);

  s.sockIp = ini.ReadString(kSettings, "SockIP", "");
  s.sockPort = ToInt(ini.ReadInteger(kSettings, "SockPort", 10001));
  s.useGate = ini.ReadBool(kSettings, "UseGate", false);
  s.useDynDns = ini.ReadBool(kSettings, "UseDynDNS", false);
  s.dynDnsName = ini.ReadString(kSettings, "DynDNS_Name", "");
  s.connectMode = ConnectModeOf(ini.ReadInteger(kSettings, "ConnectMode", 0));

  NoteWritten(s, ini, "Settings/NetAddress", kSettings, "NetAddress", s.netAddress);
  NoteWritten(s, ini, "Settings/ComPort", kSettings, "ComPort", s.comPort);
  NoteWritten(s, ini, "Settings/SockPort", kSettings, "SockPort", s.sockPort);
  NoteTriple(s, ini, kSerial, "Com", s.serial);
  NoteTriple(s, ini, kModem, "Modem", s.modem);
  NoteTriple(s, ini, kEthernet, "XPort", s.ethernet);
  return s;
}

std::string ConnectionSettingsError(const ConnectionSettings& s) {
  // The key and value as the file holds them when the setting came from it.
  const auto outside = [&s](const char* section, const char* key, long long value, long long lo, long long hi,
                            const char* note) {
    std::string sec = section, k = key, text = std::to_string(value);
    if (const WrittenKey* w = WrittenAs(s, sec + "/" + k, value)) sec = w->section, k = w->key, text = w->text;
    return "Недопустимое значение " + k + "=" + text + " в разделе [" + sec + "] файла StatVTK.ini: допустимо " +
           std::to_string(lo) + ".." + std::to_string(hi) + note + ". Чтение не начато.";
  };
  if (s.useMBus) {
    if (s.netAddress < 0 || s.netAddress > 0xFFFFFFFFLL)
      return outside(kSettings, "NetAddress", s.netAddress, 0, 0xFFFFFFFFLL, " (режим M-Bus)");
  } else if (s.netAddress < 0 || frame::AddressNeedsMBus(s.netAddress)) {
    return outside(kSettings, "NetAddress", s.netAddress, 0, 255,
                   " (адреса больше 255 возможны только в режиме M-Bus)");
  }
  if (s.connectMode == ConnectMode::Tcp) {
    if (s.sockPort < 1 || s.sockPort > 65535) return outside(kSettings, "SockPort", s.sockPort, 1, 65535, "");
  } else if (s.portName.empty() && (s.comPort < 0 || s.comPort > 255)) {
    return outside(kSettings, "ComPort", s.comPort, 0, 255, " (0 и 1 — первый порт)");
  }
  // The timing of the transport in use, as read from the file (the
  // command line's options and the dialog keep to these ranges themselves).
  const char* section = s.connectMode == ConnectMode::Modem ? kModem
                        : s.connectMode == ConnectMode::Tcp ? kEthernet
                                                            : kSerial;
  const TimingTriple& t = s.Timing();
  const struct {
    const char* key;
    std::uint32_t value;
    long long hi;
    const char* note;
  } timing[] = {{"ByteConst", t.byteTimeout, 60000, " мс"},
                {"PacketConst", t.replyTimeout, 60000, " мс"},
                {"PacketRetry", t.retries, 255, " попыток"}};
  for (const auto& k : timing) {
    if (k.value >= 1 && k.value <= k.hi) continue;
    if (WrittenAs(s, std::string(section) + "/" + k.key, k.value))
      return outside(section, k.key, k.value, 1, k.hi, k.note);
  }
  return {};
}

Result<void> StoreConnectionSettings(IniFile& ini, const ConnectionSettings& s) {
  Result<void> ok;
  KeepFirstError(ok, ini.WriteInteger(kSettings, "ConnectMode", static_cast<int>(s.connectMode)));
  KeepFirstError(ok, ini.WriteString(kModem, "PhoneNo", s.phoneNo));
  KeepFirstError(ok, ini.WriteString(kModem, "InitString", s.initString));
  KeepFirstError(ok, ini.WriteString(kSettings, "SockIP", s.sockIp));
  KeepFirstError(ok, ini.WriteString(kSettings, "DynDNS_Name", s.dynDnsName));
  KeepFirstError(ok, ini.WriteInteger(kSettings, "SockPort", s.sockPort));
  KeepFirstError(ok, ini.WriteBool(kSettings, "UseMBus", s.useMBus));
  KeepFirstError(ok, ini.WriteBool(kSettings, "UseGate", s.useGate));
  KeepFirstError(ok, ini.WriteBool(kSettings, "UseDynDNS", s.useDynDns));
  KeepFirstError(ok, ini.WriteInteger(kSettings, "ComPort", s.comPort));
  KeepFirstError(ok, ini.WriteInteger(kSettings, "BaudRate", s.baudIndex));
  KeepFirstError(ok, ini.WriteInteger(kSettings, "Reconnects", s.reconnects));
  WriteTriple(ini, kSerial, s.serial, ok);
  WriteTriple(ini, kModem, s.modem, ok);
  WriteTriple(ini, kEthernet, s.ethernet, ok);
  KeepFirstError(ok, ini.WriteString(kSettings, "PortName", s.portName));
  KeepFirstError(ok, ini.WriteInteger(kEthernet, "ConnectTimeout", s.connectTimeoutS));
  KeepFirstError(ok, ini.WriteInteger(kModem, "ConnectWait", s.connectWaitS));
  KeepFirstError(ok, ini.WriteBool(kModem, "Tone", s.tone));
  return ok;
}

void RestoreRecommended(ConnectionSettings& s) {
  s.serial = s.recSerial;
  s.modem = s.recModem;
  s.ethernet = s.recEthernet;
  s.reconnects = 3;
}

}  // namespace statvtk
