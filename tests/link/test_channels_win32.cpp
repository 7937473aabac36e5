// The Win32 channels: Winsock TCP against a listener on 127.0.0.1 (bytes
// both ways, the peer closing, a refused connect, bad addresses) and the
// serial port's refusals with the words the log shows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.hpp"
#include "link/serial_channel.hpp"
#include "link/tcp_channel.hpp"
#include "support/result_util.hpp"

namespace statvtk::link_test {
namespace {

using std::chrono::milliseconds;

// A blocking Winsock listener on 127.0.0.1 with a free port, accepting one client.
class Listener {
 public:
  Listener() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    listen_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 1);
    int len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() {
    CloseClient();
    closesocket(listen_);
    if (started_) WSACleanup();
  }
  std::uint16_t Port() const { return port_; }
  bool Accept() {
    client_ = ::accept(listen_, nullptr, nullptr);
    return client_ != INVALID_SOCKET;
  }
  void Send(const std::vector<std::uint8_t>& b) {
    ::send(client_, reinterpret_cast<const char*>(b.data()), static_cast<int>(b.size()), 0);
  }
  std::vector<std::uint8_t> Receive(std::size_t n) {
    std::vector<std::uint8_t> got(n);
    std::size_t done = 0;
    while (done < n) {
      const int r = ::recv(client_, reinterpret_cast<char*>(got.data() + done), static_cast<int>(n - done), 0);
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    got.resize(done);
    return got;
  }
  void CloseClient() {
    if (client_ != INVALID_SOCKET) closesocket(client_);
    client_ = INVALID_SOCKET;
  }
  void CloseListener() {
    closesocket(listen_);
    listen_ = INVALID_SOCKET;
  }

 private:
  bool started_ = false;
  SOCKET listen_ = INVALID_SOCKET;
  SOCKET client_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
};

TcpTarget Loopback(std::uint16_t port) {
  TcpTarget t;
  t.address = "127.0.0.1";
  t.port = port;
  t.connectTimeoutS = 5;
  return t;
}

TEST(WinsockChannel, CarriesBytesBothWaysAndNoticesTheClose) {
  Listener server;
  ChannelOpenResult open = OpenTcpChannel(Loopback(server.Port()));
  ASSERT_TRUE(open) << ReasonOf(open);
  ASSERT_TRUE(server.Accept());
  ByteChannel& ch = *open->channel;
  EXPECT_EQ(ch.CarrierWaitMs(), 0u);

  const std::vector<std::uint8_t> request{0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB};
  EXPECT_EQ(ch.Write(request), request.size());
  EXPECT_EQ(server.Receive(request.size()), request);

  EXPECT_FALSE(ch.ReadByte(milliseconds(30)));  // nothing sent yet
  const std::vector<std::uint8_t> reply{0xAA, 0x01, 0xFE, 0x00, 0x00, 0x00, 0x00, 0x1A};
  server.Send(reply);
  std::vector<std::uint8_t> got;
  while (got.size() < reply.size()) {
    const auto b = ch.ReadByte(milliseconds(2000));
    ASSERT_TRUE(b) << "after " << got.size() << " bytes";
    got.push_back(*b);
  }
  EXPECT_EQ(got, reply);

  server.Send({0x01, 0x02, 0x03});
  ASSERT_TRUE(ch.ReadByte(milliseconds(2000)));  // 0x01, the rest waits in the channel
  std::vector<std::uint8_t> dropped;
  ch.Purge(&dropped);
  EXPECT_EQ(dropped, (std::vector<std::uint8_t>{0x02, 0x03}));

  server.CloseClient();
  EXPECT_FALSE(ch.ReadByte(milliseconds(2000)));
  EXPECT_FALSE(ch.IsOpen());
}

TEST(WinsockChannel, RefusalsGiveTheirCodesAndWords) {
  std::uint16_t closedPort = 0;
  {
    Listener gone;
    closedPort = gone.Port();
  }
  struct Case {
    std::string address;
    std::uint16_t port;
    std::uint32_t code;
    std::string words;
  };
  const Case cases[] = {
      {"", 10001, CodeNumber(ErrorCode::BadIpAddress), "адрес устройства не задан"},
      {"1.2.3", 10001, CodeNumber(ErrorCode::BadIpAddress), "не является адресом IPv4"},
      {"127.0.0.1", closedPort, CodeNumber(ErrorCode::Connect), "соединение отвергнуто"},
  };
  for (const auto& c : cases) {
    TcpTarget t = Loopback(c.port);
    t.address = c.address;
    const ChannelOpenResult r = OpenTcpChannel(t);
    EXPECT_FALSE(r) << c.address;
    EXPECT_EQ(CodeOf(r), c.code) << c.address;
    EXPECT_NE(ReasonOf(r).find(c.words), std::string::npos) << ReasonOf(r);
  }
}

TEST(WinsockChannel, UnresolvedNameIsABadAddress) {
  TcpTarget t = Loopback(10001);
  t.address = "device.example";
  t.useDynDns = true;
  t.resolve = [](const std::string&) { return std::string(); };
  const ChannelOpenResult r = OpenTcpChannel(t);
  EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::BadIpAddress));
  EXPECT_NE(ReasonOf(r).find("device.example"), std::string::npos) << ReasonOf(r);
}

TEST(Win32SerialChannel, RefusalsSayWhatToDo) {
  struct Case {
    std::string port;
    std::uint32_t baud;
    std::string words;
  };
  const Case cases[] = {
      {"COM250", 57600, "нет такого порта (COM250)"},
      {"COM1", 12345, "скорость 12345 бит/с не поддерживается"},
      {"", 9600, "не задано имя порта"},
  };
  for (const auto& c : cases) {
    const ChannelOpenResult r = OpenSerialChannel(c.port, c.baud, false);
    EXPECT_FALSE(r) << c.port;
    EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::PortInit)) << c.port;
    EXPECT_NE(ReasonOf(r).find(c.words), std::string::npos) << ReasonOf(r);
  }
  EXPECT_EQ(SerialPortPathOf(5), "COM5");
  EXPECT_EQ(SerialPortPathOf(0), "COM1");
}

}  // namespace
}  // namespace statvtk::link_test
