// A piece of a test run without root's rights: CI runs the tests as root,
// who writes into read-only folders and opens any port. The piece runs in a
// child process that, under root, has become the user "nobody" (65534); the
// text it returns comes back through a pipe.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace statvtk::test {

inline constexpr uid_t kNobody = 65534;

// What `body()` returned in the child; "!" and the reason when the child
// could not become an ordinary user or did not finish (the caller's
// expectations then fail on it).
inline std::string AsOrdinaryUser(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "!pipe failed";
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return "!fork failed";
  }
  if (child == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(2);
    const std::string text = body();  // short: one write to a pipe
    ::_exit(::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
  }
  ::close(fds[1]);
  std::string text;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "!the child did not finish (status " + std::to_string(status) + ")";
  return text;
}

}  // namespace statvtk::test
