#include "collect/http/connections.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace statvtk::collect {

namespace {

using Clock = std::chrono::steady_clock;

std::string AddressOf(const sockaddr_storage& a, int* port) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (a.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(a);
    inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    if (port) *port = ntohs(in.sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a);
    inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    if (port) *port = ntohs(in6.sin6_port);
  }
  return text;
}

std::string PeerOf(int fd, int* port = nullptr) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "?";
  return AddressOf(a, port);
}

// Waits until `fd` is ready for `events` or `until` passes; false on the deadline.
bool WaitFor(int fd, short events, Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{.fd = fd, .events = events, .revents = 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60000)));
    if (r > 0) return true;  // ready, or an error or hang-up the next call finds
    if (r < 0 && errno != EINTR) return true;
  }
}

// The socket, through TLS or not; every call returns at once (non-blocking).
class Transport {
 public:
  static constexpr ssize_t kWantRead = -2, kWantWrite = -3;
  Transport(int fd, SSL_CTX* tls) : fd_(fd), ssl_(tls ? SSL_new(tls) : nullptr) {
    if (ssl_) SSL_set_fd(ssl_, fd);
  }
  ~Transport() {
    if (ssl_) {
      if (shook_) SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
  }
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  int Fd() const { return fd_; }
  bool Usable(SSL_CTX* tls) const { return !tls || ssl_; }
  // The TLS handshake, before `until`; true at once without TLS.
  bool Handshake(Clock::time_point until) {
    if (!ssl_) return true;
    for (;;) {
      const int r = SSL_accept(ssl_);
      if (r == 1) return shook_ = true;
      const ssize_t want = Failure(r);
      if (want != kWantRead && want != kWantWrite) return false;
      if (!WaitFor(fd_, want == kWantRead ? POLLIN : POLLOUT, until)) return false;
    }
  }
  bool Pending() const { return ssl_ && SSL_pending(ssl_) > 0; }
  // Bytes read, 0 at the peer's end, -1 on an error, or kWantRead/kWantWrite.
  ssize_t Recv(char* p, std::size_t n) {
    if (ssl_) {
      const int r = SSL_read(ssl_, p, static_cast<int>(std::min<std::size_t>(n, 1 << 20)));
      return r > 0 ? r : Failure(r);
    }
    const ssize_t r = ::recv(fd_, p, n, 0);
    if (r >= 0) return r;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWantRead : -1;
  }
  ssize_t Send(const char* p, std::size_t n) {
    if (ssl_) {
      const int r = SSL_write(ssl_, p, static_cast<int>(std::min<std::size_t>(n, 1 << 20)));
      return r > 0 ? r : Failure(r);
    }
    const ssize_t r = ::send(fd_, p, n, MSG_NOSIGNAL);
    if (r >= 0) return r;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWantWrite : -1;
  }

 private:
  ssize_t Failure(int r) const {
    switch (SSL_get_error(ssl_, r)) {
      case SSL_ERROR_WANT_READ: return kWantRead;
      case SSL_ERROR_WANT_WRITE: return kWantWrite;
      case SSL_ERROR_ZERO_RETURN: return 0;
      default: return -1;
    }
  }
  int fd_;
  SSL* ssl_;
  bool shook_ = false;
};

// cpp-httplib's view of the connection: a buffered stream whose reads of a
// request's line and headers end at one deadline, and whose other reads and
// writes each wait at most the limit.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(Transport& t, const ConnectionLimits& limits) : t_(t), limits_(limits) {}

  bool Buffered() const { return at_ < buffer_.size() || t_.Pending(); }
  void StartRequest() {
    head_ = Clock::now() + limits_.head;
    inHead_ = true;
  }
  void HeadDone() { inHead_ = false; }
  bool Expired() const { return expired_; }

  bool is_readable() const override { return Buffered() || WaitFor(t_.Fd(), POLLIN, Clock::now() + limits_.io); }
  bool is_writable() const override { return WaitFor(t_.Fd(), POLLOUT, Clock::now() + limits_.io); }

  ssize_t read(char* ptr, size_t size) override {
    if (at_ == buffer_.size()) {
      const ssize_t n = Fill();
      if (n <= 0) return n;
    }
    const std::size_t n = std::min(size, buffer_.size() - at_);
    std::memcpy(ptr, buffer_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t r = t_.Send(ptr + done, size - done);
      if (r > 0) {
        done += static_cast<std::size_t>(r);
        continue;
      }
      if ((r != Transport::kWantRead && r != Transport::kWantWrite) ||
          !WaitFor(t_.Fd(), r == Transport::kWantRead ? POLLIN : POLLOUT, Clock::now() + limits_.io))
        return -1;
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = PeerOf(t_.Fd(), &port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getsockname(t_.Fd(), reinterpret_cast<sockaddr*>(&a), &len) == 0) ip = AddressOf(a, &port);
  }
  socket_t socket() const override { return t_.Fd(); }

 private:
  ssize_t Fill() {
    buffer_.resize(4096);
    at_ = 0;
    for (;;) {
      const ssize_t r = t_.Recv(buffer_.data(), buffer_.size());
      if (r > 0) {
        buffer_.resize(static_cast<std::size_t>(r));
        return r;
      }
      buffer_.clear();
      if (r != Transport::kWantRead && r != Transport::kWantWrite) return r;
      const auto until = inHead_ ? head_ : Clock::now() + limits_.io;
      if (!WaitFor(t_.Fd(), r == Transport::kWantRead ? POLLIN : POLLOUT, until)) {
        expired_ = true;
        return -1;
      }
    }
  }

  Transport& t_;
  const ConnectionLimits& limits_;
  std::vector<char> buffer_;
  std::size_t at_ = 0;
  Clock::time_point head_{};
  bool inHead_ = false, expired_ = false;
};

}  // namespace

std::optional<std::uint64_t> ConnectionTable::Admit(int fd, const std::string& address) {
  const std::scoped_lock lock(mutex_);
  if (closing_) return std::nullopt;
  const auto ofAddress = [&](const Entry& e) { return e.address == address; };
  if (static_cast<std::size_t>(std::count_if(
          open_.begin(), open_.end(), [&](const auto& kv) { return ofAddress(kv.second); })) >= limits_.perAddress &&
      !MakeRoom(ofAddress))
    return std::nullopt;
  if (open_.size() >= limits_.total && !MakeRoom([](const Entry&) { return true; })) return std::nullopt;
  const std::uint64_t id = next_++;
  open_[id] = Entry{.fd = fd, .address = address, .idle = true, .since = Clock::now()};
  return id;
}

bool ConnectionTable::MakeRoom(const std::function<bool(const Entry&)>& of) {
  auto oldest = open_.end();
  for (auto it = open_.begin(); it != open_.end(); ++it)
    if (it->second.idle && of(it->second) && (oldest == open_.end() || it->second.since < oldest->second.since))
      oldest = it;
  if (oldest == open_.end()) return false;
  // Its thread wakes up to a closed connection and ends it.
  ::shutdown(oldest->second.fd, SHUT_RDWR);
  open_.erase(oldest);
  return true;
}

void ConnectionTable::Idle(std::uint64_t id, bool idle) {
  const std::scoped_lock lock(mutex_);
  if (const auto it = open_.find(id); it != open_.end()) {
    it->second.idle = idle;
    it->second.since = Clock::now();
  }
}

void ConnectionTable::Leave(std::uint64_t id) {
  const std::scoped_lock lock(mutex_);
  open_.erase(id);
}

void ConnectionTable::CloseAll() {
  const std::scoped_lock lock(mutex_);
  closing_ = true;
  for (const auto& [id, e] : open_) ::shutdown(e.fd, SHUT_RDWR);
}

std::size_t ConnectionTable::Open() {
  const std::scoped_lock lock(mutex_);
  return open_.size();
}

void ConnectionThreads::enqueue(std::function<void()> fn) {
  const std::scoped_lock lock(mutex_);
  jobs_.push_back(std::move(fn));
  if (jobs_.size() > idle_ && threads_.size() < max_) threads_.emplace_back([this] { Work(); });
  wake_.notify_one();
}

void ConnectionThreads::shutdown() {
  {
    const std::scoped_lock lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_)
    if (t.joinable()) t.join();
}

void ConnectionThreads::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      ++idle_;
      wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
      --idle_;
      if (jobs_.empty()) return;  // stopping, nothing left
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

void ServeConnection(ConnectionTable& table, int fd, SSL_CTX* tls, const RequestProcessor& process) {
  const ConnectionLimits& limits = table.Limits();
  if (const auto id = table.Admit(fd, PeerOf(fd))) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    {
      Transport t(fd, tls);
      GuardedStream stream(t, limits);
      if (t.Usable(tls) && t.Handshake(Clock::now() + limits.head)) {
        for (int n = 0; n < limits.requestsPerConnection; ++n) {
          table.Idle(*id, true);
          if (!stream.Buffered() && !WaitFor(fd, POLLIN, Clock::now() + limits.idle)) break;
          table.Idle(*id, false);
          stream.StartRequest();
          bool closed = false;
          const bool last = n + 1 == limits.requestsPerConnection;
          if (!process(stream, last, closed, [&](httplib::Request&) { stream.HeadDone(); })) break;
          if (closed || stream.Expired()) break;
        }
      }
    }
    table.Leave(*id);
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

}  // namespace statvtk::collect
