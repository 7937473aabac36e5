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
#include "link/link_error.hpp"
#include "link/tcp_common.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;
using tcp::ConnectFault;

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
  TcpChannel(const TcpChannel&) = delete;
  TcpChannel& operator=(const TcpChannel&) = delete;

  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (open_ && done < bytes.size()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      const int n = ::send(sock_.get(), reinterpret_cast<const char*>(bytes.data() + done), chunk, 0);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      const int err = WSAGetLastError();
      if (n == SOCKET_ERROR && err == WSAEWOULDBLOCK) {
        // Room to send, looked for in slices so that a stop ends the wait.
        bool room = false;
        for (int waited = 0; !room && waited < tcp::kWriteStallMs && !AbortRequested(); waited += tcp::kConnectSliceMs)
          room = WaitFor(sock_.get(), true, tcp::kConnectSliceMs);
        if (room) continue;
      } else if (err == WSAECONNRESET || err == WSAECONNABORTED || err == WSAENOTCONN || err == WSAESHUTDOWN) {
        open_ = false;
      }
      break;
    }
    return done;
  }

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

ConnectFault FaultOf(int err) {
  switch (err) {
    case WSAECONNREFUSED: return ConnectFault::Refused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH: return ConnectFault::Unreachable;
    case WSAETIMEDOUT: return ConnectFault::TimedOut;
    case WSAECANCELLED: return ConnectFault::Aborted;
    default: return ConnectFault::Other;
  }
}

// Waits for a non-blocking connect to finish; 0 on success, else the
// Winsock error (WSAETIMEDOUT when the time ran out, WSAECANCELLED on abort).
int AwaitConnect(SOCKET s, std::uint32_t timeoutS, const std::atomic<bool>* abort) {
  const auto deadline = Clock::now() + std::chrono::seconds(std::max<std::uint32_t>(timeoutS, 1));
  for (;;) {
    if (abort && abort->load()) return WSAECANCELLED;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return WSAETIMEDOUT;
    bool failed = false;
    const bool ready = WaitFor(s, true, std::min<long long>(left.count(), tcp::kConnectSliceMs), &failed);
    if (ready || failed) {
      int err = 0;
      int len = sizeof err;
      if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) return WSAGetLastError();
      if (err != 0 || ready) return err;
    }
  }
}

}  // namespace

std::string ResolveIpv4(const std::string& name) { return WinsockStarted() ? tcp::FirstIpv4Of(name) : std::string(); }

ChannelOpenResult OpenTcpChannel(const TcpTarget& target) {
  auto endpoint = tcp::EndpointOf(target, WinsockStarted);
  if (!endpoint) return std::move(endpoint.error());
  const auto& [address, port, where] = *endpoint;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = port;
  addr.sin_addr.s_addr = address;
  UniqueSocket sock(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (sock.get() == INVALID_SOCKET) return tcp::SocketFailure(SystemErrorText(WSAGetLastError()));
  u_long nonBlocking = 1;
  if (ioctlsocket(sock.get(), FIONBIO, &nonBlocking) != 0)
    return tcp::SocketFailure(SystemErrorText(WSAGetLastError()));
  int err = 0;
  if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK || err == WSAEINPROGRESS)
      err = AwaitConnect(sock.get(), target.connectTimeoutS, target.abort);
  }
  if (err != 0) return tcp::ConnectFailure(FaultOf(err), target, where, SystemErrorText(err));
  const BOOL one = TRUE;
  setsockopt(sock.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return OpenedChannel{std::make_unique<TcpChannel>(std::move(sock)), {}};
}

}  // namespace statvtk
