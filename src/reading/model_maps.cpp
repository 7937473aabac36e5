#include "reading/model_maps.hpp"

namespace statvtk {

namespace {

using frame::Op;
constexpr std::int64_t kHour = 3600, kDay = 86400, kMonth = 31 * kDay;

// The RTC memory of the VTK models: eight 16-byte blocks at header 0.
HeaderStage RtcStage() {
  HeaderStage s{"Чтение памяти RTC", 7, false, nullptr, Op::ReadBlock8, "Ошибка чтения RTC", true, {}};
  for (int i = 0; i < 8; ++i)
    s.blocks.push_back({static_cast<std::uint32_t>(i * 16), 16, static_cast<std::uint32_t>(i * 16), i});
  return s;
}

HeaderStage VtkConfigStage(int blockSize, std::initializer_list<int> blocks, const char* detail) {
  HeaderStage s{"Чтение конфигурации", 32, true, detail, Op::ReadBlock16, "Ошибка чтения конфигурации", true, {}};
  for (int k : blocks) {
    const auto offset = static_cast<std::uint32_t>(k * blockSize);
    s.blocks.push_back({offset, static_cast<std::uint8_t>(blockSize), 512 + offset, k});
  }
  return s;
}

ModelMap Vtk0812() {
  ModelMap m{};
  m.type = DeviceType::dtVTK0812;
  m.title = "Чтение данных (VTK-0812)";
  std::initializer_list<int> all32 = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                      16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  m.header = {
      RtcStage(),
      {nullptr, -1, false, nullptr, Op::ReadParams16, "Ошибка чтения оперативной памяти", true, {{180, 4, 436, -1}}},
      VtkConfigStage(16, all32, "0")};
  m.archiveOp = Op::ReadArchive16;
  m.allStage = {"Чтение статистики", 4095, false};
  m.all = {{ArchiveKind::Hourly,
            false,
            false,
            {},
            Walk::Forward,
            {0, 16, 4096},
            0,
            "Ошибка чтения Data EEPROM",
            Shown::Every64,
            0}};
  m.wholeMemory = true;
  m.headerSize = kVtkHeaderSize;
  m.areaSize = kArea0812Size;
  return m;
}

ModelMap Vtk0814(DeviceType type) {
  ModelMap m{};
  m.type = type;
  m.title = "Чтение данных (VTK-0814С)";
  m.header = {RtcStage(),
              {nullptr,
               -1,
               false,
               nullptr,
               Op::ReadParams16,
               "Ошибка чтения оперативной памяти",
               true,
               {{180, 4, 180, -1}, {264, 8, 264, -1}}},
              VtkConfigStage(32, {0, 1, 8, 10, 11, 12, 13, 14, 15}, "")};
  m.archiveOp = Op::ReadArchive32;
  const ArchiveArea allEvents{kVtk0814EventsFirst, kVtk0814EventBlock, kVtk0814EventsAll};
  const ArchiveArea lastEvents{kVtk0814EventsFirst, kVtk0814EventBlock, kVtk0814EventsLast};
  const RecordRun eventsAll{ArchiveKind::Hourly, true,      true, {"Чтение событий", 87, true},
                            Walk::Forward,       allEvents, 0,    "Ошибка чтения событий",
                            Shown::From,         1};
  m.allStage = {"Чтение всей статистики", 2047, false};
  m.all = {{ArchiveKind::Hourly,
            false,
            true,
            {"Чтение часовых записей", 1439, false},
            Walk::Forward,
            kVtk0814Hourly,
            0,
            "Ошибка чтения",
            Shown::From,
            0},
           {ArchiveKind::Daily,
            false,
            true,
            {"Чтение суточных записей", 399, false},
            Walk::Forward,
            kVtk0814Daily,
            0,
            "Ошибка чтения",
            Shown::From,
            0},
           {ArchiveKind::Monthly,
            false,
            true,
            {"Чтение записей за месяц", 119, false},
            Walk::Forward,
            kVtk0814Monthly,
            0,
            "Ошибка чтения",
            Shown::From,
            0},
           eventsAll};
  m.last = {{ArchiveKind::Hourly,
             false,
             true,
             {"Чтение часовых записей", kLastHoursCount, true},
             Walk::Backward,
             kVtk0814Hourly,
             kLastHoursCount,
             "Ошибка чтения часовых записей",
             Shown::From,
             1},
            {ArchiveKind::Daily,
             false,
             true,
             {"Чтение суточных записей", kLastDaysCount, true},
             Walk::Backward,
             kVtk0814Daily,
             kLastDaysCount,
             "Ошибка чтения суточных записей",
             Shown::From,
             1},
            {ArchiveKind::Monthly,
             false,
             true,
             {"Чтение записей за месяц", 11, true},
             Walk::Backward,
             kVtk0814Monthly,
             13,
             "Ошибка чтения",
             Shown::From,
             1},
            {ArchiveKind::Hourly,
             true,
             true,
             {"Чтение событий", 348, true},
             Walk::Forward,
             lastEvents,
             0,
             "Ошибка чтения событий",
             Shown::ByFour,
             0}};
  m.newStage = {"Чтение новых записей", 2047, false};
  m.areas = {{ArchiveKind::Hourly, kVtk0814Hourly, &ArchivePointers::hourly, kHour, "Чтение часовых записей",
              "часовые записи", "Ошибка чтения"},
             {ArchiveKind::Daily, kVtk0814Daily, &ArchivePointers::daily, kDay, "Чтение суточных записей",
              "суточные записи", "Ошибка чтения"},
             {ArchiveKind::Monthly, kVtk0814Monthly, &ArchivePointers::monthly, kMonth, "Чтение записей за месяц",
              "месячные записи", "Ошибка чтения"}};
  m.newByKinds = true;
  m.newEvents = {eventsAll};
  m.headerSize = kVtkHeaderSize;
  m.areaSize = kArea0814Size;
  return m;
}

ModelMap Ldn08() {
  ModelMap m{};
  m.type = DeviceType::dtLDN08;
  m.title = "Чтение данных (LDN-08)";
  HeaderStage config{"Чтение конфигурации", 7, true, "", Op::ReadBlock16Long, "Ошибка чтения конфигурации", true, {}};
  for (int k = 0; k < 8; ++k)
    config.blocks.push_back({static_cast<std::uint32_t>(k * 32), 32, static_cast<std::uint32_t>(k * 32), k});
  // The RAM blocks are read without a stop test between them.
  m.header = {config,
              {nullptr,
               -1,
               false,
               nullptr,
               Op::ReadParams16Long,
               "Ошибка чтения оперативной памяти",
               false,
               {{0, 32, 512, -1}, {32, 32, 544, -1}}}};
  m.archiveOp = Op::ReadArchive32Long;
  const char* memory = "Ошибка чтения памяти архива";
  // The whole archive memory, whatever kinds were chosen.
  m.allStage = {"Чтение всей статистики", 1841, false};
  m.all = {{ArchiveKind::Hourly, false, false, {}, Walk::Forward, kLdnHourly, 0, memory, Shown::From, 0},
           {ArchiveKind::Daily, false, false, {}, Walk::Forward, kLdnDaily, 0, memory, Shown::From, 1440},
           {ArchiveKind::Monthly, false, false, {}, Walk::Forward, kLdnMonthly, 0, memory, Shown::From, 1805},
           {ArchiveKind::Hourly, true, false, {}, Walk::Forward, kLdnEvents, 0, memory, Shown::From, 1805}};
  m.last = {{ArchiveKind::Hourly,
             false,
             true,
             {"Чтение часовых записей", kLastHoursCount, true},
             Walk::Backward,
             kLdnHourly,
             kLastHoursCount,
             "Ошибка чтения часовых записей",
             Shown::From,
             1},
            {ArchiveKind::Daily,
             false,
             true,
             {"Чтение суточных записей", kLastDaysCount, true},
             Walk::Backward,
             kLdnDaily,
             kLastDaysCount,
             "Ошибка чтения суточных записей",
             Shown::From,
             1},
            {ArchiveKind::Monthly,
             false,
             true,
             {"Чтение записей за месяц", 11, true},
             Walk::Backward,
             kLdnMonthly,
             13,
             "Ошибка чтения",
             Shown::From,
             1},
            {ArchiveKind::Hourly,
             true,
             true,
             {"Чтение событий", 127, true},
             Walk::Forward,
             kLdnEvents,
             0,
             "Ошибка чтения событий",
             Shown::From,
             1}};
  m.newStage = {"Чтение новых записей", 1841, false};
  m.areas = {{ArchiveKind::Hourly, kLdnHourly, &ArchivePointers::hourly, kHour, "Чтение часовых записей",
              "часовые записи", memory},
             {ArchiveKind::Daily, kLdnDaily, &ArchivePointers::daily, kDay, "Чтение суточных записей",
              "суточные записи", memory},
             {ArchiveKind::Monthly, kLdnMonthly, &ArchivePointers::monthly, kMonth, "Чтение записей за месяц",
              "месячные записи", memory}};
  m.newByKinds = false;
  m.newEvents = {{ArchiveKind::Hourly,
                  true,
                  false,
                  {"Чтение событий", 127, true},
                  Walk::Forward,
                  kLdnEvents,
                  0,
                  memory,
                  Shown::From,
                  1}};
  m.hourlyLastStopKeepsNothing = true;
  m.headerSize = kLdnHeaderSize;
  m.areaSize = kAreaLdnSize;
  return m;
}

}  // namespace

const ModelMap& ModelMapOf(DeviceType type) {
  static const ModelMap k0812 = Vtk0812(), k0814C = Vtk0814(DeviceType::dtVTK0814C),
                        k0814CM = Vtk0814(DeviceType::dtVTK0814CM), kLdn = Ldn08();
  switch (type) {
    case DeviceType::dtVTK0812: return k0812;
    case DeviceType::dtVTK0814C: return k0814C;
    case DeviceType::dtVTK0814CM: return k0814CM;
    default: return kLdn;
  }
}

}  // namespace statvtk
