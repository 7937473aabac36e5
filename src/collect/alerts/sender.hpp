// Sends alerts on a thread of its own, so that a slow or absent receiver
// never holds collection up: each event as JSON, POSTed to AlertWebhook=
// (http or https) and given on stdin to AlertCommand= (run by /bin/sh,
// killed past AlertCommandTimeout= or at the stop), in order, each tried
// again with a growing pause until it is taken.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <optional>
#include <mutex>
#include <string>
#include <thread>

#include "collect/alerts/command.hpp"
#include "collect/alerts/watch.hpp"
#include "collect/fleet/log_fields.hpp"

namespace statvtk::collect {

struct AlertSinks {
  std::string webhook;  // empty: none
  std::string command;  // empty: none
  std::chrono::milliseconds firstPause{1000};
  std::chrono::milliseconds longestPause{std::chrono::minutes(5)};
  std::chrono::milliseconds commandTimeout{std::chrono::seconds(10)};  // AlertCommandTimeout=
};

class AlertSender {
 public:
  AlertSender(AlertSinks sinks, LogTo log);
  ~AlertSender();
  AlertSender(const AlertSender&) = delete;
  AlertSender& operator=(const AlertSender&) = delete;

  // Queued; past kMaxWaiting the oldest waiting event is dropped (and logged).
  void Send(AlertEvent e);
  // Nothing more is sent (a command running is ended); returns at once.
  void RequestStop();
  static constexpr std::size_t kMaxWaiting = 1000;

 private:
  struct Waiting {
    std::uint64_t seq = 0;
    std::string body;
    bool hookDone = false, commandDone = false;
  };
  void Run(std::stop_token stop);
  bool Deliver(Waiting& w, std::stop_token stop);  // true when every sink took it

  AlertSinks sinks_;
  LogTo log_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Waiting> queue_;
  std::uint64_t made_ = 0;
  std::jthread thread_;  // last: started once the rest is there
};

// POSTs `body` (JSON) to the URL; the reason when it was not taken (no
// answer, or a status other than 2xx).
std::optional<std::string> PostJson(const std::string& url, const std::string& body);

}  // namespace statvtk::collect
