// The new-records read of VTK-08.14 and LDN-08: the header, configuration and
// current values as a full read takes them; of each archive only the records
// after the base file's pointer up to the instrument's, after the base's
// newest record has been read again and found unchanged; the events as a full
// read takes them. Whatever cannot be trusted is read in full, with the reason
// in the log, so the file equals what a full read would write. An explicit
// record set is laid into the base's image the same way.
#include <algorithm>

#include "base/program_home.hpp"
#include "reading/instrument_read.hpp"
#include "reading/read_text.hpp"
#include "stats/stat_file.hpp"

namespace statvtk {

std::optional<StatData> InstrumentReader::LoadBase(const StatisticsPlan& plan) {
  std::filesystem::path path = plan.basePath;
  if (path.empty()) {
    const auto folder = DataFolder(ctx_.home);
    const auto newest = NewestBaseFile(folder, DownloadSerialText(inst_.type, header_), inst_.type);
    if (!newest) {
      ctx_.Log("Новые записи: в " + folder.string() + " нет прежнего файла этого прибора, читается вся статистика.");
      return std::nullopt;
    }
    path = *newest;
  }
  statvtk::Result<StatData> loaded = LoadStatFile(path, ExtensionRule::LowerCase);
  if (!loaded) {
    const bool other = loaded.error().code == ErrorCode::NotStatFile;
    ctx_.Log("Новые записи: файл-основа " + path.string() + " не подходит (" +
             (other ? std::string("не файл статистики") : loaded.error().reason) + "), читается вся статистика.");
    return std::nullopt;
  }
  if (const std::string why = BaseMismatch(*loaded, inst_.type, header_); !why.empty()) {
    ctx_.Log("Новые записи: файл-основа " + path.string() + " не подходит (" + why + "), читается вся статистика.");
    return std::nullopt;
  }
  ctx_.Log("Новые записи: основа " + path.string());
  return std::move(*loaded);
}

Step InstrumentReader::ReadAreaFull(const AreaMap& a) {
  ctx_.Progress(static_cast<int>(a.area.count) - 1);
  ctx_.Status(a.status);
  std::vector<std::uint32_t> addresses(a.area.count);
  for (std::uint32_t i = 0; i < a.area.count; ++i) addresses[i] = a.area.first + i * a.area.recordSize;
  return Records(addresses, a.area.recordSize, a.error, ShownFrom(0));
}

namespace {
bool KindChosen(ArchiveKind k, const RecordKinds& kinds) {
  return k == ArchiveKind::Hourly ? kinds.hourly : k == ArchiveKind::Daily ? kinds.daily : kinds.monthly;
}
}  // namespace

Step InstrumentReader::ReadNew(const StatisticsPlan& plan) {
  Stage(map_.newStage, plan);
  const std::optional<StatData> base = LoadBase(plan);
  const ArchivePointers now = PointersOf(inst_.type, header_);
  const std::optional<std::int64_t> clock = HeaderClock(inst_.type, header_);
  Step s = Step::Ok;
  for (const AreaMap& a : map_.areas) {
    if (s != Step::Ok) break;
    if (map_.newByKinds && !KindChosen(a.kind, plan.kinds)) continue;
    if (!base) {
      s = ReadAreaFull(a);
      continue;
    }
    const ArchivePointers was = PointersOf(inst_.type, base->header);
    ArchivePlan ap = PlanArchive(a.area, was.*a.pointer, now.*a.pointer, base->area,
                                 HeaderClock(inst_.type, base->header), clock, a.periodS);
    if (!ap.full) {
      // The base's newest record must still be what the instrument holds there.
      std::vector<std::uint8_t> overlap(a.area.recordSize);
      ctx_.Status(a.status);
      s = Block(map_.archiveOp, ap.overlap, static_cast<std::uint8_t>(a.area.recordSize), std::span(overlap), a.error);
      if (s != Step::Ok) break;
      if (!std::equal(overlap.begin(), overlap.end(), base->area.begin() + ap.overlap)) {
        ap.full = true;
        ap.reason = "последняя запись файла-основы в приборе другая";
      }
    }
    if (ap.full) {
      ctx_.Log(std::string("Новые записи: ") + a.name + " читаются полностью: " + ap.reason + ".");
      s = ReadAreaFull(a);
      continue;
    }
    std::copy(base->area.begin() + a.area.first, base->area.begin() + a.area.End(), area_.begin() + a.area.first);
    ctx_.Log(std::string("Новые записи: ") + a.name + ": " + std::to_string(ap.records.size()) + " нов.");
    ctx_.Progress(static_cast<int>(ap.records.size()));
    s = Records(ap.records, a.area.recordSize, a.error, ShownFrom(1));
  }
  for (const RecordRun& run : map_.newEvents)
    if (s == Step::Ok && Chosen(run, plan.kinds)) s = Run(run, plan);
  return s;
}

Step InstrumentReader::ReadRecordSet(const StatisticsPlan& plan) {
  const RecordSet set = plan.records ? plan.records(inst_.type, header_) : RecordSet{};
  if (const std::optional<StatData> base = LoadBase(plan)) {
    std::copy(base->area.begin(), base->area.end(), area_.begin());
  }
  std::size_t total = set.hourly.size() + set.daily.size() + set.monthly.size();
  ctx_.Status("Чтение записей");
  ctx_.Progress(static_cast<int>(total));
  int done = 0;
  Step s = Step::Ok;
  for (const AreaMap& a : map_.areas) {
    std::vector<std::uint32_t> inArea;
    for (std::uint32_t address : set.Of(a.kind)) {
      // Only whole records of the area; anything else is no record of it.
      if (address >= a.area.first && address < a.area.End() && (address - a.area.first) % a.area.recordSize == 0)
        inArea.push_back(address);
    }
    if (s != Step::Ok || inArea.empty()) continue;
    s = Records(inArea, a.area.recordSize, a.error, [this, &done](int) {
      ++done;
      ctx_.Pos(done);
      ctx_.Detail(std::to_string(done));
    });
  }
  for (const RecordRun& run : map_.newEvents)
    if (s == Step::Ok && Chosen(run, plan.kinds)) s = Run(run, plan);
  return s;
}

}  // namespace statvtk
