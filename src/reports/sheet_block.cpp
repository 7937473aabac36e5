// Replacing A1:CB80 of a worksheet part.
#include "reports/sheet_block.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "reports/xlsx_xml.hpp"

namespace statvtk {

namespace {

inline constexpr long kMaxSheetRow = 1048576;

struct SheetScan {
  std::map<std::pair<int, int>, std::string> styles;  // formats of the block's cells
  std::set<std::string> removedMasters;               // shared formulas whose master cell went
  std::vector<std::pair<int, pugi::xml_node>> rows;   // row number and element, document order
};

int ParseRowNumber(pugi::xml_node row, int previous) {
  const pugi::xml_attribute r = row.attribute("r");
  if (!r) return previous + 1;
  const long n = std::strtol(r.value(), nullptr, 10);
  return (n >= 1 && n <= kMaxSheetRow) ? static_cast<int>(n) : previous + 1;
}

int ParseColumn(pugi::xml_node cell, int previous) {
  int row = 0, col = 0;
  const pugi::xml_attribute r = cell.attribute("r");
  if (r && ParseCellRef(r.value(), &row, &col) && col <= 16384) return col;
  return previous + 1;
}

void SetAttr(pugi::xml_node n, const char* name, const std::string& value) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) a = n.append_attribute(name);
  a.set_value(value.c_str());
}

// Takes the block's cells out of one row, remembering their formats.
void ClearBlockCells(pugi::xml_node row, int rowNo, SheetScan* scan) {
  std::vector<pugi::xml_node> cells;
  for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && LocalName(c.name()) == "c") cells.push_back(c);
  int col = 0;
  for (pugi::xml_node c : cells) {
    col = ParseColumn(c, col);
    if (rowNo <= kBlockRows && col <= kBlockCols) {
      if (const auto s = c.attribute("s")) scan->styles[{rowNo, col}] = s.value();
      const pugi::xml_node f = ChildByLocal(c, "f");
      if (f && std::string_view(f.attribute("t").value()) == "shared" && f.attribute("ref"))
        scan->removedMasters.insert(f.attribute("si").value());
      row.remove_child(c);
    } else {
      SetAttr(c, "r", ColumnName(col) + std::to_string(rowNo));
    }
  }
}

// A shared formula whose master cell was replaced cannot be rebuilt: its
// dependants keep their last values.
void DropOrphanedFormulas(const SheetScan& scan) {
  if (scan.removedMasters.empty()) return;
  for (const auto& [rowNo, row] : scan.rows)
    for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
      const pugi::xml_node f = ChildByLocal(c, "f");
      if (f && std::string_view(f.attribute("t").value()) == "shared" &&
          scan.removedMasters.count(f.attribute("si").value()))
        c.remove_child(f);
    }
}

std::string NumberText(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

void FillCell(pugi::xml_node c, const std::string& prefix, const CellValue& v, int currencyStyle) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) {
    c.append_child((prefix + "v").c_str()).text().set(std::to_string(*i).c_str());
  } else if (const auto* d = std::get_if<double>(&v)) {
    if (std::isfinite(*d)) {
      c.append_child((prefix + "v").c_str()).text().set(NumberText(*d).c_str());
    } else {
      c.append_attribute("t") = "e";
      c.append_child((prefix + "v").c_str()).text().set("#NUM!");
    }
  } else if (const auto* m = std::get_if<Currency>(&v)) {
    if (currencyStyle >= 0) SetAttr(c, "s", std::to_string(currencyStyle));
    c.append_child((prefix + "v").c_str()).text().set(std::isfinite(m->value) ? NumberText(m->value).c_str() : "0");
  } else if (const auto* s = std::get_if<std::string>(&v)) {
    c.append_attribute("t") = "inlineStr";
    pugi::xml_node t = c.append_child((prefix + "is").c_str()).append_child((prefix + "t").c_str());
    t.append_attribute("xml:space") = "preserve";
    t.text().set(CellText(*s).c_str());
  }
}

// Writes the block's cells of one row in front of the cells kept there.
void WriteRowCells(pugi::xml_node row, int rowNo, const std::string& prefix, const CellBlock& block,
                   const SheetScan& scan, int currencyStyle) {
  pugi::xml_node anchor;
  for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) {
      anchor = c;
      break;
    }
  row.remove_attribute("spans");
  for (int col = 1; col <= kBlockCols; ++col) {
    const CellValue& v = block.At(rowNo, col);
    const auto style = scan.styles.find({rowNo, col});
    if (std::holds_alternative<std::monostate>(v) && style == scan.styles.end()) continue;
    pugi::xml_node c =
        anchor ? row.insert_child_before((prefix + "c").c_str(), anchor) : row.append_child((prefix + "c").c_str());
    c.append_attribute("r") = (ColumnName(col) + std::to_string(rowNo)).c_str();
    if (style != scan.styles.end()) c.append_attribute("s") = style->second.c_str();
    FillCell(c, prefix, v, currencyStyle);
  }
}

bool RowHasBlockValues(const CellBlock& block, const SheetScan& scan, int rowNo) {
  for (int col = 1; col <= kBlockCols; ++col)
    if (!std::holds_alternative<std::monostate>(block.At(rowNo, col)) || scan.styles.count({rowNo, col})) return true;
  return false;
}

// The row element for a row number, made (in order) when missing.
pugi::xml_node RowElement(pugi::xml_node sheetData, const std::string& prefix, SheetScan* scan, int rowNo) {
  for (const auto& [n, node] : scan->rows)
    if (n == rowNo) return node;
  pugi::xml_node before;
  for (const auto& [n, node] : scan->rows)
    if (n > rowNo) {
      before = node;
      break;
    }
  pugi::xml_node row = before ? sheetData.insert_child_before((prefix + "row").c_str(), before)
                              : sheetData.append_child((prefix + "row").c_str());
  row.append_attribute("r") = rowNo;
  return row;
}

}  // namespace

Result<void> WriteBlockIntoSheet(pugi::xml_document& sheet, const CellBlock& block, int currencyStyle) {
  const pugi::xml_node root = sheet.document_element();
  if (LocalName(root.name()) != "worksheet") {
    return MakeError(ErrorCode::BadData, "the part is no worksheet");
  }
  pugi::xml_node sheetData = ChildByLocal(root, "sheetData");
  if (!sheetData) {
    return MakeError(ErrorCode::BadData, "the worksheet has no sheetData");
  }
  const std::string prefix = PrefixOf(sheetData.name());
  SheetScan scan;
  int rowNo = 0;
  for (pugi::xml_node row = sheetData.first_child(); row; row = row.next_sibling()) {
    if (row.type() != pugi::node_element || LocalName(row.name()) != "row") continue;
    rowNo = ParseRowNumber(row, rowNo);
    SetAttr(row, "r", std::to_string(rowNo));
    scan.rows.emplace_back(rowNo, row);
    ClearBlockCells(row, rowNo, &scan);
  }
  DropOrphanedFormulas(scan);
  for (int r = 1; r <= kBlockRows; ++r) {
    if (!RowHasBlockValues(block, scan, r)) continue;
    WriteRowCells(RowElement(sheetData, prefix, &scan, r), r, prefix, block, scan, currencyStyle);
  }
  return {};
}

}  // namespace statvtk
