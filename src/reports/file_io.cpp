// Whole-file reading and atomic writing over POSIX descriptors.
#include "reports/file_io.hpp"

#include "link/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/atomic_file.hpp"

namespace statvtk {

namespace {
std::string SystemReason() { return std::strerror(errno); }
}  // namespace

bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::uintmax_t limit) {
  bytes->clear();
  // Non-blocking open and a regular-file check: a FIFO is refused at once.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    *error = path.string() + ": " + SystemReason();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path.string() + ": " + std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EINVAL) + " (not a regular file)";
    return false;
  }
  std::uint8_t buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = path.string() + ": " + SystemReason();
      return false;
    }
    if (n == 0) return true;
    if (bytes->size() + static_cast<std::size_t>(n) > limit) {
      *error = path.string() + ": file too large";
      return false;
    }
    bytes->insert(bytes->end(), buf, buf + n);
  }
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  int err = 0;
  if (AtomicWriteFile(path, {bytes}, &err)) return true;
  *error = path.string() + ": " + std::strerror(err);
  return false;
}

}  // namespace statvtk
