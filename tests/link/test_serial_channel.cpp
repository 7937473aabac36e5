// The serial channel over a real pseudo-terminal pair: bytes both ways, purge,
// read waits, exclusive opening, line settings and their restoration.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/error.hpp"
#include "link/serial_channel.hpp"
#include "link/serial_common.hpp"
#include "link/link_test_util.hpp"
#include "link/stopped_write.hpp"
#include "link/tmod07.hpp"
#include "support/blocked_thread.hpp"
#include "support/pty_pair.hpp"
#include "support/result_util.hpp"
#include "support/temp_folder.hpp"
#include "support/unprivileged.hpp"
#include "support/wait_until.hpp"

namespace statvtk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::PtyPair;

std::unique_ptr<ByteChannel> OpenOk(const PtyPair& pty, std::uint32_t baud = 9600, bool even = false) {
  auto r = OpenSerialChannel(pty.SlavePath(), baud, even);
  EXPECT_TRUE(r) << ReasonOf(r);
  EXPECT_EQ(CodeOf(r), 0u);
  return r ? std::move(r->channel) : nullptr;
}

TEST(SerialChannel, CarriesBytesBothWays) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  auto ch = OpenOk(pty);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->CarrierWaitMs(), 25u);
  EXPECT_TRUE(ch->IsOpen());

  // Every byte value passes unchanged in raw mode (no CR/LF mapping, no flow control).
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(pty.Send(all));
  EXPECT_EQ(link_test::ReadText(*ch, all.size()), std::string(all.begin(), all.end()));

  std::vector<std::uint8_t> reply(600);
  for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(i * 7 + 3);
  EXPECT_EQ(ch->Write(reply), reply.size());
  EXPECT_EQ(pty.Receive(reply.size(), 2000ms), reply);
}

TEST(SerialChannel, ReadByteReturnsAsSoonAsAByteIsThere) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  auto ch = OpenOk(pty);
  ASSERT_TRUE(ch);

  std::thread late([&, reading = test::ThisThread()] {
    WaitUntil([&] { return test::Asleep(reading); });  // the byte comes while the read waits
    pty.Send(std::string("\x5A"));
  });
  const auto t0 = Clock::now();
  const auto b = ch->ReadByte(120s);
  const auto took = Clock::now() - t0;
  late.join();
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(*b, 0x5A);
  EXPECT_LT(took, 60s) << "the read waited for its whole time instead of returning with the byte";

  const auto t1 = Clock::now();
  EXPECT_FALSE(ch->ReadByte(80ms).has_value());
  EXPECT_GE(Clock::now() - t1, 75ms) << "an empty line must be waited on for the given time";
  EXPECT_TRUE(ch->IsOpen());
}

TEST(SerialChannel, PurgeDropsWaitingInputAndHandsItOver) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  auto ch = OpenOk(pty);
  ASSERT_TRUE(ch);

  ASSERT_TRUE(pty.Send(std::string("abcdef")));
  ASSERT_TRUE(WaitUntil([&] { return pty.SlaveWaiting() >= 6; }));
  ASSERT_EQ(ch->ReadByte(2000ms), std::optional<std::uint8_t>('a'));
  std::vector<std::uint8_t> dropped;
  ch->Purge(&dropped);
  EXPECT_EQ(std::string(dropped.begin(), dropped.end()), "bcdef");
  EXPECT_FALSE(ch->ReadByte(50ms).has_value());

  ASSERT_TRUE(pty.Send(std::string("xyz")));
  ASSERT_TRUE(WaitUntil([&] { return pty.SlaveWaiting() >= 3; }));
  dropped.clear();
  ch->DropInput(&dropped);
  EXPECT_EQ(std::string(dropped.begin(), dropped.end()), "xyz");
  ch->Purge();  // without a sink
  EXPECT_FALSE(ch->ReadByte(30ms).has_value());

  // The line still works after purging.
  ASSERT_TRUE(pty.Send(std::string("Q")));
  EXPECT_EQ(ch->ReadByte(2000ms), std::optional<std::uint8_t>('Q'));
}

struct BadOpenCase {
  const char* name;
  std::string path;
  std::uint32_t baud;
  const char* reasonPart;
};

TEST(SerialChannel, BadOpensGiveCode100WithAReason) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  const BadOpenCase cases[] = {
      {"missing device", "/dev/ttyStatvtkNoSuchPort7", 9600, "нет такого порта"},
      {"missing folder", "/nonexistent/ttyUSB9", 9600, "нет такого порта"},
      {"not a terminal", "/dev/null", 9600, "не является последовательным портом"},
      {"unsupported speed", pty.SlavePath(), 19200, "19200 бит/с не поддерживается"},
      {"no name", "", 9600, "не задано имя порта"},
  };
  for (const auto& c : cases) {
    const auto r = OpenSerialChannel(c.path, c.baud, false);
    EXPECT_FALSE(r) << c.name;
    EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::PortInit)) << c.name;
    EXPECT_NE(ReasonOf(r).find(c.reasonPart), std::string::npos) << c.name << ": " << ReasonOf(r);
  }
}

// Without the right to open the port the reason names the group that grants
// it (the open runs without root's rights, which open anything).
TEST(SerialChannel, NoPermissionNamesTheDialoutGroup) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), ::geteuid() == 0 ? 0600 : 0), 0);
  const std::string got = test::AsOrdinaryUser([&] {
    const auto r = OpenSerialChannel(pty.SlavePath(), 9600, false);
    return r ? std::string("opened") : std::to_string(CodeOf(r)) + " " + ReasonOf(r);
  });
  EXPECT_EQ(got.rfind(std::to_string(CodeNumber(ErrorCode::PortInit)) + " ", 0), 0u) << got;
  EXPECT_NE(got.find("нет прав доступа к порту"), std::string::npos) << got;
  EXPECT_NE(got.find("dialout"), std::string::npos) << got;
}

struct LineCase {
  std::uint32_t baud;
  speed_t speed;
  bool even;
};

TEST(SerialChannel, LineSettingsFollowSpeedAndParity) {
  const LineCase cases[] = {{2400, B2400, false},  {4800, B4800, true},      {9600, B9600, false},
                            {57600, B57600, true}, {115200, B115200, false}, {115200, B115200, true}};
  for (const auto& c : cases) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto ch = OpenOk(pty, c.baud, c.even);
    ASSERT_TRUE(ch);
    termios t{};
    ASSERT_TRUE(pty.SlaveSettings(t));
    EXPECT_EQ(cfgetospeed(&t), c.speed) << c.baud;
    EXPECT_EQ(cfgetispeed(&t), c.speed) << c.baud;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << c.baud;
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u) << c.baud;
    // A pseudo-terminal forces 8 bits without parity whatever is asked, so
    // the parity is checked in what the channel asked its driver for.
    const auto line = SerialLineOf(*ch);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->baudRate, c.baud);
    EXPECT_EQ(line->dataBits, 8);
    EXPECT_EQ(line->stopBits, 1);
    EXPECT_EQ(line->evenParity, c.even) << c.baud;
    EXPECT_EQ(t.c_cflag & PARODD, 0u) << c.baud;
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw mode";
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u) << "raw mode";
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "raw mode";
  }
}

TEST(SerialChannel, ClosingRestoresThePortsSettings) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  termios before{};
  ASSERT_TRUE(pty.SlaveSettings(before));
  {
    auto ch = OpenOk(pty, 115200, true);
    ASSERT_TRUE(ch);
    termios during{};
    ASSERT_TRUE(pty.SlaveSettings(during));
    ASSERT_NE(during.c_lflag, before.c_lflag) << "the open must have changed the settings";
  }
  termios after{};
  ASSERT_TRUE(pty.SlaveSettings(after));
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

TEST(SerialChannel, AVanishedDeviceClosesTheChannel) {
  PtyPair pty(false);
  ASSERT_TRUE(pty.Ok());
  auto ch = OpenOk(pty);
  ASSERT_TRUE(ch);
  pty.CloseMaster();
  const auto t0 = Clock::now();
  EXPECT_FALSE(ch->ReadByte(120s).has_value());
  EXPECT_LT(Clock::now() - t0, 60s) << "a hung-up line must not be waited on";
  EXPECT_FALSE(ch->IsOpen());
}

// A made-up sysfs and /dev tree: a USB adapter with a by-id name, an ACM
// device, a real UART, an empty UART slot and a virtual console.
class PortListTree : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const fs::path sys = root_ / "sys", dev = root_ / "dev";
    const fs::path usbDev = sys / "devices/pci0/usb1/1-2";
    fs::create_directories(usbDev / "1-2:1.0/ttyUSB0/tty/ttyUSB0");
    Write(usbDev / "manufacturer", "FTDI\n");
    Write(usbDev / "product", "FT232R USB UART\n");
    const fs::path acmDev = sys / "devices/pci0/usb1/1-3";
    fs::create_directories(acmDev / "1-3:1.0/tty/ttyACM0");
    Write(acmDev / "product", "Modem Board\n");
    fs::create_directories(sys / "devices/platform/serial8250/tty/ttyS0");
    fs::create_directories(sys / "devices/platform/serial8250/tty/ttyS1");
    fs::create_directories(sys / "devices/virtual/tty/tty1");
    fs::create_directories(sys / "class/tty");
    Link("../../devices/pci0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0", sys / "class/tty/ttyUSB0");
    Link("../../../ttyUSB0", usbDev / "1-2:1.0/ttyUSB0/tty/ttyUSB0/device");
    Link("../../devices/pci0/usb1/1-3/1-3:1.0/tty/ttyACM0", sys / "class/tty/ttyACM0");
    Link("../../../1-3:1.0", acmDev / "1-3:1.0/tty/ttyACM0/device");
    for (const char* s : {"ttyS0", "ttyS1"}) {
      Link(std::string("../../devices/platform/serial8250/tty/") + s, sys / "class/tty" / s);
      Link("../../../serial8250", sys / "devices/platform/serial8250/tty" / s / "device");
    }
    Write(sys / "devices/platform/serial8250/tty/ttyS0/type", "4\n");
    Write(sys / "devices/platform/serial8250/tty/ttyS1/type", "0\n");
    Link("../../devices/virtual/tty/tty1", sys / "class/tty/tty1");
    fs::create_directories(dev / "serial/by-id");
    for (const char* n : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty1"}) Write(dev / n, "");
    Link("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  }
  static void Write(const std::filesystem::path& p, const std::string& text) { std::ofstream(p) << text; }
  static void Link(const std::string& target, const std::filesystem::path& at) {
    std::filesystem::create_symlink(target, at);
  }
  link_test::TempFolder folder_;
  std::filesystem::path root_ = folder_.Path();
};

TEST_F(PortListTree, ListsRealPortsWithNamesAndDescriptions) {
  const auto ports = ListSerialPortsUnder((root_ / "sys").string(), (root_ / "dev").string());
  ASSERT_EQ(ports.size(), 3u);
  const std::string dev = (root_ / "dev").string();
  EXPECT_EQ(ports[0].path, dev + "/ttyACM0");
  EXPECT_EQ(ports[0].description, "Modem Board");
  EXPECT_EQ(ports[0].byIdName, "");
  EXPECT_EQ(ports[1].path, dev + "/ttyS0");
  EXPECT_EQ(ports[1].description, "");
  EXPECT_EQ(ports[2].path, dev + "/ttyUSB0");
  EXPECT_EQ(ports[2].description, "FTDI FT232R USB UART");
  EXPECT_EQ(ports[2].byIdName, dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
}

TEST_F(PortListTree, AnAdapterWithoutItsNodeIsNotListed) {
  std::filesystem::remove(root_ / "dev/ttyUSB0");
  const auto ports = ListSerialPortsUnder((root_ / "sys").string(), (root_ / "dev").string());
  for (const auto& p : ports) EXPECT_EQ(p.path.find("ttyUSB0"), std::string::npos);
  EXPECT_EQ(ports.size(), 2u);
}

TEST(PortList, NamesSortByPrefixThenTrailingNumber) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"/dev/ttyS2", "/dev/ttyS10"},
      {"COM2", "COM10"},
      {"/dev/ttyACM0", "/dev/ttyS0"},
      {"/dev/ttyS", "/dev/ttyS0"},                          // no number sorts first
      {"/dev/ttyS99", "/dev/ttyS99999999999999999999999"},  // more digits than a long holds
  };
  for (const auto& c : cases) {
    EXPECT_LT(serial::PortSortKey(c.before), serial::PortSortKey(c.after)) << c.before << " / " << c.after;
  }
}

// --- the link's serial side: OpenLink, SendLine, ReadLine ---

TEST(Tmod07Serial, OpenLinkOpensThePortByItsName) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  Tmod07 link(SerialLine{4, pty.SlavePath(), 57600, true});
  ASSERT_TRUE(link.OpenLink()) << link.ErrorReason();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(link.LastError(), 0u);
  const auto line = SerialLineOf(*link.Channel());
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(line->evenParity);
  EXPECT_EQ(line->baudRate, 57600u);

  // Opening again closes the open port first (else the port would be busy).
  ASSERT_TRUE(link.OpenLink()) << link.ErrorReason();
  link.CloseLink();
  EXPECT_FALSE(link.PortOpen());
  Tmod07 other(SerialLine{4, pty.SlavePath(), 9600, false});
  ASSERT_TRUE(other.OpenLink()) << other.ErrorReason();
  EXPECT_FALSE(SerialLineOf(*other.Channel())->evenParity);
  EXPECT_EQ(SerialLineOf(*other.Channel())->baudRate, 9600u);
}

TEST(Tmod07Serial, PortNumberStandsForTtyS) {
  const auto port = [](std::uint8_t number, std::string name = {}) {
    SerialLine s;
    s.comPort = number;
    s.portName = std::move(name);
    return s;
  };
  EXPECT_EQ(Tmod07(port(1)).SerialPath(), "/dev/ttyS0");
  EXPECT_EQ(Tmod07(port(12)).SerialPath(), "/dev/ttyS11");
  EXPECT_EQ(Tmod07(port(1, "/dev/ttyUSB3")).SerialPath(), "/dev/ttyUSB3");
}

// A port held by another opener is refused until it lets go; the link takes
// the channel's code and reason (each other reason: BadOpens above).
TEST(Tmod07Serial, ABusyPortSetsCode100AndTheReason) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  auto holder = OpenOk(pty);
  ASSERT_TRUE(holder);
  Tmod07 link(SerialLine{1, pty.SlavePath(), 9600});
  EXPECT_FALSE(link.OpenLink());
  EXPECT_FALSE(link.PortOpen());
  EXPECT_EQ(link.LastError(), CodeNumber(ErrorCode::PortInit));
  EXPECT_EQ(link.ErrorText(), "Ошибка инициализации порта [100]");
  EXPECT_NE(link.ErrorReason().find("порт занят другой программой"), std::string::npos) << link.ErrorReason();
  holder.reset();
  EXPECT_TRUE(link.OpenLink()) << link.ErrorReason();
}

TEST(Tmod07Serial, ChannelFactoryReplacesThePort) {
  Tmod07 link;
  int made = 0;
  link.SetChannelFactory([&](Tmod07&) -> std::unique_ptr<ByteChannel> {
    ++made;
    return nullptr;
  });
  EXPECT_FALSE(link.OpenLink());
  EXPECT_EQ(link.LastError(), CodeNumber(ErrorCode::PortInit));
  link.SetChannelFactory([&](Tmod07& l) -> std::unique_ptr<ByteChannel> {
    ++made;
    l.SetFailure(MakeError(ErrorCode::Connect, "made-up failure"));
    return nullptr;
  });
  EXPECT_FALSE(link.OpenLink());
  EXPECT_EQ(link.LastError(), CodeNumber(ErrorCode::Connect));
  EXPECT_EQ(link.ErrorReason(), "made-up failure");
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  link.SetChannelFactory([&](Tmod07&) {
    ++made;
    auto opened = OpenSerialChannel(pty.SlavePath(), 2400, false);
    return opened ? std::move(opened->channel) : nullptr;
  });
  EXPECT_TRUE(link.OpenLink());
  EXPECT_EQ(link.LastError(), 0u);
  EXPECT_EQ(made, 3);
}

TEST(Tmod07Serial, SendLineAppendsTheEndingAfterAPurge) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  Tmod07 link(SerialLine{1, pty.SlavePath(), 9600});
  ASSERT_TRUE(link.OpenLink());
  const std::pair<int, std::string> cases[] = {{0, "ATZ"}, {1, "ATZ\r"}, {2, "ATZ\r\n"}, {3, "ATZ"}};
  for (const auto& [ending, sent] : cases) {
    ASSERT_TRUE(pty.Send(std::string("stale")));
    ASSERT_TRUE(WaitUntil([&] { return pty.SlaveWaiting() >= 5; }));
    link.SendLine("ATZ", ending);
    EXPECT_EQ(link.LastError(), 0u);
    const auto got = pty.Receive(sent.size() + 1, 200ms);
    EXPECT_EQ(std::string(got.begin(), got.end()), sent) << "ending " << ending;
    EXPECT_FALSE(link.Channel()->ReadByte(20ms).has_value()) << "waiting input must have been purged";
  }
}

TEST(Tmod07Serial, ReadLineReturnsTheReplyOnceTheLineIsQuiet) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  Tmod07 link(SerialLine{1, pty.SlavePath(), 9600});
  ASSERT_TRUE(link.OpenLink());

  // The reply comes in two pieces (the second once the first is taken); a
  // stray third one comes only if the read is still going 300 ms later, well
  // past the 50 ms of quiet that end a reply: the read takes it then.
  std::atomic<bool> returned{false};
  std::thread modem([&] {
    pty.Send(std::string("\r\nCON"));
    WaitUntil([&] { return pty.SlaveWaiting() == 0; });
    pty.Send(std::string("NECT 9600\r\n"));
    if (!WaitUntil([&] { return returned.load(); }, 300ms)) pty.Send(std::string("stray"));
  });
  EXPECT_EQ(link.ReadLine(), "\r\nCONNECT 9600\r\n") << "the read waited for its whole time after the reply";
  returned = true;
  modem.join();
  link.Channel()->Purge();

  // Nothing: an empty text after the port's whole read time.
  const auto t1 = Clock::now();
  EXPECT_EQ(link.ReadLine(), "");
  EXPECT_GE(Clock::now() - t1, 1200ms);

  // A long reply: 254 bytes, the rest purged.
  ASSERT_TRUE(pty.Send(std::string(300, 'x')));
  EXPECT_EQ(link.ReadLine(), std::string(254, 'x'));
  EXPECT_FALSE(link.Channel()->ReadByte(30ms).has_value());
}

// The far end never reads: the output queue fills and the write waits for
// room until the abort flag ends it, before its own stall limit is up.
TEST(SerialChannelStop, AbortEndsAWriteWaitingForRoom) {
  PtyPair pty;
  auto r = OpenSerialChannel(pty.SlavePath(), 9600, false);
  ASSERT_TRUE(r) << ReasonOf(r);
  const std::vector<std::uint8_t> big(1u << 20, 0x55);
  const auto w = link_test::WriteAndStop(*r->channel, big);
  EXPECT_LT(w.written, big.size());
  EXPECT_LT(w.took, std::chrono::milliseconds(serial::kWriteStallMs)) << "the write went on waiting after the abort";
}

}  // namespace
}  // namespace statvtk
