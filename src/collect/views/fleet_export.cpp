#include "collect/views/fleet_export.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "base/utf8.hpp"
#include "collect/views/csv_cells.hpp"
#include "collect/views/json_shapes.hpp"

namespace statvtk::collect {

namespace {

using store::RecordRow;

constexpr const char* kNoData = "нет данных";

// The rows as they go out: the CSV header or the JSON array's brackets.
class RowWriter {
 public:
  RowWriter(ExportForm form, std::ostream& out, std::string header) : form_(form), out_(out) {
    if (form_ == ExportForm::Csv) out_ << header << "\n";
    else out_ << "[";
  }
  ~RowWriter() { out_ << (form_ == ExportForm::Csv ? "" : first_ ? "]\n" : "\n]\n"); }
  void Row(const Json& json, const std::string& csv) {
    if (form_ == ExportForm::Csv) out_ << csv << "\n";
    else out_ << (first_ ? "\n" : ",\n") << JsonText(json);
    first_ = false;
  }

 private:
  ExportForm form_;
  std::ostream& out_;
  bool first_ = true;
};

// The instrument's columns in front of every row of it.
Json Who(const store::InstrumentRow& in) {
  return {{"serial", ValidUtf8(in.serial)}, {"name", in.name}, {"line", in.line}};
}
std::string WhoCsv(const store::InstrumentRow& in) {
  return CsvQuoted(in.serial) + "," + CsvQuoted(in.name) + "," + CsvQuoted(in.line);
}

void RecordOut(RowWriter& w, const store::InstrumentRow& in, const RecordRow& r, const std::string& prefix = {},
               const Json& extra = {}) {
  Json j = Who(in);
  for (const auto& [k, v] : extra.items()) j[k] = v;
  const Json record = SerialRecordJson(r);
  for (const auto& [k, v] : record.items()) j[k] = v;
  j["state"] = r.valid ? "" : "повреждена";
  w.Row(j, WhoCsv(in) + "," + prefix + std::string(store::ArchiveName(r.archive)) + "," + r.period + "," +
               CsvNumber(r.forwardTotal) + "," + CsvNumber(r.reverseTotal) + "," + CsvNumber(r.forwardIncrement) + "," +
               CsvNumber(r.reverseIncrement) + "," + (r.valid ? "1" : "0") + "," + (r.valid ? "" : "повреждена"));
}

void MissingOut(RowWriter& w, const store::InstrumentRow& in, ArchiveKind archive, const std::string& period,
                const std::string& prefix = {}, const Json& extra = {}) {
  Json j = Who(in);
  for (const auto& [k, v] : extra.items()) j[k] = v;
  j["archive"] = store::ArchiveName(archive);
  j["period"] = period;
  for (const char* k : {"forward_total", "reverse_total", "forward_increment", "reverse_increment", "valid"})
    j[k] = nullptr;
  j["state"] = kNoData;
  w.Row(j, WhoCsv(in) + "," + prefix + std::string(store::ArchiveName(archive)) + "," + period + ",,,,,," + kNoData);
}

// The time a bound text starts at: "2026", "2026-12", "2026-12-08", "2026-12-08 05:00".
store::PeriodTime StartOf(const std::string& bound) {
  store::PeriodTime t;
  std::sscanf(bound.c_str(), "%d-%d-%d %d", &t.year, &t.month, &t.day, &t.hour);
  return t;
}

const char* kRecordColumns =
    "archive,period,forward_total,reverse_total,forward_increment,reverse_increment,valid,state";

}  // namespace

Result<std::vector<store::InstrumentRow>> FleetInOrder(store::RecordStore& s) {
  auto fleet = s.Instruments();
  if (!fleet) return fleet.error();
  std::sort(fleet->begin(), fleet->end(), [](const auto& a, const auto& b) {
    return std::tie(a.line, a.name, a.serial) < std::tie(b.line, b.name, b.serial);
  });
  return fleet;
}

Result<void> ExportFleet(store::RecordStore& s, ArchiveKind archive, const std::string& from, const std::string& to,
                         ExportForm form, std::ostream& out) {
  auto fleet = FleetInOrder(s);
  if (!fleet) return fleet.error();
  RowWriter w(form, out, std::string("serial,name,line,") + kRecordColumns);
  // The calendar's periods of the range, from the one that holds its start.
  const store::PeriodTime first = StartOf(from);
  for (const auto& in : *fleet) {
    auto rows = s.Records({in.serial, archive, from, to, 0});
    if (!rows) return rows.error();
    // Both runs are in the order of their texts: a record the calendar does
    // not know ("2024-02-31") comes out in its place.
    auto r = rows->begin();
    for (store::PeriodTime t = first;; t = store::StepPeriod(archive, t, 1)) {
      const std::string period = store::PeriodText(archive, t);
      if (period > to) break;
      if (period < from) continue;
      for (; r != rows->end() && r->period < period; ++r) RecordOut(w, in, *r);
      if (r != rows->end() && r->period == period) RecordOut(w, in, *r++);
      else MissingOut(w, in, archive, period);
    }
    for (; r != rows->end(); ++r) RecordOut(w, in, *r);
    if (!out) return MakeError(ErrorCode::FileSystem, "не удалось записать вывод");
  }
  return {};
}

namespace {

// The record of `archive` whose period lies nearest to `at` within a span
// around it (a tie: the earlier one, taken when it closed).
Result<std::optional<RecordRow>> NearestIn(store::RecordStore& s, const std::string& serial, ArchiveKind archive,
                                           const store::PeriodTime& at, long span) {
  const std::string from = store::PeriodText(archive, store::StepPeriod(archive, at, -span));
  const std::string to = store::PeriodText(archive, store::StepPeriod(archive, at, span));
  auto rows = s.Records({serial, archive, from, to, 0});
  if (!rows) return rows.error();
  std::optional<RecordRow> best;
  long distance = std::numeric_limits<long>::max();
  for (auto& r : *rows) {
    const auto t = store::ParsePeriod(archive, r.period);
    if (!t || r.badDate) continue;
    const long d = std::labs(store::PeriodsBetween(archive, at, *t));
    if (d < distance) {
      distance = d;
      best = std::move(r);
    }
  }
  return best;
}

}  // namespace

Result<void> ExportReadingsAt(store::RecordStore& s, const std::string& at, ExportForm form, std::ostream& out) {
  auto fleet = FleetInOrder(s);
  if (!fleet) return fleet.error();
  RowWriter w(form, out, std::string("serial,name,line,at,") + kRecordColumns);
  const store::PeriodTime moment = StartOf(at);
  const Json atJson = {{"at", at}};
  for (const auto& in : *fleet) {
    std::optional<RecordRow> found;
    // Two days of hours, then two months of days, then two years of months.
    for (const auto& [archive, span] : {std::pair{ArchiveKind::Hourly, 48L}, std::pair{ArchiveKind::Daily, 62L},
                                        std::pair{ArchiveKind::Monthly, 24L}}) {
      auto nearest = NearestIn(s, in.serial, archive, moment, span);
      if (!nearest) return nearest.error();
      if ((found = std::move(*nearest))) break;
    }
    if (found) RecordOut(w, in, *found, at + ",", atJson);
    else MissingOut(w, in, ArchiveKind::Hourly, "", at + ",", atJson);
    if (!out) return MakeError(ErrorCode::FileSystem, "не удалось записать вывод");
  }
  return {};
}

}  // namespace statvtk::collect
