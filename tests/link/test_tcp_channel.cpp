// The TCP channel over loopback only: a local listener answers; refused,
// silent and badly addressed targets give their codes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/error.hpp"
#include "link/link_test_util.hpp"
#include "link/stopped_write.hpp"
#include "link/tcp_channel.hpp"
#include "link/tcp_common.hpp"
#include "link/tmod07.hpp"
#include "support/blocked_thread.hpp"
#include "support/result_util.hpp"
#include "support/silent_port.hpp"
#include "support/wait_until.hpp"

namespace statvtk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// A socket on 127.0.0.1 with a free port, listening with the given backlog.
std::uint16_t Listen(Fd& fd, int backlog) {
  fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), len) != 0) return 0;
  if (::listen(fd.get(), backlog) != 0) return 0;
  if (getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

// Accepts one client, answers every received chunk with the chunk reversed
// then closes when told to (or when the client goes).
class ReversingServer {
 public:
  ReversingServer() {
    port_ = Listen(listener_, 4);
    thread_ = std::thread([this] { Run(); });
  }
  ~ReversingServer() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t Port() const { return port_; }
  void CloseClient() { closeClient_ = true; }
  // Sends bytes to the client unasked.
  void Push(const std::string& s) {
    std::lock_guard lock(m_);
    push_ += s;
  }

 private:
  void Run() {
    Fd client;
    while (!stop_) {
      if (client.get() < 0) {
        pollfd p{listener_.get(), POLLIN, 0};
        if (poll(&p, 1, 20) > 0) client.Reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        continue;
      }
      if (closeClient_) {
        client.Reset();
        closeClient_ = false;
        continue;
      }
      {
        std::lock_guard lock(m_);
        if (!push_.empty()) {
          ::send(client.get(), push_.data(), push_.size(), MSG_NOSIGNAL);
          push_.clear();
        }
      }
      pollfd p{client.get(), POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buf[512];
      const ssize_t n = ::recv(client.get(), buf, sizeof buf, 0);
      if (n <= 0) {
        client.Reset();
        continue;
      }
      std::string reply(buf, static_cast<std::size_t>(n));
      std::reverse(reply.begin(), reply.end());
      ::send(client.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    }
  }

  Fd listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> closeClient_{false};
  std::mutex m_;
  std::string push_;
};

TcpTarget Loopback(std::uint16_t port) {
  TcpTarget t;
  t.address = "127.0.0.1";
  t.port = port;
  t.connectTimeoutS = 2;
  return t;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(TcpChannel, ExchangesBytesAndDropsWhatIsWaiting) {
  ReversingServer server;
  ASSERT_NE(server.Port(), 0);
  auto r = OpenTcpChannel(Loopback(server.Port()));
  ASSERT_TRUE(r) << ReasonOf(r);
  auto& ch = *r->channel;
  EXPECT_EQ(ch.CarrierWaitMs(), 0u);
  EXPECT_TRUE(ch.IsOpen());

  const std::string request("\x55\x01\xFE\x00\x00\x00\xAB", 7);
  EXPECT_EQ(ch.Write(Bytes(request)), 7u);
  EXPECT_EQ(link_test::ReadText(ch, 7), std::string("\xAB\x00\x00\x00\xFE\x01\x55", 7));
  EXPECT_FALSE(ch.ReadByte(30ms).has_value());

  server.Push("late reply");
  // The reply went out in one send: on loopback it arrives whole with its first byte.
  ASSERT_EQ(ch.ReadByte(2000ms), std::optional<std::uint8_t>('l'));
  std::vector<std::uint8_t> dropped;
  ch.DropInput(&dropped);
  EXPECT_EQ(std::string(dropped.begin(), dropped.end()), "ate reply");
  EXPECT_FALSE(ch.ReadByte(30ms).has_value());
  EXPECT_EQ(ch.Write(Bytes("ab")), 2u);
  EXPECT_EQ(link_test::ReadText(ch, 2), "ba");
}

TEST(TcpChannel, AClosedPeerClosesTheChannel) {
  ReversingServer server;
  auto r = OpenTcpChannel(Loopback(server.Port()));
  ASSERT_TRUE(r) << ReasonOf(r);
  auto& ch = *r->channel;
  EXPECT_EQ(ch.Write(Bytes("x")), 1u);
  EXPECT_EQ(link_test::ReadText(ch, 1), "x");
  server.CloseClient();
  const auto t0 = Clock::now();
  EXPECT_FALSE(ch.ReadByte(120s).has_value());
  EXPECT_LT(Clock::now() - t0, 60s) << "a closed peer must end the read at once, not at its time";
  EXPECT_FALSE(ch.IsOpen());
  const auto t1 = Clock::now();
  EXPECT_FALSE(ch.ReadByte(120s).has_value());
  EXPECT_LT(Clock::now() - t1, 60s);
}

TEST(TcpChannel, NothingListeningGives105AtOnce) {
  Fd probe;
  const std::uint16_t port = Listen(probe, 1);
  ASSERT_NE(port, 0);
  probe.Reset();  // the port is free now and nobody listens there
  auto target = Loopback(port);
  target.connectTimeoutS = 120;
  const auto t0 = Clock::now();
  const auto r = OpenTcpChannel(target);
  EXPECT_LT(Clock::now() - t0, 60s) << "a refused connect must not wait for the time-out";
  EXPECT_FALSE(r);
  EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::Connect));
  EXPECT_NE(ReasonOf(r).find("соединение отвергнуто"), std::string::npos) << ReasonOf(r);
}

TEST(TcpChannel, ASilentAddressGives105AfterTheTimeOut) {
  test::SilentPort silent;
  ASSERT_NE(silent.Port(), 0);
  auto target = Loopback(silent.Port());
  target.connectTimeoutS = 1;
  const auto t0 = Clock::now();
  const auto r = OpenTcpChannel(target);
  const auto took = Clock::now() - t0;
  EXPECT_FALSE(r);
  EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::Connect));
  EXPECT_NE(ReasonOf(r).find("нет ответа"), std::string::npos) << ReasonOf(r);
  EXPECT_NE(ReasonOf(r).find("за 1 с"), std::string::npos) << ReasonOf(r);
  EXPECT_GE(took, 900ms) << "the connect gave up before its time-out";
  EXPECT_LT(took, 10s);
}

TEST(TcpChannel, AbortEndsTheConnectWait) {
  test::SilentPort silent;
  std::atomic<bool> abort{false};
  auto target = Loopback(silent.Port());
  target.connectTimeoutS = 120;
  target.abort = &abort;
  std::thread stopper([&, connecting = test::ThisThread()] {
    WaitUntil([&] { return test::Asleep(connecting); });  // the stop comes while the connect waits
    abort = true;
  });
  const auto t0 = Clock::now();
  const auto r = OpenTcpChannel(target);
  stopper.join();
  EXPECT_LT(Clock::now() - t0, 60s) << "the connect went on waiting after the abort";
  EXPECT_FALSE(r);
  EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::Connect));
  EXPECT_NE(ReasonOf(r).find("прервано"), std::string::npos) << ReasonOf(r);
}

struct AddressCase {
  const char* name;
  std::string address;
  bool useDynDns;
};

TEST(TcpChannel, BadOrUnresolvedAddressesGive111) {
  int lookups = 0;
  const AddressCase cases[] = {
      {"empty", "", false},
      {"host name without DynDNS", "device.example", false},
      {"octet out of range", "300.1.1.1", false},
      {"three parts", "10.0.1", false},
      {"trailing text", "127.0.0.1x", false},
      {"unresolved name", "nowhere.invalid", true},
      {"empty name", "", true},
  };
  for (const auto& c : cases) {
    TcpTarget t = Loopback(9);
    t.address = c.address;
    t.useDynDns = c.useDynDns;
    t.resolve = [&](const std::string&) {
      ++lookups;
      return std::string();
    };
    const auto r = OpenTcpChannel(t);
    EXPECT_FALSE(r) << c.name;
    EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::BadIpAddress)) << c.name;
    EXPECT_FALSE(ReasonOf(r).empty()) << c.name;
  }
  EXPECT_EQ(lookups, 1) << "only the DynDNS case with a name may be looked up";
}

// A DynDNS name goes through the given resolver, or the system's one.
TEST(TcpChannel, DynDnsNamesAreResolvedAndConnected) {
  EXPECT_EQ(ResolveIpv4("localhost").rfind("127.", 0), 0u);
  ReversingServer server;
  for (const bool own : {true, false}) {
    std::string asked;
    TcpTarget t = Loopback(server.Port());
    t.address = own ? "meter.dyndns.example" : "localhost";
    t.useDynDns = true;
    if (own)
      t.resolve = [&](const std::string& name) {
        asked = name;
        return std::string("127.0.0.1");
      };
    auto r = OpenTcpChannel(t);
    ASSERT_TRUE(r) << ReasonOf(r);
    EXPECT_EQ(asked, own ? "meter.dyndns.example" : "");
    EXPECT_EQ(r->channel->Write(Bytes("12")), 2u);
    EXPECT_EQ(link_test::ReadText(*r->channel, 2), "21");
  }
}

// --- the link's TCP side ---

TEST(Tmod07Tcp, OpenLinkConnectsAndLinesAreSerialOnly) {
  ReversingServer server;
  TcpLine line;
  line.host = "127.0.0.1";
  line.port = server.Port();
  Tmod07 link(line);
  ASSERT_TRUE(link.OpenLink()) << link.ErrorReason();
  EXPECT_TRUE(link.PortOpen());
  EXPECT_EQ(link.LastError(), 0u);
  EXPECT_EQ(link.Channel()->CarrierWaitMs(), 0u);
  link.SendLine("AT", 1);  // nothing goes out on TCP
  EXPECT_EQ(link.ReadLine(), "");
  EXPECT_FALSE(link.Channel()->ReadByte(100ms).has_value()) << "SendLine must not send on TCP";
  EXPECT_EQ(link.Channel()->Write(Bytes("ab")), 2u);
  EXPECT_EQ(link_test::ReadText(*link.Channel(), 2), "ba");
}

TEST(Tmod07Tcp, FailedConnectsSetTheirCodes) {
  Fd probe;
  const std::uint16_t freePort = Listen(probe, 1);
  probe.Reset();
  struct Case {
    const char* name;
    std::string ip;
    std::uint16_t port;
    bool dynDns;
    std::uint32_t code;
    const char* text;
  };
  // One failure of each code: the channel's own cases are above.
  const Case cases[] = {
      {"no DynDNS name", "127.0.0.1", 10001, true, CodeNumber(ErrorCode::BadIpAddress),
       "Неверный формат IP-адреса [111]"},
      {"refused", "127.0.0.1", freePort, false, CodeNumber(ErrorCode::Connect), "Ошибка соединения WinSock [105]"},
  };
  for (const auto& c : cases) {
    TcpLine line;
    line.host = c.ip;
    line.port = c.port;
    line.useDynDns = c.dynDns;
    line.connectTimeoutS = 1;
    Tmod07 link(line);
    EXPECT_FALSE(link.OpenLink()) << c.name;
    EXPECT_FALSE(link.PortOpen()) << c.name;
    EXPECT_EQ(link.LastError(), c.code) << c.name;
    EXPECT_EQ(link.ErrorText(), c.text) << c.name;
    EXPECT_FALSE(link.ErrorReason().empty()) << c.name;
  }
}

// A peer that never reads: the send buffer fills and the write waits for
// room until the abort flag ends it, before its own stall limit is up.
TEST(TcpChannelStop, AbortEndsAWriteWaitingForRoom) {
  Fd listener;
  const std::uint16_t port = Listen(listener, 4);  // connected in the backlog, never accepted or read
  ASSERT_NE(port, 0);
  auto r = OpenTcpChannel(Loopback(port));
  ASSERT_TRUE(r) << ReasonOf(r);
  const std::vector<std::uint8_t> big(64u << 20, 0x55);
  const auto w = link_test::WriteAndStop(*r->channel, big);
  EXPECT_LT(w.written, big.size());
  EXPECT_LT(w.took, std::chrono::milliseconds(tcp::kWriteStallMs)) << "the write went on waiting after the abort";
}

// A host-name lookup that hangs is abandoned when the abort flag rises.
TEST(TcpChannelStop, AbortEndsAHangingLookup) {
  std::atomic<bool> abort{false};
  TcpTarget t;
  t.address = "slow.example.invalid";
  t.useDynDns = true;
  t.port = 1;
  t.abort = &abort;
  // A resolver that hangs for two minutes, or until the test lets it go (it
  // may outlive the test on its abandoned thread).
  auto asked = std::make_shared<std::atomic<bool>>(false), letGo = std::make_shared<std::atomic<bool>>(false);
  t.resolve = [asked, letGo](const std::string&) {
    *asked = true;
    WaitUntil([&] { return letGo->load(); }, 120s);
    return std::string();
  };
  Clock::time_point raised{};
  std::thread stopper([&] {
    WaitUntil([&] { return asked->load(); });  // the stop comes while the lookup hangs
    raised = Clock::now();
    abort = true;
  });
  const auto r = OpenTcpChannel(t);
  const auto ended = Clock::now();
  stopper.join();
  *letGo = true;
  EXPECT_FALSE(r);
  EXPECT_EQ(CodeOf(r), CodeNumber(ErrorCode::Connect));
  EXPECT_NE(ReasonOf(r).find("прерван"), std::string::npos) << ReasonOf(r);
  EXPECT_LT(ended - raised, 60s) << "the lookup was waited for after the abort";
}

}  // namespace
}  // namespace statvtk
