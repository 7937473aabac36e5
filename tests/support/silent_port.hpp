// A loopback port whose connects hang, as one to a silent address: its
// listener's accept queue is full, so the kernel drops further SYNs.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "support/wait_until.hpp"

namespace statvtk::test {

class SilentPort {
 public:
  SilentPort() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    for (int& f : fillers_) {
      f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // A filler's handshake completed fills the queue; those that never complete are the point.
    WaitUntil([&] {
      pollfd p[3];
      for (int i = 0; i < 3; ++i) p[i] = {.fd = fillers_[i], .events = POLLOUT, .revents = 0};
      return ::poll(p, 3, 0) > 0;
    });
  }
  ~SilentPort() {
    for (int f : fillers_) ::close(f);
    ::close(listener_);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  std::uint16_t Port() const { return port_; }

 private:
  int listener_ = -1;
  int fillers_[3] = {-1, -1, -1};
  std::uint16_t port_ = 0;
};

}  // namespace statvtk::test
