// Writes the cell block into a worksheet's XML: A1:CB80 replaced, every cell
// outside it kept as it was.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "base/error.hpp"
#include "reports/cell_block.hpp"

namespace statvtk {

// `currencyStyle` is the cell format index for currency cells (-1: none).
// Cells of the block keep their template format; values, formulas and types
// are replaced; empty cells of the block are cleared. False with a reason when
// the part is no worksheet.
Result<void> WriteBlockIntoSheet(pugi::xml_document& sheet, const CellBlock& block, int currencyStyle);

}  // namespace statvtk
