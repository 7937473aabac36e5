// Whether a thread of this process is asleep in the kernel (in a poll, a
// read, a futex): a test's other thread acts (a stop, a late byte) only once
// the thread under test is inside the wait the test is about. Linux only.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace statvtk::test {

inline pid_t ThisThread() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// The thread's state in /proc is "S" (sleeping) or "D" (waiting on a device).
inline bool Asleep(pid_t thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto name = text.rfind(')');  // the state follows the command name in parentheses
  if (name == std::string::npos || name + 2 >= text.size()) return false;
  const char state = text[name + 2];
  return state == 'S' || state == 'D';
}

}  // namespace statvtk::test
