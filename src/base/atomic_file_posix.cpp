// Atomic file writing over POSIX descriptors: mkstemp, fsync, rename, fsync of the folder.
#include "base/atomic_file.hpp"

#include "base/link_no_replace.hpp"
#include "base/system_error.hpp"
#include "base/temp_names.hpp"

#include "base/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// Writes the parts to a new temporary file beside `path` with the mode `mode`
// and flushes it; its name goes to `tmp`. False with errno set (the file removed).
bool WriteTemporary(const std::filesystem::path& path, mode_t mode,
                    std::initializer_list<std::span<const std::uint8_t>> parts, std::string* tmp) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  // What a crashed write left here goes first.
  RemoveStaleTemporaries(folder);
  // "." NAME ".XXXXXX" within the folder's name limit, however long NAME is.
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t room = (limit > 0 ? static_cast<std::size_t>(limit) : kNameLimit) - 8;
  *tmp = (folder / ("." + FitName(path.filename().string(), room) + ".XXXXXX")).string();
  UniqueFd fd(::mkstemp(tmp->data()));
  if (fd.get() < 0) return false;
  const auto fail = [&] {
    const int err = errno;
    ::unlink(tmp->c_str());
    errno = err;
    return false;
  };
  if (::fchmod(fd.get(), mode) != 0) return fail();
  for (const auto part : parts)
    if (!WriteAll(fd.get(), part)) return fail();
  if (::fsync(fd.get()) != 0 || !fd.Close()) return fail();
  return true;
}

// Makes a rename in `folder` durable; a failure here leaves a complete file behind.
void SyncFolder(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

// Gives the temporary file the name `target` unless that name exists: 0 on
// success, else the errno (EEXIST when the name is taken).
int RenameNoReplace(const std::string& tmp, const std::filesystem::path& target) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
#endif
  return LinkNoReplace(tmp, target);
}

}  // namespace

int LinkNoReplace(const std::string& tmp, const std::filesystem::path& target) {
  // A file system without that rename (NFS, SMB): a hard link of the complete
  // temporary file takes the name or fails when it exists; then the
  // temporary name goes. The final name never shows an incomplete file.
  if (::link(tmp.c_str(), target.c_str()) == 0) {
    ::unlink(tmp.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  // Nor hard links (a FAT or plain SMB mount): the name is reserved by an
  // exclusive create, then the temporary file replaces the empty placeholder.
  UniqueFd reserved(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (reserved.get() < 0) return errno;
  reserved.Close();
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(target.c_str());
    return err;
  }
  return 0;
}

Result<void> AtomicWriteFile(const std::filesystem::path& path,
                             std::initializer_list<std::span<const std::uint8_t>> parts) {
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  std::string tmp;
  const auto fail = [](int err) { return Result<void>(SystemFailure(err)); };
  if (!WriteTemporary(path, mode, parts, &tmp)) return fail(errno);
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return fail(err);
  }
  SyncFolder(path);
  return {};
}

Result<std::filesystem::path> AtomicWriteNewFile(const CandidateName& nameOf, int maxNames,
                                                 std::initializer_list<std::span<const std::uint8_t>> parts) {
  const std::filesystem::path first = nameOf(1);
  std::string tmp;
  const auto fail = [](int err) { return Result<std::filesystem::path>(SystemFailure(err)); };
  if (!WriteTemporary(first, 0644, parts, &tmp)) return fail(errno);
  int err = EEXIST;
  for (int n = 1; n <= maxNames && err == EEXIST; ++n) {
    const std::filesystem::path target = n == 1 ? first : nameOf(n);
    err = RenameNoReplace(tmp, target);
    if (err == 0) {
      SyncFolder(target);
      return target;
    }
  }
  ::unlink(tmp.c_str());
  return fail(err);
}

}  // namespace statvtk
