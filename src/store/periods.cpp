#include "store/periods.hpp"

#include <algorithm>
#include <cstdio>

namespace statvtk::store {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

PeriodTime CivilFromDays(long z) {
  // Howard Hinnant's days_from_civil, inverted.
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  PeriodTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  return t;
}

// The period's own fields: the units below the archive's cleared.
PeriodTime Truncated(ArchiveKind kind, PeriodTime t) {
  if (kind != ArchiveKind::Hourly) t.hour = 0;
  if (kind == ArchiveKind::Monthly) t.day = 1;
  return t;
}

bool ReadNumber(std::string_view s, std::size_t at, std::size_t n, int& out) {
  if (at + n > s.size()) return false;
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

}  // namespace

long DaysFromCivil(int year, int month, int day) {
  const long y = year - (month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string PeriodText(ArchiveKind kind, const PeriodTime& t) {
  char buf[64];
  switch (kind) {
    case ArchiveKind::Hourly:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", t.year, t.month, t.day, t.hour);
      break;
    case ArchiveKind::Daily: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day); break;
    case ArchiveKind::Monthly: std::snprintf(buf, sizeof buf, "%04d-%02d", t.year, t.month); break;
  }
  return buf;
}

std::optional<PeriodTime> ParsePeriod(ArchiveKind kind, std::string_view s) {
  const std::size_t size = kind == ArchiveKind::Hourly ? 16 : kind == ArchiveKind::Daily ? 10 : 7;
  PeriodTime t;
  if (s.size() != size || !ReadNumber(s, 0, 4, t.year) || s[4] != '-' || !ReadNumber(s, 5, 2, t.month)) return {};
  if (t.month < 1 || t.month > 12) return {};
  if (kind != ArchiveKind::Monthly) {
    if (s[7] != '-' || !ReadNumber(s, 8, 2, t.day) || t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return {};
  }
  if (kind == ArchiveKind::Hourly) {
    int minute = 0;
    if (s[10] != ' ' || !ReadNumber(s, 11, 2, t.hour) || t.hour > 23 || s[13] != ':' || !ReadNumber(s, 14, 2, minute) ||
        minute != 0)
      return {};
  }
  return t;
}

PeriodTime StepPeriod(ArchiveKind kind, PeriodTime t, long n) {
  t = Truncated(kind, t);
  if (kind == ArchiveKind::Monthly) {
    long m = t.year * 12L + (t.month - 1) + n;
    t.year = static_cast<int>(m >= 0 ? m / 12 : (m - 11) / 12);
    t.month = static_cast<int>(m - t.year * 12L) + 1;
    return t;
  }
  long days = DaysFromCivil(t.year, t.month, t.day);
  int hour = t.hour;
  if (kind == ArchiveKind::Hourly) {
    long h = days * 24 + hour + n;
    days = h >= 0 ? h / 24 : (h - 23) / 24;
    hour = static_cast<int>(h - days * 24);
  } else {
    days += n;
  }
  PeriodTime r = CivilFromDays(days);
  r.hour = hour;
  return r;
}

long PeriodsBetween(ArchiveKind kind, const PeriodTime& a0, const PeriodTime& b0) {
  const PeriodTime a = Truncated(kind, a0), b = Truncated(kind, b0);
  if (kind == ArchiveKind::Monthly) return (b.year * 12L + b.month) - (a.year * 12L + a.month);
  const long days = DaysFromCivil(b.year, b.month, b.day) - DaysFromCivil(a.year, a.month, a.day);
  return kind == ArchiveKind::Daily ? days : days * 24 + (b.hour - a.hour);
}

std::vector<std::string> PeriodRange(ArchiveKind kind, const PeriodTime& from, const PeriodTime& to) {
  std::vector<std::string> out;
  const long n = PeriodsBetween(kind, from, to);
  if (n < 0) return out;
  out.reserve(static_cast<std::size_t>(n) + 1);
  PeriodTime t = Truncated(kind, from);
  for (long i = 0; i <= n; ++i, t = StepPeriod(kind, t, 1)) out.push_back(PeriodText(kind, t));
  return out;
}

std::vector<std::string> MissingPeriods(ArchiveKind kind, const std::vector<std::string>& held, const PeriodTime& from,
                                        const PeriodTime& to) {
  std::vector<std::string> out;
  for (auto& p : PeriodRange(kind, from, to))
    if (!std::binary_search(held.begin(), held.end(), p)) out.push_back(std::move(p));
  return out;
}

std::vector<PeriodSpan> JoinSpans(ArchiveKind kind, const std::vector<std::string>& missing) {
  std::vector<PeriodSpan> spans;
  std::optional<PeriodTime> last;
  for (const auto& p : missing) {
    const auto t = ParsePeriod(kind, p);
    if (!t) continue;
    if (last && !spans.empty() && PeriodsBetween(kind, *last, *t) == 1) {
      spans.back().last = p;
      ++spans.back().count;
    } else {
      spans.push_back({p, p, 1});
    }
    last = t;
  }
  return spans;
}

PeriodTime PeriodTimeOf(const std::tm& tm) { return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour}; }

std::string UtcText(std::time_t t) {
  const long days = static_cast<long>(t >= 0 ? t / 86400 : (t - 86399) / 86400);
  const long secs = static_cast<long>(t - static_cast<std::time_t>(days) * 86400);
  const PeriodTime d = CivilFromDays(days);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02ld:%02ld:%02ldZ", d.year, d.month, d.day, secs / 3600,
                secs / 60 % 60, secs % 60);
  return buf;
}

long long CalendarSeconds(const PeriodTime& t, int minute, int second) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400LL + t.hour * 3600LL + minute * 60LL + second;
}

PeriodTime TimeOfCalendarSeconds(long long s) {
  const long long days = s >= 0 ? s / 86400 : (s - 86399) / 86400;
  PeriodTime t = CivilFromDays(static_cast<long>(days));
  t.hour = static_cast<int>((s - days * 86400) / 3600);
  return t;
}

std::optional<std::time_t> ParseUtc(std::string_view text) {
  int minute = 0, second = 0;
  if (text.size() != 20 || text[10] != 'T' || text[19] != 'Z' || text[16] != ':') return {};
  const std::string hour = std::string(text.substr(0, 10)) + " " + std::string(text.substr(11, 2)) + ":00";
  const auto t = ParsePeriod(ArchiveKind::Hourly, hour);
  if (!t || !ReadNumber(text, 14, 2, minute) || !ReadNumber(text, 17, 2, second)) return {};
  return static_cast<std::time_t>(CalendarSeconds(*t, minute, second));
}

std::string UtcNow() { return UtcText(std::time(nullptr)); }

}  // namespace statvtk::store
