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

TimingTriple ReadTriple(const IniFile& ini, const char* section, const char* b, const char* p, const char* r,
                        const TimingTriple& def) {
  return {ToU32(ini.ReadInteger(section, b, def.byteTimeout)), ToU32(ini.ReadInteger(section, p, def.replyTimeout)),
          ToU32(ini.ReadInteger(section, r, def.retries))};
}

bool WriteTriple(IniFile& ini, const char* section, const TimingTriple& t) {
  bool ok = ini.WriteInteger(section, "ByteConst", t.byteTimeout);
  ok &= ini.WriteInteger(section, "PacketConst", t.replyTimeout);
  ok &= ini.WriteInteger(section, "PacketRetry", t.retries);
  return ok;
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
  return s;
}

std::string ConnectionSettingsError(const ConnectionSettings& s) {
  const auto outside = [](const char* section, const char* key, long long value, long long lo, long long hi,
                          const char* note) {
    return "Недопустимое значение " + std::string(key) + "=" + std::to_string(value) + " в разделе [" + section +
           "] файла StatVTK.ini: допустимо " + std::to_string(lo) + ".." + std::to_string(hi) + note +
           ". Чтение не начато.";
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
  return {};
}

bool StoreConnectionSettings(IniFile& ini, const ConnectionSettings& s) {
  bool ok = ini.WriteInteger(kSettings, "ConnectMode", static_cast<int>(s.connectMode));
  ok &= ini.WriteString(kModem, "PhoneNo", s.phoneNo);
  ok &= ini.WriteString(kModem, "InitString", s.initString);
  ok &= ini.WriteString(kSettings, "SockIP", s.sockIp);
  ok &= ini.WriteString(kSettings, "DynDNS_Name", s.dynDnsName);
  ok &= ini.WriteInteger(kSettings, "SockPort", s.sockPort);
  ok &= ini.WriteBool(kSettings, "UseMBus", s.useMBus);
  ok &= ini.WriteBool(kSettings, "UseGate", s.useGate);
  ok &= ini.WriteBool(kSettings, "UseDynDNS", s.useDynDns);
  ok &= ini.WriteInteger(kSettings, "ComPort", s.comPort);
  ok &= ini.WriteInteger(kSettings, "BaudRate", s.baudIndex);
  ok &= ini.WriteInteger(kSettings, "Reconnects", s.reconnects);
  ok &= WriteTriple(ini, kSerial, s.serial);
  ok &= WriteTriple(ini, kModem, s.modem);
  ok &= WriteTriple(ini, kEthernet, s.ethernet);
  ok &= ini.WriteString(kSettings, "PortName", s.portName);
  ok &= ini.WriteInteger(kEthernet, "ConnectTimeout", s.connectTimeoutS);
  ok &= ini.WriteInteger(kModem, "ConnectWait", s.connectWaitS);
  ok &= ini.WriteBool(kModem, "Tone", s.tone);
  return ok;
}

void RestoreRecommended(ConnectionSettings& s) {
  s.serial = s.recSerial;
  s.modem = s.recModem;
  s.ethernet = s.recEthernet;
  s.reconnects = 3;
}

}  // namespace statvtk
