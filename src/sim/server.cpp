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

#include "sim/request_assembler.hpp"
#include "sim/sim_channel.hpp"

namespace statvtk::sim {

namespace {

using Clock = std::chrono::steady_clock;

Error Errno(const std::string& what) {
  const int code = errno;
  return MakeError(ErrorCode::FileSystem, what + ": " + std::strerror(code), code);
}

// Sleeps until `t` on the monotonic clock, in slices so a stop is seen within 20 ms.
void SleepUntil(Clock::time_point t, const std::atomic<bool>& stop) {
  while (!stop) {
    const auto now = Clock::now();
    if (now >= t) return;
    const auto until = std::min(t, now + std::chrono::milliseconds(20));
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
  }
}

// A write that never raises SIGPIPE when a TCP client has gone (the server
// runs inside other programs, tests among them); a pty takes a plain write.
ssize_t WriteSome(int fd, const std::uint8_t* p, std::size_t n) {
  const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
  if (w < 0 && errno == ENOTSOCK) return ::write(fd, p, n);
  return w;
}

// Writes all bytes to a non-blocking descriptor; gives up when the peer does
// not take them within a second.
bool WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = WriteSome(fd, p, n);
    if (w > 0) {
      p += w, n -= static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno == EAGAIN) {
      pollfd pf{fd, POLLOUT, 0};
      if (::poll(&pf, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

// The speed a pseudo-terminal's client set on its side (the master reports
// the slave's settings); 0 when it cannot be told.
std::uint32_t LineSpeed(int master) {
  termios t{};
  if (master < 0 || ::tcgetattr(master, &t) != 0) return 0;
  switch (::cfgetispeed(&t)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

// One client's conversation: modem (optional), request assembly, replies.
class Session {
 public:
  // `speedFd`: the pty master whose client speed decides what an instrument
  // with a line speed hears; -1 on TCP.
  Session(const std::vector<Instrument*>& line, const ServerOptions& o, const std::atomic<bool>& stop, int fd,
          int speedFd = -1)
      : line_(line),
        inst_(line.empty() ? nullptr : line.front()),
        opt_(o),
        stop_(stop),
        fd_(fd),
        speedFd_(speedFd),
        assembler_(inst_ ? inst_->Options().address : 1, inst_ ? inst_->Options().longAddress : kDefaultLongAddress) {
    if (o.modem) {
      ModemOptions mo = o.modemOptions;
      if (o.baud) mo.connectBaud = o.baud;
      modem_ = std::make_unique<Modem>(mo);
      if (o.exchange)
        modem_->SetDialPlan([this](const std::string& number) {
          Exchange::Placed placed = opt_.exchange->Dial(number);
          dialed_ = placed.site;
          dropAfter_ = placed.dropAfter;
          return placed.answer;
        });
    }
  }
  ~Session() { Release(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void OnBytes(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    std::vector<std::uint8_t> data;
    std::string text;
    if (modem_) {
      for (auto b : bytes) modem_->FromTerminal(b, now, data, text);
      SendText(text);
      FollowCall();
    } else {
      data.assign(bytes.begin(), bytes.end());
    }
    if (data.empty() || !inst_) return;
    lastByte_ = now;
    std::vector<AssembledFrame> frames;
    std::vector<std::string> errors;
    for (auto b : data) assembler_.Push(b, frames, errors);
    for (const auto& e : errors) inst_->Log(e);
    for (const auto& f : frames) {
      // Every instrument on the line hears the frame; only the addressed one answers.
      const std::uint32_t speed = speedFd_ >= 0 ? LineSpeed(speedFd_) : 0;
      for (Instrument* inst : line_) {
        const std::uint32_t hears = inst->Options().lineSpeed;
        if (hears != 0 && speed != 0 && hears != speed) continue;  // noise at its speed: silence
        auto reply = inst->Handle(f.bytes);
        if (!reply) continue;
        SleepUntil(Clock::now() + std::chrono::milliseconds(inst->Options().latencyMs), stop_);
        if (modem_ && !modem_->Online()) break;  // the call was dropped meanwhile
        Send(*reply);
        CountReply();
        break;
      }
    }
  }

  void Tick(Clock::time_point now) {
    if (assembler_.Pending() && now - lastByte_ >= kRequestGap) {
      std::vector<std::string> errors;
      assembler_.Expire(errors);
      if (inst_)
        for (const auto& e : errors) inst_->Log(e);
    }
    if (modem_) {
      std::string text;
      modem_->Tick(now, text);
      SendText(text);
      FollowCall();
    }
  }

  // Milliseconds until the next timed event, or -1.
  int TimeoutMs(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    if (assembler_.Pending()) next = lastByte_ + kRequestGap;
    if (modem_) {
      if (auto d = modem_->NextDeadline()) next = next ? std::min(*next, *d) : *d;
    }
    if (!next) return -1;
    if (*next <= now) return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>((us + 999) / 1000, INT_MAX));
  }

  void Detach() {
    assembler_.Reset();
    if (modem_) modem_->Detach();
    FollowCall();
  }

 private:
  // Through an exchange: a connected call talks to its site's instrument; a
  // call that ended frees the site.
  void FollowCall() {
    if (!opt_.exchange) return;
    if (modem_->GetState() == Modem::State::Command) {
      Release();
      return;
    }
    if (modem_->Online() && dialed_ >= 0 && site_ < 0) {
      site_ = dialed_;
      inst_ = &opt_.exchange->InstrumentOf(site_);
      line_ = {inst_};
      assembler_ = RequestAssembler(inst_->Options().address, inst_->Options().longAddress);
      replies_ = 0;
    }
  }
  void Release() {
    const int held = site_ >= 0 ? site_ : dialed_;
    if (held >= 0 && opt_.exchange) opt_.exchange->Release(held);
    site_ = dialed_ = -1;
    if (opt_.exchange) inst_ = nullptr, line_.clear();
  }
  // A call that drops after N replies loses the carrier here.
  void CountReply() {
    if (site_ < 0 || !dropAfter_ || ++replies_ < *dropAfter_) return;
    std::string text;
    modem_->DropCarrier(text);
    SendText(text);
    FollowCall();
  }

  void SendText(const std::string& t) {
    if (!t.empty()) Send(std::vector<std::uint8_t>(t.begin(), t.end()));
  }

  void Send(const std::vector<std::uint8_t>& bytes) {
    if (opt_.baud == 0) {
      if (!WriteAll(fd_, bytes.data(), bytes.size())) Log("the client does not take the reply");
      return;
    }
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000ll / opt_.baud);
    auto t = std::max(Clock::now(), lineFree_);
    for (auto b : bytes) {
      SleepUntil(t, stop_);
      if (stop_) return;
      if (!WriteAll(fd_, &b, 1)) {
        Log("the client does not take the reply");
        return;
      }
      t += byteTime;
    }
    lineFree_ = t;
  }

  void Log(std::string_view text) {
    if (inst_) inst_->Log(text);
  }

  std::vector<Instrument*> line_;
  Instrument* inst_;  // the first on the line: the assembler's addresses and the log
  const ServerOptions& opt_;
  const std::atomic<bool>& stop_;
  int fd_;
  int speedFd_;
  RequestAssembler assembler_;
  std::unique_ptr<Modem> modem_;
  Clock::time_point lastByte_{};
  Clock::time_point lineFree_{};
  int dialed_ = -1, site_ = -1;  // the exchange's site dialled, and the one the call talks to
  std::uint32_t replies_ = 0;    // replies sent in this call
  std::optional<std::uint32_t> dropAfter_;
};

}  // namespace

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
