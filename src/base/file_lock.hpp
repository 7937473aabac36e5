// An advisory lock between processes (and threads) on a lock file, held for
// one short read-modify-write of a shared file such as StatVTK.ini: flock on
// POSIX, LockFileEx on Windows (file_lock_posix.cpp, file_lock_win32.cpp).
#pragma once

#include <chrono>
#include <filesystem>

#include "base/error.hpp"

#ifdef _WIN32
#include "base/unique_handle.hpp"
#else
#include "base/unique_fd.hpp"
#endif

namespace statvtk {

class FileLock {
 public:
  // Takes the exclusive lock on `lockPath` (the file is created when missing
  // and never removed), waiting at most `wait` for another holder to let go.
  // The error: FileSystem with the system's code when the lock file cannot be
  // opened, or with EWOULDBLOCK (ERROR_LOCK_VIOLATION) when the wait ran out.
  static Result<FileLock> Acquire(const std::filesystem::path& lockPath, std::chrono::milliseconds wait);

  FileLock(FileLock&&) noexcept = default;
  FileLock& operator=(FileLock&&) noexcept = default;
  ~FileLock();  // lets go of the lock

 private:
#ifdef _WIN32
  explicit FileLock(UniqueHandle h) : file_(std::move(h)) {}
  UniqueHandle file_;
#else
  explicit FileLock(UniqueFd fd) : file_(std::move(fd)) {}
  UniqueFd file_;
#endif
};

// The lock file of a shared file: its name with ".lock" added, beside it.
inline std::filesystem::path LockFileOf(const std::filesystem::path& path) {
  std::filesystem::path lock = path;
  lock += ".lock";
  return lock;
}

// True when the error is a wait for the lock that ran out.
bool IsLockTimeout(const Error& e);

}  // namespace statvtk
