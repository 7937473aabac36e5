#include "reading/model_maps.hpp"

namespace statvtk {

namespace {

using frame::Op;
constexpr std::int64_t kHour = 3600, kDay = 86400, kMonth = 31 * kDay;

// Blocks k of `size` bytes at offset k*size, into the header at `at` + k*size,
// each with position k.
std::vector<HeaderBlock> Numbered(std::initializer_list<int> ks, int size, std::uint32_t at) {
  std::vector<HeaderBlock> v;
  for (int k : ks) {
    const auto offset = static_cast<std::uint32_t>(k * size);
    v.push_back({offset, static_cast<std::uint8_t>(size), at + offset, k});
  }
  return v;
}

HeaderStage Header(std::optional<Stage> stage, int progressMax, bool stageFirst, DetailFirst detail, Op op,
                   FailedAt error, std::vector<HeaderBlock> blocks, bool stopTest = true) {
  return {.stage = stage,
          .progressMax = progressMax,
          .stageFirst = stageFirst,
          .detail = detail,
          .op = op,
          .error = error,
          .stopTest = stopTest,
          .blocks = std::move(blocks)};
}

// The RTC memory of the VTK models: eight 16-byte blocks at header 0.
HeaderStage RtcStage() {
  return Header(Stage::Rtc, 7, false, DetailFirst::None, Op::ReadBlock8, FailedAt::Rtc,
                Numbered({0, 1, 2, 3, 4, 5, 6, 7}, 16, 0));
}

// The RAM blocks of a model, without a stage text of their own.
HeaderStage RamStage(Op op, std::vector<HeaderBlock> blocks, bool stopTest) {
  return Header(std::nullopt, -1, false, DetailFirst::None, op, FailedAt::Ram, std::move(blocks), stopTest);
}

RecordRun Records(ArchiveKind kind, bool events, bool byKind, StageText stage, Walk walk, ArchiveArea area, int count,
                  FailedAt error, Shown shown, int from) {
  return {.kind = kind,
          .events = events,
          .byKind = byKind,
          .stage = stage,
          .walk = walk,
          .area = area,
          .count = count,
          .error = error,
          .shown = shown,
          .from = from};
}

// A run of records forwards through an area.
RecordRun Forward(ArchiveKind kind, bool events, bool byKind, StageText stage, ArchiveArea area, FailedAt error,
                  Shown shown, int from) {
  return Records(kind, events, byKind, stage, Walk::Forward, area, 0, error, shown, from);
}

// The newest `count` records of an archive, walking back from its pointer.
RecordRun Backward(ArchiveKind kind, StageText stage, ArchiveArea area, int count, FailedAt error) {
  return Records(kind, false, true, stage, Walk::Backward, area, count, error, Shown::From, 1);
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
  m.header = {
      RtcStage(), RamStage(Op::ReadParams16, {{180, 4, 436, -1}}, true),
      Header(Stage::Config, 32, true, DetailFirst::Zero, Op::ReadBlock16, FailedAt::Config, Numbered(all32, 16, 512))};
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
              Header(Stage::Config, 32, true, DetailFirst::Clear, Op::ReadBlock16, FailedAt::Config,
                     Numbered({0, 1, 8, 10, 11, 12, 13, 14, 15}, 32, 512))};
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
  const HeaderStage config = Header(Stage::Config, 7, true, DetailFirst::Clear, Op::ReadBlock16Long, FailedAt::Config,
                                    Numbered({0, 1, 2, 3, 4, 5, 6, 7}, 32, 0));
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
