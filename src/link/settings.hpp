// Program-wide connection settings, loaded from and stored to StatVTK.ini.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ini_file.hpp"

namespace statvtk {

// Baud rates chosen by the 1-based index Settings/BaudRate.
inline constexpr std::array<std::uint32_t, 5> kBaudRates{2400, 4800, 9600, 57600, 115200};
// The baud rate of an index; an index outside 1..5 gives 57600 (index 4).
std::uint32_t BaudRateOfIndex(long long index);

struct TimingTriple {
  std::uint32_t byteTimeout = 0;   // ByteConst
  std::uint32_t replyTimeout = 0;  // PacketConst
  std::uint32_t retries = 0;       // PacketRetry
};

// A key of StatVTK.ini that a setting came from, as the file spells its
// value, so that a message shows what the user wrote ("SockPort=0x10"), not
// the number it was read as.
struct WrittenKey {
  std::string field;    // the setting: "Settings/SockPort", "Serial/ByteConst", ...
  std::string section;  // where it came from (Recommended for a timing fallback)
  std::string key;
  std::string text;     // the value as written
  long long value = 0;  // the value the setting took from it
};

// How the instrument is reached; StatVTK.ini keeps it as Settings/ConnectMode 0, 1 or 2.
enum class ConnectMode : std::uint8_t { Serial = 0, Modem = 1, Tcp = 2 };
// The mode of a stored value; anything but 1 or 2 is a serial line.
ConnectMode ConnectModeOf(long long value);

struct ConnectionSettings {
  std::int64_t netAddress = 1;
  int comPort = 1;
  int baudIndex = 4;
  bool useMBus = false;
  int reconnects = 3;
  ConnectMode connectMode = ConnectMode::Serial;
  std::string sockIp;
  int sockPort = 10001;
  bool useGate = false;
  bool useDynDns = false;
  std::string dynDnsName;
  std::string phoneNo;
  bool tone = true;
  std::string initString;
  std::string portName;     // Settings/PortName: serial device path; empty: SerialPortPathOf(ComPort)
  int connectTimeoutS = 5;  // Ethernet/ConnectTimeout, seconds
  int connectWaitS = 60;    // Modem/ConnectWait, seconds, 1..255
  TimingTriple serial, modem, ethernet;
  TimingTriple recSerial{100, 400, 5}, recModem{400, 1500, 5}, recEthernet{100, 150, 10};  // Recommended
  std::vector<WrittenKey> written;  // the checked keys as StatVTK.ini holds them (LoadConnectionSettings)

  // The triple of the transport chosen by connectMode.
  const TimingTriple& Timing() const;
  std::uint32_t BaudRate() const { return BaudRateOfIndex(baudIndex); }
  // The serial device path: portName, or SerialPortPathOf(comPort) (/dev/ttyS(n-1), COMn).
  std::string SerialPath() const;
  // "COM1, 57600 bps", "Модем, COM1", "10.0.0.1:10001" with the port's own name for COM.
  std::string ConnectionText() const;
};

// Reads every key with its default and clamp.
ConnectionSettings LoadConnectionSettings(const IniFile& ini);
// Why the settings cannot address an instrument: a key the chosen transport
// uses holds a value outside its range (NetAddress 0..255, or 0..4294967295
// with M-Bus; ComPort 0..255 without PortName; SockPort 1..65535 over TCP;
// the transport's ByteConst and PacketConst 1..60000 ms and PacketRetry
// 1..255 attempts, or the Recommended keys they fall back on, when read from
// the file). The text names the key, its value as written in the file and
// the range; empty when all is well.
std::string ConnectionSettingsError(const ConnectionSettings& s);
// Writes the keys the connection dialog's OK writes (each is tried); the
// first failed write's error.
Result<void> StoreConnectionSettings(IniFile& ini, const ConnectionSettings& s);
// The "Стандартные значения" values: the nine timing values from Recommended, 3 attempts.
void RestoreRecommended(ConnectionSettings& s);

}  // namespace statvtk
