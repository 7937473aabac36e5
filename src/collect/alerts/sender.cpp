#include "collect/alerts/sender.hpp"

#include <httplib.h>

namespace statvtk::collect {

namespace {

// "scheme://host[:port]" and the path of a URL.
std::pair<std::string, std::string> SplitUrl(const std::string& url) {
  const std::size_t hostAt = url.find("://");
  const std::size_t pathAt = url.find('/', hostAt == std::string::npos ? 0 : hostAt + 3);
  if (pathAt == std::string::npos) return {url, "/"};
  return {url.substr(0, pathAt), url.substr(pathAt)};
}

}  // namespace

std::optional<std::string> PostJson(const std::string& url, const std::string& body) {
  const auto [base, path] = SplitUrl(url);
  httplib::Client client(base);
  if (!client.is_valid()) return "AlertWebhook=" + url + ": not a usable URL";
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(10, 0);
  client.set_write_timeout(10, 0);
  const auto r = client.Post(path, body, "application/json; charset=utf-8");
  if (!r) return httplib::to_string(r.error());
  if (r->status < 200 || r->status > 299) return "HTTP " + std::to_string(r->status);
  return std::nullopt;
}

AlertSender::AlertSender(AlertSinks sinks, LogTo log)
    : sinks_(std::move(sinks)), log_(std::move(log)), thread_([this](std::stop_token stop) { Run(stop); }) {}

AlertSender::~AlertSender() { RequestStop(); }

void AlertSender::RequestStop() {
  thread_.request_stop();
  wake_.notify_all();
}

void AlertSender::Send(AlertEvent e) {
  {
    const std::scoped_lock lock(mutex_);
    if (queue_.size() >= kMaxWaiting) {
      queue_.pop_front();
      if (log_)
        log_("оповещение отброшено: получателя ждут уже " + std::to_string(kMaxWaiting) + " оповещений",
             {.event = LogEvent::AlertDropped});
    }
    queue_.push_back({++made_, JsonText(AlertJson(e)), sinks_.webhook.empty(), sinks_.command.empty()});
  }
  wake_.notify_all();
}

bool AlertSender::Deliver(Waiting& w, std::stop_token stop) {
  if (!w.hookDone) {
    const auto why = PostJson(sinks_.webhook, w.body);
    w.hookDone = !why;
    if (why && log_) log_("AlertWebhook: " + *why + "; повтор позже", {.event = LogEvent::AlertFailed});
  }
  if (!w.commandDone && !stop.stop_requested()) {
    const auto why = RunWithInput(sinks_.command, w.body, sinks_.commandTimeout, stop);
    w.commandDone = !why;
    if (why && log_) log_(*why + (stop.stop_requested() ? "" : "; повтор позже"), {.event = LogEvent::AlertFailed});
  }
  return w.hookDone && w.commandDone;
}

void AlertSender::Run(std::stop_token stop) {
  auto pause = sinks_.firstPause;
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
    Waiting w = queue_.front();
    lock.unlock();
    const bool taken = Deliver(w, stop);
    lock.lock();
    // Send may have dropped it meanwhile (the queue full): only it is touched.
    const bool stillFirst = !queue_.empty() && queue_.front().seq == w.seq;
    if (taken) {
      if (stillFirst) queue_.pop_front();
      pause = sinks_.firstPause;
      continue;
    }
    if (stillFirst) queue_.front() = w;  // what a sink took is not sent to it again
    wake_.wait_for(lock, stop, pause, [] { return false; });
    pause = std::min(pause * 2, sinks_.longestPause);
  }
}

}  // namespace statvtk::collect
