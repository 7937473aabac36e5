// The new-records read of VTK-08.14 and LDN-08: the header, configuration and
// current values as a full read takes them; of each archive only the records
// after the base file's pointer up to the instrument's, after the base's
// newest record has been read again and found unchanged; the events as a full
// read takes them. Whatever cannot be trusted is read in full, with the reason
// in the log, so the file equals what a full read would write.
#include <algorithm>

#include "base/program_home.hpp"
#include "reading/new_records.hpp"
#include "reading/read_maps.hpp"
#include "reading/read_records.hpp"
#include "reading/read_text.hpp"
#include "reading/read_thread.hpp"
#include "stats/stat_file.hpp"

namespace statvtk {

struct TReadThread::NewArea {
  ArchiveArea area;
  std::uint32_t ArchivePointers::*pointer;
  std::int64_t periodS;
  const char* status;  // the stage text of a full read of the area
  const char* name;    // for the log
  const char* error;   // the error message of a full read of the area
};

namespace {
constexpr std::int64_t kHour = 3600, kDay = 86400, kMonth = 31 * kDay;
}

std::optional<StatData> TReadThread::LoadBase(std::span<const std::uint8_t> header) {
  const DeviceType type = result_.type;
  std::filesystem::path path = job_.basePath;
  if (path.empty()) {
    const auto folder = DataFolder(home_);
    const auto newest = NewestBaseFile(folder, DownloadSerialText(type, header), type);
    if (!newest) {
      Log("Новые записи: в " + folder.string() + " нет прежнего файла этого прибора, читается вся статистика.");
      return std::nullopt;
    }
    path = *newest;
  }
  statvtk::Result<StatData> loaded = LoadStatFile(path, ExtensionRule::LowerCase);
  if (!loaded) {
    const bool other = loaded.error().code == ErrorCode::NotStatFile;
    Log("Новые записи: файл-основа " + path.string() + " не подходит (" +
        (other ? std::string("не файл статистики") : loaded.error().reason) + "), читается вся статистика.");
    return std::nullopt;
  }
  if (const std::string why = BaseMismatch(*loaded, type, header); !why.empty()) {
    Log("Новые записи: файл-основа " + path.string() + " не подходит (" + why + "), читается вся статистика.");
    return std::nullopt;
  }
  Log("Новые записи: основа " + path.string());
  return std::move(*loaded);
}

template <class ReadFn>
TReadThread::Step TReadThread::ReadAreaFull(const NewArea& a, std::vector<std::uint8_t>& buf, ReadFn read) {
  Progress(0, static_cast<int>(a.area.count) - 1);
  Status(a.status);
  return ReadRecords(ForwardAddresses(a.area.first, a.area.recordSize, a.area.count), a.area.recordSize, buf, a.error,
                     read, ShownFrom(0));
}

template <class ReadFn>
TReadThread::Step TReadThread::ReadNewAreas(std::span<const NewArea> areas, std::vector<std::uint8_t>& buf,
                                            std::span<const std::uint8_t> header, ReadFn read) {
  const std::optional<StatData> base = LoadBase(header);
  const ArchivePointers now = PointersOf(result_.type, header);
  const std::optional<std::int64_t> clock = HeaderClock(result_.type, header);
  Step s = Step::Ok;
  for (const NewArea& a : areas) {
    if (s != Step::Ok) break;
    if (!base) {
      s = ReadAreaFull(a, buf, read);
      continue;
    }
    const ArchivePointers was = PointersOf(result_.type, base->header);
    ArchivePlan plan = PlanArchive(a.area, was.*a.pointer, now.*a.pointer, base->area,
                                   HeaderClock(result_.type, base->header), clock, a.periodS);
    if (!plan.full) {
      // The base's newest record must still be what the instrument holds there.
      std::vector<std::uint8_t> overlap(a.area.recordSize);
      Status(a.status);
      s = AfterBlock(read(plan.overlap, std::span(overlap)), a.error);
      if (s != Step::Ok) break;
      if (!std::equal(overlap.begin(), overlap.end(), base->area.begin() + plan.overlap)) {
        plan.full = true;
        plan.reason = "последняя запись файла-основы в приборе другая";
      }
    }
    if (plan.full) {
      Log(std::string("Новые записи: ") + a.name + " читаются полностью: " + plan.reason + ".");
      s = ReadAreaFull(a, buf, read);
      continue;
    }
    std::copy(base->area.begin() + a.area.first, base->area.begin() + a.area.End(), buf.begin() + a.area.first);
    Log(std::string("Новые записи: ") + a.name + ": " + std::to_string(plan.records.size()) + " нов.");
    Progress(0, static_cast<int>(plan.records.size()));
    s = ReadRecords(plan.records, a.area.recordSize, buf, a.error, read, ShownFrom(1));
  }
  return s;
}

TReadThread::Step TReadThread::ReadVtk0814New() {
  auto read = [this](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32(ShortAddress(), a, 64, out);
  };
  static constexpr NewArea kAreas[] = {
      {kVtk0814Hourly, &ArchivePointers::hourly, kHour, "Чтение часовых записей", "часовые записи", "Ошибка чтения"},
      {kVtk0814Daily, &ArchivePointers::daily, kDay, "Чтение суточных записей", "суточные записи", "Ошибка чтения"},
      {kVtk0814Monthly, &ArchivePointers::monthly, kMonth, "Чтение записей за месяц", "месячные записи",
       "Ошибка чтения"},
  };
  // The kinds chosen, as "Вся статистика" reads them.
  std::vector<NewArea> chosen;
  if (job_.wantHourly) chosen.push_back(kAreas[0]);
  if (job_.wantDaily) chosen.push_back(kAreas[1]);
  if (job_.wantMonthly) chosen.push_back(kAreas[2]);
  Progress(0, 2047);
  Status("Чтение новых записей");
  Step s = ReadNewAreas(std::span<const NewArea>(chosen), area0814_, vtkHeader_, read);
  if (job_.wantEvents && s == Step::Ok) s = ReadVtk0814AllEvents();
  return s;
}

TReadThread::Step TReadThread::ReadLdnNew() {
  const std::uint32_t addr = LongAddress();
  auto read = [this, addr](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32Long(addr, a, static_cast<std::uint8_t>(out.size()), out);
  };
  // A full read of this model takes every archive whatever kinds were chosen.
  const char* err = "Ошибка чтения памяти архива";
  const NewArea areas[] = {
      {kLdnHourly, &ArchivePointers::hourly, kHour, "Чтение часовых записей", "часовые записи", err},
      {kLdnDaily, &ArchivePointers::daily, kDay, "Чтение суточных записей", "суточные записи", err},
      {kLdnMonthly, &ArchivePointers::monthly, kMonth, "Чтение записей за месяц", "месячные записи", err},
  };
  Progress(0, 1841);
  Status("Чтение новых записей");
  Step s = ReadNewAreas(std::span<const NewArea>(areas), areaLdn_, ldnHeader_, read);
  if (s == Step::Ok) {
    Status("Чтение событий");
    Progress(0, 127);
    s = ReadRecords(ForwardAddresses(kLdnEvents.first, 64, kLdnEvents.count), 64, areaLdn_, err, read, ShownFrom(1));
  }
  return s;
}

}  // namespace statvtk
