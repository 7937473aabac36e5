// The new-records read of VTK-08.14 and LDN-08: the header, configuration and
// current values as a full read takes them; of each archive only the records
// after the base file's pointer up to the instrument's, after the base's
// newest record has been read again and found unchanged; the events as a full
// read takes them. Whatever cannot be trusted is read in full, with the reason
// in the log, so the file equals what a full read would write. An explicit
// record set is laid into the base's image the same way.
#include <algorithm>

#include "reading/instrument_read.hpp"
#include "reading/read_text.hpp"
#include "stats/stat_file.hpp"

namespace statvtk {

std::optional<StatData> InstrumentReader::BaseFromFile(const std::filesystem::path& path) {
  statvtk::Result<StatData> loaded = LoadStatFile(path, ExtensionRule::LowerCase);
  if (!loaded) {
    event::NewRecords n = Notice(NewNote::Unfit, path);
    n.unfit = loaded.error().code == ErrorCode::NotStatFile ? BaseUnfit::NotStatFile : BaseUnfit::Unreadable;
    n.error = std::move(loaded.error());
    Note(std::move(n));
    return std::nullopt;
  }
  return std::move(*loaded);
}

std::optional<StatData> InstrumentReader::LoadBase(const StatisticsPlan& plan) {
  std::filesystem::path path;
  std::optional<StatData> base;
  if (const auto* newest = std::get_if<NewestIn>(&plan.base)) {
    const auto found = newest->folder.empty()
                           ? std::nullopt
                           : NewestBaseFile(newest->folder, DownloadSerialText(inst_.type, header_), inst_.type);
    if (!found) {
      Note(Notice(NewNote::NoBase, newest->folder));
      return std::nullopt;
    }
    path = *found;
  } else if (const auto* file = std::get_if<std::filesystem::path>(&plan.base)) {
    path = *file;
  } else {
    base = std::get<StatData>(plan.base);
  }
  if (!base && !(base = BaseFromFile(path))) return std::nullopt;
  if (const std::optional<BaseMismatch> why = MismatchOf(*base, inst_.type, header_)) {
    event::NewRecords n = Notice(NewNote::Unfit, path);
    n.unfit = why->unfit;
    n.baseSerial = why->baseSerial;
    n.serial = why->serial;
    Note(std::move(n));
    return std::nullopt;
  }
  Note(Notice(NewNote::Base, path));
  return base;
}

Step InstrumentReader::ReadAreaFull(const AreaMap& a) {
  ctx_.Progress(static_cast<int>(a.area.count) - 1);
  ctx_.Show(a.stage);
  std::vector<std::uint32_t> addresses(a.area.count);
  for (std::uint32_t i = 0; i < a.area.count; ++i) addresses[i] = a.area.first + i * a.area.recordSize;
  return Records(addresses, a.area.recordSize, a.error, ShownFrom(0), &records_.Of(a.kind));
}

namespace {
bool KindChosen(ArchiveKind k, const RecordKinds& kinds) {
  return k == ArchiveKind::Hourly ? kinds.hourly : k == ArchiveKind::Daily ? kinds.daily : kinds.monthly;
}
}  // namespace

Step InstrumentReader::ReadNew(const StatisticsPlan& plan) {
  Show(map_.newStage, plan);
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
    ArchivePlan ap =
        PlanArchive(a.area, was.*a.pointer, now.*a.pointer, base->area, HeaderClock(inst_.type, base->header), clock,
                    a.periodS, plan.baseKnown[static_cast<std::size_t>(a.kind)]);
    if (!ap.full) {
      // The base's newest record must still be what the instrument holds there.
      std::vector<std::uint8_t> overlap(a.area.recordSize);
      ctx_.Show(a.stage);
      s = Block(map_.archiveOp, ap.overlap, static_cast<std::uint8_t>(a.area.recordSize), std::span(overlap), a.error);
      if (s != Step::Ok) break;
      if (!std::equal(overlap.begin(), overlap.end(), base->area.begin() + ap.overlap)) {
        ap.full = true;
        ap.reason = FullReason::OverlapDiffers;
      }
    }
    if (ap.full) {
      event::NewRecords n = Notice(NewNote::Full);
      n.archive = a.kind;
      n.reason = ap.reason;
      Note(std::move(n));
      s = ReadAreaFull(a);
      continue;
    }
    std::copy(base->area.begin() + a.area.first, base->area.begin() + a.area.End(), area_.begin() + a.area.first);
    event::NewRecords n = Notice(NewNote::Fresh);
    n.archive = a.kind;
    n.count = ap.records.size();
    Note(std::move(n));
    ctx_.Progress(static_cast<int>(ap.records.size()));
    s = Records(ap.records, a.area.recordSize, a.error, ShownFrom(1), &records_.Of(a.kind));
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
  ctx_.Show(Stage::Records);
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
    s = Records(
        inArea, a.area.recordSize, a.error,
        [this, &done](int) {
          ++done;
          ctx_.Pos(done);
          ctx_.Detail(done);
        },
        &records_.Of(a.kind));
  }
  for (const RecordRun& run : map_.newEvents)
    if (s == Step::Ok && Chosen(run, plan.kinds)) s = Run(run, plan);
  return s;
}

}  // namespace statvtk
