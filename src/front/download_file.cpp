#include "front/download_file.hpp"

#include <ctime>

#include "base/ini_file.hpp"
#include "base/local_time.hpp"
#include "base/program_home.hpp"
#include "reading/read_text.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

DownloadFile WriteDownload(const StatData& data, const std::filesystem::path& home,
                           std::chrono::system_clock::time_point now) {
  DownloadFile out;
  const std::string serial = DownloadSerialText(data.type, data.header);
  const std::tm tm = LocalTime(now);
  const std::filesystem::path folder = DataFolder(home);
  // A file already there (a read within the same minute) is never replaced:
  // the download takes the next free name of its series.
  const auto nameOf = [&](int n) {
    return folder /
           DownloadFileName(serial, data.type, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, n);
  };
  out.path = nameOf(1);
  const auto made = EnsureFolder(folder);
  auto saved = made ? SaveNewStatFile(nameOf, data) : Result<std::filesystem::path>(made.error());
  // A .814 file does not say C or CM: the member is remembered by serial number.
  if (data.type == DeviceType::dtVTK0814C || data.type == DeviceType::dtVTK0814CM) {
    IniFile ini(SettingsPath(home));
    if (const Result<bool> remembered = RememberMember(ini, StatSerialText(data), data.type); !remembered)
      out.memberError = MakeError(remembered.error().code, ini.Path().string() + ": " + remembered.error().reason,
                                  remembered.error().systemCode);
  }
  if (saved) {
    out.path = *saved;
    out.written = true;
    return out;
  }
  Error failure = std::move(saved.error());
  if (failure.reason.empty()) failure.reason = out.path.string();
  out.error = std::move(failure);
  return out;
}

}  // namespace statvtk
