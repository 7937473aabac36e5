#include "collect/run/store_product.hpp"

#include <algorithm>
#include <array>
#include <set>

#include "base/local_time.hpp"
#include "collect/image/archive_slots.hpp"
#include "stats/device_type.hpp"
#include "store/image_rows.hpp"
#include "store/periods.hpp"
#include "store/record_checks.hpp"

namespace statvtk::collect {

namespace {

using namespace store;

long long LocalSeconds(std::time_t t) {
  const std::tm tm = LocalTime(t);
  return CalendarSeconds(PeriodTimeOf(tm), tm.tm_min, tm.tm_sec);
}

bool TakesWholeMemory(DeviceType type) { return type == DeviceType::dtVTK0812; }

bool KindAsked(const InstrumentConfig& in, ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? in.kinds.hourly : kind == ArchiveKind::Daily ? in.kinds.daily : in.kinds.monthly;
}

std::uint32_t PointerOf(const ArchivePointers& p, ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? p.hourly : kind == ArchiveKind::Daily ? p.daily : p.monthly;
}

// The positions of each archive the read fetched, in order (a VTK-08.12's
// read takes the whole memory: every slot).
std::array<std::vector<std::uint32_t>, 3> FetchedPositions(const StatModel& model, const ReadResult& r) {
  std::array<std::vector<std::uint32_t>, 3> out;
  for (const ArchiveKind kind : kArchiveKinds) {
    auto& v = out[static_cast<std::size_t>(kind)];
    if (TakesWholeMemory(model.Type())) {
      const ArchiveSlots at = SlotsOf(model.Type(), kind);
      for (std::size_t i = 0; i < at.count; ++i) v.push_back(static_cast<std::uint32_t>(at.offset + i * at.size));
    } else {
      v = r.fetched.Of(kind);
    }
    std::sort(v.begin(), v.end());
  }
  return out;
}

std::vector<SlotRow> SlotsFetched(const StatModel& model, const std::array<std::vector<std::uint32_t>, 3>& fetched,
                                  std::int64_t readId) {
  std::vector<SlotRow> out;
  const auto& area = model.Data().area;
  for (const ArchiveKind kind : kArchiveKinds) {
    const ArchiveSlots at = SlotsOf(model.Type(), kind);
    for (const std::uint32_t pos : fetched[static_cast<std::size_t>(kind)]) {
      if (at.size == 0 || pos < at.offset || (pos - at.offset) % at.size != 0 || pos + at.size > area.size()) continue;
      const auto slot = static_cast<std::int64_t>((pos - at.offset) / at.size);
      if (static_cast<std::size_t>(slot) >= at.count) continue;
      out.push_back(
          {kind, slot, {area.begin() + pos, area.begin() + pos + static_cast<std::ptrdiff_t>(at.size)}, readId});
    }
  }
  return out;
}

// The slots the meter wrote after the base's pointer up to its own: what the
// base held there is stale, and those this read did not see are forgotten.
Result<void> ForgetStale(RecordStore& s, const std::string& serial, const StatModel& model, const ProductBase& b) {
  if (!b.basePointers || TakesWholeMemory(model.Type())) return {};
  const ArchivePointers now = PointersOf(model.Type(), model.Data().header);
  for (const ArchiveKind kind : kArchiveKinds) {
    const ArchiveSlots at = SlotsOf(model.Type(), kind);
    if (at.count == 0) continue;
    const auto index = [&at](std::uint32_t p) -> std::optional<std::int64_t> {
      if (p < at.offset || (p - at.offset) % at.size != 0 || (p - at.offset) / at.size >= at.count) return {};
      return static_cast<std::int64_t>((p - at.offset) / at.size);
    };
    const auto was = index(PointerOf(*b.basePointers, kind)), is = index(PointerOf(now, kind));
    const auto last = static_cast<std::int64_t>(at.count) - 1;
    Result<void> r;
    if (!was || !is) r = s.ForgetSlots(serial, kind, 0, last, b.readId);
    else if (*is > *was) r = s.ForgetSlots(serial, kind, *was + 1, *is, b.readId);
    else if (*is < *was) {
      r = s.ForgetSlots(serial, kind, *was + 1, last, b.readId);
      if (r) r = s.ForgetSlots(serial, kind, 0, *is, b.readId);
    }
    if (!r) return r;
  }
  return {};
}

std::string VerdictText(SlotVerdict v) {
  switch (v) {
    case SlotVerdict::Checksum: return "контрольная сумма не сходится";
    case SlotVerdict::NotCalendar: return "дата не календарная";
    case SlotVerdict::BeforeEarliest: return "дата раньше " + std::to_string(kEarliestPlausibleYear) + " года";
    case SlotVerdict::AfterClock: return "дата позже часов прибора";
    case SlotVerdict::Damaged: return "значения, каких прибор не хранит";
    default: return "";
  }
}

std::string SlotText(std::int64_t slot) {
  std::string t = std::to_string(slot);
  return std::string(t.size() < 4 ? 4 - t.size() : 0, '0') + t;
}

// The slots that hold no period, as findings: one a run of neighbouring
// slots of one archive with the same reason.
Result<void> PutEvidence(RecordStore& s, const StatModel& model, std::vector<SlotEvidence> evidence,
                         const std::string& serial, std::int64_t readId) {
  std::sort(evidence.begin(), evidence.end(), [](const SlotEvidence& a, const SlotEvidence& b) {
    return std::pair(a.archive, a.pos) < std::pair(b.archive, b.pos);
  });
  for (std::size_t i = 0; i < evidence.size();) {
    const SlotEvidence& first = evidence[i];
    const ArchiveSlots at = SlotsOf(model.Type(), first.archive);
    if (at.size == 0) {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < evidence.size() && evidence[j].archive == first.archive && evidence[j].verdict == first.verdict &&
           evidence[j].pos == evidence[j - 1].pos + at.size)
      ++j;
    const auto from = static_cast<std::int64_t>((first.pos - at.offset) / at.size);
    const auto to = static_cast<std::int64_t>((evidence[j - 1].pos - at.offset) / at.size);
    FindingRow f;
    f.serial = serial;
    f.kind = FindingKind::ImplausibleSlot;
    f.archive = first.archive;
    f.period = "slot " + SlotText(from) + (to != from ? "-" + SlotText(to) : "");
    f.detail =
        (to != from ? "Слоты " + std::to_string(from) + "–" + std::to_string(to) + " (" + std::to_string(j - i) + ")"
                    : "Слот " + std::to_string(from)) +
        " не период прибора: " + VerdictText(first.verdict) + "; первый: дата " + first.shown + ", байты " +
        first.raw.substr(0, 32) + (first.raw.size() > 32 ? "…" : "");
    f.readId = readId;
    if (auto a = s.AddFinding(f); !a) return a.error();
    i = j;
  }
  return {};
}

}  // namespace

namespace {

std::string StepText(ArchiveKind kind, const std::string& period, long n) {
  const auto t = ParsePeriod(kind, period);
  return t ? PeriodText(kind, StepPeriod(kind, *t, n)) : std::string();
}

// The holes of [from, to] as gaps, their periods counted into `count`.
Result<void> HolesToGaps(RecordStore& s, const std::string& serial, ArchiveKind kind, const std::string& from,
                         const std::string& to, std::int64_t readId, std::int64_t& count) {
  if (from.empty() || to.empty() || to < from) return {};
  auto holes = s.Holes(serial, kind, from, to);
  if (!holes) return holes.error();
  for (const PeriodSpan& h : *holes) {
    if (auto g = s.PutGap(serial, kind, h, readId); !g) return g;
    count += h.count;
  }
  return {};
}

// When the store now holds every slot of the archive (the image is the
// meter's memory), the periods the store lacks inside what the meter holds
// are ones it never wrote, and those before its oldest are ones it no
// longer holds: both become gaps, one row a run. After the first time, only
// an archive's depth back from the newest period held before is looked at.
Result<void> MarkGaps(RecordStore& s, const StatModel& model, const std::string& serial, ArchiveKind kind,
                      const ArchiveStats& before, std::optional<long long> localNow, std::int64_t readId,
                      InstrumentPass& p) {
  const ArchiveSlots at = SlotsOf(model.Type(), kind);
  if (at.count == 0 || !model.HasArchive(kind)) return {};
  auto slots = s.Slots(serial, kind);
  if (!slots) return slots.error();
  if (slots->size() < at.count) return {};  // a read will still fetch some
  std::vector<std::string> held;
  const auto latest = LatestPeriodStart(model, kind, localNow);
  for (std::size_t i = 0; i < model.Index(kind).size(); ++i) {
    if (VerdictOf(model, kind, i, latest) != SlotVerdict::Period) continue;
    const StatRecord r = model.Decode(kind, i);
    held.push_back(PeriodText(kind, {r.year, r.month, r.day, r.hour}));
  }
  if (held.empty()) return {};
  const auto [oldest, newest] = std::minmax_element(held.begin(), held.end());
  auto after = s.Stats(serial, kind);
  if (!after) return after.error();
  const std::string floor =
      before.records > 0 ? StepText(kind, before.newest, -static_cast<long>(at.count)) : std::string();
  const std::string lostFrom = std::max(after->oldest, floor), neverFrom = std::max(*oldest, floor);
  if (auto r = HolesToGaps(s, serial, kind, lostFrom, StepText(kind, *oldest, -1), readId, p.lost); !r) return r;
  return HolesToGaps(s, serial, kind, neverFrom, *newest, readId, p.notRecorded);
}

// The records into the store, each told apart; a period the read holds twice
// (the meter's clock set back over it) and a record whose bytes changed are
// findings; a period that filled a hole, or that an earlier attempt should
// have stored (up to `dueBy`), counts as recovered.
Result<void> PutRows(RecordStore& s, const ImageRows& rows, const std::array<ArchiveStats, 3>& before,
                     const std::array<std::string, 3>& dueBy, std::int64_t readId, bool publish, InstrumentPass& p,
                     ReadPublication& pub) {
  auto upserts = s.PutRecords(rows.records);
  if (!upserts) return upserts.error();
  for (std::size_t i = 0; i < rows.records.size() && i < upserts->size(); ++i) {
    const RecordRow& row = rows.records[i];
    const Upsert u = (*upserts)[i];
    if (u == Upsert::Added) {
      ++p.added;
      const ArchiveStats& was = before[static_cast<std::size_t>(row.archive)];
      const std::string& due = dueBy[static_cast<std::size_t>(row.archive)];
      if (was.records > 0 && row.period > was.oldest && (row.period < was.newest || row.period <= due)) ++p.recovered;
      if (publish) pub.added.push_back(row);
    }
    if (u != Upsert::Conflict) continue;
    const bool repeated =
        std::any_of(rows.records.begin(), rows.records.begin() + static_cast<std::ptrdiff_t>(i),
                    [&](const RecordRow& o) { return o.archive == row.archive && o.period == row.period; });
    ++(repeated ? p.repeated : p.conflicts);
    FindingRow f;
    f.serial = p.serial;
    f.kind = repeated ? FindingKind::RepeatedHour : FindingKind::Conflict;
    f.archive = row.archive;
    f.period = row.period;
    f.detail = repeated ? "Период " + row.period +
                              " записан прибором дважды (часы прибора переведены назад): хранится первая запись"
                        : "Запись изменилась под тем же временем: " + row.raw.substr(0, 16) + "…";
    f.readId = readId;
    if (auto a = s.AddFinding(f); !a) return a.error();
  }
  return {};
}

// Per archive, the newest period the previous attempt should have stored
// (the meter's clock at that attempt, its period before); empty: none.
std::array<std::string, 3> DueBy(const StatModel& model, const ProductBase& b, std::time_t now) {
  std::array<std::string, 3> out;
  const auto clock = DeviceClockOf(model);
  if (!clock || !b.previousStart) return out;
  const long long deviceOffset = clock->seconds - LocalSeconds(now);
  const PeriodTime then = TimeOfCalendarSeconds(LocalSeconds(*b.previousStart) + deviceOffset);
  for (const ArchiveKind kind : kArchiveKinds)
    out[static_cast<std::size_t>(kind)] = PeriodText(kind, StepPeriod(kind, then, -1));
  return out;
}

// The newest hourly (else daily) record for the state message, and the checks' findings.
Result<void> CheckRows(RecordStore& s, const ImageRows& rows, ReadPublication& pub) {
  for (const ArchiveKind kind : {ArchiveKind::Daily, ArchiveKind::Hourly})
    for (const auto& row : rows.records)
      if (row.archive == kind && (!pub.newest || pub.newest->archive != kind || row.period > pub.newest->period))
        pub.newest = row;
  std::array<std::vector<RecordRow>, 3> byArchive;
  for (const auto& row : rows.records) byArchive[static_cast<std::size_t>(row.archive)].push_back(row);
  for (auto& records : byArchive)
    for (auto& f : CheckRecords(std::move(records)))
      if (auto a = s.AddFinding(f); !a) return a.error();
  return {};
}

}  // namespace

Result<void> PutProduct(RecordStore& s, const ProductPlace& at, const ProductBase& b, const InstrumentRead& r,
                        const StatModel& model, InstrumentPass& p, ReadPublication& pub) {
  const std::time_t now = std::chrono::system_clock::to_time_t(r.ended);
  const std::int64_t offset = LocalTime(now).tm_gmtoff;
  const long long localNow = LocalSeconds(now);
  const std::string modelName(DeviceTypeName(model.Type()));
  if (auto h = s.PutHeader({b.readId, p.serial, modelName, UtcText(now), offset, r.result.data->header}); !h) return h;
  const auto fetched = FetchedPositions(model, r.result);
  const RecordFilter onlyFetched = [&fetched](ArchiveKind kind, std::uint32_t pos) {
    const auto& v = fetched[static_cast<std::size_t>(kind)];
    return std::binary_search(v.begin(), v.end(), pos);
  };
  const ImageRows rows =
      RowsOf(model, b.readId, offset, TakesWholeMemory(model.Type()) ? RecordFilter{} : onlyFetched, localNow);
  std::array<ArchiveStats, 3> before;
  for (const ArchiveKind kind : kArchiveKinds) {
    auto stats = s.Stats(p.serial, kind);
    if (!stats) return stats.error();
    before[static_cast<std::size_t>(kind)] = std::move(*stats);
  }
  if (auto put = s.PutSlots(p.serial, SlotsFetched(model, fetched, b.readId)); !put) return put.error();
  if (auto f = ForgetStale(s, p.serial, model, b); !f) return f;
  if (auto put = PutRows(s, rows, before, DueBy(model, b, now), b.readId, at.publish, p, pub); !put) return put;
  if (auto e = PutEvidence(s, model, rows.evidence, p.serial, b.readId); !e) return e;
  if (r.Done())
    for (const ArchiveKind kind : kArchiveKinds)
      if (KindAsked(at.in, kind))
        if (auto g = MarkGaps(s, model, p.serial, kind, before[static_cast<std::size_t>(kind)], localNow, b.readId, p);
            !g)
          return g;
  if (auto e = s.PutEvents(rows.events); !e) return e.error();
  if (auto c = CheckRows(s, rows, pub); !c) return c;
  if (auto f = CheckClock(model, now, at.cfg.collector.clockLimitS)) {
    f->readId = b.readId;
    if (auto a = s.AddFinding(*f); !a) return a.error();
  }
  const bool done = p.outcome == statvtk::ReadOutcome::Done;
  pub.instrument = {p.serial,    modelName, at.in.name, at.line.name, at.in.address, UtcNow(), done ? UtcText(now) : "",
                    at.in.everyS};
  return s.UpsertInstrument(pub.instrument);
}

}  // namespace statvtk::collect
