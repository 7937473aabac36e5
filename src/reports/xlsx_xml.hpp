// Small helpers for the XML parts of an .xlsx package (over pugixml): part
// names, relationship targets, namespace-prefix-blind element lookup.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "base/error.hpp"
#include "reports/zip_archive.hpp"

namespace statvtk {

// The element or attribute name without its namespace prefix ("x:row" -> "row").
std::string_view LocalName(const char* name);
// The namespace prefix of a name including its colon ("x:row" -> "x:", "row" -> "").
std::string PrefixOf(const char* name);
// First child element with the given local name.
pugi::xml_node ChildByLocal(pugi::xml_node parent, std::string_view local);

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"; "" -> "_rels/.rels".
std::string RelsPartOf(std::string_view part);
// A relationship target resolved against the folder of its source part
// ("xl/workbook.xml" + "worksheets/sheet2.xml" -> "xl/worksheets/sheet2.xml",
// "/xl/x.xml" -> "xl/x.xml", ".." steps handled); "" when it leaves the package.
std::string ResolveTarget(std::string_view sourcePart, std::string_view target);

// Entry of the package by part name, or nullptr.
ZipEntry* FindPart(std::vector<ZipEntry>& parts, std::string_view name);

// Parses an XML part; the error names the part.
Result<void> LoadXml(const ZipEntry& part, pugi::xml_document* doc);
std::vector<std::uint8_t> SaveXml(const pugi::xml_document& doc);

// A text made fit for a cell: invalid UTF-8 becomes U+FFFD, control
// characters and literal "_xHHHH_" use the workbook's "_xHHHH_" escapes.
std::string CellText(std::string_view text);

}  // namespace statvtk
