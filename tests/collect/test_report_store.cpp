// statvtk-collect report against statvtk-cli report: a simulated
// instrument's records and header in a store (and no file anywhere) give the
// worksheet of its image, cell for cell, for the hourly and the daily report
// of each model; without a stored header there is no report.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "collect/image/report_command.hpp"
#include "collect/image/report_image.hpp"
#include "forwarding_store.hpp"
#include "stored_image.hpp"
#include "reports/file_io.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"
#include "reports/xlsx_xml.hpp"
#include "reports/zip_archive.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_window.hpp"
#include "store/sqlite_connection.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::collect {
namespace {

// Equal texts, or where they part (the cell around the first difference).
::testing::AssertionResult SameSheet(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const std::size_t from = at > 120 ? at - 120 : 0;
  return ::testing::AssertionFailure() << "sheets part at " << at << ":\n got: " << got.substr(from, 240)
                                       << "\nwant: " << want.substr(from, 240);
}

std::string Sheet(const std::filesystem::path& workbook) {
  auto bytes = ReadWholeFile(workbook);
  EXPECT_TRUE(bytes) << workbook;
  if (!bytes) return {};
  auto parts = ReadZip(*bytes);
  EXPECT_TRUE(parts);
  if (!parts) return {};
  const ZipEntry* sheet = FindPart(*parts, "xl/worksheets/sheet2.xml");
  EXPECT_NE(sheet, nullptr);
  return sheet ? std::string(sheet->data.begin(), sheet->data.end()) : std::string();
}

class StoreReport : public ::testing::TestWithParam<DeviceType> {
 protected:
  void SetUp() override {
    data_ = test::SimulatedDump(GetParam());
    model_ = MakeStatModel(data_);
    ASSERT_TRUE(model_);
    serial_ = model_->SerialText();
    const std::string model(DeviceTypeName(GetParam()));
    ASSERT_TRUE(store_->UpsertInstrument({serial_, model, "n", "l", 1, "", "", {}}));
    readId_ = *store_->StartRead({serial_, "n", "l", "2026-12-08T10:30:00Z", store::ReadMode::Full});
    ASSERT_TRUE(store_->FinishRead(readId_, {"", "2026-12-08T10:31:00Z", store::ReadOutcome::Done, "", 1,
                                             "Data/gone" + std::string(FileExtension(GetParam())), 0, 0, 0, 0}));
    ASSERT_TRUE(store_->PutHeader({readId_, serial_, model, "2026-12-08T10:31:00Z", 0, data_.header}));
  }

  // statvtk-cli's way: the file's model and its window.
  std::filesystem::path CliHourly(const CalendarDate& day) {
    StatWindowModel w(model_, day);
    w.SetMode(StatMode::Hourly);
    for (std::size_t i = 0; i < w.Items().size(); ++i)
      if (w.Items()[i].text == ShortDateText(day)) w.SelectItem(i);
    ReportRun run;
    run.home = home_.Path();
    run.output = home_.Path() / "cli_h.xlsx";
    auto written = ExportHourDataToExcel(HourInputOf(*model_, w.PrepareReport()), run);
    EXPECT_TRUE(written) << written.error().reason;
    return *run.output;
  }
  std::filesystem::path CliDaily(const CalendarDate& from, const CalendarDate& to) {
    StatWindowModel w(model_, from);
    w.SetMode(StatMode::Daily);
    w.SetBeginDate(from);
    w.SetEndDate(to);
    w.DatesChanged();
    ReportRun run;
    run.home = home_.Path();
    run.output = home_.Path() / "cli_d.xlsx";
    auto written = ExportDayDataToExcel(
        DailyInputOf(*model_, w.PrepareReport(), ShortDateText(w.BeginDate()), ShortDateText(w.EndDate())), run);
    EXPECT_TRUE(written) << written.error().reason;
    return *run.output;
  }
  void Fill(const std::function<bool(const std::string&)>& keep) {
    test::FillStore(*store_, *model_, serial_, {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}, keep);
  }
  int Collect(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    args.insert(args.begin(), {"--serial", serial_});
    std::string why;
    auto a = ParseStoreReportArgs(args, &why);
    if (!a) {
      if (err) *err = why;
      return 2;
    }
    std::ostringstream o, e;
    const int status = RunStoreReport(*a, *store_, home_.Path(), o, e);
    if (out) *out = o.str();
    if (err) *err = e.str();
    return status;
  }

  link_test::TempFolder home_;
  StatData data_;
  std::shared_ptr<const StatModel> model_;
  std::string serial_;
  std::int64_t readId_ = 0;
  std::unique_ptr<test::ForwardingStore> store_ = test::ForwardingStore::Sqlite();
};

// 01.12: a day without the history's irregularities. (On 03.12 an hour closes
// twice; the store keeps one record per hour, so the next hour's increment
// is taken against that one, where the file takes the second.)
TEST_P(StoreReport, HourlyAndDailyWorkbooksAreThoseOfTheFile) {
  Fill([](const std::string&) { return true; });
  const struct {
    std::vector<std::string> args;
    std::filesystem::path cli, out;
  } cases[] = {
      {{"--day", "01.12.26"}, CliHourly({2026, 12, 1}), home_.Path() / "store_h.xlsx"},
      {{"--daily", "05.11.26", "04.12.26"}, CliDaily({2026, 11, 5}, {2026, 12, 4}), home_.Path() / "store_d.xlsx"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out", c.out.string()});
    std::string out, err;
    ASSERT_EQ(Collect(args, &out, &err), 0) << err;
    EXPECT_EQ(out, c.out.string() + "\n");
    const std::string want = Sheet(c.cli);
    ASSERT_FALSE(want.empty());
    EXPECT_TRUE(SameSheet(Sheet(c.out), want)) << c.args[0];
  }
}

TEST_P(StoreReport, HoursTheStoreLacksStayEmptyAndADayWithoutRecordsIsRefused) {
  // The store has the day's hours from 06:00 on only.
  Fill([](const std::string& p) { return p.size() != 16 || p >= "2026-12-03 06:00"; });
  const std::filesystem::path out = home_.Path() / "part.xlsx";
  ASSERT_EQ(Collect({"--day", "03.12.26", "--out", out.string()}), 0);
  EXPECT_NE(Sheet(out), Sheet(CliHourly({2026, 12, 3})));
  auto image = ImageFromStore(*store_, {serial_, ArchiveKind::Hourly, "2026-12-03 00:00", "2026-12-03 23:00"});
  ASSERT_TRUE(image);
  EXPECT_EQ(image->records, 18u);
  EXPECT_EQ(image->headerRead, readId_);
  std::string err;
  EXPECT_EQ(Collect({"--day", "03.12.25"}, nullptr, &err), 1);
  EXPECT_NE(err.find("03.12.25"), std::string::npos) << err;
  // No stored header: no report with blank header cells.
  auto c = store::SqliteConnection::Open((store_->Folder() / "collect.sqlite").string(), 1000);
  ASSERT_TRUE(c && (*c)->Exec("DELETE FROM read_headers"));
  EXPECT_EQ(Collect({"--day", "03.12.26", "--out", out.string()}, nullptr, &err), 1);
  EXPECT_NE(err.find("нет заголовка"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Models, StoreReport,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08),
                         [](const auto& info) {
                           std::string name(DeviceTypeName(info.param));
                           std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
                           return name;
                         });

TEST(StoreReportArgs, BadUsageIsTold) {
  const std::vector<std::pair<std::vector<std::string>, const char*>> cases{
      {{"--day", "03.12.26"}, "--serial"},
      {{"--serial", "1"}, "--day"},
      {{"--serial", "1", "--day", "31.02.26"}, "--day"},
      {{"--serial", "1", "--day", "3.12.26"}, "--day"},
      {{"--serial", "1", "--daily", "05.12.26"}, "--daily"},
      {{"--serial", "1", "--daily", "05.12.26", "01.12.26"}, "позже"},
      {{"--serial", "1", "--day", "01.12.26", "--daily", "01.12.26", "02.12.26", "--out", "x"}, "--out"},
      {{"--serial", "1", "--day", "01.12.26", "--bogus"}, "--bogus"},
  };
  for (const auto& [args, has] : cases) {
    std::string why;
    EXPECT_FALSE(ParseStoreReportArgs(args, &why));
    EXPECT_NE(why.find(has), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace statvtk::collect
