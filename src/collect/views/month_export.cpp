#include "collect/views/month_export.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

#include "base/json_text.hpp"
#include "base/utf8.hpp"
#include "collect/views/csv_cells.hpp"
#include "collect/image/archive_slots.hpp"
#include "collect/views/json_shapes.hpp"
#include "collect/image/report_image.hpp"
#include "front/situation_texts.hpp"
#include "stats/record_plausible.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

using store::SituationRow;

int DaysIn(const BillingMonth& m) {
  const store::PeriodTime first{m.year, m.month, 1, 0};
  const store::PeriodTime next = store::StepPeriod(ArchiveKind::Monthly, first, 1);
  return static_cast<int>(store::DaysFromCivil(next.year, next.month, 1) - store::DaysFromCivil(m.year, m.month, 1));
}

// Hours and volumes to the meter's resolution: no binary noise of sums.
double Rounded(double v) { return std::round(v * 1e6) / 1e6; }

Json FlagHours(const analysis::MonthSummary& m) {
  Json flags = Json::object();
  for (const auto& [word, hours] : m.flagHours) flags[ValidUtf8(word)] = hours;
  return flags;
}

// The month as statvtk-cli situations --json gives it.
Json SummaryJson(const std::optional<analysis::MonthSummary>& m, const BillingMonth& month) {
  if (!m) return nullptr;
  const auto hours = [](const std::optional<double>& v) { return v ? Json(Rounded(*v)) : Json(nullptr); };
  return Json{{"month", month.Text()},
              {"hours", m->hours},
              {"hours_held", m->held},
              {"hours_missing", m->missing},
              {"flag_hours", FlagHours(*m)},
              {"operating_hours", hours(m->operatingHours)},
              {"error_hours", hours(m->errorHours)}};
}

std::string WhoCsv(const store::InstrumentRow& in) {
  return CsvQuoted(in.serial) + "," + CsvQuoted(in.name) + "," + CsvQuoted(in.line);
}

std::string SummaryCsv(const store::InstrumentRow& in, const std::optional<analysis::MonthSummary>& m,
                       const BillingMonth& month) {
  std::string row = WhoCsv(in) + "," + CsvQuoted(in.model) + "," + month.Text() + ",";
  if (!m) return row + ",,,,,";
  return row + std::to_string(m->hours) + "," + std::to_string(m->held) + "," + std::to_string(m->missing) + "," +
         CsvNumber(m->operatingHours) + "," + CsvNumber(m->errorHours) + "," + CsvQuoted(JsonText(FlagHours(*m)));
}

std::string SituationCsv(const store::InstrumentRow& in, const SituationRow& s) {
  return WhoCsv(in) + "," + std::to_string(s.id) + "," + s.kind + "," + CsvQuoted(SituationText(s.kind, s.detail)) +
         "," + s.source + "," + s.fromPeriod + "," + s.toPeriod.value_or("") + "," + std::to_string(s.hours) + "," +
         CsvQuoted(s.detail) + "," + s.raisedUtc + "," + s.clearedUtc + "," + CsvQuoted(s.ackBy) + "," + s.ackUtc;
}

constexpr const char* kSummaryColumns =
    "serial,name,line,model,month,hours,hours_held,hours_missing,operating_hours,error_hours,flag_hours";
constexpr const char* kSituationColumns =
    "serial,name,line,id,kind,kind_text,source,from,to,hours,detail,raised_utc,cleared_utc,acked_by,acked_utc";

// The situations that overlap the month, by serial, each instrument's by start.
Result<std::map<std::string, std::vector<SituationRow>>> SituationsOf(store::RecordStore& s,
                                                                      const BillingMonth& month) {
  store::SituationQuery q;
  q.since = month.FirstHour();
  auto rows = s.Situations(q);
  if (!rows) return rows.error();
  std::map<std::string, std::vector<SituationRow>> bySerial;
  const std::string last = month.LastHour();
  for (auto& r : *rows)
    if (r.fromPeriod <= last) bySerial[r.serial].push_back(std::move(r));
  for (auto& [serial, list] : bySerial)
    std::sort(list.begin(), list.end(), [](const SituationRow& a, const SituationRow& b) {
      return std::tie(a.fromPeriod, a.kind, a.id) < std::tie(b.fromPeriod, b.kind, b.id);
    });
  return bySerial;
}

}  // namespace

std::string BillingMonth::Text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d", year % 10000, month % 100);
  return buf;
}
std::string BillingMonth::FirstHour() const { return Text() + "-01 00:00"; }
std::string BillingMonth::LastHour() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "-%02d 23:00", DaysIn(*this) % 100);
  return Text() + buf;
}

std::optional<BillingMonth> BillingMonthOf(std::string_view text) {
  if (text.size() != 7 || text[4] != '-') return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (i != 4 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
  const auto digits = [&text](std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  BillingMonth m{digits(0, 4), digits(5, 2)};
  if (m.year < 2000 || m.year > 2099 || m.month < 1 || m.month > 12) return std::nullopt;
  return m;
}

Result<std::optional<analysis::MonthSummary>> MonthSummaryOf(store::RecordStore& s, const store::InstrumentRow& in,
                                                             const BillingMonth& month) {
  const DeviceType type = TypeOfModelName(in.model);
  if (type == DeviceType::dtUnknown) return std::optional<analysis::MonthSummary>();
  auto image = ImageFromStore(s, {in.serial, ArchiveKind::Hourly, month.FirstHour(), month.LastHour()}, type);
  if (!image) {
    // No stored header (or an archive the model lacks): nothing to decode the records by.
    if (image.error().code == ErrorCode::BadData) return std::optional<analysis::MonthSummary>();
    return image.error();
  }
  const auto model = MakeStatModel(image->data);
  if (!model) return std::optional<analysis::MonthSummary>();
  analysis::Settings span;
  span.from = CalendarSecondsOf(month.year, month.month, 1, 0);
  span.to = CalendarSecondsOf(month.year, month.month, DaysIn(month), 23);
  for (auto& m : analysis::MonthSummaries(analysis::MeterRecordsOf(*model), span))
    if (m.year == month.year && m.month == month.month) return std::optional(std::move(m));
  return std::optional<analysis::MonthSummary>();
}

Result<void> ExportMonth(store::RecordStore& s, const BillingMonth& month, ExportForm form, std::ostream& out) {
  auto fleet = FleetInOrder(s);
  if (!fleet) return fleet.error();
  auto situations = SituationsOf(s, month);
  if (!situations) return situations.error();
  const std::vector<SituationRow> none;
  const auto of = [&](const std::string& serial) -> const std::vector<SituationRow>& {
    const auto it = situations->find(serial);
    return it == situations->end() ? none : it->second;
  };
  if (form == ExportForm::Csv) out << kSummaryColumns << "\n";
  else out << "{\"month\":\"" << month.Text() << "\",\"instruments\":[";
  bool first = true;
  for (const auto& in : *fleet) {
    auto summary = MonthSummaryOf(s, in, month);
    if (!summary) return summary.error();
    if (form == ExportForm::Csv) {
      out << SummaryCsv(in, *summary, month) << "\n";
    } else {
      Json list = Json::array();
      for (const auto& x : of(in.serial)) list.push_back(SituationJson(x));
      const Json j{{"name", in.name}, {"serial", ValidUtf8(in.serial)},          {"model", in.model},
                   {"line", in.line}, {"summary", SummaryJson(*summary, month)}, {"situations", std::move(list)}};
      out << (first ? "\n" : ",\n") << JsonText(j);
    }
    first = false;
    if (!out) return MakeError(ErrorCode::FileSystem, "не удалось записать вывод");
  }
  if (form == ExportForm::Json) {
    out << (first ? "]}\n" : "\n]}\n");
  } else {
    out << "\n" << kSituationColumns << "\n";
    for (const auto& in : *fleet)
      for (const auto& x : of(in.serial)) out << SituationCsv(in, x) << "\n";
  }
  if (!out) return MakeError(ErrorCode::FileSystem, "не удалось записать вывод");
  return {};
}

}  // namespace statvtk::collect
