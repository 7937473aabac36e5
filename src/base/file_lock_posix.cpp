// The lock between processes over POSIX descriptors: flock on the lock file.
#include "base/file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <thread>

#include "base/system_error.hpp"

namespace statvtk {

Result<FileLock> FileLock::Acquire(const std::filesystem::path& lockPath, std::chrono::milliseconds wait) {
  UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  // A lock file of another user that this one may only read locks as well.
  if (fd.get() < 0 && errno == EACCES) fd = UniqueFd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return SystemFailure(errno);
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return FileLock(std::move(fd));
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return SystemFailure(errno);
    if (std::chrono::steady_clock::now() >= until) return SystemFailure(EWOULDBLOCK);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FileLock::~FileLock() {
  if (file_.get() >= 0) ::flock(file_.get(), LOCK_UN);  // closing would let go as well
}

bool IsLockTimeout(const Error& e) { return e.code == ErrorCode::FileSystem && e.systemCode == EWOULDBLOCK; }

}  // namespace statvtk
