#include "sim/descriptor_io.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace statvtk::sim {

Error Errno(const std::string& what) {
  const int code = errno;
  return MakeError(ErrorCode::FileSystem, what + ": " + std::strerror(code), code);
}

void SleepUntil(Clock::time_point t, const std::atomic<bool>& stop) {
  while (!stop) {
    const auto now = Clock::now();
    if (now >= t) return;
    const auto until = std::min(t, now + std::chrono::milliseconds(20));
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
  }
}

ssize_t WriteSome(int fd, const std::uint8_t* p, std::size_t n) {
  const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
  if (w < 0 && errno == ENOTSOCK) return ::write(fd, p, n);
  return w;
}

bool WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = WriteSome(fd, p, n);
    if (w > 0) {
      p += w, n -= static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno == EAGAIN) {
      pollfd pf{fd, POLLOUT, 0};
      if (::poll(&pf, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

std::uint32_t LineSpeed(int master) {
  termios t{};
  if (master < 0 || ::tcgetattr(master, &t) != 0) return 0;
  switch (::cfgetispeed(&t)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

}  // namespace statvtk::sim
