// One collector per home: a lock on HOME/collect.lock, held while the
// process lives; the file says who holds it (pid, host, since when).
#pragma once

#include <filesystem>
#include <string>

#include "base/error.hpp"

namespace statvtk::collect {

class InstanceLock {
 public:
  // The lock, or why not: another collector holds it (its pid, host and
  // start named), or the file cannot be made.
  static Result<InstanceLock> Take(const std::filesystem::path& home);
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // ErrorCode of a lock another collector holds (Take's other failures: FileSystem).
  static constexpr ErrorCode kHeld = ErrorCode::BadSettings;

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace statvtk::collect
