#include "collect/dial/incoming_listener.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "base/printable_text.hpp"
#include "base/unique_fd.hpp"
#include "collect/fleet/scheduler.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/line_schedule.hpp"
#include "collect/run/fault_barrier.hpp"
#include "collect/run/own_situations.hpp"
#include "link/tcp_channel.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

constexpr std::size_t kMaxIdBytes = 128;

struct Slot {
  const LineConfig* line = nullptr;
  std::vector<const InstrumentConfig*> instruments;
  std::vector<Due> due;  // each instrument's turn, by the one scheduler
  int fd = -1;           // the modem's connection; -1: waiting for the modem
  std::string peer;
  std::time_t since = 0;
};

struct Listener {
  const ListenConfig* cfg = nullptr;
  UniqueFd fd;
};

// "10.0.0.7:40112" and "10.0.0.7" of an accepted connection.
std::pair<std::string, std::string> PeerOf(const sockaddr_storage& a) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (a.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
    ::inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    port = ntohs(v4->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    port = ntohs(v6->sin6_port);
  }
  return {std::string(host) + ":" + std::to_string(port), host};
}

// A call of a line's known Id, refused or taken: the call_in_refused of the
// instruments of the line the store knows a serial of.
void NoteCall(const IncomingContext& ctx, const LineConfig& line,
              const std::vector<const InstrumentConfig*>& instruments, bool refused, const std::string& host) {
  std::vector<std::string> serials;
  for (const auto* in : instruments) {
    auto known = Guarded([&] {
      return ctx.writer.With([&](store::RecordStore& s) { return KnownSerial(s, ctx.cfg, line, in->name); });
    });
    if (known && !known->empty()) serials.push_back(*known);
  }
  NoteCallIn(ctx.writer, serials, refused, host, ctx.log);
}

}  // namespace

struct IncomingLines::State {
  explicit State(const IncomingContext& c) : ctx(c) {}
  IncomingContext ctx;
  std::vector<Listener> listeners;
  std::vector<Slot> slots;
  mutable std::mutex mu;                                       // the slots' connections and the counts below
  std::map<std::string, int> fromHost;                         // connections open (in the Id wait or kept) by address
  std::map<int, std::string> hostOf;                           // descriptor -> address
  std::map<std::string, std::vector<AddressRange>> allowFrom;  // AllowFrom= by [Listen NAME]
  struct Greeter {
    std::shared_ptr<std::atomic<bool>> done;
    std::jthread thread;
  };
  std::vector<Greeter> greeters;  // one per connection in its Id wait

  void Log(const std::string& t, const LogFields& fields = {}) { ctx.log(t, fields); }

  // Closes a connection and forgets it. Under mu.
  void Drop(int fd) {
    if (fd < 0) return;
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    const auto it = hostOf.find(fd);
    if (it == hostOf.end()) return;
    if (--fromHost[it->second] <= 0) fromHost.erase(it->second);
    hostOf.erase(it);
  }

  void Accept(Listener& l);
  void Greet(int fd, std::string peer, const ListenConfig& listen);
  void ServeSlot(Slot& s);
  void ReadDue(Slot& s, const std::vector<const InstrumentConfig*>& due, int fd, const std::string& peer);
  bool StillThere(Slot& s);
};

// The Id line: CR or LF ended, within the Id wait; nullopt without one (what
// came is in `got`).
static std::optional<std::string> IdLine(int fd, std::chrono::milliseconds wait, const std::atomic<bool>& stop,
                                         std::string& got) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!stop.load() && got.size() <= kMaxIdBytes) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100))) <= 0) continue;
    char buf[64];
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    if (n < 0) continue;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\r' || buf[i] == '\n') {
        if (got.empty()) continue;  // a blank line before the Id
        return got;
      }
      got += buf[i];
    }
  }
  return std::nullopt;
}

void IncomingLines::State::Greet(int fd, std::string peer, const ListenConfig& listen) {
  std::string got;
  const auto id = IdLine(fd, ctx.idWait, ctx.stop, got);
  std::unique_lock lock(mu);
  const std::string where = "[Listen " + listen.name + "] " + peer + ": ";
  if (!id) {
    if (!ctx.stop.load())
      Log(where + "нет строки Id за " + std::to_string(ctx.idWait.count() / 1000) + " с (получено \"" +
              PrintableText(got) + "\"); соединение закрыто",
          {.event = LogEvent::ModemRefused});
    Drop(fd);
    return;
  }
  const auto slot = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) {
    return s.line->id == *id && ctx.cfg.Listener(s.line->listen) == &listen;
  });
  if (slot == slots.end()) {
    Log(where + "неизвестный Id \"" + PrintableText(*id) + "\"; соединение закрыто", {.event = LogEvent::ModemRefused});
    Drop(fd);
    return;
  }
  // A known Id from an address AllowFrom= does not hold: refused, and the
  // situation noted outside the lock (the store may keep it waiting).
  const std::string host = peer.substr(0, peer.rfind(':'));
  const LineConfig& line = *slot->line;
  const std::vector<const InstrumentConfig*> instruments = slot->instruments;
  if (!AddressAllowed(allowFrom[listen.name], host)) {
    Log(where + "Id \"" + PrintableText(*id) + "\" линии " + line.name + ": адрес " + host +
        " не разрешён AllowFrom=; соединение закрыто");
    Drop(fd);
    lock.unlock();
    NoteCall(ctx, line, instruments, true, host);
    return;
  }
  if (slot->fd >= 0) {
    Log("[" + slot->line->name + "] модем подключился снова (" + peer + "); прежнее соединение (" + slot->peer +
            ") закрыто",
        {.line = slot->line->name, .event = LogEvent::ModemConnected});
    Drop(slot->fd);
  } else {
    Log("[" + slot->line->name + "] модем на связи: " + peer,
        {.line = slot->line->name, .event = LogEvent::ModemConnected});
  }
  slot->fd = fd;
  slot->peer = peer;
  slot->since = std::time(nullptr);
  // A call taken ends the line's refusals; without AllowFrom= there are none
  // to end, and the store is not asked.
  const bool checked = !allowFrom[listen.name].empty();
  lock.unlock();
  if (checked) NoteCall(ctx, line, instruments, false, host);
}

void IncomingLines::State::Accept(Listener& l) {
  while (!ctx.stop.load()) {
    pollfd p{l.fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    const int fd = ::accept4(l.fd.get(), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    auto [peer, host] = PeerOf(a);
    const std::scoped_lock lock(mu);
    if (fromHost[host] >= ctx.perAddress) {
      Log("[Listen " + l.cfg->name + "] " + peer + ": уже " + std::to_string(ctx.perAddress) +
              " соединения с этого адреса; соединение закрыто",
          {.event = LogEvent::ModemRefused});
      ::close(fd);
      continue;
    }
    ++fromHost[host];
    hostOf[fd] = host;
    std::erase_if(greeters, [](const Greeter& g) { return g.done->load(); });  // each joins at once
    auto done = std::make_shared<std::atomic<bool>>(false);
    greeters.push_back({done, std::jthread([this, fd, peer, &l, done] {
                          Greet(fd, peer, *l.cfg);
                          done->store(true);
                        })});
  }
}

// Whether the kept connection is still there (bytes the modem sent between
// reads are dropped); a closed one is forgotten.
bool IncomingLines::State::StillThere(Slot& s) {
  const std::scoped_lock lock(mu);
  if (s.fd < 0) return false;
  for (;;) {
    char buf[256];
    const ssize_t n = ::recv(s.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    Log("[" + s.line->name + "] модем отключился (" + s.peer + ")",
        {.line = s.line->name, .event = LogEvent::ModemDisconnected});
    Drop(s.fd);
    s.fd = -1;
    return false;
  }
}

// `fd`: the read's own descriptor of the modem's connection (its socket
// whatever becomes of the slot's meanwhile).
void IncomingLines::State::ReadDue(Slot& s, const std::vector<const InstrumentConfig*>& due, int fd,
                                   const std::string& peer) {
  LineConfig line = *s.line;
  TcpLine target;
  target.host = peer.substr(0, peer.rfind(':'));
  target.port = static_cast<std::uint16_t>(std::atoi(peer.substr(peer.rfind(':') + 1).c_str()));
  line.spec.target = target;
  line.spec.mode = ConnectMode::Tcp;
  LineHooks hooks;
  // The line's channel on a copy of the read's descriptor: closing the line
  // does not end the modem's connection.
  hooks.run.channelFactory = [fd](Tmod07&) -> std::unique_ptr<ByteChannel> {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? nullptr : ChannelOfSocket(copy);
  };
  const LogTo lineLog = ctx.log.OfLine(line.name);
  std::atomic<bool>& readStop = ctx.readStop ? *ctx.readStop : ctx.stop;
  const auto passes = CollectLine(ctx.cfg, line, due, ctx.home, ctx.writer, readStop, lineLog, hooks);
  Reschedule(ctx.cfg, line.name, s.due, due, passes, ctx.fleet);
}

void IncomingLines::State::ServeSlot(Slot& s) {
  while (!ctx.stop.load()) {
    const std::time_t now = std::time(nullptr);
    std::vector<const InstrumentConfig*> due;
    for (auto& d : s.due)
      if (TakeDue(d, now)) due.push_back(d.in);
    if (due.empty() || !StillThere(s)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    // The connection duplicated under the lock it is replaced under: a
    // reconnect closes the slot's descriptor, never the read's, and a new
    // connection that takes the old number is not read by mistake.
    UniqueFd own;
    std::string peer;
    {
      const std::scoped_lock lock(mu);
      if (s.fd >= 0) own = UniqueFd(::fcntl(s.fd, F_DUPFD_CLOEXEC, 0));
      peer = s.peer;
    }
    if (own.get() < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    ReadDue(s, due, own.get(), peer);
  }
}

Result<std::unique_ptr<IncomingLines>> IncomingLines::Open(const IncomingContext& ctx) {
  auto state = std::make_unique<State>(ctx);
  for (const auto& l : ctx.cfg.lines) {
    if (l.mode != LineMode::Incoming || (ctx.only && ctx.cfg.Listener(l.listen) != ctx.only)) continue;
    Slot s;
    s.line = &l;
    for (const auto& in : ctx.cfg.instruments)
      if (ctx.cfg.Line(in.line) == &l) s.instruments.push_back(&in);
    // A restart keeps the schedule: the store's last good reads and failures since.
    s.due = LineSchedule(ctx.cfg, s.instruments, ctx.writer, ctx.fleet);
    state->slots.push_back(std::move(s));
  }
  if (state->slots.empty()) return std::unique_ptr<IncomingLines>();
  for (const auto& listen : ctx.cfg.listens) {
    if (ctx.only && &listen != ctx.only) continue;
    if (std::none_of(state->slots.begin(), state->slots.end(),
                     [&](const Slot& s) { return ctx.cfg.Listener(s.line->listen) == &listen; }))
      continue;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = listen.host + ":" + std::to_string(listen.port);
    if (::getaddrinfo(listen.host.c_str(), std::to_string(listen.port).c_str(), &hints, &found) != 0 || !found)
      return MakeError(ErrorCode::BadSettings, "[Listen " + listen.name + "]: адрес не найден: " + where);
    UniqueFd fd(::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok =
        fd.get() >= 0 && ::bind(fd.get(), found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd.get(), 64) == 0;
    const int err = errno;
    ::freeaddrinfo(found);
    if (!ok)
      return MakeError(ErrorCode::BadSettings,
                       "[Listen " + listen.name + "]: нельзя слушать " + where + ": " + std::strerror(err));
    state->allowFrom[listen.name] = listen.allowFrom;
    state->listeners.push_back({&listen, std::move(fd)});
  }
  return std::unique_ptr<IncomingLines>(new IncomingLines(std::move(state)));
}

IncomingLines::IncomingLines(std::unique_ptr<State> s) : s_(std::move(s)) {}

IncomingLines::~IncomingLines() {
  if (!s_) return;
  s_->greeters.clear();  // joined
  const std::scoped_lock lock(s_->mu);
  for (auto& slot : s_->slots) {
    s_->Drop(slot.fd);
    slot.fd = -1;
  }
}

void IncomingLines::Serve() {
  std::vector<std::jthread> threads;
  for (auto& l : s_->listeners) threads.emplace_back([this, &l] { s_->Accept(l); });
  for (auto& slot : s_->slots) threads.emplace_back([this, &slot] { s_->ServeSlot(slot); });
}

void IncomingLines::Allow(const Config& cfg) {
  const std::scoped_lock lock(s_->mu);
  for (const auto& l : s_->listeners)
    if (const ListenConfig* now = cfg.Listener(l.cfg->name)) s_->allowFrom[l.cfg->name] = now->allowFrom;
}

std::string IncomingLines::Describe(const std::string& line) const {
  const std::scoped_lock lock(s_->mu);
  for (const auto& s : s_->slots) {
    if (s.line->name != line) continue;
    if (s.fd < 0) return "ждёт подключения модема";
    return "подключён с " + store::UtcText(s.since) + " (" + s.peer.substr(0, s.peer.rfind(':')) + ")";
  }
  return {};
}

}  // namespace statvtk::collect
