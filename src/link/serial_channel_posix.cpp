// Serial port channel over termios. The port is opened non-blocking and
// exclusively (flock, then TIOCEXCL); every read waits on the descriptor with
// poll, so a byte is handed over the moment it arrives.
#include "link/serial_channel.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "base/error.hpp"
#include "link/read_buffer.hpp"
#include "link/serial_common.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;

using serial::kCarrierWaitMs;
using serial::kStallSliceMs;
using serial::kWriteStallMs;
using serial::OpenFault;

std::optional<speed_t> SpeedOf(std::uint32_t baud) {
  switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
  }
}

std::string OpenFailureReason(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return serial::OpenFaultText(OpenFault::NoSuchPort, path);
    case EBUSY:
    case EWOULDBLOCK: return serial::OpenFaultText(OpenFault::Busy, path);
    case EACCES:
    case EPERM:
      return serial::OpenFaultText(OpenFault::NoAccess, path,
                                   "учетной записи нужен доступ к последовательным портам "
                                   "(в Debian — группа dialout, затем новый вход в систему)");
    default: return serial::OpenFaultText(OpenFault::Other, path, std::strerror(err));
  }
}

Error Failure(std::string reason) { return serial::OpenFailure(std::move(reason)); }

// Reads a small sysfs value; empty when absent.
std::string ReadSysText(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::string s;
  if (in) std::getline(in, s);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// The latency timer file of a USB serial adapter, or empty when the port has none.
std::filesystem::path LatencyTimerFile(const std::string& devName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const fs::path& p : {fs::path("/sys/bus/usb-serial/devices") / devName / "latency_timer",
                            fs::path("/sys/class/tty") / devName / "device" / "latency_timer"}) {
    if (fs::exists(p, ec)) return p;
  }
  return {};
}

// Asks the driver for low latency when the adapter's latency timer is above
// 1 ms; returns a note for the log when the timer stays slow.
std::string TuneLatency(int fd, const std::string& path) {
  std::error_code ec;
  const auto real = std::filesystem::canonical(path, ec);
  const std::string devName = ec ? std::filesystem::path(path).filename().string() : real.filename().string();
  const auto timerFile = LatencyTimerFile(devName);
  if (timerFile.empty()) return {};
  const auto timerOf = [&] {
    const std::string t = ReadSysText(timerFile);
    return t.empty() ? 0 : std::atoi(t.c_str());
  };
  int timer = timerOf();
  if (timer <= 1) return {};
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
    ss.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(fd, TIOCSSERIAL, &ss) == 0) timer = timerOf();
  }
  if (timer <= 1) return {};
  return "адаптер " + devName + ": таймер задержки USB " + std::to_string(timer) +
         " мс замедляет каждый обмен; драйвер не перешёл в режим малой задержки. "
         "Ускорить: записать 1 в " +
         timerFile.string() +
         " (нужны права администратора, "
         "либо правило udev)";
}

class SerialChannel;
bool WaitForRoom(int fd, const SerialChannel& channel);

class SerialChannel final : public ByteChannel {
 public:
  SerialChannel(int fd, const termios& saved, const SerialLineSettings& line) : fd_(fd), saved_(saved), line_(line) {}
  ~SerialChannel() override {
    ioctl(fd_, TIOCNXCL);
    tcsetattr(fd_, TCSANOW, &saved_);
    flock(fd_, LOCK_UN);
    close(fd_);
  }
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitForRoom(fd_, *this)) continue;
      break;
    }
    return done;
  }

  void Purge(std::vector<std::uint8_t>* dropped) override {
    DrainInput(dropped);
    tcflush(fd_, TCIOFLUSH);
  }

  void DropInput(std::vector<std::uint8_t>* dropped) override {
    DrainInput(dropped);
    tcflush(fd_, TCIFLUSH);
  }

  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    if (const auto byte = buf_.Next()) return byte;
    const auto deadline = Clock::now() + wait;
    while (open_) {
      if (Fill() > 0) return buf_.Next();
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      const int r = poll(&p, 1, static_cast<int>(left.count()) + 1);
      if (r < 0 && errno != EINTR) break;
      if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        // The device went away (an unplugged adapter, a closed pseudo-terminal).
        if (Fill() > 0) return buf_.Next();
        open_ = false;
      }
    }
    return std::nullopt;
  }

  std::uint32_t CarrierWaitMs() const override { return kCarrierWaitMs; }
  bool IsOpen() const override { return open_; }
  const SerialLineSettings& Line() const { return line_; }
  bool Aborted() const { return AbortRequested(); }

 private:
  // Refills the buffer with what the port holds; returns the count.
  std::size_t Fill() {
    return buf_.Refill([this](std::span<std::uint8_t> into) -> std::size_t {
      for (;;) {
        const ssize_t n = ::read(fd_, into.data(), into.size());
        if (n > 0) return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EIO) open_ = false;
        return 0;
      }
    });
  }

  // Moves the buffered bytes and whatever the port holds to `dropped`.
  void DrainInput(std::vector<std::uint8_t>* dropped) {
    buf_.Drain(dropped, [this] { return open_ ? Fill() : 0; });
  }

  int fd_;
  termios saved_;
  SerialLineSettings line_;
  bool open_ = true;
  ReadBuffer buf_;
};

// Waits up to 2 s for room in the output queue, in slices of 100 ms with the
// abort flag looked at between them; true when there is room.
bool WaitForRoom(int fd, const SerialChannel& channel) {
  for (int waited = 0; waited < kWriteStallMs && !channel.Aborted(); waited += kStallSliceMs) {
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, kStallSliceMs);
    if (r > 0) return (p.revents & POLLOUT) != 0;
    if (r < 0 && errno != EINTR) return false;
  }
  return false;
}

// Raw 8 data bits, one stop bit, receiver on, modem lines ignored.
termios LineSettings(const termios& current, speed_t speed, bool evenParity) {
  termios t = current;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  if (evenParity) {
    t.c_cflag |= PARENB;
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | IGNPAR);
  }
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return t;
}

// What a termios record asks of the line.
SerialLineSettings Describe(const termios& t) {
  SerialLineSettings s;
  for (const std::uint32_t baud : {2400u, 4800u, 9600u, 57600u, 115200u}) {
    if (SpeedOf(baud) == cfgetospeed(&t)) s.baudRate = baud;
  }
  switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
  }
  s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  s.evenParity = (t.c_cflag & PARENB) && !(t.c_cflag & PARODD);
  return s;
}

}  // namespace

ChannelOpenResult OpenSerialChannel(const std::string& path, std::uint32_t baudRate, bool evenParity) {
  if (auto refused = serial::CheckOpenRequest(path, baudRate)) return std::move(*refused);
  const auto speed = SpeedOf(baudRate);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failure(OpenFailureReason(errno, path));
  const auto fail = [fd](std::string reason) {
    close(fd);
    return Failure(std::move(reason));
  };
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    return fail(OpenFailureReason(err == EWOULDBLOCK ? EBUSY : err, path));
  }
  termios saved{};
  if (tcgetattr(fd, &saved) != 0) {
    return fail(serial::OpenFaultText(OpenFault::NotSerial, path));
  }
  if (ioctl(fd, TIOCEXCL) != 0) return fail(OpenFailureReason(errno, path));
  const termios line = LineSettings(saved, *speed, evenParity);
  if (tcsetattr(fd, TCSANOW, &line) != 0) {
    const int err = errno;
    ioctl(fd, TIOCNXCL);
    return fail(serial::OpenFaultText(OpenFault::LineRejected, path, std::strerror(err)));
  }
  std::string hint = TuneLatency(fd, path);
  tcflush(fd, TCIOFLUSH);
  return OpenedChannel{std::make_unique<SerialChannel>(fd, saved, Describe(line)), std::move(hint)};
}

std::string SerialPortPathOf(int number) { return "/dev/ttyS" + std::to_string(number > 0 ? number - 1 : 0); }

std::optional<SerialLineSettings> SerialLineOf(const ByteChannel& channel) {
  const auto* serial = dynamic_cast<const SerialChannel*>(&channel);
  if (!serial) return std::nullopt;
  return serial->Line();
}

}  // namespace statvtk
