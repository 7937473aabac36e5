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

#include "base/error.hpp"
#include "link/tcp_common.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;

class TcpChannel final : public tcp::SocketChannel {
 public:
  explicit TcpChannel(UniqueFd sock) : sock_(std::move(sock)), fd_(sock_.get()) {}

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
  Sent SendSome(std::span<const std::uint8_t> bytes) override {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) return {static_cast<std::size_t>(n)};
    if (n == 0) return {0, SendStop::Failed};
    if (errno == EINTR) return {0, SendStop::Interrupted};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {0, SendStop::Full};
    if (errno == EPIPE || errno == ECONNRESET) return {0, SendStop::Gone};
    return {0, SendStop::Failed};
  }

  std::optional<bool> WaitWritable(int ms) const override {
    pollfd p{fd_, POLLOUT, 0};
    const int r = poll(&p, 1, ms);
    if (r > 0) return (p.revents & POLLOUT) != 0 ? std::optional(true) : std::nullopt;
    if (r < 0 && errno != EINTR) return std::nullopt;
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

}  // namespace

std::unique_ptr<ByteChannel> ChannelOfSocket(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return std::make_unique<TcpChannel>(UniqueFd(fd));
}

namespace {

// The socket being opened, until it is handed over as a channel.
class PosixOpener final : public tcp::SocketOpener {
 public:
  PosixOpener() : SocketOpener({ECONNREFUSED, ENETUNREACH, EHOSTUNREACH, ETIMEDOUT, ECANCELED}) {}

  int MakeSocket() override {
    sock_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    return sock_.get() < 0 ? errno : 0;
  }

  int StartConnect(const tcp::Ipv4Endpoint& to) override {
    const sockaddr_in addr = tcp::SockaddrOf(to);
    if (::connect(sock_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
    return errno == EINPROGRESS ? kInProgress : errno;
  }

  std::optional<int> WaitConnect(int ms) override {
    pollfd p{sock_.get(), POLLOUT, 0};
    const int r = poll(&p, 1, ms);
    if (r < 0 && errno != EINTR) return errno;
    if (r <= 0) return std::nullopt;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(sock_.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
  }

  std::unique_ptr<ByteChannel> Finish() override {
    const int one = 1;
    setsockopt(sock_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<TcpChannel>(std::move(sock_));
  }

  std::string ErrorText(int err) const override { return std::strerror(err); }

 private:
  UniqueFd sock_;
};

}  // namespace

std::string ResolveIpv4(const std::string& name) { return tcp::FirstIpv4Of(name); }

ChannelOpenResult OpenTcpChannel(const TcpTarget& target) {
  PosixOpener os;
  return tcp::OpenSocketChannel(target, os);
}

}  // namespace statvtk
