// Whole-file reading over POSIX descriptors.
#include "base/file_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/system_error.hpp"
#include "base/unique_fd.hpp"

namespace statvtk {

Result<std::vector<std::uint8_t>> ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit) {
  // Non-blocking, so that a FIFO named like a statistics file is refused at
  // once instead of waiting for a writer; regular files ignore the flag.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return SystemFailure(errno);
  if (!S_ISREG(st.st_mode)) {
    return NotRegularFailure(S_ISDIR(st.st_mode)                          ? NonRegularKind::Folder
                             : S_ISFIFO(st.st_mode)                       ? NonRegularKind::Fifo
                             : S_ISSOCK(st.st_mode)                       ? NonRegularKind::Socket
                             : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? NonRegularKind::Device
                                                                          : NonRegularKind::Other);
  }
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return TooLargeFailure();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  std::array<std::uint8_t, 65536> buf;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemFailure(errno);
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<std::size_t>(n) > limit) return TooLargeFailure();
    bytes.insert(bytes.end(), buf.begin(), buf.begin() + n);
  }
}

}  // namespace statvtk
