// Technical information texts, message log lines and files, the daily block,
// CSV export and the file commands of statvtk-cli.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "cli/commands.hpp"
#include "report_test_util.hpp"
#include "reports/csv_export.hpp"
#include "reports/daily_report.hpp"
#include "reports/message_log.hpp"
#include "reports/tech_info.hpp"
#include "stats/stat_builders.hpp"
#include "stats/stat_file.hpp"

namespace {

using namespace statvtk;
using namespace stattest;
namespace fs = std::filesystem;

std::string ValueOf(const TechInfo& t, const std::string& label) {
  for (const auto& r : t.rows)
    if (r.label == label) return r.value;
  return "<missing>";
}

StatData Cm(int code, std::uint32_t maxFlow, int freq) {
  StatData d = StatData::Blank(DeviceType::dtVTK0814CM);
  std::memcpy(d.header.data() + 512, "12345678", 8);
  d.header[520] = static_cast<std::uint8_t>(code);
  d.header[542] = static_cast<std::uint8_t>(freq);
  PutFloatBE(std::span(d.header).subspan(544), 0.25f);
  PutBE(std::span(d.header).subspan(553), 250, 4);
  PutBE(std::span(d.header).subspan(557), maxFlow, 4);
  return d;
}

TEST(TechInfo, Vtk0814Formats) {
  struct Case {
    DeviceType type;
    int code;
    std::uint32_t maxFlow;
    int freq;
    const char *typeText, *dn, *gmin, *gmax, *fmax;
  };
  const Case cases[] = {
      {DeviceType::dtVTK0814CM, 3, 100, 50, "VTK-08.14SM \\ MERIDA.08.14", "40.0", "1.0000", "40.0", "1000.0"},
      {DeviceType::dtVTK0814C, 0, 1000, 1, "VTK-08.14", "15.0", "0.1500", "60.0", "20.0"},
      {DeviceType::dtVTK0814C, 7, 100, 50, "VTK-08.14", "—", "—", "—", "1000.0"},  // past the C table
      {DeviceType::dtVTK0814CM, 8, 100, 50, "VTK-08.14SM \\ MERIDA.08.14", "—", "—", "—", "1000.0"},
      {DeviceType::dtVTK0814CM, 255, 100, 0, "VTK-08.14SM \\ MERIDA.08.14", "—", "—", "—", "0.0"},
  };
  for (const auto& c : cases) {
    StatData d = Cm(c.code, c.maxFlow, c.freq);
    const TechInfo t = BuildTechInfo(d.header, c.type);
    EXPECT_EQ(t.caption, "Техническая информация - прибор № 12345678");
    ASSERT_GE(t.rows.size(), 6u);
    const char* labels[] = {"Тип", "Ду, мм", "Gmin, м3/ч", "Gmax, м3/ч", "Fmax, Гц", "Kv, л/имп"};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(t.rows[i].label, labels[i]);
    EXPECT_EQ(ValueOf(t, "Тип"), c.typeText);
    EXPECT_EQ(ValueOf(t, "Ду, мм"), c.dn) << c.code;
    EXPECT_EQ(ValueOf(t, "Gmin, м3/ч"), c.gmin) << c.code;
    EXPECT_EQ(ValueOf(t, "Gmax, м3/ч"), c.gmax) << c.code;
    EXPECT_EQ(ValueOf(t, "Fmax, Гц"), c.fmax);
    EXPECT_EQ(ValueOf(t, "Kv, л/имп"), "0.2500");
  }
}

TEST(TechInfo, Vtk0812AndLdnShowTheirHeaders) {
  StatData v = StatData::Blank(DeviceType::dtVTK0812);
  std::memcpy(v.header.data() + 512, "SN12\0\0\0\0", 8);
  v.header[520] = 8;  // past the table
  PutFloatBE(std::span(v.header).subspan(528), 1.5f);
  v.header[577] = 9;
  TechInfo t = BuildTechInfo(v.header, DeviceType::dtVTK0812);
  EXPECT_EQ(t.caption, "Техническая информация - прибор № SN12####");
  EXPECT_EQ(ValueOf(t, "Тип"), "VTK-08.12");
  EXPECT_EQ(ValueOf(t, "Ду, мм"), "—");
  EXPECT_EQ(ValueOf(t, "Gmin, м3/ч"), "—");
  EXPECT_EQ(ValueOf(t, "Заводской №"), "SN12####");
  EXPECT_EQ(ValueOf(t, "Кал. 1"), "1.5000");
  EXPECT_EQ(ValueOf(t, "Уст. 2"), "9");

  StatData l = StatData::Blank(DeviceType::dtLDN08);
  PutLE(std::span(l.header), 4242, 4);
  l.header[4] = 4;  // 50 mm, 63 m3/h
  l.header[5] = 25;
  PutFloatLE(std::span(l.header).subspan(8), 10.0f);
  PutLE(std::span(l.header).subspan(12), 100, 4);
  PutLE(std::span(l.header).subspan(16), 200, 4);
  std::memcpy(l.header.data() + 20, "1.20", 4);
  t = BuildTechInfo(l.header, DeviceType::dtLDN08);
  EXPECT_EQ(t.caption, "Техническая информация - прибор № 4242");
  EXPECT_EQ(ValueOf(t, "Тип"), "LDN-08");
  EXPECT_EQ(ValueOf(t, "Ду, мм"), "50.0");
  EXPECT_EQ(ValueOf(t, "Gmin, м3/ч"), "0.6300");
  EXPECT_EQ(ValueOf(t, "Gmax, м3/ч"), "126.0");
  EXPECT_EQ(ValueOf(t, "Fmax, Гц"), "500.0");
  EXPECT_EQ(ValueOf(t, "Kv, л/имп"), "10.0000");
  EXPECT_EQ(ValueOf(t, "Версия ПО"), "1.20");
  // A short header reads nothing past its end.
  const std::vector<std::uint8_t> shortHeader(10, 0xFF);
  EXPECT_EQ(ValueOf(BuildTechInfo(shortHeader, DeviceType::dtVTK0814C), "Ду, мм"), "—");
}

std::tm At(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return tm;
}

TEST(MessageLog, LinesNamesAndSaving) {
  EXPECT_EQ(LogLineText("Связь установлена", At(2024, 3, 5, 9, 7, 3)), "[05.03.2024 09:07:03]  Связь установлена");
  EXPECT_EQ(LogLineText("", At(2024, 3, 5, 9, 7, 3)), "");
  EXPECT_EQ(ProposedLogFileName(At(2024, 3, 5, 9, 7, 3)), "stat61x-2024-03-05@09-07.log");
  const statvtk::link_test::TempFolder folder;
  const fs::path home = folder.Path();
  EXPECT_EQ(ProposedLogPath(home, At(2024, 12, 31, 23, 59, 0)), home / "logs" / "stat61x-2024-12-31@23-59.log");
  EXPECT_TRUE(fs::is_directory(home / "logs"));
  MessageLog log;
  log.AddMessageAt("один", At(2024, 1, 2, 3, 4, 5));
  log.AddMessageAt("", At(2024, 1, 2, 3, 4, 5));
  log.AddMessage("два");
  ASSERT_EQ(log.Lines().size(), 2u);
  std::string err;
  ASSERT_TRUE(Unpack(log.SaveTo(home / "logs" / "a.log"), &err)) << err;
  const auto bytes = reporttest::ReadBytes(home / "logs" / "a.log");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.substr(0, text.find('\n')), "[02.01.2024 03:04:05]  один");
  log.Clear();
  ASSERT_TRUE(Unpack(log.SaveTo(home / "logs" / "a.log"), &err));
  EXPECT_EQ(fs::file_size(home / "logs" / "a.log"), 0u);  // cleared then saved: an empty file
  EXPECT_FALSE(Unpack(log.SaveTo(home / "missing" / "b.log"), &err));
  EXPECT_NE(err.find("Не удалось сохранить протокол"), std::string::npos);
}

TEST(DailyBlock, RowsAndFormats) {
  EXPECT_EQ(DailyDateText(5, 3, 24), "05.03.2024");
  EXPECT_EQ(DailyTimeText(7, 30), "07:30");
  EXPECT_EQ(DayMonthLabel(5, 3), "05.03");
  DailyReportInput in;
  in.header.type = DeviceType::dtVTK0812;
  in.header.serial = "SN";
  in.fromText = "01.03.24";
  in.toText = "03.03.24";
  for (int d = 1; d <= 3; d += 2) {
    DailyRow row{d, 3, 24, {}};
    row.record.forwardTotal = d * 10.0;
    row.record.statusByte = 0x81;
    in.days.push_back(row);
  }
  const CellBlock b = BuildDailyBlock(in);
  EXPECT_EQ(DescribeCell(b.At("A8")), "str:01.03.24 - 03.03.24");
  EXPECT_EQ(DescribeCell(b.At("B8")), "str:01.03.2024");
  EXPECT_EQ(DescribeCell(b.At("B9")), "str:03.03.2024");
  EXPECT_EQ(DescribeCell(b.At("A11")), "int:2");
  EXPECT_EQ(DescribeCell(b.At("A16")), "int:1");
  EXPECT_EQ(DescribeCell(b.At("B16")), "str:03.03.2024");
  EXPECT_EQ(DescribeCell(b.At("E16")), "str:03.03");
  EXPECT_EQ(DescribeCell(b.At("F16")), "str:00:00");
  EXPECT_EQ(DescribeCell(b.At("C16")), "dbl:30");
  EXPECT_EQ(DescribeCell(b.At("AQ16")), "int:129");
  EXPECT_EQ(DescribeCell(b.At("AY16")), "int:1");
  EXPECT_EQ(DescribeCell(b.At("A17")), "");
  EXPECT_EQ(DescribeCell(b.At("G15")), "dbl:0");  // increments as given
  EXPECT_EQ(DescribeCell(b.At("A12")), "");       // every day has its increment

  // A day without an increment: empty increment cells, the note in A12.
  in.days.front().record.incrementKnown = false;
  const CellBlock n = BuildDailyBlock(in);
  EXPECT_EQ(DescribeCell(n.At("C15")), "dbl:10");
  EXPECT_EQ(DescribeCell(n.At("G15")), "");
  EXPECT_EQ(DescribeCell(n.At("AL15")), "");
  EXPECT_EQ(DescribeCell(n.At("G16")), "dbl:0");
  EXPECT_EQ(DescribeCell(n.At("A12")), "str:Записей без приращения: 1 (не вошли в итог)");
}

// A VTK-08.12 file with three days of hours and days, in a fresh home.
struct CliFixture : ::testing::Test {
  statvtk::link_test::TempFolder folder;
  fs::path home = folder.Path();
  fs::path file;
  void SetUp() override {
    StatData d = StatData::Blank(DeviceType::dtVTK0812);
    std::memcpy(d.header.data() + 512, "CLI00001", 8);
    d.header[520] = 2;
    for (std::size_t day = 0; day < 3; ++day) {
      Rec0812 r;
      r.day = IntToBcd(static_cast<int>(10 + day));
      r.month = 0x03;
      r.year = 0x24;
      r.forward = 1000000 * (day + 1);
      Write0812(d, DaySlot0812(day), r);
      for (int h = 0; h < 3; ++h) {
        r.hour = IntToBcd(h);
        Write0812(d, HourSlot0812(day * 3 + static_cast<std::size_t>(h)), r);
      }
    }
    file = home / "CLI00001.VST";  // upper case: the command line lower-cases the extension
    std::string err;
    ASSERT_TRUE(Unpack(SaveStatFile(file, d), &err)) << err;
  }
  int Run(int (*cmd)(const cli::Args&, std::ostream&, std::ostream&), cli::Args args, std::string* out,
          std::string* err) {
    std::ostringstream o, e;
    const int rc = cmd(args, o, e);
    *out = o.str();
    *err = e.str();
    return rc;
  }
};

TEST_F(CliFixture, InfoPrintsTechnicalInformation) {
  std::string out, err;
  EXPECT_EQ(Run(cli::RunInfo, {file.string()}, &out, &err), 0) << err;
  EXPECT_NE(out.find("Техническая информация - прибор № CLI00001"), std::string::npos);
  EXPECT_NE(out.find("Ду, мм\t32.0"), std::string::npos) << out;
  EXPECT_EQ(Run(cli::RunInfo, {"--help"}, &out, &err), 0);
  EXPECT_NE(out.find("usage"), std::string::npos);
  EXPECT_EQ(Run(cli::RunInfo, {}, &out, &err), 2);
  EXPECT_EQ(Run(cli::RunInfo, {(home / "none.vst").string()}, &out, &err), 3);
}

TEST_F(CliFixture, ExportWritesCsv) {
  std::string out, err;
  ASSERT_EQ(Run(cli::RunExport, {file.string(), "--archive", "daily", "--decimal", ","}, &out, &err), 0) << err;
  std::istringstream lines(out);
  std::string head, first;
  std::getline(lines, head);
  std::getline(lines, first);
  EXPECT_EQ(head.rfind("Дата/время;V+, м3;", 0), 0u) << head;
  // The oldest day has no increment: its increment fields are empty; the next
  // day's increment is against it.
  EXPECT_EQ(first.rfind("10.03.2024 00:00;1,000000;;0,000000;;", 0), 0u) << first;
  std::string second;
  std::getline(lines, second);
  EXPECT_EQ(second.rfind("11.03.2024 00:00;2,000000;1,000000;0,000000;0,000000;", 0), 0u) << second;
  int rows = 0;
  for (std::istringstream all(out); std::getline(all, head);) ++rows;
  EXPECT_EQ(rows, 4);
  const fs::path csv = home / "h.csv";
  ASSERT_EQ(Run(cli::RunExport, {file.string(), "--out", csv.string()}, &out, &err), 0) << err;
  EXPECT_GT(fs::file_size(csv), 0u);
  EXPECT_EQ(Run(cli::RunExport, {file.string(), "--archive", "weekly"}, &out, &err), 2);
  EXPECT_EQ(Run(cli::RunExport, {file.string(), "--separator"}, &out, &err), 2);
  EXPECT_EQ(Run(cli::RunExport, {file.string(), "--archive", "monthly"}, &out, &err), 3);  // 08.12 keeps none
}

TEST_F(CliFixture, ReportWritesWorkbooks) {
  std::string out, err;
  ASSERT_EQ(Run(cli::RunReport, {file.string(), "--day", "11.03.24", "--home", home.string()}, &out, &err), 0) << err;
  EXPECT_EQ(out, (home / "Reports" / "CLI00001_2024-03-11_hourly.xlsx").string() + "\n");
  ASSERT_EQ(Run(cli::RunReport, {file.string(), "--from", "10.03.24", "--to", "12.03.24", "--home", home.string()},
                &out, &err),
            0)
      << err;
  EXPECT_EQ(out, (home / "Reports" / "CLI00001_2024-03-10_2024-03-12_daily.xlsx").string() + "\n");
  auto bytes = reporttest::ReadBytes(home / "Reports" / "CLI00001_2024-03-10_2024-03-12_daily.xlsx");
  auto parts = reporttest::Parts(bytes);
  const auto cells = reporttest::ReadSheet(parts, "xl/worksheets/sheet2.xml");
  EXPECT_EQ(DescribeCell(cells.at({11, 1}).value), "dbl:3");
  EXPECT_EQ(DescribeCell(cells.at({17, 2}).value), "str:12.03.2024");
  // Not a calendar day, but a day a file may list: looked up, and absent here.
  EXPECT_EQ(Run(cli::RunReport, {file.string(), "--day", "31.02.24", "--home", home.string()}, &out, &err), 3);
  EXPECT_NE(err.find("no hourly records of 31.02.24"), std::string::npos) << err;
  EXPECT_EQ(Run(cli::RunReport, {file.string(), "--day", "32.02.24"}, &out, &err), 2);
  EXPECT_EQ(Run(cli::RunReport, {file.string(), "--day", "11.03.24", "--from", "10.03.24"}, &out, &err), 2);
  EXPECT_EQ(Run(cli::RunReport, {file.string(), "--day", "01.01.24", "--home", home.string()}, &out, &err), 3);
  // A folder that cannot hold Reports/: exit 3 with the reason.
  const fs::path blocked = home / "blocked";
  fs::create_directories(blocked);
  std::ofstream(blocked / "Reports") << "x";
  EXPECT_EQ(Run(cli::RunReport, {file.string(), "--day", "11.03.24", "--home", blocked.string()}, &out, &err), 3);
  EXPECT_NE(err.find("Невозможно передать данные в Excel"), std::string::npos) << err;
}

// A file whose records carry the stored date 31.02.24 (they pass the record
// checks and are listed): the day's hourly report, and the daily report of a
// period around it picks it by its stored key, not as 2 March.
TEST_F(CliFixture, ADayListedAs3102IsReported) {
  std::string out, err;
  StatData d;
  {
    Result<StatData> r = LoadStatFile(file, ExtensionRule::LowerCase);
    ASSERT_TRUE(r);
    d = *r;
  }
  Rec0812 r;
  r.day = 0x31;
  r.month = 0x02;
  r.year = 0x24;
  r.forward = 7000000;
  Write0812(d, DaySlot0812(10), r);
  for (int h = 0; h < 2; ++h) {
    r.hour = IntToBcd(h);
    Write0812(d, HourSlot0812(20 + static_cast<std::size_t>(h)), r);
  }
  const fs::path odd = home / "odd.vst";
  ASSERT_TRUE(Unpack(SaveStatFile(odd, d), &err)) << err;
  ASSERT_EQ(Run(cli::RunReport, {odd.string(), "--day", "31.02.24", "--home", home.string()}, &out, &err), 0) << err;
  ASSERT_EQ(Run(cli::RunReport, {odd.string(), "--from", "25.02.24", "--to", "01.03.24", "--home", home.string()}, &out,
                &err),
            0)
      << err;
  auto parts = reporttest::Parts(reporttest::ReadBytes(out.substr(0, out.size() - 1)));
  const auto cells = reporttest::ReadSheet(parts, "xl/worksheets/sheet2.xml");
  EXPECT_EQ(DescribeCell(cells.at({11, 1}).value), "dbl:1");
  EXPECT_EQ(DescribeCell(cells.at({15, 2}).value), "str:31.02.2024");
  // 02.03 to 05.03 holds no stored day: 31.02 is not taken for 2 March.
  EXPECT_EQ(Run(cli::RunReport, {odd.string(), "--from", "02.03.24", "--to", "05.03.24", "--home", home.string()}, &out,
                &err),
            3);
}

}  // namespace
