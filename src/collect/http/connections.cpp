#include "collect/http/connections.hpp"

#include <sys/socket.h>

#include <algorithm>

namespace statvtk::collect {

ConnectionTable::ConnectionTable(ConnectionLimits limits)
    : limits_(limits), watch_([this](std::stop_token stop) { Watch(stop); }) {}

ConnectionTable::~ConnectionTable() {
  watch_.request_stop();
  if (watch_.joinable()) watch_.join();
}

bool ConnectionTable::Admit(const std::string& address) {
  const std::scoped_lock lock(mutex_);
  if (closing_) return false;
  std::size_t ofAddress = 0, all = 0;
  for (const auto& [id, c] : open_) {
    if (c.gone) continue;
    ++all;
    ofAddress += c.address == address;
  }
  if (ofAddress >= limits_.perAddress) {
    if (!MakeRoom(address)) return false;
    --all;
  }
  return all < limits_.total || MakeRoom({});
}

bool ConnectionTable::MakeRoom(const std::string& address) {
  Connection* oldest = nullptr;
  for (auto& [id, c] : open_)
    if (!c.gone && c.phase == Phase::Waiting && (address.empty() || c.address == address) &&
        (!oldest || c.since < oldest->since))
      oldest = &c;
  if (!oldest) return false;
  // Its thread wakes up to a closed connection and ends it; it stays in
  // the table (uncounted) until the server says it is closed.
  ::shutdown(oldest->fd, SHUT_RDWR);
  oldest->gone = true;
  return true;
}

ConnectionTable::Connection& ConnectionTable::Opened(int fd, std::string address) {
  const std::scoped_lock lock(mutex_);
  const std::uint64_t id = next_++;
  Connection& c = open_[id];
  c.id = id;
  c.fd = fd;
  c.address = std::move(address);
  c.since = Clock::now();
  if (closing_) {
    ::shutdown(fd, SHUT_RDWR);
    c.gone = true;
  }
  ++changes_;
  changed_.notify_all();
  return c;
}

void ConnectionTable::Enter(Connection& c, Phase phase) {
  const std::scoped_lock lock(mutex_);
  c.phase = phase;
  c.since = Clock::now();
  ++changes_;
  changed_.notify_all();
}

void ConnectionTable::LineCame(Connection& c) { Enter(c, Phase::Head); }
void ConnectionTable::HeadCame(Connection& c) { Enter(c, Phase::Busy); }
void ConnectionTable::Done(Connection& c) { Enter(c, Phase::Waiting); }

void ConnectionTable::Closed(const Connection& c) {
  const std::scoped_lock lock(mutex_);
  open_.erase(c.id);
}

void ConnectionTable::CloseAll() {
  const std::scoped_lock lock(mutex_);
  closing_ = true;
  for (auto& [id, c] : open_) {
    ::shutdown(c.fd, SHUT_RDWR);
    c.gone = true;
  }
}

ConnectionTable::Clock::time_point ConnectionTable::DeadlineOf(const Connection& c) const {
  switch (c.phase) {
    // The first byte may come up to `idle` after it waits; the line and the
    // head are due `head` after that (a request line trickled byte by byte
    // is bounded too).
    case Phase::Waiting: return c.since + limits_.idle + limits_.head;
    case Phase::Head: return c.since + limits_.head;
    case Phase::Busy: break;
  }
  return Clock::time_point::max();
}

void ConnectionTable::Watch(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (auto& [id, c] : open_) {
      if (c.gone) continue;
      const auto due = DeadlineOf(c);
      if (due <= now) {
        ::shutdown(c.fd, SHUT_RDWR);  // past its deadline: its thread ends it
        c.gone = true;
      } else {
        next = std::min(next, due);
      }
    }
    const std::uint64_t seen = changes_;
    const auto changed = [&] { return changes_ != seen; };
    if (next == Clock::time_point::max()) changed_.wait(lock, stop, changed);
    else changed_.wait_until(lock, stop, next, changed);
  }
}

}  // namespace statvtk::collect
