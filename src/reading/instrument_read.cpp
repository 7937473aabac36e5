#include "reading/instrument_read.hpp"

#include <algorithm>

namespace statvtk {

namespace {
std::vector<std::uint32_t> ForwardAddresses(const ArchiveArea& a) {
  std::vector<std::uint32_t> v(a.count);
  for (std::uint32_t i = 0; i < a.count; ++i) v[i] = a.first + i * a.recordSize;
  return v;
}
}  // namespace

InstrumentReader::InstrumentReader(LineSession& line, RunContext& ctx, const Instrument& inst)
    : line_(line),
      ctx_(ctx),
      inst_(inst),
      map_(ModelMapOf(inst.type)),
      header_(map_.headerSize),
      area_(map_.areaSize) {}

std::function<void(int)> InstrumentReader::ShownFrom(int first) {
  return [this, first](int n) {
    ctx_.Pos(first + n);
    ctx_.Detail(first + n);
  };
}

Step InstrumentReader::Block(frame::Op op, std::uint32_t offset, std::uint8_t size, std::span<std::uint8_t> out,
                             FailedAt error, bool stopTest) {
  const bool ok = line_.Link().Read(op, inst_.address, offset, size, out);
  if (stopTest && ctx_.StopNow()) return Step::Stop;
  if (ok || (!stopTest && ctx_.StopNow())) return Step::Ok;
  failure_ = BlockFailure{error, line_.Link().Cause()};
  return Step::Error;
}

Step InstrumentReader::ReadHeader() {
  for (const HeaderStage& s : map_.header) {
    if (s.stageFirst && s.stage) ctx_.Show(*s.stage);
    if (s.progressMax >= 0) ctx_.Progress(s.progressMax);
    if (!s.stageFirst && s.stage) ctx_.Show(*s.stage);
    if (s.detail != DetailFirst::None)
      ctx_.Detail(s.detail == DetailFirst::Zero ? std::optional<std::int64_t>(0) : std::nullopt);
    for (const HeaderBlock& b : s.blocks) {
      const Step r = Block(s.op, b.offset, b.size, std::span(header_).subspan(b.at, b.size), s.error, s.stopTest);
      if (r != Step::Ok) return r;
      if (b.pos >= 0) {
        ctx_.Pos(b.pos);
        ctx_.Detail(b.offset);
      }
    }
    if (!s.stopTest && ctx_.StopNow()) return Step::Stop;
  }
  return Step::Ok;
}

Step InstrumentReader::Records(const std::vector<std::uint32_t>& addresses, std::uint32_t size, FailedAt error,
                               const std::function<void(int)>& shown, std::vector<std::uint32_t>* fetched) {
  for (std::size_t n = 0; n < addresses.size(); ++n) {
    const std::uint32_t a = addresses[n];
    const Step s = Block(map_.archiveOp, a, static_cast<std::uint8_t>(size), std::span(area_).subspan(a, size), error);
    if (s != Step::Ok) return s;
    fetched_ = true;
    if (fetched) fetched->push_back(a);
    shown(static_cast<int>(n));
  }
  return Step::Ok;
}

void InstrumentReader::Show(const StageText& s, const StatisticsPlan& plan) {
  const int max = s.progressMax == kLastHoursCount  ? plan.lastHours
                  : s.progressMax == kLastDaysCount ? plan.lastDays
                                                    : s.progressMax;
  if (s.stageFirst && s.stage) ctx_.Show(*s.stage);
  if (s.progressMax != -1) ctx_.Progress(max);
  if (!s.stageFirst && s.stage) ctx_.Show(*s.stage);
}

std::vector<std::uint32_t>* InstrumentReader::Into(const RecordRun& run) {
  return run.events || map_.wholeMemory ? nullptr : &records_.Of(run.kind);
}

bool InstrumentReader::Chosen(const RecordRun& run, const RecordKinds& k) const {
  if (!run.byKind) return true;
  if (run.events) return k.events;
  return run.kind == ArchiveKind::Hourly ? k.hourly : run.kind == ArchiveKind::Daily ? k.daily : k.monthly;
}

Step InstrumentReader::Run(const RecordRun& run, const StatisticsPlan& plan) {
  Show(run.stage, plan);
  std::vector<std::uint32_t> addresses;
  if (run.walk == Walk::Forward) {
    addresses = ForwardAddresses(run.area);
  } else {
    const int asked = run.count == kLastHoursCount  ? plan.lastHours
                      : run.count == kLastDaysCount ? plan.lastDays
                                                    : run.count - 1;
    const ArchivePointers p = PointersOf(inst_.type, header_);
    const std::uint32_t pointer = run.kind == ArchiveKind::Hourly  ? p.hourly
                                  : run.kind == ArchiveKind::Daily ? p.daily
                                                                   : p.monthly;
    addresses = BackwardWalk(run.area, pointer, static_cast<std::size_t>(std::max(0, asked + 1)));
  }
  std::function<void(int)> shown;
  switch (run.shown) {
    case Shown::From: shown = ShownFrom(run.from); break;
    case Shown::Every64:
      shown = [this](int j) {
        if (j % 64 == 0) {
          ctx_.Pos(j);
          ctx_.Detail(j * 16);
        }
      };
      break;
    case Shown::ByFour:
      shown = [this](int n) {
        ctx_.Pos(4 * (n + 1));
        ctx_.Detail(n + 1);
      };
      break;
  }
  return Records(addresses, run.area.recordSize, run.error, shown, Into(run));
}

Step InstrumentReader::ReadArchives(const StatisticsPlan& plan, bool& stoppedKeepsNothing) {
  stoppedKeepsNothing = false;
  RecordRange range = plan.range;
  if (map_.wholeMemory) {
    // This model keeps no archive pointers: there is nothing to tell new records by.
    if (range == RecordRange::New || range == RecordRange::Records) Note(Notice(NewNote::NoPointers));
    range = RecordRange::All;
  }
  Step s = Step::Ok;
  switch (range) {
    case RecordRange::None: return Step::Ok;
    case RecordRange::New: return ReadNew(plan);
    case RecordRange::Records: return ReadRecordSet(plan);
    case RecordRange::All:
      Show(map_.allStage, plan);
      for (const RecordRun& run : map_.all)
        if (s == Step::Ok && Chosen(run, plan.kinds)) s = Run(run, plan);
      break;
    case RecordRange::Last:
      Show(map_.lastStage, plan);
      for (const RecordRun& run : map_.last) {
        if (s != Step::Ok || !Chosen(run, plan.kinds)) continue;
        s = Run(run, plan);
        if (s == Step::Stop && map_.hourlyLastStopKeepsNothing && !run.events && run.kind == ArchiveKind::Hourly)
          stoppedKeepsNothing = true;
      }
      break;
  }
  if (s == Step::Stop && map_.wholeMemory) stoppedKeepsNothing = true;
  return s;
}

}  // namespace statvtk
