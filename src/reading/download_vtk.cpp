// The VTK-08.12 and VTK-08.14 device paths.
#include <array>
#include <numeric>

#include "base/device_values.hpp"
#include "reading/read_maps.hpp"
#include "reading/read_records.hpp"
#include "reading/read_thread.hpp"

namespace statvtk {

TReadThread::Step TReadThread::ReadRtc() {
  for (int i = 0; i < 8; ++i) {
    const auto offset = static_cast<std::uint8_t>(i * 16);
    Step s = AfterBlock(link_.ReadBlock8(ShortAddress(), offset, 16, std::span(vtkHeader_).subspan(offset, 16)),
                        "Ошибка чтения RTC");
    if (s != Step::Ok) return s;
    ProgressPos(i);
    Detail(std::to_string(offset));
  }
  return Step::Ok;
}

TReadThread::Step TReadThread::ReadVtkConfig(int blockSize, std::span<const int> blocks) {
  for (int k : blocks) {
    const auto offset = static_cast<std::uint16_t>(k * blockSize);
    const auto size = static_cast<std::uint8_t>(blockSize);
    Step s =
        AfterBlock(link_.ReadBlock16(ShortAddress(), offset, size, std::span(vtkHeader_).subspan(512 + offset, size)),
                   "Ошибка чтения конфигурации");
    if (s != Step::Ok) return s;
    ProgressPos(k);
    Detail(std::to_string(offset));
  }
  return Step::Ok;
}

void TReadThread::RunVtk0812() {
  BeginRead("Чтение данных (VTK-0812)");
  Progress(0, 7);
  std::fill(area0812_.begin(), area0812_.end(), 0);
  Status("Чтение памяти RTC");

  // Every stop in this path ends the run without a file.
  auto stopOrError = [this](Step s) {
    if (s == Step::Stop) StopExit();
    return s != Step::Ok;
  };
  if (stopOrError(ReadRtc())) return;
  if (stopOrError(AfterBlock(link_.ReadParams16(ShortAddress(), 180, 4, std::span(vtkHeader_).subspan(436, 4)),
                             "Ошибка чтения оперативной памяти")))
    return;
  Status("Чтение конфигурации");
  Progress(0, 32);
  Detail("0");
  std::array<int, 32> all{};
  std::iota(all.begin(), all.end(), 0);
  if (stopOrError(ReadVtkConfig(16, all))) return;

  if (job_.readCurrent) {
    // The current values of this model are in the RTC, RAM and configuration
    // blocks just read; the archive is not needed for them.
    FinishCurrent(std::span<const std::uint8_t, 1024>(vtkHeader_.data(), 1024));
    return;
  }

  // This model keeps no archive pointers: there is nothing to tell new records by.
  if (job_.readNew) Log("Новые записи: VTK-08.12 не хранит указателей архивов, читается вся статистика.");
  Progress(0, 4095);
  Status("Чтение статистики");
  auto read = [this](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive16(ShortAddress(), static_cast<std::uint16_t>(a), 16, out);
  };
  auto shown = [this](int j) {
    if (j % 64 == 0) {
      ProgressPos(j);
      Detail(std::to_string(j * 16));
    }
  };
  const Step s = ReadRecords(ForwardAddresses(0, 16, 4096), 16, area0812_, "Ошибка чтения Data EEPROM", read, shown);
  // A failure keeps the blocks fetched before it; a stop keeps nothing in this path.
  if (s == Step::Error) KeepFetched(StatData{DeviceType::dtVTK0812, area0812_, vtkHeader_});
  if (stopOrError(s)) return;
  FinishStatistics(StatData{DeviceType::dtVTK0812, area0812_, vtkHeader_});
}

void TReadThread::RunVtk0814() {
  obs_.DeviceMemberFound(result_.type);
  BeginRead("Чтение данных (VTK-0814С)");
  Progress(0, 7);
  std::fill(area0814_.begin(), area0814_.end(), 0);
  Status("Чтение памяти RTC");

  Step s = ReadRtc();
  if (s == Step::Ok)
    s = AfterBlock(link_.ReadParams16(ShortAddress(), 180, 4, std::span(vtkHeader_).subspan(180, 4)),
                   "Ошибка чтения оперативной памяти");
  if (s == Step::Ok)
    s = AfterBlock(link_.ReadParams16(ShortAddress(), 264, 8, std::span(vtkHeader_).subspan(264, 8)),
                   "Ошибка чтения оперативной памяти");
  if (s == Step::Ok) {
    Status("Чтение конфигурации");
    Progress(0, 32);
    Detail("");
    static constexpr std::array<int, 9> kBlocks{0, 1, 8, 10, 11, 12, 13, 14, 15};
    s = ReadVtkConfig(32, kBlocks);
  }
  if (s == Step::Error) return;
  FinishArchiveModel(s, area0814_, vtkHeader_,
                     [this] { return job_.readNew ? ReadVtk0814New() : ReadVtk0814Archives(); });
}

void TReadThread::FinishArchiveModel(Step s, const std::vector<std::uint8_t>& area,
                                     const std::vector<std::uint8_t>& header,
                                     const std::function<Step()>& readArchives) {
  if (job_.readCurrent) {
    // A stop before the current values are complete hands nothing over.
    if (s == Step::Stop) StopExit();
    else FinishCurrent(std::span<const std::uint8_t, 1024>(header.data(), 1024));
    return;
  }
  if (s == Step::Ok) {
    ProgressPos(0);
    s = readArchives();
  }
  StatData data{result_.type, area, header};
  if (s == Step::Error) KeepFetched(data);
  // A stop that keeps nothing (the LDN-08's hourly "last" read) has ended the run already.
  if (s == Step::Error || result_.outcome == ReadOutcome::Stopped) return;
  if (s == Step::Stop) NoteStopped();
  FinishStatistics(std::move(data));
}

TReadThread::Step TReadThread::ReadVtk0814AllEvents() {
  auto read = [this](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32(ShortAddress(), a, 64, out);
  };
  Status("Чтение событий");
  Progress(0, 87);
  return ReadRecords(ForwardAddresses(kVtk0814EventsFirst, 64, kVtk0814EventsAll), 64, area0814_,
                     "Ошибка чтения событий", read, ShownFrom(1));
}

TReadThread::Step TReadThread::ReadVtk0814Archives() {
  auto read = [this](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32(ShortAddress(), a, 64, out);
  };
  Step s = Step::Ok;
  if (job_.readAll) {
    Progress(0, 2047);
    Status("Чтение всей статистики");
    if (job_.wantHourly && s == Step::Ok) {
      Progress(0, 1439);
      Status("Чтение часовых записей");
      s = ReadRecords(ForwardAddresses(kVtk0814Hourly.first, 64, kVtk0814Hourly.count), 64, area0814_, "Ошибка чтения",
                      read, ShownFrom(0));
    }
    if (job_.wantDaily && s == Step::Ok) {
      Progress(0, 399);
      Status("Чтение суточных записей");
      s = ReadRecords(ForwardAddresses(kVtk0814Daily.first, 64, kVtk0814Daily.count), 64, area0814_, "Ошибка чтения",
                      read, ShownFrom(0));
    }
    if (job_.wantMonthly && s == Step::Ok) {
      Progress(0, 119);
      Status("Чтение записей за месяц");
      s = ReadRecords(ForwardAddresses(kVtk0814Monthly.first, 64, kVtk0814Monthly.count), 64, area0814_,
                      "Ошибка чтения", read, ShownFrom(0));
    }
    if (job_.wantEvents && s == Step::Ok) s = ReadVtk0814AllEvents();
    return s;
  }
  if (!job_.readLast) return s;
  auto pointer = [this](std::size_t at) {
    return static_cast<std::uint32_t>(DeviceUInt(std::span<const std::uint8_t>(vtkHeader_).subspan(at, 3)));
  };
  if (job_.wantHourly && s == Step::Ok)
    s = ReadLastRecords(ArchiveKind::Hourly, kVtk0814Hourly, pointer(969), 64, area0814_, read);
  if (job_.wantDaily && s == Step::Ok)
    s = ReadLastRecords(ArchiveKind::Daily, kVtk0814Daily, pointer(973), 64, area0814_, read);
  if (job_.wantMonthly && s == Step::Ok)
    s = ReadLastRecords(ArchiveKind::Monthly, kVtk0814Monthly, pointer(977), 64, area0814_, read);
  if (job_.wantEvents && s == Step::Ok) {
    Status("Чтение событий");
    Progress(0, 348);
    auto byFour = [this](int n) {
      ProgressPos(4 * (n + 1));
      Detail(std::to_string(n + 1));
    };
    s = ReadRecords(ForwardAddresses(kVtk0814EventsFirst, 64, kVtk0814EventsLast), 64, area0814_,
                    "Ошибка чтения событий", read, byFour);
  }
  return s;
}

}  // namespace statvtk
