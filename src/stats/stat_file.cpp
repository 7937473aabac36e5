#include "stats/stat_file.hpp"

#include <algorithm>
#include <span>
#include <system_error>
#include <vector>

#include "base/atomic_file.hpp"
#include "base/file_reader.hpp"
#include "base/system_error.hpp"
#include "stats/stat_common.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

namespace {

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
  const Result<std::vector<std::uint8_t>> file = ReadRegularFile(path, FileSize(type));
  if (!file && file.error().code != ErrorCode::FileTooLarge) {
    result.error = "Ошибка - не удалось прочитать файл " + name + ": " + file.error().reason;
    return result;
  }
  if (!file || file->size() != FileSize(type)) {
    result.error = "Ошибка - файл " + name + " имеет неверный размер.";
    return result;
  }
  StatData data = StatData::Blank(type);
  const auto headerStart = file->begin() + static_cast<std::ptrdiff_t>(data.area.size());
  std::copy(file->begin(), headerStart, data.area.begin());
  std::copy(headerStart, file->end(), data.header.begin());
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
  if (const Result<void> written = AtomicWriteFile(path, {data.area, data.header}); !written)
    return fail(written.error().reason);
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
