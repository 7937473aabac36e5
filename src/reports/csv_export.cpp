// CSV export of decoded archive records.
#include "reports/csv_export.hpp"

#include <algorithm>

#include "base/safe_name.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

namespace statvtk {

namespace {

std::string Field(const std::string& text, const CsvOptions& o) {
  if (text.find_first_of(std::string{o.separator, '"', '\n', '\r'}) == std::string::npos) return text;
  std::string q = "\"";
  for (char ch : text) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

// A value that is no number (NaN, an infinity) is an empty field, never "-nan".
std::string Number(double v, const char* fmt, const CsvOptions& o) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  std::string s = buf;
  for (char& ch : s)
    if (ch == '.') ch = o.decimal;
  return s;
}

void Row(const std::vector<std::string>& fields, const CsvOptions& o, std::string* out) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) *out += o.separator;
    *out += Field(fields[i], o);
  }
  *out += "\r\n";
}

ArchiveKind KindOf(CsvArchive a) {
  return a == CsvArchive::Hourly  ? ArchiveKind::Hourly
         : a == CsvArchive::Daily ? ArchiveKind::Daily
                                  : ArchiveKind::Monthly;
}

std::string StampText(const StatRecord& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2d.%.2d.%.4d %.2d:00", r.day, r.month, r.year, r.hour);
  return buf;
}

}  // namespace

CsvOptions MakeCsvOptions(char decimal, char separator) {
  CsvOptions o;
  o.decimal = decimal ? decimal : '.';
  o.separator = separator ? separator : (o.decimal == ',' ? ';' : ',');
  return o;
}

std::string CsvFileName(const std::string& serial, const std::string& archiveWord) {
  std::string part = SafeNamePart(serial);
  return (part.empty() ? std::string("device") : part) + "_" + SafeNamePart(archiveWord) + ".csv";
}

Result<std::string> ExportArchiveCsv(const StatModel& model, CsvArchive archive, const CsvOptions& o,
                                     const CsvPeriods* only) {
  std::string text;
  std::string* csv = &text;
  if (archive == CsvArchive::Events) {
    const EventTable t = model.Events();
    Row(t.headings, o, csv);
    for (const auto& r : t.rows) Row(r, o, csv);
    return text;
  }
  const ArchiveKind kind = KindOf(archive);
  if (!model.HasArchive(kind)) return MakeError(ErrorCode::BadData, "В файле нет такого архива");
  const auto index = model.Index(kind);
  bool headed = false;
  for (std::size_t i = 0; i < index.size(); ++i) {
    if (!model.EntryValid(kind, i)) continue;
    if (only) {
      const auto stamp = model.RecordStamp(kind, i);
      if (!stamp || std::find(only->keys.begin(), only->keys.end(), *stamp & only->mask) == only->keys.end()) continue;
    }
    const StatRecord r = model.Decode(kind, i);
    if (!headed) {
      std::vector<std::string> head{"Дата/время"};
      for (const auto& v : r.values) head.push_back(v.name);
      for (int c = 1; c <= 4; ++c) head.push_back("Счётчик " + std::to_string(c) + ", ч");
      head.push_back("Статус");
      head.push_back("Флаги");
      Row(head, o, csv);
      headed = true;
    }
    std::vector<std::string> f{StampText(r)};
    // A record without increments leaves its increment fields empty.
    for (const auto& v : r.values)
      f.push_back(v.increment && !r.incrementKnown ? std::string() : Number(v.value, "%.6f", o));
    for (std::size_t c = 0; c < 4; ++c) f.push_back(Number(r.counters[c] / r.counterDivisor, "%.2f", o));
    f.push_back(r.statusText);
    f.push_back(std::to_string(r.flags));
    Row(f, o, csv);
  }
  if (!headed) Row({"Дата/время", "Статус", "Флаги"}, o, csv);
  return text;
}

}  // namespace statvtk
