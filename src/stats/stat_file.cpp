#include "stats/stat_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <system_error>
#include <vector>

#include "stats/stat_common.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result (a deferred write error shows here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string Reason() { return std::strerror(errno); }

bool ReadAll(int fd, std::span<std::uint8_t> buf) {
  std::size_t done = 0;
  while (done < buf.size()) {
    const ssize_t n = ::read(fd, buf.data() + done, buf.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {  // the file shrank under us
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

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

std::string ReadError(const std::string& name) { return "Ошибка - не удалось прочитать файл " + name + ": " + Reason(); }

std::string WriteError(const std::filesystem::path& path, const std::string& reason) {
  return "Ошибка записи файла " + path.string() + ": " + reason;
}

}  // namespace

DeviceType TypeOfFileName(const std::filesystem::path& path, ExtensionRule rule) {
  std::string ext = path.extension().string();
  if (rule == ExtensionRule::LowerCase)
    for (char& c : ext)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (ext == ".vst") return DeviceType::dtVTK0812;
  if (ext == ".814") return DeviceType::dtVTK0814C;
  if (ext == ".ldn") return DeviceType::dtLDN08;
  return DeviceType::dtUnknown;
}

LoadResult LoadStatFile(const std::filesystem::path& path, ExtensionRule rule, const std::string& shownName) {
  LoadResult result;
  const DeviceType type = TypeOfFileName(path, rule);
  if (type == DeviceType::dtUnknown) {
    result.ignored = true;
    return result;
  }
  const std::string name = shownName.empty() ? path.string() : shownName;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    result.error = ReadError(name);
    return result;
  }
  if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != FileSize(type)) {
    result.error = "Ошибка - файл " + name + " имеет неверный размер.";
    return result;
  }
  StatData data = StatData::Blank(type);
  if (!ReadAll(fd.get(), data.area) || !ReadAll(fd.get(), data.header)) {
    result.error = ReadError(name);
    return result;
  }
  result.data = std::move(data);
  return result;
}

bool SaveStatFile(const std::filesystem::path& path, const StatData& data, std::string* error) {
  auto fail = [&](const std::string& reason) {
    if (error) *error = WriteError(path, reason);
    return false;
  };
  if (data.type == DeviceType::dtUnknown || data.area.size() != AreaSize(data.type) ||
      data.header.size() != HeaderSize(data.type))
    return fail("неверный размер данных");
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::string tmpl = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  Fd fd(::mkstemp(name.data()));
  if (fd.get() < 0) return fail(Reason());
  const std::string tmpPath(name.data());
  auto failTmp = [&](const std::string& reason) {
    ::unlink(tmpPath.c_str());
    return fail(reason);
  };
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (::fchmod(fd.get(), mode) != 0) return failTmp(Reason());
  if (!WriteAll(fd.get(), data.area) || !WriteAll(fd.get(), data.header)) return failTmp(Reason());
  if (::fsync(fd.get()) != 0) return failTmp(Reason());
  if (!fd.Close()) return failTmp(Reason());
  if (::rename(tmpPath.c_str(), path.c_str()) != 0) return failTmp(Reason());
  // Make the rename itself durable; a failure here leaves a complete file behind.
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

std::string DownloadFileName(const std::string& serialText, DeviceType t, int year, int month, int day, int hour,
                             int minute) {
  std::string serial = serialText;
  for (char& c : serial)
    if (c == '/' || c == '\0') c = '#';  // a serial must not leave the folder
  return serial + detail::Format("-%.4d-%.2d-%.2d@%.2d-%.2d", year, month, day, hour, minute) +
         std::string(FileExtension(t));
}

bool SaveDownloadedStatFile(const std::filesystem::path& dataFolder, const StatData& data, int year, int month,
                            int day, int hour, int minute, std::filesystem::path* written, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);
  if (ec) {
    if (error) *error = "Ошибка создания папки " + dataFolder.string() + ": " + ec.message();
    return false;
  }
  const auto path = dataFolder / DownloadFileName(StatSerialText(data), data.type, year, month, day, hour, minute);
  if (!SaveStatFile(path, data, error)) return false;
  if (written) *written = path;
  return true;
}

}  // namespace statvtk
