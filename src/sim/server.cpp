#include "sim/server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>

#include "sim/descriptor_io.hpp"
#include "sim/session.hpp"

namespace statvtk::sim {

Result<std::unique_ptr<Server>> Server::Start(Instrument& instrument, const ServerOptions& o) {
  return Start(std::vector<Instrument*>{&instrument}, o);
}

Result<std::unique_ptr<Server>> Server::Start(std::vector<Instrument*> line, const ServerOptions& o) {
  if ((line.empty() && !o.exchange) || std::find(line.begin(), line.end(), nullptr) != line.end())
    return MakeError(ErrorCode::BadSettings, "no instrument on the line");
  std::unique_ptr<Server> s(new Server(std::move(line), o));
  s->wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (s->wake_ < 0) return Errno("eventfd");
  Result<void> opened = o.carrier == CarrierKind::Tcp   ? s->OpenTcp()
                        : o.carrier == CarrierKind::Pty ? s->OpenPty()
                                                        : s->OpenClient();
  if (!opened) return std::move(opened.error());
  s->thread_ = std::thread([p = s.get()] { p->Run(); });
  return s;
}

Result<void> Server::OpenTcp() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_ < 0) return Errno("socket");
  const int one = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(opt_.tcpPort);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 4) != 0)
    return Errno("cannot listen on 127.0.0.1:" + std::to_string(opt_.tcpPort));
  socklen_t len = sizeof a;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  return {};
}

Result<void> Server::OpenPty() {
  auto fail = [](const std::string& what) -> Result<void> { return Errno(what); };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("grantpt/unlockpt");
  std::array<char, 128> name{};
  if (::ptsname_r(master_, name.data(), name.size()) != 0) return fail("ptsname");
  slave_ = name.data();
  // Raw line settings, kept by the pty while the master is open.
  const int s = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) return fail("open " + slave_);
  termios t{};
  ::tcgetattr(s, &t);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B9600);
  ::tcsetattr(s, TCSANOW, &t);
  ::close(s);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (opt_.ptyLink.empty()) return {};
  const std::string tmp = opt_.ptyLink + ".new" + std::to_string(::getpid());
  ::unlink(tmp.c_str());
  if (::symlink(slave_.c_str(), tmp.c_str()) != 0) return fail("symlink " + tmp);
  if (::rename(tmp.c_str(), opt_.ptyLink.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return fail("cannot create the link " + opt_.ptyLink);
  }
  return {};
}

Result<void> Server::OpenClient() {
  client_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (client_ < 0) return Errno("socket");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(opt_.connectPort);
  const std::string where = opt_.connectHost + ":" + std::to_string(opt_.connectPort);
  if (::inet_pton(AF_INET, opt_.connectHost.c_str(), &a.sin_addr) != 1)
    return MakeError(ErrorCode::BadSettings, "not an IPv4 address: " + opt_.connectHost);
  if (::connect(client_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Errno("cannot connect to " + where);
  const int one = 1;
  ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const std::string line = opt_.id + "\r\n";
  if (!WriteAll(client_, reinterpret_cast<const std::uint8_t*>(line.data()), line.size()))
    return Errno("cannot send the Id line to " + where);
  ::fcntl(client_, F_SETFL, ::fcntl(client_, F_GETFL) | O_NONBLOCK);
  return {};
}

void Server::Run() {
  if (opt_.carrier == CarrierKind::Tcp) {
    ServeTcp();
  } else if (opt_.carrier == CarrierKind::Pty) {
    ServePty();
  } else {
    ++connections_;
    ServeSocket(client_);
    if (opt_.ended) opt_.ended();
  }
}

void Server::ServeTcp() {
  while (!stopping_) {
    pollfd p[2] = {{listen_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 && errno != EINTR) return;
    if (stopping_ || (p[1].revents & POLLIN)) return;
    const int c = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c < 0) continue;
    const int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++connections_;
    ServeSocket(c);
    ::close(c);
  }
}

// One connection's conversation, until the peer closes it or the stop.
void Server::ServeSocket(int c) {
  Session s(line_, opt_, stopping_, c);
  while (!stopping_) {
    pollfd q[2] = {{c, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int n = ::poll(q, 2, s.TimeoutMs(Clock::now()));
    if (n < 0 && errno != EINTR) break;
    if (q[1].revents & POLLIN) break;
    if (q[0].revents & POLLIN) {
      std::array<std::uint8_t, 512> buf;
      const ssize_t r = ::read(c, buf.data(), buf.size());
      if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) break;
      if (r > 0) s.OnBytes({buf.data(), static_cast<std::size_t>(r)}, Clock::now());
    } else if (q[0].revents & (POLLHUP | POLLERR)) {
      break;
    }
    s.Tick(Clock::now());
  }
}

void Server::ServePty() {
  Session s(line_, opt_, stopping_, master_, master_);
  bool attached = false;
  while (!stopping_) {
    if (!attached) {  // no client has the slave open: look again every 50 ms
      pollfd w{wake_, POLLIN, 0};
      ::poll(&w, 1, 50);
      if (stopping_) return;
      pollfd m{master_, POLLIN, 0};
      ::poll(&m, 1, 0);
      if (m.revents & POLLHUP) continue;
      attached = true;
      ++connections_;
    }
    pollfd q[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int n = ::poll(q, 2, s.TimeoutMs(Clock::now()));
    if (n < 0 && errno != EINTR) return;
    if (q[1].revents & POLLIN) return;
    bool gone = false;
    if (q[0].revents & POLLIN) {
      std::array<std::uint8_t, 512> buf;
      const ssize_t r = ::read(master_, buf.data(), buf.size());
      if (r > 0) s.OnBytes({buf.data(), static_cast<std::size_t>(r)}, Clock::now());
      else if (r < 0 && errno == EIO) gone = true;
    } else if (q[0].revents & (POLLHUP | POLLERR)) {
      gone = true;
    }
    if (gone) {
      s.Detach();
      attached = false;
      continue;
    }
    s.Tick(Clock::now());
  }
}

void Server::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t w = ::write(wake_, &one, sizeof one);
  thread_.join();
}

Server::~Server() {
  Stop();
  if (!opt_.ptyLink.empty() && !slave_.empty()) {
    std::array<char, 256> target{};
    const ssize_t n = ::readlink(opt_.ptyLink.c_str(), target.data(), target.size() - 1);
    if (n > 0 && slave_ == std::string(target.data(), static_cast<std::size_t>(n))) ::unlink(opt_.ptyLink.c_str());
  }
  for (int fd : {listen_, master_, wake_, client_})
    if (fd >= 0) ::close(fd);
}

}  // namespace statvtk::sim
