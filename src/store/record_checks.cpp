#include "store/record_checks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/local_time.hpp"
#include "store/image_rows.hpp"
#include "store/periods.hpp"

namespace statvtk::store {

namespace {

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

int Bcd(std::uint8_t b) { return (b >> 4) * 10 + (b & 15); }

long long CalendarSeconds(int y, int mo, int d, int h, int mi, int s) {
  return DaysFromCivil(y, mo, d) * 86400LL + h * 3600LL + mi * 60LL + s;
}

}  // namespace

std::vector<FindingRow> CheckRecords(std::vector<RecordRow> records, double tolerance) {
  std::vector<FindingRow> out;
  std::stable_sort(records.begin(), records.end(),
                   [](const RecordRow& a, const RecordRow& b) { return a.period < b.period; });
  for (std::size_t i = 1; i < records.size(); ++i) {
    const RecordRow& prev = records[i - 1];
    const RecordRow& r = records[i];
    if (prev.period == r.period) continue;  // a second record of one period is a conflict, not this
    auto finding = [&](FindingKind kind, std::string detail) {
      FindingRow f;
      f.serial = r.serial;
      f.kind = kind;
      f.archive = r.archive;
      f.period = r.period;
      f.detail = std::move(detail);
      f.readId = r.readId;
      out.push_back(std::move(f));
    };
    struct Side {
      const char* name;
      double before, now;
      std::optional<double> increment;
    };
    const Side sides[] = {{"V+", prev.forwardTotal, r.forwardTotal, r.forwardIncrement},
                          {"V-", prev.reverseTotal, r.reverseTotal, r.reverseIncrement}};
    bool down = false;
    for (const Side& s : sides)
      if (s.now < s.before && !down) {
        down = true;
        finding(FindingKind::TotalDown,
                std::string(s.name) + " " + Number(s.before) + " (" + prev.period + ") -> " + Number(s.now));
      }
    const auto a = ParsePeriod(r.archive, prev.period), b = ParsePeriod(r.archive, r.period);
    if (!a || !b || PeriodsBetween(r.archive, *a, *b) != 1) continue;
    for (const Side& s : sides)
      if (s.increment && std::fabs(*s.increment - (s.now - s.before)) > tolerance) {
        finding(FindingKind::IncrementMismatch, std::string("Δ") + s.name + " " + Number(*s.increment) + " ≠ " +
                                                    Number(s.now) + " − " + Number(s.before));
        break;
      }
  }
  return out;
}

std::optional<DeviceClock> DeviceClockOf(const StatModel& m) {
  const auto& h = m.Data().header;
  if (m.Type() == DeviceType::dtLDN08) {
    const std::uint32_t st = m.DeviceClockStamp();
    const int y = StampYear(st), mo = StampMonth(st), d = StampDay(st), hr = StampHour(st);
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || hr > 23) return {};
    return DeviceClock{CalendarSeconds(y, mo, d, hr, 0, 0), 3600};
  }
  if (h.size() < 7) return {};
  const int s = Bcd(h[0]), mi = Bcd(h[1]), hr = Bcd(h[2] & 0x3F), d = Bcd(h[4]), mo = Bcd(h[5]), y = 2000 + Bcd(h[6]);
  if (s > 59 || mi > 59 || hr > 23 || d < 1 || d > 31 || mo < 1 || mo > 12) return {};
  return DeviceClock{CalendarSeconds(y, mo, d, hr, mi, s), 1};
}

std::optional<ClockOffset> ClockOffsetOf(const StatModel& m, std::time_t pcTime) {
  const auto clock = DeviceClockOf(m);
  if (!clock) return {};
  const std::tm t = LocalTime(pcTime);
  const long long pc = CalendarSeconds(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  // An hour stamp means "some time in this hour": measured from its middle.
  const long long device = clock->seconds + (clock->resolution > 1 ? clock->resolution / 2 : 0);
  return ClockOffset{device - pc, clock->resolution / 2};
}

std::optional<FindingRow> CheckClock(const StatModel& m, std::time_t pcTime, long long limitS) {
  const auto offset = ClockOffsetOf(m, pcTime);
  if (!offset || !offset->Beyond(limitS)) return {};
  const long long off = offset->seconds;
  FindingRow f;
  f.serial = StoredSerial(m);
  f.kind = FindingKind::ClockOff;
  f.period = UtcText(pcTime).substr(0, 13) + ":00";
  f.detail =
      "Часы прибора " + std::string(off > 0 ? "спешат" : "отстают") + " на " + std::to_string(std::llabs(off)) + " с";
  return f;
}

}  // namespace statvtk::store
