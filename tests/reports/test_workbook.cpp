// Filling report workbooks: the block read back from sheet 2, sheet 1 and the
// cells outside the block unchanged, recalculation on load, the failures.
#include <gtest/gtest.h>

#include <regex>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "report_test_util.hpp"
#include "support/unprivileged.hpp"
#include "reports/report_export.hpp"
#include "reports/workbook_filler.hpp"

namespace {

using namespace statvtk;
using namespace reporttest;
namespace fs = std::filesystem;

// LibreOffice headless with its own profile in the test's folder, one at a
// time: two instances started together (ctest -j) make the second exit at
// once. The lock is the build's, shared by the test programs of one build.
std::string Soffice(const fs::path& dir) {
  return "flock '" + (fs::path(STATVTK_BINARY_DIR) / "soffice.lock").string() +
         "' soffice -env:UserInstallation=file://" + dir.string() + "/lo-profile --headless";
}

struct TempDir {
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path / "Reports", fs::perms::owner_all, ec);  // a test's read-only Reports/ goes too
  }
  link_test::TempFolder folder;
  fs::path path = folder.Path();
};

CellBlock SampleBlock() {
  CellBlock b;
  b.Set("B1", std::string("VTK-08.12"));
  b.Set("B2", std::string("SN<&>\"1\x01"));  // XML specials and a control character
  b.Set("A8", std::string("15.03.24"));
  b.Set("A11", std::int64_t{20});
  b.Set("F2", 40.0);
  b.Set("C17", 5.000001);
  b.Set("B17", Currency{1.0});
  b.Set("AQ17", std::string("Возб Gmax"));
  b.Set("CB80", std::int64_t{-7});
  b.Set("A80", 1e300);
  return b;
}

const std::string kSheet1 = "xl/worksheets/sheet1.xml";
const std::string kSheet2 = "xl/worksheets/sheet2.xml";

TEST(Workbook, FilledBlockReadsBackExactly) {
  const auto templ = ReadBytes(TemplateDir() / "VTK0812_h.xlsx");
  ASSERT_FALSE(templ.empty());
  std::vector<std::uint8_t> out;
  std::string err;
  const CellBlock block = SampleBlock();
  ASSERT_TRUE(Unpack(FillWorkbook(templ, block), &out, &err)) << err;
  auto before = Parts(templ);
  auto after = Parts(out);
  // Sheet 1 unchanged but for the cached results of its formulas, which go so
  // that every spreadsheet program computes them from the filled data sheet.
  const std::string sheet1 = PartText(before, kSheet1);
  ASSERT_NE(sheet1.find("</f><v>"), std::string::npos);  // the template caches results
  const auto normal = [](const std::string& xml) {       // the line break after the declaration is no change
    return std::regex_replace(xml, std::regex("\\?>\n"), "?>");
  };
  const std::string uncached = std::regex_replace(sheet1, std::regex("</f><v>[^<]*</v>"), "</f>");
  EXPECT_EQ(normal(uncached), normal(PartText(after, kSheet1)));
  const auto cells = ReadSheet(after, kSheet2);
  const auto oldCells = ReadSheet(before, kSheet2);
  // Inside the block exactly the array; the texts as written (control character escaped).
  for (int r = 1; r <= kBlockRows; ++r)
    for (int c = 1; c <= kBlockCols; ++c) {
      const auto it = cells.find({r, c});
      CellValue want = block.At(r, c);
      if (const auto* i = std::get_if<std::int64_t>(&want)) {
        const double v = static_cast<double>(*i);
        want = v;
      }
      if (const auto* m = std::get_if<Currency>(&want)) {
        const double v = m->value;
        want = v;
      }
      if (r == 2 && c == 2) want = std::string("SN<&>\"1_x0001_");
      const CellValue got = it == cells.end() ? CellValue{} : it->second.value;
      EXPECT_TRUE(SameCell(got, want)) << ColumnName(c) << r << " " << DescribeCell(got);
    }
  // Outside the block every cell as in the template (shared strings still right).
  int outside = 0;
  for (const auto& [rc, cell] : oldCells) {
    if (rc.first <= kBlockRows && rc.second <= kBlockCols) continue;
    ++outside;
    ASSERT_TRUE(cells.count(rc));
    EXPECT_EQ(DescribeCell(cells.at(rc).value), DescribeCell(cell.value));
  }
  EXPECT_GT(outside, 5);
  // The currency cell carries a currency number format.
  const std::string styles = PartText(after, "xl/styles.xml");
  EXPECT_NE(styles.find("formatCode=\"#,##0.00\\ &quot;\xE2\x82\xBD&quot;\""), std::string::npos);
  pugi::xml_document st;
  st.load_string(styles.c_str());
  const auto xfs = st.document_element().child("cellXfs");
  int idx = 0, fmt = -1;
  for (auto xf : xfs.children("xf"))
    if (idx++ == std::stoi(cells.at({17, 2}).style)) fmt = xf.attribute("numFmtId").as_int();
  bool isCurrency = false;
  for (auto nf : st.document_element().child("numFmts").children("numFmt"))
    if (nf.attribute("numFmtId").as_int() == fmt)
      isCurrency = std::string(nf.attribute("formatCode").value()) == kCurrencyFormat;
  EXPECT_TRUE(isCurrency);
  EXPECT_NE(PartText(after, "xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
}

// A package edited in memory for the unusual-template cases.
std::vector<std::uint8_t> Edited(const std::vector<std::uint8_t>& templ,
                                 const std::function<void(std::vector<ZipEntry>&)>& edit) {
  auto parts = Parts(templ);
  edit(parts);
  std::vector<std::uint8_t> out;
  std::string err;
  EXPECT_TRUE(Unpack(WriteZip(parts), &out, &err)) << err;
  return out;
}

void Replace(std::vector<ZipEntry>& parts, const std::string& name, const std::string& from, const std::string& to) {
  ZipEntry* e = FindPart(parts, name);
  ASSERT_TRUE(e);
  std::string s(e->data.begin(), e->data.end());
  const auto at = s.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  s.replace(at, from.size(), to);
  e->data.assign(s.begin(), s.end());
}

TEST(Workbook, BlockCellsKeepFormatLoseFormulasAndCalcChainGoes) {
  const auto templ = Edited(ReadBytes(TemplateDir() / "LDN_h.xlsx"), [](std::vector<ZipEntry>& p) {
    Replace(p, kSheet2, "<sheetData>",
            "<sheetData><row r=\"3\"><c r=\"C3\" s=\"1\"><f>1+1</f><v>2</v></c><c r=\"D3\" t=\"s\"><v>0</v></c>"
            "<c r=\"CC3\"><v>9</v></c></row>");
    p.push_back({"xl/calcChain.xml", {'<', 'c', 'a', 'l', 'c', 'C', 'h', 'a', 'i', 'n', '/', '>'}});
    Replace(p, "xl/_rels/workbook.xml.rels", "</Relationships>",
            "<Relationship Id=\"rId99\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "calcChain\" Target=\"calcChain.xml\"/></Relationships>");
    Replace(p, "[Content_Types].xml", "</Types>",
            "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/"
            "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/></Types>");
  });
  std::vector<std::uint8_t> out;
  std::string err;
  ASSERT_TRUE(Unpack(FillWorkbook(templ, CellBlock{}), &out, &err)) << err;
  auto parts = Parts(out);
  const auto cells = ReadSheet(parts, kSheet2);
  ASSERT_TRUE(cells.count({3, 3}));
  EXPECT_EQ(cells.at({3, 3}).raw, "<c r=\"C3\" s=\"1\"/>");   // cleared, format kept
  EXPECT_FALSE(cells.count({3, 4}));                          // cleared
  EXPECT_EQ(DescribeCell(cells.at({3, 81}).value), "dbl:9");  // outside: kept
  EXPECT_EQ(FindPart(parts, "xl/calcChain.xml"), nullptr);
  EXPECT_EQ(PartText(parts, "[Content_Types].xml").find("calcChain"), std::string::npos);
  EXPECT_EQ(PartText(parts, "xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
}

// A part re-encoded as UTF-16 with its declaration saying so and a BOM, as
// spreadsheet programs accept.
void ToUtf16(std::vector<ZipEntry>& parts, const std::string& name) {
  ZipEntry* e = FindPart(parts, name);
  ASSERT_TRUE(e);
  std::string text(e->data.begin(), e->data.end());
  const auto decl = text.find("encoding=\"UTF-8\"");
  ASSERT_NE(decl, std::string::npos) << name;
  text.replace(decl, 16, "encoding=\"UTF-16\"");
  std::vector<std::uint8_t> utf16{0xFF, 0xFE};
  for (std::size_t i = 0; i < text.size();) {  // UTF-8 to UTF-16LE (the BMP is enough here)
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = b;
    std::size_t len = 1;
    if (b >= 0xE0) cp = b & 0x0F, len = 3;
    else if (b >= 0xC0) cp = b & 0x1F, len = 2;
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    utf16.push_back(static_cast<std::uint8_t>(cp & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(cp >> 8));
    i += len;
  }
  e->data = utf16;
}

TEST(Workbook, Utf16PartsAreRewrittenWithAMatchingDeclaration) {
  const auto templ = Edited(ReadBytes(TemplateDir() / "VTK0812_h.xlsx"), [](std::vector<ZipEntry>& p) {
    for (const std::string& name : {kSheet2, std::string("xl/workbook.xml"), std::string("[Content_Types].xml")})
      ToUtf16(p, name);
  });
  std::vector<std::uint8_t> out;
  std::string err;
  ASSERT_TRUE(Unpack(FillWorkbook(templ, SampleBlock()), &out, &err)) << err;
  auto parts = Parts(out);
  for (const std::string& name : {kSheet2, std::string("xl/workbook.xml"), std::string("[Content_Types].xml")}) {
    const ZipEntry* e = FindPart(parts, name);
    ASSERT_TRUE(e) << name;
    const std::string text(e->data.begin(), e->data.end());
    const bool utf16 = e->data.size() >= 2 && e->data[0] == 0xFF && e->data[1] == 0xFE;
    // Either left as it was (UTF-16 bytes, UTF-16 declaration) or rewritten as UTF-8 saying so.
    if (!utf16) {
      EXPECT_EQ(text.find("UTF-16"), std::string::npos) << name << ": " << text.substr(0, 80);
      EXPECT_EQ(text.rfind("<?xml", 0), 0u) << name;
    }
  }
  const auto cells = ReadSheet(parts, kSheet2);
  EXPECT_EQ(DescribeCell(cells.at({8, 1}).value), "str:15.03.24");
  TempDir dir;
  const fs::path book = dir.path / "u16.xlsx";
  std::ofstream(book, std::ios::binary)
      .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  const std::string cmd = "cd '" + dir.path.string() + "' && HOME='" + dir.path.string() + "' " + Soffice(dir.path) +
                          " --convert-to csv --outdir out u16.xlsx >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "LibreOffice (soffice, installed by scripts/deps)";
  EXPECT_TRUE(fs::exists(dir.path / "out" / "u16.csv")) << "LibreOffice could not open the workbook";
}

TEST(Workbook, SecondSheetFoundThroughRelationships) {
  // The second sheet's part renamed: it must be found through the relationships.
  const auto templ = Edited(ReadBytes(TemplateDir() / "VTK0814_h.xlsx"), [](std::vector<ZipEntry>& p) {
    FindPart(p, kSheet2)->name = "xl/worksheets/data.xml";
    Replace(p, "xl/_rels/workbook.xml.rels", "worksheets/sheet2.xml", "/xl/worksheets/data.xml");
    Replace(p, "[Content_Types].xml", "/xl/worksheets/sheet2.xml", "/xl/worksheets/data.xml");
  });
  CellBlock b;
  b.Set("A11", std::int64_t{3});
  std::vector<std::uint8_t> out;
  std::string err;
  ASSERT_TRUE(Unpack(FillWorkbook(templ, b), &out, &err)) << err;
  auto parts = Parts(out);
  EXPECT_EQ(DescribeCell(ReadSheet(parts, "xl/worksheets/data.xml").at({11, 1}).value), "dbl:3");
}

struct BadCase {
  const char* what;
  std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> make;
  const char* reason;
};

TEST(Workbook, BadTemplatesGiveFalseWithReason) {
  const auto good = ReadBytes(TemplateDir() / "VTK0812_h.xlsx");
  std::mt19937 rng(7);
  const std::vector<BadCase> cases = {
      {"empty", [](const auto&) { return std::vector<std::uint8_t>{}; }, "Шаблон пуст"},
      {"random bytes",
       [&](const auto&) {
         std::vector<std::uint8_t> v(3000);
         for (auto& b : v) b = static_cast<std::uint8_t>(rng());
         return v;
       },
       "не является книгой Excel"},
      {"truncated", [](const auto& t) { return std::vector<std::uint8_t>(t.begin(), t.begin() + t.size() / 2); },
       "не является книгой Excel"},
      {"one sheet",
       [](const auto& t) {
         return Edited(t, [](auto& p) {
           Replace(p, "xl/workbook.xml", "<sheet name=\"Данные\" sheetId=\"2\" r:id=\"rId2\"/>", "");
         });
       },
       "no second sheet"},
      {"chart sheet",
       [](const auto& t) {
         return Edited(t, [](auto& p) {
           Replace(p, "xl/_rels/workbook.xml.rels", "relationships/worksheet\" Target=\"worksheets/sheet2.xml",
                   "relationships/chartsheet\" Target=\"worksheets/sheet2.xml");
         });
       },
       "no worksheet"},
      {"damaged sheet XML",
       [](const auto& t) { return Edited(t, [](auto& p) { Replace(p, kSheet2, "</sheetData>", "</sheetDat>"); }); },
       "damaged XML"},
      {"no workbook part",
       [](const auto& t) { return Edited(t, [](auto& p) { FindPart(p, "xl/workbook.xml")->name = "xl/other.xml"; }); },
       "no part"},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> out;
    std::string err;
    EXPECT_FALSE(Unpack(FillWorkbook(c.make(good), SampleBlock()), &out, &err)) << c.what;
    EXPECT_NE(err.find(c.reason), std::string::npos) << c.what << ": " << err;
  }
}

// Records what a report tells its observer.
struct Recorder : ProgressObserver {
  std::vector<std::string> log, status;
  std::vector<int> pos, max;
  void LogLine(const std::string& t) override { log.push_back(t); }
  void ShowStatus(const std::string& t) override { status.push_back(t); }
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int m) override { max.push_back(m); }
  void SetProgressPos(int p) override { pos.push_back(p); }
};

HourReportInput SmallInput() {
  HourReportInput in;
  in.header.type = DeviceType::dtVTK0812;
  in.header.serial = "SN123456";
  in.dayText = "15.03.24";
  in.hours[4] = ReportRecord{};
  return in;
}

TEST(ReportExport, WritesIntoReportsWithProgressAndRestore) {
  TempDir home;
  Recorder rec;
  fs::path written;
  std::string err;
  ReportRun run{home.path, &rec, false, 0, std::nullopt};
  ASSERT_TRUE(Unpack(ExportHourDataToExcel(SmallInput(), run), &written, &err)) << err;
  EXPECT_EQ(written, home.path / "Reports" / "SN123456_2024-03-15_hourly.xlsx");
  EXPECT_TRUE(fs::is_regular_file(written));
  ASSERT_GE(rec.status.size(), 3u);
  EXPECT_EQ(rec.status[0], "Запуск сервера...");
  EXPECT_EQ(rec.status[1], "Передача данных...");
  EXPECT_EQ(rec.status.back(), "");
  EXPECT_EQ(rec.max.front(), 24);
  std::vector<int> steps(rec.pos.begin() + 1, rec.pos.end() - 1);
  ASSERT_EQ(steps.size(), 24u);
  for (int h = 1; h <= 24; ++h) EXPECT_EQ(steps[static_cast<std::size_t>(h - 1)], h);
  // While a statistics reading runs, its progress maximum and stage come back.
  Recorder during;
  ASSERT_TRUE(
      Unpack(ExportHourDataToExcel(SmallInput(), {home.path, &during, true, 77, std::nullopt}), &written, &err));
  EXPECT_EQ(during.max.back(), 77);
  EXPECT_EQ(during.status.back(), "Чтение статистики");
  EXPECT_TRUE(during.log.empty());
}

TEST(ReportExport, UsersOwnTemplateWins) {
  TempDir home;
  fs::create_directories(home.path / "Templates");
  fs::copy_file(TemplateDir() / "LDN_h.xlsx", home.path / "Templates" / "VTK0812_h.xlsx");
  const auto found = FindTemplate(home.path, "VTK0812", TemplateKind::Hourly);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, home.path / "Templates" / "VTK0812_h.xlsx");
  EXPECT_EQ(FindTemplate(home.path, "NOPE", TemplateKind::Daily), std::nullopt);
}

TEST(ReportExport, FailuresReturnFalseWithLogLine) {
  TempDir home;
  fs::path written;
  std::string err;
  {  // no template of that name anywhere
    Recorder rec;
    HourReportInput in = SmallInput();
    in.header.type = DeviceType::dtUnknown;
    EXPECT_FALSE(Unpack(ExportHourDataToExcel(in, {home.path, &rec, false, 0, std::nullopt}), &written, &err));
    EXPECT_NE(err.find("не найден"), std::string::npos) << err;
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_EQ(rec.log[0].rfind("Невозможно передать данные в Excel: ", 0), 0u);
    EXPECT_EQ(rec.status.back(), "");
  }
  {  // a corrupt user template
    fs::create_directories(home.path / "Templates");
    std::ofstream(home.path / "Templates" / "VTK0812_h.xlsx") << "PK\x03\x04 not really";
    Recorder rec;
    EXPECT_FALSE(
        Unpack(ExportHourDataToExcel(SmallInput(), {home.path, &rec, false, 0, std::nullopt}), &written, &err));
    EXPECT_NE(err.find("не является книгой Excel"), std::string::npos) << err;
    EXPECT_EQ(rec.log.size(), 1u);
    fs::remove(home.path / "Templates" / "VTK0812_h.xlsx");
  }
}

TEST(ReportExport, ReadOnlyReportsFolder) {
  TempDir home;
  fs::create_directories(home.path / "Reports");
  const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(home.path, readOnly | fs::perms::owner_write);
  fs::permissions(home.path / "Reports", readOnly);
  const std::string got = test::AsOrdinaryUser([&] {
    fs::path written;
    std::string err;
    const bool made =
        Unpack(ExportHourDataToExcel(SmallInput(), {home.path, nullptr, false, 0, std::nullopt}), &written, &err);
    return (made ? "made " : "refused ") + err;
  });
  EXPECT_EQ(got.rfind("refused ", 0), 0u) << got;
  EXPECT_NE(got.find("Не удалось записать отчёт"), std::string::npos) << got;
  EXPECT_TRUE(fs::is_empty(home.path / "Reports"));
}

// LibreOffice's headless conversion shows sheet 1 with the values its
// formulas read from sheet 2 (soffice and gs: installed by scripts/deps).
TEST(ReportExport, LibreOfficeShowsTheDay) {
  TempDir home;
  HourReportInput in = SmallInput();
  in.hours[4]->forwardTotal = 1234.5;
  // Realistic and 9-digit totals must show as numbers, not as ###.
  in.hours[5] = in.hours[4];
  in.hours[5]->forwardTotal = 1441461.125;
  in.hours[6] = in.hours[4];
  in.hours[6]->forwardTotal = 987654321.25;
  in.hours[6]->reverseTotal = 123456789.5;
  fs::path written;
  std::string err;
  ASSERT_TRUE(Unpack(ExportHourDataToExcel(in, {home.path, nullptr, false, 0, std::nullopt}), &written, &err)) << err;
  const std::string cmd = "cd '" + home.path.string() + "' && HOME='" + home.path.string() +
                          // CSV as the cells are shown (UTF-8): a column too narrow shows ###.
                          "' " + Soffice(home.path) +
                          " --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true'"
                          " --outdir out '" +
                          written.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream csv(home.path / "out" / (written.stem().string() + ".csv"));
  const std::string text((std::istreambuf_iterator<char>(csv)), {});
  EXPECT_NE(text.find("15.03.24"), std::string::npos) << text;
  EXPECT_NE(text.find("SN123456"), std::string::npos) << text;
  EXPECT_NE(text.find("1234.5"), std::string::npos) << text;
  EXPECT_NE(text.find("1441461.125"), std::string::npos) << text;
  EXPECT_NE(text.find("987654321.250"), std::string::npos) << text;
  EXPECT_NE(text.find("123456789.500"), std::string::npos) << text;
  EXPECT_EQ(text.find("###"), std::string::npos) << text;

  // The printed page (PDF, its text taken out by Ghostscript): a column too
  // narrow for its number prints ### there.
  const std::string pdf = "cd '" + home.path.string() + "' && HOME='" + home.path.string() + "' " + Soffice(home.path) +
                          " --convert-to pdf --outdir pdf '" + written.string() +
                          "' >/dev/null 2>&1 && gs -q -dNOPAUSE -dBATCH -sDEVICE=txtwrite -o page.txt pdf/" +
                          written.stem().string() + ".pdf >/dev/null 2>&1";
  ASSERT_EQ(std::system(pdf.c_str()), 0);
  std::ifstream pageFile(home.path / "page.txt");
  const std::string page((std::istreambuf_iterator<char>(pageFile)), {});
  EXPECT_NE(page.find("1441461.125"), std::string::npos) << page;
  EXPECT_NE(page.find("987654321.250"), std::string::npos) << page;
  EXPECT_NE(page.find("123456789.500"), std::string::npos) << page;
  EXPECT_EQ(page.find("###"), std::string::npos) << page;
}

}  // namespace
