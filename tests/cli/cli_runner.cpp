#include "cli_runner.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace statvtk::test {

std::string CliPath() {
  const char* dir = std::getenv("STATVTK_BINARY_DIR");
  return std::string(dir ? dir : STATVTK_BINARY_DIR) + "/statvtk-cli";
}

CliRun RunCli(const std::vector<std::string>& args, std::chrono::seconds limit,
              std::function<bool(const std::string&)> interruptWhen, int signal) {
  CliRun run;
  // The simulated instrument in this process may write to a connection the
  // program under test has just closed; that must not end the test program.
  ::signal(SIGPIPE, SIG_IGN);
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return run;
  const std::string path = CliPath();
  const pid_t pid = fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]), close(errPipe[0]), close(outPipe[1]), close(errPipe[1]);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]), close(errPipe[1]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool interrupted = false, outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    poll(fds, 2, 50);
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        continue;
      }
      (i == 0 ? run.out : run.err).append(buf, static_cast<std::size_t>(n));
    }
    if (!interrupted && interruptWhen && interruptWhen(run.err)) {
      kill(pid, signal);
      interrupted = true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  close(outPipe[0]), close(errPipe[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  if (std::chrono::steady_clock::now() > deadline) return run;
  run.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return run;
}

}  // namespace statvtk::test
