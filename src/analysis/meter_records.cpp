#include "analysis/meter_records.hpp"

#include <array>
#include <cstdio>
#include <string_view>

#include "stats/record_plausible.hpp"
#include "stats/status_names.hpp"

namespace statvtk::analysis {

namespace {

struct RoleOfHeading {
  std::string_view heading;
  EventRole role;
};

// The headings the models share for the same kind of event.
constexpr std::array<RoleOfHeading, 8> kRoles = {{
    {.heading = "Вкл.", .role = EventRole::PowerOn},
    {.heading = "Выкл.", .role = EventRole::PowerOff},
    {.heading = "Калибр.", .role = EventRole::Calibration},
    {.heading = "Настр.", .role = EventRole::Settings},
    {.heading = "Врем. инт.", .role = EventRole::Settings},
    {.heading = "Изм. врем.", .role = EventRole::ClockSet},
    {.heading = "Сброс", .role = EventRole::Mark},
    {.heading = "Оч.", .role = EventRole::Mark},
}};

bool IsMark(const std::string& cell) { return cell == "+" || cell == "!" || cell == "-"; }

// "DD.MM.YY hh:mm:ss" (VTK-08.14, LDN-08) or "DD/MM/YY hh:mm:ss" (VTK-08.12).
std::optional<long long> EventTime(const std::string& text) {
  int d = 0, mo = 0, y = 0, h = 0, mi = 0, s = 0;
  char sep1 = 0, sep2 = 0, tail = 0;
  if (text.size() != 17 ||
      std::sscanf(text.c_str(), "%2d%c%2d%c%2d %2d:%2d:%2d%c", &d, &sep1, &mo, &sep2, &y, &h, &mi, &s, &tail) != 8)
    return std::nullopt;
  if (sep1 != sep2 || (sep1 != '.' && sep1 != '/')) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return CalendarSecondsOf(2000 + y, mo, d, h, mi, s);
}

void Merge(Period& into, const Period& p) {
  into.flags |= p.flags;
  if (!into.known || !p.known) {
    into.known = false;
    return;
  }
  into.forward += p.forward;
  into.reverse += p.reverse;
  into.operating += p.operating;
  into.error += p.error;
}

std::vector<Period> PeriodsOf(const StatModel& m, ArchiveKind kind) {
  std::vector<Period> out;
  if (!m.HasArchive(kind)) return out;
  const auto latest = LatestPeriodStart(m, kind);
  const std::size_t n = m.Index(kind).size();
  bool previousIsPeriod = false;
  for (std::size_t i = 0; i < n; ++i) {
    const bool isPeriod = VerdictOf(m, kind, i, latest) == SlotVerdict::Period;
    const bool afterPeriod = previousIsPeriod;
    previousIsPeriod = isPeriod;
    if (!isPeriod) continue;
    const StatRecord r = m.Decode(kind, i);
    Period p;
    p.start = CalendarSecondsOf(r.year, r.month, r.day, kind == ArchiveKind::Hourly ? r.hour : 0);
    p.flags = r.flags;
    // An increment against a slot that is no period spans an unknown time.
    p.known = r.incrementKnown && afterPeriod;
    if (p.known) {
      p.forward = r.forwardIncrement;
      p.reverse = r.reverseIncrement;
      p.operating = static_cast<double>(r.counterIncrements[0]) / r.counterDivisor;
      p.error = static_cast<double>(r.counterIncrements[1]) / r.counterDivisor;
    }
    if (!out.empty() && out.back().start == p.start) Merge(out.back(), p);
    else out.push_back(p);
  }
  return out;
}

}  // namespace

EventRole EventRoleOf(const std::string& heading) {
  for (const RoleOfHeading& r : kRoles)
    if (heading == r.heading) return r.role;
  return EventRole::State;
}

EventLog EventLogOf(const EventTable& table) {
  EventLog log;
  // The columns of marks: every row holds a mark there.
  std::vector<std::size_t> markColumns;
  for (std::size_t c = 2; c < table.headings.size() && markColumns.size() < 64; ++c) {
    bool marks = !table.rows.empty();
    for (const auto& row : table.rows) marks = marks && c < row.size() && IsMark(row[c]);
    if (!marks) continue;
    markColumns.push_back(c);
    log.columns.push_back({table.headings[c], EventRoleOf(table.headings[c])});
  }
  for (const auto& row : table.rows) {
    const auto time = row.size() > 1 ? EventTime(row[1]) : std::nullopt;
    if (!time) continue;
    MeterEvent e{.time = *time, .set = 0};
    for (std::size_t k = 0; k < markColumns.size(); ++k)
      if (row[markColumns[k]] != "-") e.set |= std::uint64_t{1} << k;
    log.events.push_back(e);
  }
  return log;
}

MeterRecords MeterRecordsOf(const StatModel& model) {
  MeterRecords m;
  for (const std::string_view name : StatusBitNames(model.Type())) m.flagNames.emplace_back(name);
  m.countsHours = true;  // every model keeps operating (counter 1) and error time (counter 2)
  m.hourly = PeriodsOf(model, ArchiveKind::Hourly);
  m.daily = PeriodsOf(model, ArchiveKind::Daily);
  m.events = EventLogOf(model.Events());
  if (const auto clock = MeterClockOf(model)) m.clock = clock->seconds;
  return m;
}

}  // namespace statvtk::analysis
