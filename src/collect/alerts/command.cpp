#include "collect/alerts/command.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/unique_fd.hpp"

extern char** environ;

namespace statvtk::collect {

namespace {

std::string Failed(std::string_view what, int error) {
  return "AlertCommand=: " + std::string(what) + ": " + std::strerror(error);
}

std::string SpanText(std::chrono::milliseconds d) {
  return d.count() % 1000 == 0 ? std::to_string(d.count() / 1000) + " с" : std::to_string(d.count()) + " мс";
}

// posix_spawn's file actions and attributes: the program's stdin is
// `input`, its process group its own, no signal blocked and SIGPIPE (which
// the collector ignores) at its default.
class SpawnSetup {
 public:
  explicit SpawnSetup(int input) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setpgroup(&attr_, 0);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 with the program's pid, or the error number.
  int Spawn(const std::string& command, pid_t& pid) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    return posix_spawn(&pid, "/bin/sh", &actions_, &attr_, const_cast<char* const*>(argv), environ);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

// A program started: left before its end, it is killed with its whole
// process group, and reaped.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid), exited_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))), error_(errno) {}
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    Reap();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Readable once the program ended; -1 with Error() when it could not be had.
  int ExitedFd() const { return exited_.get(); }
  int Error() const { return error_; }
  // The ended program's wait status.
  int Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_;
  UniqueFd exited_;
  int error_;
};

std::optional<std::string> Outcome(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status)) return "AlertCommand= завершилась с кодом " + std::to_string(WEXITSTATUS(status));
  return "AlertCommand= прервана сигналом " + std::to_string(WTERMSIG(status));
}

}  // namespace

std::optional<std::string> RunWithInput(const std::string& command, const std::string& body,
                                        std::chrono::milliseconds limit, std::stop_token stop) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return Failed("pipe", errno);
  UniqueFd programIn(ends[0]), input(ends[1]);
  pid_t pid = 0;
  if (const int e = SpawnSetup(programIn.get()).Spawn(command, pid); e != 0) return Failed("/bin/sh", e);
  programIn = UniqueFd();
  Child child(pid);
  if (child.ExitedFd() < 0) return Failed("pidfd_open", child.Error());
  const UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.get() < 0) return Failed("eventfd", errno);
  const std::stop_callback onStop(stop, [&wake] {
    const std::uint64_t one = 1;
    (void)!::write(wake.get(), &one, sizeof one);
  });
  ::fcntl(input.get(), F_SETFL, O_NONBLOCK);
  std::size_t sent = 0;
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (stop.stop_requested()) return "AlertCommand= прервана: сборщик останавливается";
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return "AlertCommand= не завершилась за " + SpanText(limit) + ": прервана";
    pollfd fds[] = {{child.ExitedFd(), POLLIN, 0}, {wake.get(), POLLIN, 0}, {input.get(), POLLOUT, 0}};
    if (::poll(fds, input.get() >= 0 ? 3 : 2, static_cast<int>(std::min<long long>(left, INT_MAX))) < 0 &&
        errno != EINTR)
      return Failed("poll", errno);
    if (fds[0].revents != 0) break;
    if (input.get() < 0 || fds[2].revents == 0) continue;
    // A program may end without reading its input: a write it refuses is no failure.
    const ssize_t n = ::write(input.get(), body.data() + sent, body.size() - sent);
    if (n > 0) sent += static_cast<std::size_t>(n);
    if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == body.size()) input = UniqueFd();  // its EOF
  }
  return Outcome(child.Reap());
}

}  // namespace statvtk::collect
