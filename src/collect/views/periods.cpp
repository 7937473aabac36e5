#include "collect/views/periods.hpp"

#include <charconv>
#include <cstdio>

#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

using namespace std::chrono;

bool Digits(std::string_view s, std::size_t at, std::size_t n, int* out) {
  if (at + n > s.size()) return false;
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

bool RealDay(int y, int m, int d) {
  return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}.ok();
}

}  // namespace

std::optional<std::string> NormalizedPeriod(std::string_view t) {
  int y = 0, m = 0, d = 0, h = 0, mi = 0;
  if (!Digits(t, 0, 4, &y) || y < 1900 || y > 2999) return std::nullopt;
  if (t.size() == 4) return std::string(t);
  if (t.size() < 7 || t[4] != '-' || !Digits(t, 5, 2, &m) || m < 1 || m > 12) return std::nullopt;
  std::string out(t.substr(0, 7));
  if (t.size() == 7) return out;
  if (t.size() < 10 || t[7] != '-' || !Digits(t, 8, 2, &d) || !RealDay(y, m, d)) return std::nullopt;
  out += t.substr(7, 3);
  if (t.size() == 10) return out;
  if (t.size() < 13 || (t[10] != ' ' && t[10] != 'T') || !Digits(t, 11, 2, &h) || h > 23) return std::nullopt;
  out += ' ';
  out += t.substr(11, 2);
  if (t.size() == 13) return out;
  if (t.size() != 16 || t[13] != ':' || !Digits(t, 14, 2, &mi) || mi > 59) return std::nullopt;
  out += t.substr(13, 3);
  return out;
}

std::optional<std::int64_t> DayNumber(std::string_view p) {
  int y = 0, m = 0, d = 0;
  if (p.size() < 10 || !Digits(p, 0, 4, &y) || p[4] != '-' || !Digits(p, 5, 2, &m) || p[7] != '-' ||
      !Digits(p, 8, 2, &d) || m < 1 || m > 12 || !RealDay(y, m, d))
    return std::nullopt;
  const sys_days days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
  return days.time_since_epoch().count();
}

std::string DayPeriod(std::int64_t n) {
  const year_month_day ymd{sys_days{days{n}}};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()));
  return buf;
}

std::optional<std::int64_t> HourNumber(std::string_view p) {
  const auto day = DayNumber(p);
  int h = 0;
  if (!day || p.size() < 13 || p[10] != ' ' || !Digits(p, 11, 2, &h) || h > 23) return std::nullopt;
  return *day * 24 + h;
}

std::string HourPeriod(std::int64_t n) {
  const std::int64_t day = n >= 0 ? n / 24 : (n - 23) / 24;
  char buf[8];
  std::snprintf(buf, sizeof buf, " %02d:00", static_cast<int>(n - day * 24));
  return DayPeriod(day) + buf;
}

// The store's one UTC text ("YYYY-MM-DDTHH:MM:SSZ"), as time points.
std::optional<system_clock::time_point> UtcMoment(std::string_view t) {
  const auto s = store::ParseUtc(t);
  if (!s) return std::nullopt;
  return system_clock::from_time_t(*s);
}

std::string UtcText(system_clock::time_point t) { return store::UtcText(system_clock::to_time_t(floor<seconds>(t))); }

std::string UtcMillis(std::chrono::system_clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  std::string s = store::UtcText(static_cast<std::time_t>(ms / 1000));  // "...T01:02:03Z"
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03dZ", static_cast<int>(ms % 1000));
  s.pop_back();
  return s + frac;
}

std::optional<std::int64_t> UtcMillisOf(const std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) {
    const auto t = store::ParseUtc(text);
    if (!t) return std::nullopt;
    return static_cast<std::int64_t>(*t) * 1000;
  }
  const auto t = store::ParseUtc(text.substr(0, dot) + "Z");
  if (!t || text.size() != dot + 5 || text.back() != 'Z') return std::nullopt;
  int ms = 0;
  for (std::size_t i = dot + 1; i < dot + 4; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    ms = ms * 10 + (text[i] - '0');
  }
  return static_cast<std::int64_t>(*t) * 1000 + ms;
}

}  // namespace statvtk::collect
