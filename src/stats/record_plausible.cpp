#include "stats/record_plausible.hpp"

#include "stats/record_check.hpp"

namespace statvtk {

namespace {

int Bcd(std::uint8_t b) { return (b >> 4) * 10 + (b & 15); }
bool BcdDigits(std::uint8_t b) { return (b >> 4) <= 9 && (b & 15) <= 9; }

long DaysFrom1970(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m != 2) return kDays[m - 1];
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 ? 29 : 28;
}

bool CalendarPeriod(ArchiveKind kind, const StatRecord& r) {
  if (r.month < 1 || r.month > 12) return false;
  if (kind == ArchiveKind::Monthly) return true;
  if (r.day < 1 || r.day > DaysInMonth(r.year, r.month)) return false;
  return kind != ArchiveKind::Hourly || (r.hour >= 0 && r.hour <= 23);
}

}  // namespace

std::string_view SlotVerdictName(SlotVerdict v) {
  switch (v) {
    case SlotVerdict::Period: return "period";
    case SlotVerdict::Blank: return "blank";
    case SlotVerdict::Checksum: return "checksum";
    case SlotVerdict::NotCalendar: return "not_calendar";
    case SlotVerdict::BeforeEarliest: return "before_earliest";
    case SlotVerdict::AfterClock: return "after_clock";
    case SlotVerdict::Damaged: return "damaged";
  }
  return "";
}

long long CalendarSecondsOf(int y, int mo, int d, int h, int mi, int s) {
  return DaysFrom1970(y, mo, d) * 86400LL + h * 3600LL + mi * 60LL + s;
}

std::optional<MeterClock> MeterClockOf(const StatModel& m) {
  const auto& h = m.Data().header;
  if (m.Type() == DeviceType::dtLDN08) {
    const std::uint32_t st = m.DeviceClockStamp();
    const int y = StampYear(st), mo = StampMonth(st), d = StampDay(st), hr = StampHour(st);
    if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || hr > 23) return std::nullopt;
    return MeterClock{CalendarSecondsOf(y, mo, d, hr), 3600};
  }
  if (h.size() < 7) return std::nullopt;
  for (const std::size_t i : {0, 1, 4, 5, 6})
    if (!BcdDigits(h[i])) return std::nullopt;
  const int s = Bcd(h[0]), mi = Bcd(h[1]), hr = Bcd(h[2] & 0x3F), d = Bcd(h[4]), mo = Bcd(h[5]), y = 2000 + Bcd(h[6]);
  if (s > 59 || mi > 59 || hr > 23 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
  return MeterClock{CalendarSecondsOf(y, mo, d, hr, mi, s), 1};
}

long long PeriodSeconds(ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? 3600 : kind == ArchiveKind::Daily ? 86400 : 31 * 86400;
}

std::optional<long long> LatestPeriodStart(const StatModel& model, ArchiveKind kind,
                                           std::optional<long long> fallback) {
  const auto clock = MeterClockOf(model);
  if (clock) return clock->seconds + PeriodSeconds(kind);
  if (fallback) return *fallback + PeriodSeconds(kind);
  return std::nullopt;
}

SlotVerdict VerdictOf(const StatModel& m, ArchiveKind kind, std::size_t i, std::optional<long long> latest) {
  if (!Written(m.RecordBytes(kind, i))) return SlotVerdict::Blank;
  if (!m.ChecksumValid(kind, i)) return SlotVerdict::Checksum;
  if (!m.EntryValid(kind, i)) return SlotVerdict::NotCalendar;
  const StatRecord r = m.Decode(kind, i);
  // A BCD stamp's digits above 9 read as a date (0xA0 as the year 2100) but are none.
  if (m.Type() == DeviceType::dtVTK0812)
    for (int shift = 0; shift < 32; shift += 8)
      if (!BcdDigits(static_cast<std::uint8_t>((r.stamp >> shift) & (shift == 0 ? 0x7F : 0xFF))))
        return SlotVerdict::NotCalendar;
  if (!CalendarPeriod(kind, r)) return SlotVerdict::NotCalendar;
  if (r.year < kEarliestPlausibleYear) return SlotVerdict::BeforeEarliest;
  const long long start = CalendarSecondsOf(r.year, r.month, kind == ArchiveKind::Monthly ? 1 : r.day,
                                            kind == ArchiveKind::Hourly ? r.hour : 0);
  if (latest && start > *latest) return SlotVerdict::AfterClock;
  if (!RecordPlausible(r)) return SlotVerdict::Damaged;
  return SlotVerdict::Period;
}

}  // namespace statvtk
