#include "stats/stat_file.hpp"

#include <algorithm>
#include <span>
#include <system_error>
#include <vector>

#include "base/ascii.hpp"
#include "base/atomic_file.hpp"
#include "base/file_reader.hpp"
#include "base/safe_name.hpp"
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
  if (rule == ExtensionRule::LowerCase) ext = AsciiLower(ext);
  if (ext == ".vst") return DeviceType::dtVTK0812;
  if (ext == ".814") return DeviceType::dtVTK0814C;
  if (ext == ".ldn") return DeviceType::dtLDN08;
  return DeviceType::dtUnknown;
}

Result<StatData> LoadStatFile(const std::filesystem::path& path, ExtensionRule rule, const std::string& shownName) {
  const DeviceType type = TypeOfFileName(path, rule);
  if (type == DeviceType::dtUnknown) return MakeError(ErrorCode::NotStatFile, {});
  const std::string name = shownName.empty() ? path.string() : shownName;
  const Result<std::vector<std::uint8_t>> file = ReadRegularFile(path, FileSize(type));
  if (!file && file.error().code != ErrorCode::FileTooLarge) {
    return MakeError(file.error().code, "Ошибка - не удалось прочитать файл " + name + ": " + file.error().reason,
                     file.error().systemCode);
  }
  if (!file || file->size() != FileSize(type))
    return MakeError(ErrorCode::BadFile, "Ошибка - файл " + name + " имеет неверный размер.");
  StatData data = StatData::Blank(type);
  const auto headerStart = file->begin() + static_cast<std::ptrdiff_t>(data.area.size());
  std::copy(file->begin(), headerStart, data.area.begin());
  std::copy(headerStart, file->end(), data.header.begin());
  return data;
}

// The image's parts have the sizes of its model's file.
bool SizesFit(const StatData& data) {
  return data.type != DeviceType::dtUnknown && data.area.size() == AreaSize(data.type) &&
         data.header.size() == HeaderSize(data.type);
}

Result<void> SaveStatFile(const std::filesystem::path& path, const StatData& data) {
  if (!SizesFit(data)) return MakeError(ErrorCode::BadData, WriteError(path, "неверный размер данных"));
  Result<void> written = AtomicWriteFile(path, {data.area, data.header});
  if (!written) written.error().reason = WriteError(path, written.error().reason);
  return written;
}

std::string DownloadFileName(const std::string& serialText, DeviceType t, int year, int month, int day, int hour,
                             int minute, int n) {
  // The serial must stay one name inside the folder: the safe-name rule.
  return SafeNamePart(serialText) + detail::Format("-%.4d-%.2d-%.2d@%.2d-%.2d", year, month, day, hour, minute) +
         (n >= 2 ? "_" + std::to_string(n) : std::string()) + std::string(FileExtension(t));
}

Result<std::filesystem::path> SaveNewStatFile(const CandidateName& nameOf, const StatData& data) {
  if (!SizesFit(data)) return MakeError(ErrorCode::BadData, WriteError(nameOf(1), "неверный размер данных"));
  Result<std::filesystem::path> written = AtomicWriteNewFile(nameOf, kMaxDownloadNames, {data.area, data.header});
  if (!written) written.error().reason = WriteError(nameOf(1), written.error().reason);
  return written;
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
  return
      [folder, stem, ext](int n) { return folder / (stem + (n >= 2 ? "_" + std::to_string(n) : std::string()) + ext); };
}

Result<std::filesystem::path> SaveDownloadedStatFile(const std::filesystem::path& dataFolder, const StatData& data,
                                                     int year, int month, int day, int hour, int minute) {
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);
  if (ec)
    return MakeError(ErrorCode::FileSystem, "Ошибка создания папки " + dataFolder.string() + ": " + ec.message(),
                     ec.value());
  const std::string serial = StatSerialText(data);
  const auto nameOf = [&](int n) {
    return dataFolder / DownloadFileName(serial, data.type, year, month, day, hour, minute, n);
  };
  return SaveNewStatFile(nameOf, data);
}

}  // namespace statvtk
