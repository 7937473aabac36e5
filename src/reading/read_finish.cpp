// Finishing a run: the statistics file and hand-over, the current readings,
// and the stop handling shared by the device paths.
#include <ctime>

#include "base/local_time.hpp"
#include "base/program_home.hpp"
#include "reading/read_text.hpp"
#include "reading/read_thread.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

void TReadThread::FinishStatistics(StatData data) {
  // The modem is hung up while the port is still open, then the port closed.
  CloseAll();
  ProgressPos(0);
  Detail("");

  const std::string serial = DownloadSerialText(data.type, data.header);
  const std::tm tm = LocalTime(clock_());
  const std::filesystem::path folder = DataFolder(home_);
  const std::filesystem::path path =
      folder / DownloadFileName(serial, data.type, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
  result_.file = path;
  const auto made = EnsureFolder(folder);
  std::string error = made ? std::string() : made.error().reason;
  bool written = made && SaveStatFile(path, data, &error);
  // A .814 file does not say C or CM: the member is remembered by serial number.
  if (data.type == DeviceType::dtVTK0814C || data.type == DeviceType::dtVTK0814CM) {
    IniFile ini(SettingsPath(home_));
    if (!RememberMember(ini, StatSerialText(data), data.type) && !ini.LastError().empty())
      Log("Не удалось запомнить исполнение прибора в " + ini.Path().string() + ": " + ini.LastError());
  }
  if (written) {
    result_.fileWritten = true;
    obs_.StatisticsFileWritten(path);
  } else {
    // The download is not lost: the image is still handed over below.
    if (error.empty()) error = path.string();
    result_.fileError = error;
    ReportError("Ошибка записи файла статистики.\r\nДополнительная информация: " + error);
    obs_.StatisticsFileFailed(path, error);
  }

  const std::string elapsed = ElapsedTextNow();
  Log("Чтение статистики успешно завершено (" + elapsed);
  Status("Чтение статистики завершено (" + elapsed);
  Status(ConnectionDescription());
  obs_.EnableControls();

  caption_ = "Статистика - " + serial;
  obs_.DeliverStatistics(data, caption_);
  result_.delivered = true;
  if (result_.outcome != ReadOutcome::Stopped) result_.outcome = ReadOutcome::Done;
}

void TReadThread::FinishCurrent(std::span<const std::uint8_t, 1024> block) {
  obs_.DeliverCurrent(block, result_.type, CurrentSerialText(result_.type, block));
  result_.delivered = true;
  const std::string elapsed = ElapsedTextNow();
  Log("Чтение данных успешно завершено (" + elapsed);
  Status("Чтение данных завершено (" + elapsed);
  Status(ConnectionDescription());
  Detail("");
  ProgressPos(0);
  link_.AbortFlag().store(false);
  obs_.EnableControls();
  CloseAll();
  result_.outcome = ReadOutcome::Done;
}

}  // namespace statvtk
