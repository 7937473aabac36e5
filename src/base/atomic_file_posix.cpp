// Atomic file writing over POSIX descriptors: mkstemp, fsync, rename, fsync of the folder.
#include "base/atomic_file.hpp"

#include "base/system_error.hpp"

#include "base/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace statvtk {
namespace {

bool WriteAll(int fd, std::span<const std::uint8_t> buf) {
  std::size_t done = 0;
  while (done < buf.size()) {
    const ssize_t n = ::write(fd, buf.data() + done, buf.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

Result<void> AtomicWriteFile(const std::filesystem::path& path, std::initializer_list<std::span<const std::uint8_t>> parts) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::string tmp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkstemp(tmp.data()));
  const auto fail = [&](bool created) {
    const int err = errno;
    if (created) ::unlink(tmp.c_str());
    return Result<void>(SystemFailure(err));
  };
  if (fd.get() < 0) return fail(false);
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (::fchmod(fd.get(), mode) != 0) return fail(true);
  for (const auto part : parts)
    if (!WriteAll(fd.get(), part)) return fail(true);
  if (::fsync(fd.get()) != 0 || !fd.Close()) return fail(true);
  if (::rename(tmp.c_str(), path.c_str()) != 0) return fail(true);
  // Make the rename itself durable; a failure here leaves a complete file behind.
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return {};
}

}  // namespace statvtk
