#include "reading/model_maps.hpp"

namespace statvtk {

namespace {

using frame::Op;
constexpr std::int64_t kHour = 3600, kDay = 86400, kMonth = 31 * kDay;

// The RTC memory of the VTK models: eight 16-byte blocks at header 0.
HeaderStage RtcStage() {
  HeaderStage s{.stage = Stage::Rtc,
                .progressMax = 7,
                .stageFirst = false,
                .detail = DetailFirst::None,
                .op = Op::ReadBlock8,
                .error = FailedAt::Rtc,
                .stopTest = true,
                .blocks = {}};
  for (int i = 0; i < 8; ++i)
    s.blocks.push_back({static_cast<std::uint32_t>(i * 16), 16, static_cast<std::uint32_t>(i * 16), i});
  return s;
}

HeaderStage VtkConfigStage(int blockSize, std::initializer_list<int> blocks, DetailFirst detail) {
  HeaderStage s{.stage = Stage::Config,
                .progressMax = 32,
                .stageFirst = true,
                .detail = detail,
                .op = Op::ReadBlock16,
                .error = FailedAt::Config,
                .stopTest = true,
                .blocks = {}};
  for (int k : blocks) {
    const auto offset = static_cast<std::uint32_t>(k * blockSize);
    s.blocks.push_back({offset, static_cast<std::uint8_t>(blockSize), 512 + offset, k});
  }
  return s;
}

// The RAM blocks of a model, without a stage text of their own.
HeaderStage RamStage(Op op, std::vector<HeaderBlock> blocks, bool stopTest) {
  return {.stage = std::nullopt,
          .progressMax = -1,
          .stageFirst = false,
          .detail = DetailFirst::None,
          .op = op,
          .error = FailedAt::Ram,
          .stopTest = stopTest,
          .blocks = std::move(blocks)};
}

// A run of records forwards through an area.
RecordRun Forward(ArchiveKind kind, bool events, bool byKind, StageText stage, ArchiveArea area, FailedAt error,
                  Shown shown, int from) {
  return {.kind = kind,
          .events = events,
          .byKind = byKind,
          .stage = stage,
          .walk = Walk::Forward,
          .area = area,
          .count = 0,
          .error = error,
          .shown = shown,
          .from = from};
}

// The newest `count` records of an archive, walking back from its pointer.
RecordRun Backward(ArchiveKind kind, StageText stage, ArchiveArea area, int count, FailedAt error) {
  return {.kind = kind,
          .events = false,
          .byKind = true,
          .stage = stage,
          .walk = Walk::Backward,
          .area = area,
          .count = count,
          .error = error,
          .shown = Shown::From,
          .from = 1};
}

// The three "last N" walks of a model: hours and days as the plan asks, 13 months.
std::vector<RecordRun> LastWalks(ArchiveArea hourly, ArchiveArea daily, ArchiveArea monthly) {
  return {
      Backward(ArchiveKind::Hourly, {Stage::Hourly, kLastHoursCount, true}, hourly, kLastHoursCount,
               FailedAt::HourlyLast),
      Backward(ArchiveKind::Daily, {Stage::Daily, kLastDaysCount, true}, daily, kLastDaysCount, FailedAt::DailyLast),
      Backward(ArchiveKind::Monthly, {Stage::Monthly, 11, true}, monthly, 13, FailedAt::Archive)};
}

// The archives as a new-records read sees them.
std::vector<AreaMap> Areas(ArchiveArea hourly, ArchiveArea daily, ArchiveArea monthly, FailedAt error) {
  return {{ArchiveKind::Hourly, hourly, &ArchivePointers::hourly, kHour, Stage::Hourly, error},
          {ArchiveKind::Daily, daily, &ArchivePointers::daily, kDay, Stage::Daily, error},
          {ArchiveKind::Monthly, monthly, &ArchivePointers::monthly, kMonth, Stage::Monthly, error}};
}

ModelMap Vtk0812() {
  ModelMap m{};
  m.type = DeviceType::dtVTK0812;
  std::initializer_list<int> all32 = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                      16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  m.header = {RtcStage(), RamStage(Op::ReadParams16, {{180, 4, 436, -1}}, true),
              VtkConfigStage(16, all32, DetailFirst::Zero)};
  m.archiveOp = Op::ReadArchive16;
  m.allStage = {Stage::Statistics, 4095, false};
  m.all = {Forward(ArchiveKind::Hourly, false, false, {}, {0, 16, 4096}, FailedAt::DataEeprom, Shown::Every64, 0)};
  m.wholeMemory = true;
  m.headerSize = kVtkHeaderSize;
  m.areaSize = kArea0812Size;
  return m;
}

ModelMap Vtk0814(DeviceType type) {
  ModelMap m{};
  m.type = type;
  m.header = {RtcStage(), RamStage(Op::ReadParams16, {{180, 4, 180, -1}, {264, 8, 264, -1}}, true),
              VtkConfigStage(32, {0, 1, 8, 10, 11, 12, 13, 14, 15}, DetailFirst::Clear)};
  m.archiveOp = Op::ReadArchive32;
  const ArchiveArea allEvents{kVtk0814EventsFirst, kVtk0814EventBlock, kVtk0814EventsAll};
  const ArchiveArea lastEvents{kVtk0814EventsFirst, kVtk0814EventBlock, kVtk0814EventsLast};
  const RecordRun eventsAll =
      Forward(ArchiveKind::Hourly, true, true, {Stage::Events, 87, true}, allEvents, FailedAt::Events, Shown::From, 1);
  m.allStage = {Stage::AllStatistics, 2047, false};
  m.all = {Forward(ArchiveKind::Hourly, false, true, {Stage::Hourly, 1439, false}, kVtk0814Hourly, FailedAt::Archive,
                   Shown::From, 0),
           Forward(ArchiveKind::Daily, false, true, {Stage::Daily, 399, false}, kVtk0814Daily, FailedAt::Archive,
                   Shown::From, 0),
           Forward(ArchiveKind::Monthly, false, true, {Stage::Monthly, 119, false}, kVtk0814Monthly, FailedAt::Archive,
                   Shown::From, 0),
           eventsAll};
  m.last = LastWalks(kVtk0814Hourly, kVtk0814Daily, kVtk0814Monthly);
  m.last.push_back(Forward(ArchiveKind::Hourly, true, true, {Stage::Events, 348, true}, lastEvents, FailedAt::Events,
                           Shown::ByFour, 0));
  m.newStage = {Stage::NewRecords, 2047, false};
  m.areas = Areas(kVtk0814Hourly, kVtk0814Daily, kVtk0814Monthly, FailedAt::Archive);
  m.newByKinds = true;
  m.newEvents = {eventsAll};
  m.headerSize = kVtkHeaderSize;
  m.areaSize = kArea0814Size;
  return m;
}

ModelMap Ldn08() {
  ModelMap m{};
  m.type = DeviceType::dtLDN08;
  HeaderStage config{.stage = Stage::Config,
                     .progressMax = 7,
                     .stageFirst = true,
                     .detail = DetailFirst::Clear,
                     .op = Op::ReadBlock16Long,
                     .error = FailedAt::Config,
                     .stopTest = true,
                     .blocks = {}};
  for (int k = 0; k < 8; ++k)
    config.blocks.push_back({static_cast<std::uint32_t>(k * 32), 32, static_cast<std::uint32_t>(k * 32), k});
  // The RAM blocks are read without a stop test between them.
  m.header = {config, RamStage(Op::ReadParams16Long, {{0, 32, 512, -1}, {32, 32, 544, -1}}, false)};
  m.archiveOp = Op::ReadArchive32Long;
  const FailedAt memory = FailedAt::ArchiveMemory;
  // The whole archive memory, whatever kinds were chosen.
  m.allStage = {Stage::AllStatistics, 1841, false};
  m.all = {Forward(ArchiveKind::Hourly, false, false, {}, kLdnHourly, memory, Shown::From, 0),
           Forward(ArchiveKind::Daily, false, false, {}, kLdnDaily, memory, Shown::From, 1440),
           Forward(ArchiveKind::Monthly, false, false, {}, kLdnMonthly, memory, Shown::From, 1805),
           Forward(ArchiveKind::Hourly, true, false, {}, kLdnEvents, memory, Shown::From, 1805)};
  m.last = LastWalks(kLdnHourly, kLdnDaily, kLdnMonthly);
  m.last.push_back(Forward(ArchiveKind::Hourly, true, true, {Stage::Events, 127, true}, kLdnEvents, FailedAt::Events,
                           Shown::From, 1));
  m.newStage = {Stage::NewRecords, 1841, false};
  m.areas = Areas(kLdnHourly, kLdnDaily, kLdnMonthly, memory);
  m.newByKinds = false;
  m.newEvents = {
      Forward(ArchiveKind::Hourly, true, false, {Stage::Events, 127, true}, kLdnEvents, memory, Shown::From, 1)};
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
