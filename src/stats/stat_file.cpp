#include "stats/stat_file.hpp"

#include "link/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <system_error>
#include <vector>

#include "link/atomic_file.hpp"
#include "stats/stat_common.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

namespace {

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

// What a path that is not a regular file is, for the message refusing it.
std::string NonRegularKind(mode_t mode) {
  if (S_ISDIR(mode)) return "это папка";
  if (S_ISFIFO(mode)) return "это канал FIFO, а не обычный файл";
  if (S_ISSOCK(mode)) return "это сокет, а не обычный файл";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "это устройство, а не обычный файл";
  return "это не обычный файл";
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
  // Non-blocking, so that a FIFO named like a statistics file is refused at
  // once instead of waiting for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    result.error = ReadError(name);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    result.error = ReadError(name) + " (" + NonRegularKind(st.st_mode) + ")";
    return result;
  }
  if (static_cast<std::uint64_t>(st.st_size) != FileSize(type)) {
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
  int err = 0;
  if (!AtomicWriteFile(path, {data.area, data.header}, &err)) return fail(std::strerror(err));
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
