// TCP channel over Winsock 2: an IPv4 stream socket made non-blocking
// (FIONBIO), connected with a wait bounded by the connect time-out and the
// abort flag, Nagle switched off. Winsock is started once, on first use.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "link/tcp_channel.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "base/system_error.hpp"
#include "base/error.hpp"
#include "link/tcp_common.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;

// Winsock for the program's lifetime: started by the first TCP use, stopped at exit.
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (started_) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

bool WinsockStarted() {
  static const WinsockSession session;
  return session.started();
}

// Owns a socket and closes it when it goes out of scope.
class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET s = INVALID_SOCKET) : s_(s) {}
  ~UniqueSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  UniqueSocket(UniqueSocket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}
  UniqueSocket& operator=(UniqueSocket&& o) noexcept {
    if (this != &o) {
      if (s_ != INVALID_SOCKET) closesocket(s_);
      s_ = std::exchange(o.s_, INVALID_SOCKET);
    }
    return *this;
  }
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

// Waits until the socket is readable (or writable); false when the time ran out.
bool WaitFor(SOCKET s, bool forWrite, long long ms, bool* failed = nullptr) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv{};
  ms = std::max<long long>(ms, 0);
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
  const int r = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &errors, &tv);
  if (failed) *failed = r == SOCKET_ERROR || (r > 0 && FD_ISSET(s, &errors));
  return r > 0;
}

class TcpChannel final : public tcp::SocketChannel {
 public:
  explicit TcpChannel(UniqueSocket sock) : sock_(std::move(sock)) {}

  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    if (const auto byte = buf_.Next()) return byte;
    const auto deadline = Clock::now() + wait;
    while (open_) {
      if (Fill() > 0) return buf_.Next();
      if (!open_) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      bool failed = false;
      WaitFor(sock_.get(), false, left.count() + 1, &failed);
      if (failed && Fill() == 0) open_ = false;
    }
    return std::nullopt;
  }

 private:
  Sent SendSome(std::span<const std::uint8_t> bytes) override {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const int n = ::send(sock_.get(), reinterpret_cast<const char*>(bytes.data()), chunk, 0);
    if (n > 0) return {static_cast<std::size_t>(n)};
    const int err = WSAGetLastError();
    if (n == SOCKET_ERROR && err == WSAEWOULDBLOCK) return {0, SendStop::Full};
    if (err == WSAECONNRESET || err == WSAECONNABORTED || err == WSAENOTCONN || err == WSAESHUTDOWN)
      return {0, SendStop::Gone};
    return {0, SendStop::Failed};
  }

  std::optional<bool> WaitWritable(int ms) const override { return WaitFor(sock_.get(), true, ms); }

  std::size_t Fill() override {
    return buf_.Refill([this](std::span<std::uint8_t> into) -> std::size_t {
      const int n = ::recv(sock_.get(), reinterpret_cast<char*>(into.data()), static_cast<int>(into.size()), 0);
      if (n > 0) return static_cast<std::size_t>(n);
      if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) open_ = false;
      return 0;
    });
  }

  UniqueSocket sock_;
};

// The socket being opened, until it is handed over as a channel.
class WinsockOpener final : public tcp::SocketOpener {
 public:
  WinsockOpener() : SocketOpener({WSAECONNREFUSED, WSAENETUNREACH, WSAEHOSTUNREACH, WSAETIMEDOUT, WSAECANCELLED}) {}

  bool SocketsReady() override { return WinsockStarted(); }

  int MakeSocket() override {
    sock_ = UniqueSocket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (sock_.get() == INVALID_SOCKET) return WSAGetLastError();
    u_long nonBlocking = 1;
    return ioctlsocket(sock_.get(), FIONBIO, &nonBlocking) != 0 ? WSAGetLastError() : 0;
  }

  int StartConnect(const tcp::Ipv4Endpoint& to) override {
    const sockaddr_in addr = tcp::SockaddrOf(to);
    if (::connect(sock_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
    const int err = WSAGetLastError();
    return err == WSAEWOULDBLOCK || err == WSAEINPROGRESS ? kInProgress : err;
  }

  std::optional<int> WaitConnect(int ms) override {
    bool failed = false;
    const bool ready = WaitFor(sock_.get(), true, ms, &failed);
    if (!ready && !failed) return std::nullopt;
    int err = 0;
    int len = sizeof err;
    if (getsockopt(sock_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
      return WSAGetLastError();
    if (err != 0 || ready) return err;
    return std::nullopt;
  }

  std::unique_ptr<ByteChannel> Finish() override {
    const BOOL one = TRUE;
    setsockopt(sock_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return std::make_unique<TcpChannel>(std::move(sock_));
  }

  std::string ErrorText(int err) const override { return SystemErrorText(err); }

 private:
  UniqueSocket sock_;
};

}  // namespace

std::string ResolveIpv4(const std::string& name) { return WinsockStarted() ? tcp::FirstIpv4Of(name) : std::string(); }

ChannelOpenResult OpenTcpChannel(const TcpTarget& target) {
  WinsockOpener os;
  return tcp::OpenSocketChannel(target, os);
}

}  // namespace statvtk
