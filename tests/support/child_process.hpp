// A program the tests start and own: its output goes to a file, it is
// stopped (SIGTERM, then SIGKILL) when the object goes away.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace statvtk::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts `argv` (argv[0] a path) with standard output and error into `log`.
  ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& log) { Start(argv, log); }
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&& o) noexcept : pid_(o.pid_) { o.pid_ = -1; }
  ChildProcess& operator=(ChildProcess&& o) noexcept {
    if (this != &o) {
      Stop();
      pid_ = o.pid_;
      o.pid_ = -1;
    }
    return *this;
  }

  bool Start(const std::vector<std::string>& argv, const std::filesystem::path& log) {
    Stop();
    signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
      }
      const int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, 0);
      signal(SIGPIPE, SIG_DFL);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    pid_ = pid;
    return true;
  }
  bool Running() {
    if (pid_ <= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      pid_ = -1;
      return false;
    }
    return true;
  }
  // Sends `sig`; waits up to `grace` for the end, then kills. The exit status.
  int Stop(int sig = SIGTERM, std::chrono::milliseconds grace = std::chrono::seconds(10)) {
    if (pid_ <= 0) return status_;
    kill(pid_, sig);
    const auto until = std::chrono::steady_clock::now() + grace;
    while (Running() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int st = 0;
      waitpid(pid_, &st, 0);
      status_ = 128 + SIGKILL;
      pid_ = -1;
    }
    return status_;
  }
  // Waits for the program to end by itself; -1 when it still runs after `limit`.
  int Wait(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (Running()) {
      if (std::chrono::steady_clock::now() >= until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Runs a program to its end (output into `log`); its exit status, -1 past `limit`.
inline int RunToEnd(const std::vector<std::string>& argv, const std::filesystem::path& log,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  ChildProcess p(argv, log);
  const int status = p.Wait(limit);
  if (status < 0) p.Stop(SIGKILL);
  return status;
}

}  // namespace statvtk::test
