#include "link/tcp_common.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "base/error.hpp"

namespace statvtk::tcp {

std::size_t SocketChannel::Write(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (open_ && done < bytes.size()) {
    const Sent sent = SendSome(bytes.subspan(done));
    done += sent.bytes;
    if (sent.bytes > 0 || sent.stop == SendStop::Interrupted) continue;
    if (sent.stop == SendStop::Full && WaitForRoom()) continue;
    if (sent.stop == SendStop::Gone) open_ = false;
    break;
  }
  return done;
}

bool SocketChannel::WaitForRoom() const {
  for (int waited = 0; waited < kWriteStallMs && !AbortRequested(); waited += kConnectSliceMs) {
    const auto room = WaitWritable(kConnectSliceMs);
    if (!room) return false;
    if (*room) return true;
  }
  return false;
}

Error Failure(ErrorCode code, std::string reason) { return MakeError(code, std::move(reason)); }

namespace {

// Runs a host-name lookup on a thread of its own and waits for it in 100 ms
// slices with the abort flag looked at between them. An abandoned lookup
// finishes on its own thread and its answer is dropped. nullopt: aborted.
std::optional<std::string> LookUpAbandonably(const std::function<std::string(const std::string&)>& resolve,
                                             const std::string& name, const std::atomic<bool>* abort) {
  struct Lookup {
    std::mutex m;
    std::condition_variable done;
    bool finished = false;
    std::string answer;
  };
  auto state = std::make_shared<Lookup>();
  std::thread([state, resolve, name] {
    std::string answer = resolve ? resolve(name) : ResolveIpv4(name);
    std::lock_guard lock(state->m);
    state->answer = std::move(answer);
    state->finished = true;
    state->done.notify_all();
  }).detach();
  std::unique_lock lock(state->m);
  while (!state->finished) {
    if (abort && abort->load()) return std::nullopt;
    state->done.wait_for(lock, std::chrono::milliseconds(kConnectSliceMs));
  }
  return state->answer;
}

}  // namespace

Result<std::string> TargetAddress(const TcpTarget& target) {
  if (target.address.empty()) return Failure(ErrorCode::BadIpAddress, "адрес устройства не задан");
  std::string dotted = target.address;
  if (target.useDynDns) {
    const auto found = LookUpAbandonably(target.resolve, target.address, target.abort);
    if (!found) return Failure(ErrorCode::Connect, "поиск имени " + target.address + " прерван пользователем");
    dotted = *found;
    if (dotted.empty()) {
      return Failure(ErrorCode::BadIpAddress,
                     "имя " + target.address + " не найдено в DNS: проверьте имя и доступ к сети");
    }
  }
  return dotted;
}

std::string Where(const std::string& dotted, std::uint16_t port) { return dotted + ":" + std::to_string(port); }

Error ConnectFailure(ConnectFault fault, const TcpTarget& target, const std::string& where, const std::string& detail) {
  switch (fault) {
    case ConnectFault::TimedOut:
      return Failure(ErrorCode::Connect, "нет ответа от " + where + " за " +
                                             std::to_string(std::max<std::uint32_t>(target.connectTimeoutS, 1)) +
                                             " с: проверьте адрес, порт и питание преобразователя");
    case ConnectFault::Aborted:
      return Failure(ErrorCode::Connect, "подключение к " + where + " прервано пользователем");
    case ConnectFault::Refused:
      return Failure(ErrorCode::Connect, "соединение отвергнуто: на " + where + " никто не принимает подключения");
    case ConnectFault::Unreachable:
      return Failure(ErrorCode::Connect, "адрес " + where + " недоступен: нет маршрута в сеть");
    case ConnectFault::Other: break;
  }
  return Failure(ErrorCode::Connect, "не удалось подключиться к " + where + ": " + detail);
}

Error SocketFailure(const std::string& detail) {
  return Failure(ErrorCode::InvalidSocket, "не удалось создать сокет: " + detail);
}

ConnectFault FaultOf(int err, const ConnectErrors& errors) {
  if (err == errors.refused) return ConnectFault::Refused;
  if (err == errors.netUnreachable || err == errors.hostUnreachable) return ConnectFault::Unreachable;
  if (err == errors.timedOut) return ConnectFault::TimedOut;
  if (err == errors.cancelled) return ConnectFault::Aborted;
  return ConnectFault::Other;
}

namespace {

// Waits for the connect started to finish; 0 on success, else the error
// (the timed-out error when the time ran out, the cancelled one on abort).
int AwaitConnect(const TcpTarget& target, SocketOpener& os) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(std::max<std::uint32_t>(target.connectTimeoutS, 1));
  for (;;) {
    if (target.abort && target.abort->load()) return os.Errors().cancelled;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return os.Errors().timedOut;
    if (const auto done = os.WaitConnect(static_cast<int>(std::min<long long>(left.count(), kConnectSliceMs))))
      return *done;
  }
}

}  // namespace

ChannelOpenResult OpenSocketChannel(const TcpTarget& target, SocketOpener& os) {
  auto endpoint = EndpointOf(target, [&os] { return os.SocketsReady(); });
  if (!endpoint) return std::move(endpoint.error());
  if (const int err = os.MakeSocket(); err != 0) return SocketFailure(os.ErrorText(err));
  int err = os.StartConnect(*endpoint);
  if (err == SocketOpener::kInProgress) err = AwaitConnect(target, os);
  if (err != 0) return ConnectFailure(FaultOf(err, os.Errors()), target, endpoint->where, os.ErrorText(err));
  return OpenedChannel{os.Finish(), {}};
}

}  // namespace statvtk::tcp
