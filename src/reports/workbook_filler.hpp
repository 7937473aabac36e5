// Fills a copy of a report template: the cell block goes into A1:CB80 of the
// workbook's second sheet and the workbook is marked for recalculation on load.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "reports/cell_block.hpp"

namespace statvtk {

// The number format of currency-typed cells.
inline constexpr const char* kCurrencyFormat = "#,##0.00\\ \"\xE2\x82\xBD\"";

// The filled workbook built from the template bytes; false with a reason
// (not a workbook, no second worksheet, damaged part).
Result<std::vector<std::uint8_t>> FillWorkbook(std::span<const std::uint8_t> templateBytes, const CellBlock& block);

// Reads the template, fills it and writes the result to `output` atomically
// (a temporary file in the same folder renamed over it). The template is only read.
Result<void> FillWorkbookFile(const std::filesystem::path& templatePath, const CellBlock& block,
                              const std::filesystem::path& output);

}  // namespace statvtk
