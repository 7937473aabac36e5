#include "reading/run_end.hpp"

#include <ctime>

#include "base/ini_file.hpp"
#include "base/local_time.hpp"
#include "base/program_home.hpp"
#include "reading/read_text.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_file.hpp"

namespace statvtk {

namespace {

constexpr const char* kMoreInfo = "\r\nДополнительная информация: ";

void Fail(ReadResult& r, ErrorCode code, std::string message, std::string cause = {}) {
  r.outcome = ReadOutcome::Failed;
  r.error = MakeError(code, std::move(message));
  if (!cause.empty()) r.linkCause = MakeError(code, std::move(cause));
}

void MarkStopped(ReadResult& r) {
  r.outcome = ReadOutcome::Stopped;
  r.error = MakeError(ErrorCode::Stopped, {});
}

void Close(LineSession* line, bool held) {
  if (line && !held) line->Close();
}

void NoteStop(RunContext& ctx) {
  if (!ctx.quiet) ctx.Log("Текущая операция прервана по желанию пользователя");
}

// Writes the file of a download under the first free name; false when it could not be written.
bool WriteDownload(const StatData& data, RunContext& ctx, ReadResult& r) {
  const std::string serial = DownloadSerialText(data.type, data.header);
  const std::tm tm = LocalTime(ctx.Now());
  const std::filesystem::path folder = DataFolder(ctx.home);
  // A file already there (a read within the same minute) is never replaced:
  // the download takes the next free name of its series.
  const auto nameOf = [&](int n) {
    return folder /
           DownloadFileName(serial, data.type, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, n);
  };
  r.file = nameOf(1);
  const auto made = EnsureFolder(folder);
  auto saved = made ? SaveNewStatFile(nameOf, data) : statvtk::Result<std::filesystem::path>(made.error());
  // A .814 file does not say C or CM: the member is remembered by serial number.
  if (data.type == DeviceType::dtVTK0814C || data.type == DeviceType::dtVTK0814CM) {
    IniFile ini(SettingsPath(ctx.home));
    if (const statvtk::Result<bool> remembered = RememberMember(ini, StatSerialText(data), data.type); !remembered)
      ctx.Log("Не удалось запомнить исполнение прибора в " + ini.Path().string() + ": " + remembered.error().reason);
  }
  if (saved) {
    r.file = *saved;
    r.fileWritten = true;
    ctx.obs.StatisticsFileWritten(*saved);
    return true;
  }
  // The download is not lost: the image is still handed over.
  Error failure = std::move(saved.error());
  if (failure.reason.empty()) failure.reason = r.file.string();
  const std::string error = failure.reason;
  r.fileError = std::move(failure);
  ctx.Log("Ошибка записи файла статистики." + std::string(kMoreInfo) + error);
  ctx.obs.StatisticsFileFailed(r.file, error);
  return false;
}

void StopExit(RunContext& ctx, LineSession* line, bool held, ReadResult& r) {
  NoteStop(ctx);
  ctx.Status("");
  ctx.obs.EnableControls();
  Close(line, held);
  ctx.Pos(0);
  MarkStopped(r);
}

void FinishStatistics(InstrumentReader& reader, bool stopped, RunContext& ctx, LineSession* line, bool held,
                      ReadResult& r) {
  if (stopped) {
    NoteStop(ctx);
    MarkStopped(r);
  }
  // The modem is hung up while the port is still open, then the port closed.
  Close(line, held);
  ctx.Pos(0);
  ctx.Detail("");
  StatData data = reader.Data();
  const std::string serial = DownloadSerialText(data.type, data.header);
  const bool written = WriteDownload(data, ctx, r);
  const std::string elapsed = ctx.ElapsedTextNow();
  if (stopped) {
    // A stopped read is no success: the file holds what came before the stop.
    ctx.Log("Чтение статистики остановлено (" + elapsed);
    if (written) ctx.Log("Записи, прочитанные до остановки, записаны в файл " + r.file.string());
    ctx.Status("Чтение статистики остановлено (" + elapsed);
  } else {
    ctx.Log("Чтение статистики успешно завершено (" + elapsed);
    if (written) ctx.Log("Статистика записана в файл " + r.file.string());
    ctx.Status("Чтение статистики завершено (" + elapsed);
  }
  if (line) ctx.Status(line->Description());
  ctx.obs.EnableControls();
  r.partial = stopped;
  ctx.obs.DeliverStatistics(data, "Статистика - " + serial + (stopped ? kIncompleteCaption : ""));
  r.delivered = true;
  r.data = std::move(data);
  if (!stopped) r.outcome = ReadOutcome::Done;
}

}  // namespace

void EndRun(const RunEnd& end, RunContext& ctx, LineSession* line, bool held, ReadResult& r) {
  switch (end.kind) {
    case EndKind::Refused:
      ctx.Log(end.message);
      if (!held) ctx.obs.EnableControls();
      Fail(r, ErrorCode::BadSettings, end.message);
      return;
    case EndKind::Stopped: StopExit(ctx, line, held, r); return;
    case EndKind::OpenFailed: {
      if (end.open->error.IsStop()) {
        StopExit(ctx, line, held, r);
        return;
      }
      ctx.obs.EnableControls();
      const std::string info = line->Link().CauseText();
      ctx.Log(end.open->error.reason + kMoreInfo + info);
      Fail(r, end.open->error.code, end.open->error.reason, info);
      return;
    }
    case EndKind::DialFailed:
      ctx.obs.EnableControls();
      if (end.open->error.IsStop()) MarkStopped(r);
      else Fail(r, end.open->error.code, {});
      return;
    case EndKind::IdentifyFailed:
      ctx.Log("Ошибка идентификации прибора.");
      Close(line, held);
      ctx.Log("Ошибка идентификации прибора." + std::string(kMoreInfo) + end.cause);
      ctx.obs.EnableControls();
      ctx.Status(line->Description());
      Fail(r, end.code, "Ошибка идентификации прибора.", end.cause);
      return;
    case EndKind::BlockFailed: {
      const BlockFailure& f = *end.failure;
      ctx.Log(f.message + kMoreInfo + f.cause);
      // An instrument that answered the identification and then fell silent is
      // most often asked in the wrong form: the M-Bus setting names it.
      if (f.code == ErrorCode::Timeout) ctx.Log(MBusHint(r.type, end.useMBus));
      Close(line, held);
      ctx.obs.EnableControls();
      // After the controls are enabled (which clears the stage text), so the message stays.
      ctx.Status(f.message);
      ctx.Pos(0);
      Fail(r, f.code, f.message, f.cause);
      // What was fetched before the failure is kept, once any archive block came.
      if (end.reader && end.reader->Fetched()) {
        r.partial = true;
        StatData data = end.reader->Data();
        ctx.obs.FetchedBeforeFailure(data);
        if (WriteDownload(data, ctx, r)) ctx.Log("Записи, прочитанные до ошибки, записаны в файл " + r.file.string());
        r.data = std::move(data);
      }
      return;
    }
    case EndKind::Statistics: FinishStatistics(*end.reader, end.stopped, ctx, line, held, r); return;
    case EndKind::Current: {
      const auto& header = end.reader->Header();
      std::span<const std::uint8_t, 1024> block(header.data(), 1024);
      ctx.obs.DeliverCurrent(block, r.type, CurrentSerialText(r.type, block));
      r.delivered = true;
      const std::string elapsed = ctx.ElapsedTextNow();
      ctx.Log("Чтение данных успешно завершено (" + elapsed);
      ctx.Status("Чтение данных завершено (" + elapsed);
      ctx.Status(line->Description());
      ctx.Detail("");
      ctx.Pos(0);
      ctx.obs.EnableControls();
      Close(line, held);
      r.outcome = ReadOutcome::Done;
      return;
    }
    case EndKind::Identified:
      Close(line, held);
      ctx.obs.EnableControls();
      ctx.Status(line->Description());
      r.outcome = ReadOutcome::Done;
      return;
  }
}

}  // namespace statvtk
