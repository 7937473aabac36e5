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

bool TReadThread::WriteDownload(const StatData& data) {
  const std::string serial = DownloadSerialText(data.type, data.header);
  const std::tm tm = LocalTime(clock_());
  const std::filesystem::path folder = DataFolder(home_);
  // A file already there (a read within the same minute) is never replaced:
  // the download takes the next free name of its series.
  const auto nameOf = [&](int n) {
    return folder /
           DownloadFileName(serial, data.type, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, n);
  };
  result_.file = nameOf(1);
  const auto made = EnsureFolder(folder);
  auto saved = made ? SaveNewStatFile(nameOf, data) : statvtk::Result<std::filesystem::path>(made.error());
  const bool ok = saved.has_value();
  // A .814 file does not say C or CM: the member is remembered by serial number.
  if (data.type == DeviceType::dtVTK0814C || data.type == DeviceType::dtVTK0814CM) {
    IniFile ini(SettingsPath(home_));
    if (const statvtk::Result<bool> remembered = RememberMember(ini, StatSerialText(data), data.type); !remembered)
      Log("Не удалось запомнить исполнение прибора в " + ini.Path().string() + ": " + remembered.error().reason);
  }
  if (ok) {
    result_.file = *saved;
    result_.fileWritten = true;
    obs_.StatisticsFileWritten(*saved);
    return true;
  }
  // The download is not lost: the image is still handed over.
  Error failure = std::move(saved.error());
  if (failure.reason.empty()) failure.reason = result_.file.string();
  const std::string error = failure.reason;
  result_.fileError = std::move(failure);
  ReportError("Ошибка записи файла статистики.\r\nДополнительная информация: " + error);
  obs_.StatisticsFileFailed(result_.file, error);
  return false;
}

void TReadThread::FinishStatistics(StatData data) {
  // The modem is hung up while the port is still open, then the port closed.
  CloseAll();
  ProgressPos(0);
  Detail("");

  const bool stopped = result_.outcome == ReadOutcome::Stopped;
  const std::string serial = DownloadSerialText(data.type, data.header);
  const bool written = WriteDownload(data);
  const std::string elapsed = ElapsedTextNow();
  if (stopped) {
    // A stopped read is no success: the file holds what came before the stop.
    Log("Чтение статистики остановлено (" + elapsed);
    if (written) Log("Записи, прочитанные до остановки, записаны в файл " + result_.file.string());
    Status("Чтение статистики остановлено (" + elapsed);
  } else {
    Log("Чтение статистики успешно завершено (" + elapsed);
    if (written) Log("Статистика записана в файл " + result_.file.string());
    Status("Чтение статистики завершено (" + elapsed);
  }
  Status(ConnectionDescription());
  obs_.EnableControls();

  caption_ = "Статистика - " + serial + (stopped ? kIncompleteCaption : "");
  result_.partial = stopped;
  obs_.DeliverStatistics(data, caption_);
  result_.delivered = true;
  if (!stopped) result_.outcome = ReadOutcome::Done;
}

void TReadThread::KeepFetched(const StatData& data) {
  if (!fetched_) return;  // no archive block came: nothing worth a file
  result_.partial = true;
  obs_.FetchedBeforeFailure(data);
  if (WriteDownload(data)) Log("Записи, прочитанные до ошибки, записаны в файл " + result_.file.string());
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
