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

std::string ReadError(const std::string& name, int code) {
  return "Ошибка - не удалось прочитать файл " + name + ": " + SystemErrorText(code);
}

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
  const FileReadResult file = ReadRegularFile(path, FileSize(type));
  if (file.fault == FileReadFault::System) {
    result.error = ReadError(name, file.errorCode);
    return result;
  }
  if (file.fault == FileReadFault::NotRegular) {
    result.error = "Ошибка - не удалось прочитать файл " + name + ": " + NonRegularText(file.kind);
    return result;
  }
  if (file.fault != FileReadFault::None || file.bytes.size() != FileSize(type)) {
    result.error = "Ошибка - файл " + name + " имеет неверный размер.";
    return result;
  }
  StatData data = StatData::Blank(type);
  const auto headerStart = file.bytes.begin() + static_cast<std::ptrdiff_t>(data.area.size());
  std::copy(file.bytes.begin(), headerStart, data.area.begin());
  std::copy(headerStart, file.bytes.end(), data.header.begin());
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
  if (!AtomicWriteFile(path, {data.area, data.header}, &err)) return fail(SystemErrorText(err));
  return true;
}

std::string DownloadFileName(const std::string& serialText, DeviceType t, int year, int month, int day, int hour,
                             int minute, int n) {
  std::string serial = serialText;
  for (char& c : serial)
    if (c == '/' || c == '\0') c = '#';  // a serial must not leave the folder
  return serial + detail::Format("-%.4d-%.2d-%.2d@%.2d-%.2d", year, month, day, hour, minute) +
         (n >= 2 ? "_" + std::to_string(n) : std::string()) + std::string(FileExtension(t));
}

bool SaveNewStatFile(const CandidateName& nameOf, const StatData& data, std::filesystem::path* written,
                     std::string* error) {
  if (data.type == DeviceType::dtUnknown || data.area.size() != AreaSize(data.type) ||
      data.header.size() != HeaderSize(data.type)) {
    if (error) *error = WriteError(nameOf(1), "неверный размер данных");
    return false;
  }
  int err = 0;
  if (AtomicWriteNewFile(nameOf, kMaxDownloadNames, {data.area, data.header}, written, &err)) return true;
  if (error) *error = WriteError(nameOf(1), SystemErrorText(err));
  return false;
}

CandidateName SeriesNames(const std::filesystem::path& folder, const std::filesystem::path& fileName) {
  std::string stem = fileName.stem().string();
  const std::string ext = fileName.extension().string();
  // "…@HH-MM_n": the series is that of "…@HH-MM".
  const auto bar = stem.rfind('_');
  const auto at = stem.rfind('@');
  if (bar != std::string::npos && at != std::string::npos && bar > at && bar + 1 < stem.size() &&
      stem.find_first_not_of("0123456789", bar + 1) == std::string::npos)
    stem.erase(bar);
  return [folder, stem, ext](int n) {
    return folder / (stem + (n >= 2 ? "_" + std::to_string(n) : std::string()) + ext);
  };
}

bool SaveDownloadedStatFile(const std::filesystem::path& dataFolder, const StatData& data, int year, int month,
                            int day, int hour, int minute, std::filesystem::path* written, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);
  if (ec) {
    if (error) *error = "Ошибка создания папки " + dataFolder.string() + ": " + ec.message();
    return false;
  }
  const std::string serial = StatSerialText(data);
  const auto nameOf = [&](int n) {
    return dataFolder / DownloadFileName(serial, data.type, year, month, day, hour, minute, n);
  };
  return SaveNewStatFile(nameOf, data, written, error);
}

}  // namespace statvtk
