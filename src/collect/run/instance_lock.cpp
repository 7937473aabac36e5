#include "collect/run/instance_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "collect/config/identity.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

std::string Holder(int fd) {
  char text[512] = {};
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  std::string s(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s.empty() ? "процесс, ещё не записавший, кто он" : s;
}

}  // namespace

Result<InstanceLock> InstanceLock::Take(const std::filesystem::path& home) {
  const auto file = home / "collect.lock";
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
  if (fd < 0) {
    const int e = errno;
    return MakeError(ErrorCode::FileSystem,
                     "не удалось создать файл блокировки " + file.string() + ": " + std::strerror(e), e);
  }
  InstanceLock lock(fd);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    if (e == EWOULDBLOCK)
      return MakeError(kHeld, "в домашней папке " + home.string() + " уже работает другой сборщик: " + Holder(fd) +
                                  " (он держит " + file.string() +
                                  "; сначала остановите его, например systemctl stop statvtk-collect)");
    return MakeError(ErrorCode::FileSystem, "не удалось заблокировать " + file.string() + ": " + std::strerror(e), e);
  }
  const std::string who =
      "pid " + std::to_string(getpid()) + " on " + OriginOf("") + ", started " + store::UtcNow() + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, who.data(), who.size(), 0) != static_cast<ssize_t>(who.size())) {
    // The lock holds all the same; only the name of its holder is missing.
  }
  return lock;
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);  // the lock goes with the descriptor
}

}  // namespace statvtk::collect
