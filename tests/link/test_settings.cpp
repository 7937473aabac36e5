// Connection settings: defaults, clamps, the Recommended fallback, Store and
// the connection text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "link/serial_channel.hpp"
#include "link/settings.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::link_test {
namespace {

// The system's names of serial ports 1 and 3.
#ifdef _WIN32
constexpr const char* kPort1 = "COM1";
constexpr const char* kPort3 = "COM3";
#else
constexpr const char* kPort1 = "/dev/ttyS0";
constexpr const char* kPort3 = "/dev/ttyS2";
#endif

bool operator==(const TimingTriple& a, const TimingTriple& b) {
  return a.byteTimeout == b.byteTimeout && a.replyTimeout == b.replyTimeout && a.retries == b.retries;
}

ConnectionSettings LoadText(const std::string& text) {
  return LoadConnectionSettings(IniFile::FromText("x.ini", text));
}

TEST(Settings, MissingFileGivesEveryDefault) {
  TempFolder dir;
  const auto s = LoadConnectionSettings(IniFile(dir.Path() / "StatVTK.ini"));
  EXPECT_EQ(s.netAddress, 1);
  EXPECT_EQ(s.comPort, 1);
  EXPECT_EQ(s.baudIndex, 4);
  EXPECT_EQ(s.BaudRate(), 57600u);
  EXPECT_FALSE(s.useMBus);
  EXPECT_EQ(s.reconnects, 3);
  EXPECT_EQ(s.connectMode, ConnectMode::Serial);
  EXPECT_EQ(s.sockIp, "");
  EXPECT_EQ(s.sockPort, 10001);
  EXPECT_FALSE(s.useGate);
  EXPECT_FALSE(s.useDynDns);
  EXPECT_EQ(s.dynDnsName, "");
  EXPECT_EQ(s.phoneNo, "");
  EXPECT_TRUE(s.tone);
  EXPECT_EQ(s.initString, "");
  EXPECT_EQ(s.portName, "");
  EXPECT_EQ(s.connectTimeoutS, 5);
  EXPECT_EQ(s.connectWaitS, 60);
  EXPECT_TRUE(s.serial == (TimingTriple{100, 400, 5}));
  EXPECT_TRUE(s.modem == (TimingTriple{400, 1500, 5}));
  EXPECT_TRUE(s.ethernet == (TimingTriple{100, 150, 10}));
  EXPECT_TRUE(s.Timing() == s.serial);
  EXPECT_EQ(s.SerialPath(), kPort1);
  EXPECT_EQ(s.ConnectionText(), std::string(kPort1) + ", 57600 bps");
}

TEST(Settings, ValuesThatWouldAddressAnotherInstrumentOrPortAreRefused) {
  struct Case {
    std::string text;
    std::string refused;  // "" when the settings are usable; else "Key=value" and the range
    std::string range;
  };
  const std::vector<Case> cases{
      {"[Settings]\nNetAddress=255\n", "", ""},
      {"[Settings]\nNetAddress=300\n", "NetAddress=300", "0..255"},
      {"[Settings]\nNetAddress=-212\n", "NetAddress=-212", "0..255"},
      {"[Settings]\nNetAddress=300\nUseMBus=1\n", "", ""},
      {"[Settings]\nNetAddress=4294967296\nUseMBus=1\n", "NetAddress=4294967296", "0..4294967295"},
      {"[Settings]\nConnectMode=2\nSockIP=10.0.0.1\nSockPort=100645\n", "SockPort=100645", "1..65535"},
      {"[Settings]\nConnectMode=2\nSockIP=10.0.0.1\nSockPort=0\n", "SockPort=0", "1..65535"},
      {"[Settings]\nConnectMode=0\nSockPort=100645\n", "", ""},  // not used over a serial port
      {"[Settings]\nComPort=1000\n", "ComPort=1000", "0..255"},
      {"[Settings]\nConnectMode=1\nComPort=-3\n", "ComPort=-3", "0..255"},
      {"[Settings]\nComPort=1000\nPortName=/dev/ttyUSB0\n", "", ""},
      {"[Settings]\nComPort=1000\nConnectMode=2\nSockIP=10.0.0.1\n", "", ""},
      // Shown as written in the file, never as the number it was read as.
      {"[Settings]\nConnectMode=2\nSockIP=10.0.0.1\nSockPort=4294967297\n", "SockPort=4294967297", "1..65535"},
      {"[Settings]\nConnectMode=2\nSockIP=10.0.0.1\nSockPort=0x10\n", "SockPort=0x10", "1..65535"},
      {"[Settings]\nComPort=99999999999\n", "ComPort=99999999999", "0..255"},
      {"[Settings]\nNetAddress= 300 \n", "NetAddress=300", "0..255"},
      // The timing of the transport in use.
      {"[Ethernet]\nPacketConst=4294967295\nPacketRetry=4294967295\n[Settings]\nConnectMode=2\nSockIP=10.0.0.1\n",
       "PacketConst=4294967295", "1..60000"},
      {"[Ethernet]\nPacketRetry=4294967295\n[Settings]\nConnectMode=2\nSockIP=10.0.0.1\n", "PacketRetry=4294967295",
       "1..255"},
      {"[Serial]\nByteConst=0\n", "ByteConst=0", "1..60000"},
      {"[Serial]\nByteConst=-5\n", "ByteConst=-5", "1..60000"},
      {"[Serial]\nPacketConst=60001\n", "PacketConst=60001", "1..60000"},
      {"[Serial]\nPacketRetry=256\n", "PacketRetry=256", "1..255"},
      {"[Modem]\nPacketRetry=0\n[Settings]\nConnectMode=1\n", "PacketRetry=0", "1..255"},
      {"[Serial]\nByteConst=60000\nPacketConst=1\nPacketRetry=255\n", "", ""},
      {"[Ethernet]\nPacketConst=0\n", "", ""},  // not used over a serial port
      // A transport without its own key uses the Recommended one: that one is named.
      {"[Recommended]\nComP=999999\n", "ComP=999999", "1..60000"},
      {"[Recommended]\nComP=999999\n[Serial]\nPacketConst=400\n", "", ""},
  };
  for (const auto& c : cases) {
    const std::string e = ConnectionSettingsError(LoadText(c.text));
    if (c.refused.empty()) {
      EXPECT_EQ(e, "") << c.text;
    } else {
      EXPECT_NE(e.find(c.refused), std::string::npos) << c.text << " -> " << e;
      EXPECT_NE(e.find(c.range), std::string::npos) << c.text << " -> " << e;
    }
  }
}

TEST(Settings, ClampsAtStart) {
  struct Case {
    std::string text;
    int reconnects, connectMode, connectTimeout, connectWait;
  };
  const std::vector<Case> cases{
      {"[Settings]\nReconnects=0\n", 3, 0, 5, 60},
      {"[Settings]\nReconnects=1000\n", 255, 0, 5, 60},
      {"[Settings]\nReconnects=255\nConnectMode=2\n", 255, 2, 5, 60},
      {"[Settings]\nReconnects=1\nConnectMode=7\n", 1, 0, 5, 60},
      {"[Settings]\nConnectMode=1\n[Ethernet]\nConnectTimeout=0\n[Modem]\nConnectWait=0\n", 3, 1, 1, 1},
      {"[Ethernet]\nConnectTimeout=999\n[Modem]\nConnectWait=256\n", 3, 0, 255, 255},
      {"[Settings]\nReconnects=junk\nConnectMode=-1\n", 3, 0, 5, 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto s = LoadText(c.text);
    EXPECT_EQ(s.reconnects, c.reconnects);
    EXPECT_EQ(static_cast<int>(s.connectMode), c.connectMode);
    EXPECT_EQ(s.connectTimeoutS, c.connectTimeout);
    EXPECT_EQ(s.connectWaitS, c.connectWait);
  }
}

TEST(Settings, RecommendedValuesAreTheTimingDefaultsAndTheRestoredValues) {
  auto s = LoadText(
      "[Recommended]\nComB=200\nComP=800\nComR=7\nXPortP=300\nModemR=2\n"
      "[Ethernet]\nPacketConst=250\n[Serial]\nPacketRetry=9\n[Settings]\nReconnects=8\nConnectMode=2\n");
  EXPECT_TRUE(s.serial == (TimingTriple{200, 800, 9}));
  EXPECT_TRUE(s.modem == (TimingTriple{400, 1500, 2}));
  EXPECT_TRUE(s.ethernet == (TimingTriple{100, 250, 10}));
  EXPECT_TRUE(s.Timing() == s.ethernet);
  RestoreRecommended(s);
  EXPECT_TRUE(s.serial == (TimingTriple{200, 800, 7}));
  EXPECT_TRUE(s.modem == (TimingTriple{400, 1500, 2}));
  EXPECT_TRUE(s.ethernet == (TimingTriple{100, 300, 10}));
  EXPECT_EQ(s.reconnects, 3);
}

TEST(Settings, StoreWritesTheDialogKeysAndLoadReadsThemBack) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, "; mine\n[Settings]\nNetAddress=12\nTopMost=1\n[Recommended]\nComB=110\n");
  IniFile ini(path);
  ConnectionSettings s = LoadConnectionSettings(ini);
  s.netAddress = 99;  // not one of the dialog's keys
  s.connectMode = ConnectMode::Tcp;
  s.phoneNo = "8-800-1";
  s.initString = "ATZ";
  s.sockIp = "10.1.2.3";
  s.dynDnsName = "meter.example.org";
  s.sockPort = 4001;
  s.useMBus = true;
  s.useGate = true;
  s.useDynDns = true;
  s.comPort = 3;
  s.baudIndex = 5;
  s.reconnects = 9;
  s.serial = {10, 20, 3};
  s.modem = {30, 40, 4};
  s.ethernet = {50, 60, 6};
  s.portName = "/dev/ttyUSB0";
  s.connectTimeoutS = 7;
  s.connectWaitS = 90;
  s.tone = false;
  const Result<void> stored = StoreConnectionSettings(ini, s);
  ASSERT_TRUE(stored) << stored.error().reason;

  const IniFile again(path);
  const auto l = LoadConnectionSettings(again);
  EXPECT_EQ(l.netAddress, 12);
  EXPECT_EQ(again.ReadInteger("Settings", "TopMost", 0), 1);  // the window's key, not the dialog's: kept
  EXPECT_EQ(l.connectMode, ConnectMode::Tcp);
  EXPECT_EQ(l.phoneNo, "8-800-1");
  EXPECT_EQ(l.initString, "ATZ");
  EXPECT_EQ(l.sockIp, "10.1.2.3");
  EXPECT_EQ(l.dynDnsName, "meter.example.org");
  EXPECT_EQ(l.sockPort, 4001);
  EXPECT_TRUE(l.useMBus && l.useGate && l.useDynDns);
  EXPECT_EQ(l.comPort, 3);
  EXPECT_EQ(l.baudIndex, 5);
  EXPECT_EQ(l.reconnects, 9);
  EXPECT_TRUE(l.serial == s.serial);
  EXPECT_TRUE(l.modem == s.modem);
  EXPECT_TRUE(l.ethernet == s.ethernet);
  EXPECT_EQ(l.portName, "/dev/ttyUSB0");
  EXPECT_EQ(l.connectTimeoutS, 7);
  EXPECT_EQ(l.connectWaitS, 90);
  EXPECT_FALSE(l.tone);
  EXPECT_EQ(l.recSerial.byteTimeout, 110u);
  EXPECT_EQ(again.ReadInteger("Recommended", "ComB", 0), 110);
  EXPECT_FALSE(again.ValueExists("Recommended", "ComP"));  // Recommended is never written
  EXPECT_EQ(ReadAll(path).rfind("; mine\n[Settings]\nNetAddress=12\nTopMost=1\n", 0), 0u);
}

TEST(Settings, StoreReportsAFailedWrite) {
  TempFolder dir;
  IniFile ini(dir.Path() / "missing-folder" / "StatVTK.ini");
  const Result<void> stored = StoreConnectionSettings(ini, ConnectionSettings{});
  ASSERT_FALSE(stored);
  EXPECT_NE(stored.error().reason.find("missing-folder"), std::string::npos);
}

TEST(Settings, ConnectionTextAndBaudRates) {
  ConnectionSettings s;
  s.comPort = 3;
  s.baudIndex = 1;
  EXPECT_EQ(s.ConnectionText(), std::string(kPort3) + ", 2400 bps");
  s.portName = "/dev/ttyUSB1";
  EXPECT_EQ(s.ConnectionText(), "/dev/ttyUSB1, 2400 bps");
  s.connectMode = ConnectMode::Modem;
  EXPECT_EQ(s.ConnectionText(), "Модем, /dev/ttyUSB1");
  s.connectMode = ConnectMode::Tcp;
  s.sockIp = "192.168.0.5";
  s.sockPort = 10001;
  EXPECT_EQ(s.ConnectionText(), "192.168.0.5:10001");

  const std::vector<std::pair<long long, std::uint32_t>> bauds{{1, 2400},   {2, 4800},  {3, 9600},  {4, 57600},
                                                               {5, 115200}, {0, 57600}, {6, 57600}, {-3, 57600}};
  for (const auto& [index, rate] : bauds) EXPECT_EQ(BaudRateOfIndex(index), rate) << index;
}

}  // namespace
}  // namespace statvtk::link_test
