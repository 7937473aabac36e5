// The carriers with raw descriptors: loopback TCP, a pseudo-terminal reached
// through its link (also after the client reopens it), and the modem dialogue.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/result_util.hpp"
#include "link/frame.hpp"
#include "sim/server.hpp"

using namespace statvtk;
using namespace statvtk::sim;

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads until `done` says so of what came, or `ms` passed.
std::string ReadWhile(int fd, int ms, const std::function<bool(const std::string&)>& done) {
  std::string s;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done(s)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char buf[512];
    const ssize_t r = ::read(fd, buf, sizeof buf);
    if (r <= 0) break;
    s.append(buf, static_cast<std::size_t>(r));
  }
  return s;
}

// Reads until `n` bytes came, text until it holds `what`.
std::vector<std::uint8_t> ReadSome(int fd, std::size_t n, int ms) {
  const std::string s = ReadWhile(fd, ms, [n](const std::string& got) { return got.size() >= n; });
  return {s.begin(), s.end()};
}
std::string ReadUntil(int fd, const std::string& what, int ms) {
  return ReadWhile(fd, ms, [&](const std::string& got) { return got.find(what) != std::string::npos; });
}

// The line left silent for `d` (the modem's guard time around "+++" is a
// silence of a length: the input here, not a wait for something to happen;
// a loaded machine only makes it longer, which is still the silence).
void Silence(std::chrono::milliseconds d) {
  const auto until = std::chrono::steady_clock::now() + d;
  while (std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(until - std::chrono::steady_clock::now());
}

void Send(int fd, const std::string& s) { ASSERT_EQ(::write(fd, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
void Send(int fd, const std::vector<std::uint8_t>& b) {
  ASSERT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

int OpenRaw(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fd;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

std::string TempLink(const char* name) {
  return std::string(STATVTK_BINARY_DIR) + "/" + name + std::to_string(::getpid());
}

void RoundTrip(int fd, Instrument& in, frame::Op op, std::uint32_t offset, std::uint8_t count) {
  const auto body = frame::EncodeRequest(op, offset, count);
  const auto req =
      frame::FormOf(op) == frame::Form::Short
          ? frame::BuildShort(frame::kRequestStart, in.Options().address, body.group, body.command, body.data)
          : frame::BuildLong(frame::kRequestStart, in.Options().longAddress, body.group, body.command, body.data);
  const auto want = *in.Respond(req);
  Send(fd, req);
  EXPECT_EQ(ReadSome(fd, want.size(), 3000), want);
}

// A socket connected to the server on 127.0.0.1, or -1.
int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

InstrumentOptions Model(DeviceType t) {
  InstrumentOptions o;
  o.model = t;
  return o;
}

}  // namespace

TEST(Carriers, LoopbackTcpRoundTripAndReconnect) {
  Instrument in(Model(DeviceType::dtVTK0814CM));
  ServerOptions so;
  so.carrier = CarrierKind::Tcp;
  std::string error;
  std::unique_ptr<Server> server;
  ASSERT_TRUE(Unpack(Server::Start(in, so), &server, &error)) << error;
  ASSERT_NE(server->Port(), 0);
  for (int round = 0; round < 2; ++round) {
    const Fd s(ConnectLoopback(server->Port()));
    ASSERT_GE(s.get(), 0);
    RoundTrip(s.get(), in, frame::Op::Identify, 0, 0);
    RoundTrip(s.get(), in, frame::Op::ReadArchive32, 117760, 64);
    RoundTrip(s.get(), in, frame::Op::ReadArchive32, 0, 0);  // 256 bytes
  }
  EXPECT_EQ(server->Connections(), 2u);
}

TEST(Carriers, PtyRoundTripSurvivesReopen) {
  Instrument in(Model(DeviceType::dtLDN08));
  ServerOptions so;
  so.carrier = CarrierKind::Pty;
  so.ptyLink = TempLink("simpty");
  so.baud = 115200;
  std::string error;
  std::unique_ptr<Server> server;
  ASSERT_TRUE(Unpack(Server::Start(in, so), &server, &error)) << error;
  for (int round = 0; round < 2; ++round) {
    Fd fd(OpenRaw(so.ptyLink));
    ASSERT_GE(fd.get(), 0);
    RoundTrip(fd.get(), in, frame::Op::IdentifyLong, 0, 0);
    RoundTrip(fd.get(), in, frame::Op::ReadArchive32Long, 274432, 64);
    RoundTrip(fd.get(), in, frame::Op::ReadParams16Long, 0, 32);
  }
  server.reset();
  EXPECT_NE(::access(so.ptyLink.c_str(), F_OK), 0);  // the link is gone with the server
}

TEST(Carriers, ModemDialogueOnThePty) {
  Instrument in(Model(DeviceType::dtVTK0814C));
  ServerOptions so;
  so.carrier = CarrierKind::Pty;
  so.ptyLink = TempLink("simmodem");
  so.modem = true;
  so.modemOptions.busyCalls = 1;
  so.modemOptions.noAnswerCalls = 1;
  so.modemOptions.ringMs = 300;
  so.modemOptions.dialDelayMs = 100;
  so.modemOptions.guardMs = 200;
  std::string error;
  std::unique_ptr<Server> server;
  ASSERT_TRUE(Unpack(Server::Start(in, so), &server, &error)) << error;
  Fd fd(OpenRaw(so.ptyLink));
  ASSERT_GE(fd.get(), 0);
  const int f = fd.get();
  Send(f, "AT\r");
  std::string r = ReadUntil(f, "OK\r\n", 2000);
  EXPECT_EQ(r, "AT\r\r\nOK\r\n");  // echo, then the result
  Send(f, "AT&F E1 V1\r");
  EXPECT_NE(ReadUntil(f, "OK\r\n", 2000).find("OK"), std::string::npos);
  // Frames are not exchanged before a call: nothing comes back but the echo.
  Send(f, "ATDT5551234\r");
  r = ReadUntil(f, "BUSY", 3000);
  EXPECT_NE(r.find("ATDT5551234\r"), std::string::npos);
  EXPECT_NE(r.find("\r\nBUSY\r\n"), std::string::npos);
  Send(f, "ATDP5551234\r");
  EXPECT_NE(ReadUntil(f, "NO ANSWER", 3000).find("NO ANSWER"), std::string::npos);
  Send(f, "ATDT5551234\r");
  EXPECT_NE(ReadUntil(f, "CONNECT 9600\r\n", 3000).find("CONNECT 9600"), std::string::npos);
  RoundTrip(f, in, frame::Op::Identify, 0, 0);
  RoundTrip(f, in, frame::Op::ReadBlock16, 448, 32);
  // Escape: silence, +++, silence.
  Silence(std::chrono::milliseconds(300));
  Send(f, "+++");
  EXPECT_EQ(ReadUntil(f, "OK\r\n", 2000), "\r\nOK\r\n");
  Send(f, "ATH0\r");
  EXPECT_NE(ReadUntil(f, "OK\r\n", 2000).find("OK"), std::string::npos);
  // On hook: a request frame is no longer answered by the instrument.
  const auto req = frame::BuildShort(frame::kRequestStart, 1, 0, 0, {});
  Send(f, req);
  const auto echo = ReadSome(f, 64, 300);
  EXPECT_EQ(std::find(echo.begin(), echo.end(), frame::kReplyStart), echo.end());
  EXPECT_EQ(in.Counts().requests, 2u);
}

TEST(Carriers, PlusesInsideDataAreNoEscape) {
  Instrument in(Model(DeviceType::dtVTK0812));
  ServerOptions so;
  so.carrier = CarrierKind::Tcp;
  so.modem = true;
  so.modemOptions.dialDelayMs = 50;
  so.modemOptions.guardMs = 200;
  std::string error;
  std::unique_ptr<Server> server;
  ASSERT_TRUE(Unpack(Server::Start(in, so), &server, &error)) << error;
  const Fd s(ConnectLoopback(server->Port()));
  ASSERT_GE(s.get(), 0);
  Send(s.get(), "ATDT1\r");
  ASSERT_NE(ReadUntil(s.get(), "CONNECT", 2000).find("CONNECT"), std::string::npos);
  Send(s.get(), "x+++");                    // no guard time before: stays in data mode
  Silence(std::chrono::milliseconds(400));  // longer than the guard time: still no escape
  RoundTrip(s.get(), in, frame::Op::ReadArchive16, 0x4000, 16);
}
