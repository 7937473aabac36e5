// A pseudo-terminal pair for tests: the test holds the master side and hands
// the slave's path to the code under test, which opens it as a serial port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace statvtk::testing {

class PtyPair {
 public:
  // keepSlaveOpen: hold a descriptor of the slave too, so the master never
  // sees a hang-up while the code under test closes and reopens the port.
  explicit PtyPair(bool keepSlaveOpen = true) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name) slavePath_ = name;
    if (keepSlaveOpen && !slavePath_.empty()) {
      slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  }
  ~PtyPair() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return master_ >= 0 && !slavePath_.empty(); }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Bytes waiting in the port's input queue, not yet read by anyone (needs
  // the slave kept open).
  std::size_t SlaveWaiting() const {
    int n = 0;
    return slave_ >= 0 && ::ioctl(slave_, FIONREAD, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  // Writes from the master side (the "device" talking to the port).
  bool Send(const std::vector<std::uint8_t>& bytes) const { return Send(bytes.data(), bytes.size()); }
  bool Send(const std::string& text) const { return Send(text.data(), text.size()); }
  bool Send(const void* data, std::size_t size) const {
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(master_, p + done, size - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd pf{master_, POLLOUT, 0};
        if (poll(&pf, 1, 1000) <= 0) return false;
      }
    }
    return true;
  }

  // Reads on the master side until `count` bytes came or `wait` ran out.
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds wait) const {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (out.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pf{master_, POLLIN, 0};
      if (poll(&pf, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buf[256];
      const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
      if (n > 0) {
        out.insert(out.end(), buf, buf + n);
      } else if (!(pf.revents & POLLIN)) {
        break;
      }
    }
    return out;
  }

  // Hangs up the line: the port's side sees the device vanish.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // The slave's line settings as the master sees them (Linux reports the slave's).
  bool SlaveSettings(termios& t) const { return tcgetattr(master_, &t) == 0; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace statvtk::testing
