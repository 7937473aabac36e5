// export --situations --month: a simulated instrument's records, header and
// situations in a store give each month's summary exactly as statvtk-cli
// situations gives it for the file (hours the store lacks counted as
// without data), and the situations that overlap the month, as JSON and as
// CSV; a month that is no month is refused with exit 2.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/situations.hpp"
#include "base/json_text.hpp"
#include "collect/commands.hpp"
#include "collect/views/csv_cells.hpp"
#include "collect/views/month_export.hpp"
#include "forwarding_store.hpp"
#include "stored_image.hpp"
#include "stats/record_plausible.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {
namespace {

// The situations the store holds: by their first hour (and last; "" open).
const std::vector<std::pair<std::string, std::string>> kSituations{
    {"2026-10-20 00:00", "2026-10-31 23:00"},  // ends before November
    {"2026-10-25 05:00", ""},                  // open: in every month after
    {"2026-11-12 03:00", "2026-11-12 06:00"},  // in November
    {"2026-12-02 00:00", "2026-12-03 23:00"},  // in December
};

class MonthExport : public ::testing::Test {
 protected:
  // A new store with the instrument, its header and the situations.
  void Make() {
    store_ = test::ForwardingStore::Sqlite();
    data_ = test::SimulatedDump(kType);
    model_ = MakeStatModel(data_);
    ASSERT_TRUE(model_);
    serial_ = model_->SerialText();
    const std::string model(DeviceTypeName(kType));
    ASSERT_TRUE(store_->UpsertInstrument({serial_, model, "boiler", "bus", 1, "", "", {}}));
    const auto read = store_->StartRead({serial_, "boiler", "bus", "2026-12-08T10:30:00Z", store::ReadMode::Full});
    ASSERT_TRUE(read);
    ASSERT_TRUE(store_->PutHeader({*read, serial_, model, "2026-12-08T10:31:00Z", 0, data_.header}));
    std::vector<store::SituationRow> found;
    for (const auto& [from, to] : kSituations) {
      store::SituationRow r;
      r.serial = serial_, r.kind = "no_consumption", r.source = "rule", r.fromPeriod = from, r.hours = 4;
      if (!to.empty()) r.toPeriod = to;
      found.push_back(r);
    }
    ASSERT_TRUE(store_->PutSituations(serial_, found, "2026-12-08T10:32:00Z"));
  }

  // statvtk-cli situations' month of the file.
  std::optional<analysis::MonthSummary> CliMonth(const BillingMonth& m) {
    analysis::Settings span;
    span.from = CalendarSecondsOf(m.year, m.month, 1, 0);
    span.to = CalendarSecondsOf(m.year, m.month, m.month == 11 ? 30 : 31, 23);
    for (auto& s : analysis::Analyse(analysis::MeterRecordsOf(*model_), span).months)
      if (s.month == m.month) return s;
    return std::nullopt;
  }

  static constexpr DeviceType kType = DeviceType::dtVTK0814C;
  StatData data_;
  std::shared_ptr<const StatModel> model_;
  std::string serial_;
  std::unique_ptr<test::ForwardingStore> store_;
};

double Near(double v) { return std::round(v * 1e6) / 1e6; }

TEST_F(MonthExport, EachMonthIsTheCliSummaryOfTheStoredHoursWithTheSituationsOverlappingIt) {
  struct Case {
    const char* month;
    const char* dropFrom;  // hours the store lacks ("" none)
    const char* dropTo;
    std::vector<std::size_t> situations;  // of kSituations, in order
  };
  const Case cases[] = {
      {.month = "2026-11", .dropFrom = "", .dropTo = "", .situations = {1, 2}},
      {.month = "2026-11", .dropFrom = "2026-11-10 00:00", .dropTo = "2026-11-10 05:00", .situations = {1, 2}},
      {.month = "2026-12", .dropFrom = "", .dropTo = "", .situations = {1, 3}},
      {.month = "2026-08", .dropFrom = "", .dropTo = "", .situations = {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.month) + " without " + c.dropFrom);
    Make();
    // The model's hourly records, but those of dropFrom..dropTo.
    test::FillStore(*store_, *model_, serial_, {ArchiveKind::Hourly},
                    [&](const std::string& p) { return p < c.dropFrom || p > c.dropTo; });
    const BillingMonth month = *BillingMonthOf(c.month);
    const long long dropped = *c.dropFrom ? 6 : 0;

    std::ostringstream json, csv;
    ASSERT_TRUE(ExportMonth(*store_, month, ExportForm::Json, json));
    ASSERT_TRUE(ExportMonth(*store_, month, ExportForm::Csv, csv));
    const Json j = Json::parse(json.str());
    EXPECT_EQ(j["month"], c.month);
    ASSERT_EQ(j["instruments"].size(), 1u);
    const Json& in = j["instruments"][0];
    EXPECT_EQ(in["serial"], serial_);
    EXPECT_EQ(in["model"], "VTK-08.14 C");
    const auto want = CliMonth(month);
    const Json& got = in["summary"];
    std::string summaryRow = "\"" + serial_ + "\",\"boiler\",\"bus\",\"VTK-08.14 C\"," + c.month + ",";
    if (!want) {
      EXPECT_TRUE(got.is_null()) << got;
      summaryRow += ",,,,,";
    } else {
      ASSERT_TRUE(got.is_object()) << json.str();
      EXPECT_GT(want->held, 100);
      EXPECT_EQ(got["hours"], want->hours);
      EXPECT_EQ(got["hours_held"], want->held - dropped);
      EXPECT_EQ(got["hours_missing"], want->missing + dropped);
      // The counter's increment after the missing hours spans them: the month's time is the same.
      EXPECT_EQ(got["operating_hours"], Near(*want->operatingHours));
      EXPECT_EQ(got["error_hours"], Near(*want->errorHours));
      if (!dropped)
        for (const auto& [word, hours] : want->flagHours) EXPECT_EQ(got["flag_hours"][word], hours) << word;
      summaryRow += std::to_string(want->hours) + "," + std::to_string(want->held - dropped) + "," +
                    std::to_string(want->missing + dropped) + ",";
    }
    std::vector<std::string> froms;
    for (const auto& s : in["situations"]) froms.push_back(s["from"].get<std::string>());
    std::vector<std::string> wantFroms;
    for (const std::size_t k : c.situations) wantFroms.push_back(kSituations[k].first);
    EXPECT_EQ(froms, wantFroms);

    // CSV: the summaries, a blank line, the situations.
    std::istringstream lines(csv.str());
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4 + c.situations.size()) << csv.str();
    EXPECT_EQ(rows[0].substr(0, 30), "serial,name,line,model,month,h");
    EXPECT_EQ(rows[1].substr(0, summaryRow.size()), summaryRow);
    EXPECT_EQ(rows[2], "");
    EXPECT_EQ(rows[3].substr(0, 21), "serial,name,line,id,k");
    for (std::size_t k = 0; k < c.situations.size(); ++k)
      EXPECT_NE(rows[4 + k].find(",rule," + kSituations[c.situations[k]].first + ","), std::string::npos)
          << rows[4 + k];
  }
}

TEST(MonthExportArgs, AMonthThatIsNoMonthIsRefused) {
  const std::vector<std::vector<std::string>> cases{
      {"--situations", "--month", "2026-13"}, {"--situations", "--month", "2026-1"},
      {"--situations", "--month", "26-11"},   {"--situations", "--month", "2026-11-01"},
      {"--situations", "--month", "1999-12"}, {"--situations", "--month", "ноябрь"},
  };
  for (auto args : cases) {
    args.insert(args.begin(), "export");
    args.insert(args.end(), {"--home", "/nonexistent-statvtk-home"});
    std::ostringstream out, err;
    EXPECT_EQ(Dispatch(args, out, err), kExitConfig) << args[3];
    EXPECT_NE(err.str().find("не месяц; нужен месяц в виде ГГГГ-ММ"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
  std::ostringstream out, err;
  EXPECT_EQ(Dispatch({"export", "--month", "2026-11", "--home", "/nonexistent-statvtk-home"}, out, err), kExitConfig);
  EXPECT_NE(err.str().find("--situations и --month задаются вместе"), std::string::npos) << err.str();
}

// A value that is no number leaves its cell empty, never "nan" for a spreadsheet to choke on.
TEST(CsvCells, ANumberIsSixDecimalsAndNoNumberAnEmptyCell) {
  EXPECT_EQ(CsvNumber(1.5), "1.500000");
  EXPECT_EQ(CsvNumber(std::nan("")), "");
  EXPECT_EQ(CsvNumber(-INFINITY), "");
  EXPECT_EQ(CsvNumber(std::optional<double>()), "");
  EXPECT_EQ(CsvQuoted("a\"b"), "\"a\"\"b\"");
}

}  // namespace
}  // namespace statvtk::collect
