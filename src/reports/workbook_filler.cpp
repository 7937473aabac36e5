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

Error TemplateFailure(std::string reason) { return MakeError(ErrorCode::BadData, std::move(reason)); }

Result<void> OpenPart(std::vector<ZipEntry>& parts, const std::string& name, XmlPart* part) {
  part->name = name;
  const ZipEntry* entry = FindPart(parts, name);
  if (!entry) return TemplateFailure("the workbook has no part " + name);
  return LoadXml(*entry, &part->doc);
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
  if (OpenPart(parts, "_rels/.rels", &root))
    if (const pugi::xml_node r = RelOfType(root.doc.document_element(), kRelOfficeDocument))
      return ResolveTarget("", r.attribute("Target").value());
  return "xl/workbook.xml";
}

// The relationship id of the workbook's second sheet.
Result<std::string> SecondSheetId(const pugi::xml_document& workbook) {
  const pugi::xml_node sheets = ChildByLocal(workbook.document_element(), "sheets");
  int index = 0;
  for (pugi::xml_node s = sheets.first_child(); s; s = s.next_sibling()) {
    if (LocalName(s.name()) != "sheet" || ++index != 2) continue;
    for (pugi::xml_attribute a = s.first_attribute(); a; a = a.next_attribute())
      if (LocalName(a.name()) == "id" && !PrefixOf(a.name()).empty()) return std::string(a.value());
    return TemplateFailure("the second sheet has no relationship");
  }
  return TemplateFailure("the template has no second sheet");
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
Result<void> DropCalcChain(std::vector<ZipEntry>& parts, const std::string& workbookPart, XmlPart& rels) {
  std::string chain = ResolveTarget(workbookPart, "calcChain.xml");
  if (const pugi::xml_node r = RelOfType(rels.doc.document_element(), kRelCalcChain)) {
    chain = ResolveTarget(workbookPart, r.attribute("Target").value());
    rels.doc.document_element().remove_child(r);
  }
  if (!FindPart(parts, chain)) return {};
  RemovePart(parts, chain);
  XmlPart types;
  if (Result<void> opened = OpenPart(parts, "[Content_Types].xml", &types); !opened) return opened;
  pugi::xml_node root = types.doc.document_element();
  for (pugi::xml_node o = root.first_child(); o;) {
    const pugi::xml_node next = o.next_sibling();
    if (LocalName(o.name()) == "Override" && ResolveTarget("", o.attribute("PartName").value()) == chain)
      root.remove_child(o);
    o = next;
  }
  StorePart(parts, types);
  return {};
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
  if (!OpenPart(parts, ResolveTarget(workbookPart, r.attribute("Target").value()), &styles)) return -1;
  const int index = AddCurrencyStyle(styles.doc);
  if (index >= 0) StorePart(parts, styles);
  return index;
}

// Formula cells keep the result cached when the template was made. Not every
// spreadsheet program honours fullCalcOnLoad (LibreOffice by default keeps
// cached results of .xlsx files), so the cached results go: a formula without
// one is computed when the workbook is opened.
void DropCachedResults(pugi::xml_document& sheet) {
  const pugi::xml_node data = ChildByLocal(sheet.document_element(), "sheetData");
  for (pugi::xml_node row = data.first_child(); row; row = row.next_sibling())
    for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
      if (LocalName(c.name()) != "c" || !ChildByLocal(c, "f")) continue;
      while (const pugi::xml_node v = ChildByLocal(c, "v")) c.remove_child(v);
      const std::string_view type = c.attribute("t").value();
      if (type == "str" || type == "n" || type == "b" || type == "e") c.remove_attribute("t");
    }
}

void DropCachedResultsOfAllSheets(std::vector<ZipEntry>& parts, const std::string& workbookPart, const XmlPart& rels,
                                  const std::string& filledSheet, XmlPart& filled) {
  DropCachedResults(filled.doc);
  for (pugi::xml_node r = rels.doc.document_element().first_child(); r; r = r.next_sibling()) {
    if (LocalName(r.name()) != "Relationship" || !EndsWith(r.attribute("Type").value(), kRelWorksheet) ||
        std::string_view(r.attribute("TargetMode").value()) == "External")
      continue;
    const std::string name = ResolveTarget(workbookPart, r.attribute("Target").value());
    if (name == filledSheet) continue;
    XmlPart other;
    if (!OpenPart(parts, name, &other)) continue;  // a damaged other sheet stays as it is
    DropCachedResults(other.doc);
    StorePart(parts, other);
  }
}

Result<void> FillParts(std::vector<ZipEntry>& parts, const CellBlock& block) {
  const std::string workbookPart = WorkbookPartName(parts);
  XmlPart workbook, rels, sheet;
  if (Result<void> opened = OpenPart(parts, workbookPart, &workbook); !opened) return opened;
  if (Result<void> opened = OpenPart(parts, RelsPartOf(workbookPart), &rels); !opened) return opened;
  const Result<std::string> id = SecondSheetId(workbook.doc);
  if (!id) return id.error();
  const pugi::xml_node rel = RelById(rels.doc.document_element(), *id);
  if (!rel || !EndsWith(rel.attribute("Type").value(), kRelWorksheet) ||
      std::string_view(rel.attribute("TargetMode").value()) == "External")
    return TemplateFailure("the second sheet is no worksheet");
  const std::string sheetPart = ResolveTarget(workbookPart, rel.attribute("Target").value());
  if (Result<void> opened = OpenPart(parts, sheetPart, &sheet); !opened) return opened;
  const int currency = BlockHasCurrency(block) ? CurrencyStyle(parts, workbookPart, rels) : -1;
  if (Result<void> written = WriteBlockIntoSheet(sheet.doc, block, currency); !written) return written;
  DropCachedResultsOfAllSheets(parts, workbookPart, rels, sheetPart, sheet);
  StorePart(parts, sheet);
  ForceRecalculation(workbook.doc);
  StorePart(parts, workbook);
  if (Result<void> dropped = DropCalcChain(parts, workbookPart, rels); !dropped) return dropped;
  StorePart(parts, rels);
  return {};
}

}  // namespace

Result<std::vector<std::uint8_t>> FillWorkbook(std::span<const std::uint8_t> templateBytes, const CellBlock& block) {
  if (templateBytes.empty()) return TemplateFailure("Шаблон пуст");
  Result<std::vector<ZipEntry>> parts = ReadZip(templateBytes);
  if (!parts) return TemplateFailure("Шаблон не является книгой Excel: " + parts.error().reason);
  if (const Result<void> filled = FillParts(*parts, block); !filled)
    return TemplateFailure("Шаблон не подходит для отчёта: " + filled.error().reason);
  Result<std::vector<std::uint8_t>> workbook = WriteZip(*parts);
  if (!workbook) return TemplateFailure("Не удалось собрать книгу: " + workbook.error().reason);
  return workbook;
}

Result<void> FillWorkbookFile(const std::filesystem::path& templatePath, const CellBlock& block,
                              const std::filesystem::path& output) {
  const Result<std::vector<std::uint8_t>> bytes = ReadWholeFile(templatePath);
  if (!bytes) {
    Error failure = bytes.error();
    failure.reason = "Не удалось прочитать шаблон " + failure.reason;
    return failure;
  }
  Result<std::vector<std::uint8_t>> filled = FillWorkbook(*bytes, block);
  if (!filled) {
    Error failure = filled.error();
    failure.reason += " (" + templatePath.string() + ")";
    return failure;
  }
  if (Result<void> written = WriteFileAtomically(output, *filled); !written) {
    written.error().reason = "Не удалось записать отчёт " + written.error().reason;
    return written;
  }
  return {};
}

}  // namespace statvtk
