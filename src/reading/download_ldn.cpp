// The LDN-08 device path. Every read uses the long frame form with the 32-bit
// address (the M-Bus address, or the network address outside M-Bus mode).
#include "base/device_values.hpp"
#include "reading/read_maps.hpp"
#include "reading/read_records.hpp"
#include "reading/read_thread.hpp"

namespace statvtk {

void TReadThread::RunLdn08() {
  BeginRead("Чтение данных (LDN-08)");
  std::fill(areaLdn_.begin(), areaLdn_.end(), 0);
  std::fill(ldnHeader_.begin(), ldnHeader_.end(), 0);
  Status("Чтение конфигурации");
  Progress(0, 7);
  Detail("");

  const std::uint32_t addr = LongAddress();
  Step s = Step::Ok;
  for (int k = 0; k < 8 && s == Step::Ok; ++k) {
    const auto offset = static_cast<std::uint16_t>(k * 32);
    s = AfterBlock(link_.ReadBlock16Long(addr, offset, 32, std::span(ldnHeader_).subspan(offset, 32)),
                   "Ошибка чтения конфигурации");
    if (s == Step::Ok) {
      ProgressPos(k);
      Detail(std::to_string(offset));
    }
  }
  if (s == Step::Error) return;
  if (s == Step::Ok) {
    // The RAM blocks are read without a stop test.
    for (int m = 0; m < 2; ++m) {
      const auto offset = static_cast<std::uint16_t>(m * 32);
      bool ok = link_.ReadParams16Long(addr, offset, 32, std::span(ldnHeader_).subspan(512 + offset, 32));
      if (!ok && !StopNow()) {
        ErrorExit("Ошибка чтения оперативной памяти");
        return;
      }
    }
    if (StopNow()) s = Step::Stop;
  }
  FinishArchiveModel(s, areaLdn_, ldnHeader_, [this] { return job_.readNew ? ReadLdnNew() : ReadLdnArchives(); });
}

TReadThread::Step TReadThread::ReadLdnArchives() {
  const std::uint32_t addr = LongAddress();
  auto read68 = [this, addr](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32Long(addr, a, 68, out);
  };
  auto read64 = [this, addr](std::uint32_t a, std::span<std::uint8_t> out) {
    return link_.ReadArchive32Long(addr, a, 64, out);
  };
  Step s = Step::Ok;
  if (job_.readAll) {
    // The whole archive memory, whatever kinds were chosen.
    Progress(0, 1841);
    Status("Чтение всей статистики");
    const std::string err = "Ошибка чтения памяти архива";
    s = ReadRecords(ForwardAddresses(kLdnHourly.first, 68, kLdnHourly.count), 68, areaLdn_, err, read68, ShownFrom(0));
    if (s == Step::Ok)
      s = ReadRecords(ForwardAddresses(kLdnDaily.first, 68, kLdnDaily.count), 68, areaLdn_, err, read68,
                      ShownFrom(1440));
    if (s == Step::Ok)
      s = ReadRecords(ForwardAddresses(kLdnMonthly.first, 68, kLdnMonthly.count), 68, areaLdn_, err, read68,
                      ShownFrom(1805));
    if (s == Step::Ok)
      s = ReadRecords(ForwardAddresses(kLdnEvents.first, 64, kLdnEvents.count), 64, areaLdn_, err, read64,
                      ShownFrom(1805));
    return s;
  }
  if (!job_.readLast) return s;
  auto pointer = [this](std::size_t at) {
    return LittleUInt32(std::span<const std::uint8_t>(ldnHeader_).subspan(at, 4));
  };
  if (job_.wantHourly) {
    s = ReadLastRecords(ArchiveKind::Hourly, kLdnHourly, pointer(192), 68, areaLdn_, read68);
    if (s == Step::Stop) {
      // A stop in the hourly "last" read keeps nothing.
      StopExit();
      return s;
    }
  }
  if (job_.wantDaily && s == Step::Ok)
    s = ReadLastRecords(ArchiveKind::Daily, kLdnDaily, pointer(196), 68, areaLdn_, read68);
  if (job_.wantMonthly && s == Step::Ok)
    s = ReadLastRecords(ArchiveKind::Monthly, kLdnMonthly, pointer(200), 68, areaLdn_, read68);
  if (job_.wantEvents && s == Step::Ok) {
    Status("Чтение событий");
    Progress(0, 127);
    s = ReadRecords(ForwardAddresses(kLdnEvents.first, 64, kLdnEvents.count), 64, areaLdn_, "Ошибка чтения событий",
                    read64, ShownFrom(1));
  }
  return s;
}

}  // namespace statvtk
