#include "collect/alert_sender.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <cerrno>
#include <cstring>

namespace statvtk::collect {

namespace {

constexpr auto kCommandLimit = std::chrono::minutes(1);

// "scheme://host[:port]" and the path of a URL.
std::pair<std::string, std::string> SplitUrl(const std::string& url) {
  const std::size_t hostAt = url.find("://");
  const std::size_t pathAt = url.find('/', hostAt == std::string::npos ? 0 : hostAt + 3);
  if (pathAt == std::string::npos) return {url, "/"};
  return {url.substr(0, pathAt), url.substr(pathAt)};
}

// Writes all of `body` to the pipe; false when the reader went away.
bool WriteAll(int fd, const std::string& body) {
  std::size_t at = 0;
  while (at < body.size()) {
    const ssize_t n = ::write(fd, body.data() + at, body.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
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

std::optional<std::string> RunWithInput(const std::string& command, const std::string& body) {
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(in[0]);
    ::close(in[1]);
    return std::string("fork: ") + std::strerror(errno);
  }
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  // A program that does not read its input still gets to run to its end.
  ::signal(SIGPIPE, SIG_IGN);
  WriteAll(in[1], body);
  ::close(in[1]);
  const auto until = std::chrono::steady_clock::now() + kCommandLimit;
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return std::string("waitpid: ") + std::strerror(errno);
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return "AlertCommand= did not end within a minute";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status)) return "AlertCommand= exited " + std::to_string(WEXITSTATUS(status));
  return "AlertCommand= ended by signal " + std::to_string(WTERMSIG(status));
}

AlertSender::AlertSender(AlertSinks sinks, std::function<void(const std::string&)> log)
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
      if (log_) log_("alert dropped: " + std::to_string(kMaxWaiting) + " alerts wait for their receiver");
    }
    queue_.push_back({++made_, JsonText(AlertJson(e)), sinks_.webhook.empty(), sinks_.command.empty()});
  }
  wake_.notify_all();
}

bool AlertSender::Deliver(Waiting& w) {
  if (!w.hookDone) {
    const auto why = PostJson(sinks_.webhook, w.body);
    w.hookDone = !why;
    if (why && log_) log_("AlertWebhook: " + *why + "; tried again later");
  }
  if (!w.commandDone) {
    const auto why = RunWithInput(sinks_.command, w.body);
    w.commandDone = !why;
    if (why && log_) log_(*why + "; tried again later");
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
    const bool taken = Deliver(w);
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
