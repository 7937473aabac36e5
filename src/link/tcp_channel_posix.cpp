// TCP channel over POSIX sockets: an IPv4 stream socket, connected without blocking (the wait
// is bounded by the connect time-out and the abort flag), Nagle switched off.
#include "link/tcp_channel.hpp"

#include "base/unique_fd.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "link/link_error.hpp"
#include "link/tcp_common.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;

using tcp::ConnectFault;
using tcp::kConnectSliceMs;
using tcp::kWriteStallMs;

class TcpChannel final : public tcp::SocketChannel {
 public:
  explicit TcpChannel(UniqueFd sock) : sock_(std::move(sock)), fd_(sock_.get()) {}
  TcpChannel(const TcpChannel&) = delete;
  TcpChannel& operator=(const TcpChannel&) = delete;

  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (open_ && done < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitForRoom()) continue;
      } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
        open_ = false;
      }
      break;
    }
    return done;
  }

  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    if (const auto byte = buf_.Next()) return byte;
    // Poll first: it returns at once when bytes wait, so a byte costs one
    // poll and one receive however the reply is split into segments.
    const auto deadline = Clock::now() + wait;
    while (open_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      const int r = poll(&p, 1, left > 0 ? static_cast<int>(left) + 1 : 0);
      if (r < 0 && errno != EINTR) break;
      if (r > 0 && Fill() > 0) return buf_.Next();
      if (left <= 0) break;
    }
    return std::nullopt;
  }

 private:
  // Up to 5 s for room in the send buffer, in 100 ms slices with the abort
  // flag looked at between them; true when there is room.
  bool WaitForRoom() const {
    for (int waited = 0; waited < kWriteStallMs && !AbortRequested(); waited += kConnectSliceMs) {
      pollfd p{fd_, POLLOUT, 0};
      const int r = poll(&p, 1, kConnectSliceMs);
      if (r > 0) return (p.revents & POLLOUT) != 0;
      if (r < 0 && errno != EINTR) return false;
    }
    return false;
  }

  std::size_t Fill() override {
    return buf_.Refill([this](std::span<std::uint8_t> into) -> std::size_t {
      for (;;) {
        const ssize_t n = ::recv(fd_, into.data(), into.size(), MSG_DONTWAIT);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) open_ = false;
        return 0;
      }
    });
  }

  UniqueFd sock_;
  int fd_;
};

ConnectFault FaultOf(int err) {
  switch (err) {
    case ECONNREFUSED: return ConnectFault::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH: return ConnectFault::Unreachable;
    case ETIMEDOUT: return ConnectFault::TimedOut;
    case ECANCELED: return ConnectFault::Aborted;
    default: return ConnectFault::Other;
  }
}

// Waits for a non-blocking connect to finish; 0 on success, else the error
// (ETIMEDOUT when the time ran out, ECANCELED on abort).
int AwaitConnect(int fd, std::uint32_t timeoutS, const std::atomic<bool>* abort) {
  const auto deadline = Clock::now() + std::chrono::seconds(std::max<std::uint32_t>(timeoutS, 1));
  for (;;) {
    if (abort && abort->load()) return ECANCELED;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), kConnectSliceMs)));
    if (r < 0 && errno != EINTR) return errno;
    if (r > 0) {
      int err = 0;
      socklen_t len = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
      return err;
    }
  }
}

}  // namespace

std::string ResolveIpv4(const std::string& name) { return tcp::FirstIpv4Of(name); }

ChannelOpenResult OpenTcpChannel(const TcpTarget& target) {
  auto endpoint = tcp::EndpointOf(target);
  if (!endpoint) return std::move(endpoint.error());
  const auto& [address, port, where] = *endpoint;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = port;
  addr.sin_addr.s_addr = address;
  UniqueFd sock(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (sock.get() < 0) return tcp::SocketFailure(std::strerror(errno));
  int err = 0;
  if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    err = errno == EINPROGRESS ? AwaitConnect(sock.get(), target.connectTimeoutS, target.abort) : errno;
  }
  if (err != 0) return tcp::ConnectFailure(FaultOf(err), target, where, std::strerror(err));
  const int one = 1;
  setsockopt(sock.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return OpenedChannel{std::make_unique<TcpChannel>(std::move(sock)), {}};
}

}  // namespace statvtk
