#include "store/image_rows.hpp"

#include <cstdio>

#include "stats/record_check.hpp"
#include "stats/record_values.hpp"
#include "store/periods.hpp"

namespace statvtk::store {

namespace {

// An event row's cells after its number and time: flag marks "+"/"-" and
// alarm marks "!"/"-" give the code's bits in order; the set ones' headings
// make its text. Other cells (a HEX dump) are left out of both.
EventRow EventOf(const EventTable& table, const std::vector<std::string>& row) {
  EventRow e;
  e.time = row.size() > 1 ? EventTimeText(row[1]) : std::string();
  int bit = 0;
  for (std::size_t c = 2; c < row.size(); ++c) {
    const std::string& cell = row[c];
    if (cell != "+" && cell != "!" && cell != "-") continue;
    if (cell != "-") {
      if (bit < 63) e.code |= std::int64_t{1} << bit;
      if (c < table.headings.size()) e.text += (e.text.empty() ? "" : " ") + table.headings[c];
    }
    ++bit;
  }
  return e;
}

}  // namespace

std::string StoredSerial(const StatModel& m) {
  std::string s;
  for (char c : m.SerialText())
    s += static_cast<unsigned char>(c) >= 0x80 ? std::string("\xEF\xBF\xBD") : std::string(1, c);
  return s;
}

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

std::string EventTimeText(const std::string& t) {
  int d, mo, y, h, mi, s;
  char tail;
  // VTK-08.14 and LDN-08 show "DD.MM.YY", VTK-08.12 "DD/MM/YY".
  if (t.size() != 17 || (std::sscanf(t.c_str(), "%2d.%2d.%2d %2d:%2d:%2d%c", &d, &mo, &y, &h, &mi, &s, &tail) != 6 &&
                         std::sscanf(t.c_str(), "%2d/%2d/%2d %2d:%2d:%2d%c", &d, &mo, &y, &h, &mi, &s, &tail) != 6))
    return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + y, mo, d, h, mi, s);
  return buf;
}

namespace {

std::string ShownDate(const StatRecord& r) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d", r.year, r.month, r.day, r.hour);
  return buf;
}

RecordRow RowOf(const StatModel& m, ArchiveKind kind, const StatRecord& r, const std::string& serial) {
  const auto values = RecordValues(m, r);
  RecordRow row;
  row.serial = serial;
  row.archive = kind;
  row.period = PeriodText(kind, {r.year, r.month, r.day, r.hour});
  row.forwardTotal = r.forwardTotal;
  row.reverseTotal = r.reverseTotal;
  row.forwardIncrement = ValueOf(values, "forward_increment");
  row.reverseIncrement = ValueOf(values, "reverse_increment");
  row.flags = r.flags;
  row.fields = OtherValuesJson(values);
  return row;
}

}  // namespace

ImageRows RowsOf(const StatModel& m, std::int64_t readId, std::int64_t utcOffsetS, const RecordFilter& keep,
                 std::optional<long long> localNow) {
  ImageRows out;
  const std::string serial = StoredSerial(m);
  for (const ArchiveKind kind : kArchiveKinds) {
    if (!m.HasArchive(kind)) continue;
    const auto latest = LatestPeriodStart(m, kind, localNow);
    const std::size_t n = m.Index(kind).size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t pos = m.Index(kind)[i].Pos;
      if (keep && !keep(kind, pos)) continue;
      const SlotVerdict verdict = VerdictOf(m, kind, i, latest);
      if (verdict == SlotVerdict::Blank) continue;  // erased or not read: nothing there
      const StatRecord r = m.Decode(kind, i);
      if (verdict != SlotVerdict::Period) {
        out.evidence.push_back({kind, pos, verdict, HexOf(m.RecordBytes(kind, i)), ShownDate(r)});
        continue;
      }
      RecordRow row = RowOf(m, kind, r, serial);
      row.readId = readId;
      row.utcOffsetS = utcOffsetS;
      row.raw = HexOf(m.RecordBytes(kind, i));
      out.records.push_back(std::move(row));
    }
  }
  const EventTable ev = m.Events();
  for (const auto& row : ev.rows) {
    EventRow e = EventOf(ev, row);
    if (e.time.empty()) continue;
    e.serial = serial;
    e.readId = readId;
    out.events.push_back(std::move(e));
  }
  return out;
}

}  // namespace statvtk::store
