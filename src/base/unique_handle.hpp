// Owns a Win32 kernel handle (file, port, event) and closes it when it goes
// out of scope: the Windows counterpart of UniqueFd.
#pragma once

#include <windows.h>

#include <utility>

namespace statvtk {

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h == nullptr ? INVALID_HANDLE_VALUE : h) {}
  ~UniqueHandle() {
    if (valid()) CloseHandle(h_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      if (valid()) CloseHandle(h_);
      h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports the result.
  bool Close() { return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }

 private:
  HANDLE h_;
};

}  // namespace statvtk
