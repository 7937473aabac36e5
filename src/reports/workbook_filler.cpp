// Filling a report workbook: find the second sheet through the workbook and
// its relationships, write the block, add the currency format, force a full
// recalculation on load and drop the calculation chain.
#include "reports/workbook_filler.hpp"

#include <cstdlib>
#include <string_view>

#include "reports/file_io.hpp"
#include "reports/sheet_block.hpp"
#include "reports/xlsx_xml.hpp"
#include "reports/zip_archive.hpp"

namespace statvtk {

namespace {

constexpr std::string_view kRelWorksheet = "/worksheet";
constexpr std::string_view kRelOfficeDocument = "/officeDocument";
constexpr std::string_view kRelStyles = "/styles";
constexpr std::string_view kRelCalcChain = "/calcChain";

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// A package part parsed for editing.
struct XmlPart {
  std::string name;
  pugi::xml_document doc;
};

bool OpenPart(std::vector<ZipEntry>& parts, const std::string& name, XmlPart* part, std::string* error) {
  part->name = name;
  const ZipEntry* entry = FindPart(parts, name);
  if (!entry) {
    *error = "the workbook has no part " + name;
    return false;
  }
  return LoadXml(*entry, &part->doc, error);
}

// Parts are looked up again on storing: removing a part moves the others.
void StorePart(std::vector<ZipEntry>& parts, const XmlPart& part) {
  if (ZipEntry* entry = FindPart(parts, part.name)) entry->data = SaveXml(part.doc);
}

// The relationship element with the given type ending (first one), or null.
pugi::xml_node RelOfType(pugi::xml_node rels, std::string_view typeTail) {
  for (pugi::xml_node r = rels.first_child(); r; r = r.next_sibling())
    if (LocalName(r.name()) == "Relationship" && EndsWith(r.attribute("Type").value(), typeTail)) return r;
  return {};
}

pugi::xml_node RelById(pugi::xml_node rels, std::string_view id) {
  for (pugi::xml_node r = rels.first_child(); r; r = r.next_sibling())
    if (LocalName(r.name()) == "Relationship" && id == r.attribute("Id").value()) return r;
  return {};
}

std::string WorkbookPartName(std::vector<ZipEntry>& parts) {
  XmlPart root;
  std::string ignored;
  if (OpenPart(parts, "_rels/.rels", &root, &ignored))
    if (const pugi::xml_node r = RelOfType(root.doc.document_element(), kRelOfficeDocument))
      return ResolveTarget("", r.attribute("Target").value());
  return "xl/workbook.xml";
}

// The relationship id of the workbook's second sheet.
bool SecondSheetId(const pugi::xml_document& workbook, std::string* id, std::string* error) {
  const pugi::xml_node sheets = ChildByLocal(workbook.document_element(), "sheets");
  int index = 0;
  for (pugi::xml_node s = sheets.first_child(); s; s = s.next_sibling()) {
    if (LocalName(s.name()) != "sheet" || ++index != 2) continue;
    for (pugi::xml_attribute a = s.first_attribute(); a; a = a.next_attribute())
      if (LocalName(a.name()) == "id" && !PrefixOf(a.name()).empty()) {
        *id = a.value();
        return true;
      }
    *error = "the second sheet has no relationship";
    return false;
  }
  *error = "the template has no second sheet";
  return false;
}

// Appends the currency number format and a cell format using it; its index or -1.
int AddCurrencyStyle(pugi::xml_document& styles) {
  pugi::xml_node root = styles.document_element();
  if (LocalName(root.name()) != "styleSheet") return -1;
  const std::string prefix = PrefixOf(root.name());
  pugi::xml_node xfs = ChildByLocal(root, "cellXfs");
  if (!xfs) return -1;
  pugi::xml_node fmts = ChildByLocal(root, "numFmts");
  if (!fmts) fmts = root.prepend_child((prefix + "numFmts").c_str());
  long id = 164;
  int fmtCount = 0;
  for (pugi::xml_node f = fmts.first_child(); f; f = f.next_sibling()) {
    if (LocalName(f.name()) != "numFmt") continue;
    ++fmtCount;
    const long used = std::strtol(f.attribute("numFmtId").value(), nullptr, 10);
    if (used >= id && used < 100000) id = used + 1;
  }
  pugi::xml_node fmt = fmts.append_child((prefix + "numFmt").c_str());
  fmt.append_attribute("numFmtId") = id;
  fmt.append_attribute("formatCode") = kCurrencyFormat;
  fmts.remove_attribute("count");
  fmts.prepend_attribute("count") = fmtCount + 1;
  int xfCount = 0;
  for (pugi::xml_node x = xfs.first_child(); x; x = x.next_sibling())
    if (LocalName(x.name()) == "xf") ++xfCount;
  pugi::xml_node xf = xfs.append_child((prefix + "xf").c_str());
  xf.append_attribute("numFmtId") = id;
  for (const char* a : {"fontId", "fillId", "borderId", "xfId"}) xf.append_attribute(a) = 0;
  xf.append_attribute("applyNumberFormat") = 1;
  xfs.remove_attribute("count");
  xfs.prepend_attribute("count") = xfCount + 1;
  return xfCount;
}

// calcPr with fullCalcOnLoad, placed where the workbook schema wants it.
void ForceRecalculation(pugi::xml_document& workbook) {
  pugi::xml_node root = workbook.document_element();
  pugi::xml_node calc = ChildByLocal(root, "calcPr");
  if (!calc) {
    const std::string prefix = PrefixOf(root.name());
    pugi::xml_node before;
    for (const char* later : {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
                              "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"})
      if ((before = ChildByLocal(root, later))) break;
    calc = before ? root.insert_child_before((prefix + "calcPr").c_str(), before)
                  : root.append_child((prefix + "calcPr").c_str());
  }
  pugi::xml_attribute full = calc.attribute("fullCalcOnLoad");
  if (!full) full = calc.append_attribute("fullCalcOnLoad");
  full.set_value("1");
}

void RemovePart(std::vector<ZipEntry>& parts, const std::string& name) {
  std::erase_if(parts, [&](const ZipEntry& e) { return e.name == name; });
}

// The calculation chain names cells by their old formulas: it goes.
bool DropCalcChain(std::vector<ZipEntry>& parts, const std::string& workbookPart, XmlPart& rels, std::string* error) {
  std::string chain = ResolveTarget(workbookPart, "calcChain.xml");
  if (const pugi::xml_node r = RelOfType(rels.doc.document_element(), kRelCalcChain)) {
    chain = ResolveTarget(workbookPart, r.attribute("Target").value());
    rels.doc.document_element().remove_child(r);
  }
  if (!FindPart(parts, chain)) return true;
  RemovePart(parts, chain);
  XmlPart types;
  if (!OpenPart(parts, "[Content_Types].xml", &types, error)) return false;
  pugi::xml_node root = types.doc.document_element();
  for (pugi::xml_node o = root.first_child(); o;) {
    const pugi::xml_node next = o.next_sibling();
    if (LocalName(o.name()) == "Override" && ResolveTarget("", o.attribute("PartName").value()) == chain)
      root.remove_child(o);
    o = next;
  }
  StorePart(parts, types);
  return true;
}

bool BlockHasCurrency(const CellBlock& block) {
  for (int r = 1; r <= kBlockRows; ++r)
    for (int c = 1; c <= kBlockCols; ++c)
      if (std::holds_alternative<Currency>(block.At(r, c))) return true;
  return false;
}

int CurrencyStyle(std::vector<ZipEntry>& parts, const std::string& workbookPart, const XmlPart& rels) {
  const pugi::xml_node r = RelOfType(rels.doc.document_element(), kRelStyles);
  if (!r) return -1;
  XmlPart styles;
  std::string ignored;
  if (!OpenPart(parts, ResolveTarget(workbookPart, r.attribute("Target").value()), &styles, &ignored)) return -1;
  const int index = AddCurrencyStyle(styles.doc);
  if (index >= 0) StorePart(parts, styles);
  return index;
}

bool FillParts(std::vector<ZipEntry>& parts, const CellBlock& block, std::string* error) {
  const std::string workbookPart = WorkbookPartName(parts);
  XmlPart workbook, rels, sheet;
  if (!OpenPart(parts, workbookPart, &workbook, error) || !OpenPart(parts, RelsPartOf(workbookPart), &rels, error))
    return false;
  std::string id;
  if (!SecondSheetId(workbook.doc, &id, error)) return false;
  const pugi::xml_node rel = RelById(rels.doc.document_element(), id);
  if (!rel || !EndsWith(rel.attribute("Type").value(), kRelWorksheet) ||
      std::string_view(rel.attribute("TargetMode").value()) == "External") {
    *error = "the second sheet is no worksheet";
    return false;
  }
  const std::string sheetPart = ResolveTarget(workbookPart, rel.attribute("Target").value());
  if (!OpenPart(parts, sheetPart, &sheet, error)) return false;
  const int currency = BlockHasCurrency(block) ? CurrencyStyle(parts, workbookPart, rels) : -1;
  if (!WriteBlockIntoSheet(sheet.doc, block, currency, error)) return false;
  StorePart(parts, sheet);
  ForceRecalculation(workbook.doc);
  StorePart(parts, workbook);
  if (!DropCalcChain(parts, workbookPart, rels, error)) return false;
  StorePart(parts, rels);
  return true;
}

}  // namespace

bool FillWorkbook(std::span<const std::uint8_t> templateBytes, const CellBlock& block,
                  std::vector<std::uint8_t>* workbook, std::string* error) {
  std::vector<ZipEntry> parts;
  std::string why;
  if (templateBytes.empty()) {
    *error = "Шаблон пуст";
    return false;
  }
  if (!ReadZip(templateBytes, &parts, &why)) {
    *error = "Шаблон не является книгой Excel: " + why;
    return false;
  }
  if (!FillParts(parts, block, &why)) {
    *error = "Шаблон не подходит для отчёта: " + why;
    return false;
  }
  if (!WriteZip(parts, workbook, &why)) {
    *error = "Не удалось собрать книгу: " + why;
    return false;
  }
  return true;
}

bool FillWorkbookFile(const std::filesystem::path& templatePath, const CellBlock& block,
                      const std::filesystem::path& output, std::string* error) {
  std::vector<std::uint8_t> bytes, filled;
  std::string why;
  if (!ReadWholeFile(templatePath, &bytes, &why)) {
    *error = "Не удалось прочитать шаблон " + why;
    return false;
  }
  if (!FillWorkbook(bytes, block, &filled, error)) {
    *error += " (" + templatePath.string() + ")";
    return false;
  }
  if (!WriteFileAtomically(output, filled, &why)) {
    *error = "Не удалось записать отчёт " + why;
    return false;
  }
  return true;
}

}  // namespace statvtk
