// The lock between processes over Win32 handles: LockFileEx on the lock file.
#include "base/file_lock.hpp"

#include <thread>

#include "base/system_error.hpp"

namespace statvtk {

Result<FileLock> FileLock::Acquire(const std::filesystem::path& lockPath, std::chrono::milliseconds wait) {
  UniqueHandle file(CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return SystemFailure(static_cast<int>(GetLastError()));
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
      return FileLock(std::move(file));
    const DWORD err = GetLastError();
    if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING) return SystemFailure(static_cast<int>(err));
    if (std::chrono::steady_clock::now() >= until) return SystemFailure(ERROR_LOCK_VIOLATION);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FileLock::~FileLock() {
  if (file_.valid()) {
    OVERLAPPED at{};
    UnlockFileEx(file_.get(), 0, 1, 0, &at);
  }
}

bool IsLockTimeout(const Error& e) {
  return e.code == ErrorCode::FileSystem && e.systemCode == static_cast<int>(ERROR_LOCK_VIOLATION);
}

}  // namespace statvtk
