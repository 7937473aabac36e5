// Helpers of the report tests: comparing cell blocks and reading a filled
// workbook back (libzip + pugixml) as the sheet's cells.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "reports/cell_block.hpp"
#include "reports/file_io.hpp"
#include "reports/xlsx_xml.hpp"
#include "reports/zip_archive.hpp"

namespace reporttest {

using namespace statvtk;

inline bool SameCell(const CellValue& a, const CellValue& b) {
  if (a.index() != b.index()) return false;
  if (const auto* d = std::get_if<double>(&a)) return std::fabs(*d - std::get<double>(b)) <= 1e-9 * (1 + std::fabs(*d));
  if (const auto* c = std::get_if<Currency>(&a))
    return std::fabs(c->value - std::get<Currency>(b).value) <= 1e-9 * (1 + std::fabs(c->value));
  return a == b;
}

// Every one of the 6400 cells must match.
inline void ExpectSameBlock(const CellBlock& got, const CellBlock& want) {
  for (int r = 1; r <= kBlockRows; ++r)
    for (int c = 1; c <= kBlockCols; ++c)
      EXPECT_TRUE(SameCell(got.At(r, c), want.At(r, c)))
          << ColumnName(c) << r << ": got '" << DescribeCell(got.At(r, c)) << "' want '" << DescribeCell(want.At(r, c))
          << "'";
}

inline std::filesystem::path TemplateDir() { return std::filesystem::path(STATVTK_BINARY_DIR) / "Templates"; }

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  Result<std::vector<std::uint8_t>> bytes = ReadWholeFile(p);
  EXPECT_TRUE(bytes) << (bytes ? std::string() : bytes.error().reason);
  return bytes ? std::move(*bytes) : std::vector<std::uint8_t>{};
}

inline std::vector<ZipEntry> Parts(const std::vector<std::uint8_t>& bytes) {
  Result<std::vector<ZipEntry>> parts = ReadZip(bytes);
  EXPECT_TRUE(parts) << (parts ? std::string() : parts.error().reason);
  return parts ? std::move(*parts) : std::vector<ZipEntry>{};
}

inline std::string PartText(std::vector<ZipEntry>& parts, const std::string& name) {
  const ZipEntry* e = FindPart(parts, name);
  return e ? std::string(e->data.begin(), e->data.end()) : std::string();
}

struct SheetCell {
  std::string raw;    // the <c> element as written
  CellValue value;    // read back: number (double), inline or shared string, empty
  std::string style;  // s attribute
};

// The cells of a worksheet part, shared strings resolved.
inline std::map<std::pair<int, int>, SheetCell> ReadSheet(std::vector<ZipEntry>& parts, const std::string& sheet) {
  std::vector<std::string> shared;
  pugi::xml_document sst, doc;
  if (const ZipEntry* e = FindPart(parts, "xl/sharedStrings.xml")) {
    sst.load_buffer(e->data.data(), e->data.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    for (auto si : sst.document_element().children("si")) shared.push_back(si.child("t").text().get());
  }
  std::map<std::pair<int, int>, SheetCell> cells;
  const ZipEntry* e = FindPart(parts, sheet);
  if (!e) return cells;
  doc.load_buffer(e->data.data(), e->data.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
  for (auto row : doc.document_element().child("sheetData").children("row"))
    for (auto c : row.children("c")) {
      int r = 0, col = 0;
      if (!ParseCellRef(c.attribute("r").value(), &r, &col)) continue;
      SheetCell sc;
      std::ostringstream raw;
      c.print(raw, "", pugi::format_raw);
      sc.raw = raw.str();
      sc.style = c.attribute("s").value();
      const std::string t = c.attribute("t").value();
      if (t == "inlineStr") sc.value = std::string(c.child("is").child("t").text().get());
      else if (t == "s") {
        const auto i = static_cast<std::size_t>(c.child("v").text().as_int());
        sc.value = i < shared.size() ? shared[i] : std::string("?");
      } else if (c.child("v")) sc.value = c.child("v").text().as_double();
      cells[{r, col}] = sc;
    }
  return cells;
}

}  // namespace reporttest
