// The 80 x 80 block of cells a report writes into the data sheet of its
// template (A1:CB80): each cell empty, an integer, a double, a currency-typed
// number or a text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace statvtk {

// A number the sheet shows with a currency number format.
struct Currency {
  double value = 0.0;
  bool operator==(const Currency&) const = default;
};

using CellValue = std::variant<std::monostate, std::int64_t, double, Currency, std::string>;

inline constexpr int kBlockRows = 80;
inline constexpr int kBlockCols = 80;

// Column letters of a 1-based column number (1 -> "A", 27 -> "AA", 80 -> "CB").
std::string ColumnName(int col);
// 1-based column number of leading letters ("AY" -> 51), 0 when there are none.
int ColumnNumber(std::string_view letters);
// Splits a cell reference ("B8") into 1-based row and column; false when malformed.
bool ParseCellRef(std::string_view ref, int* row, int* col);

class CellBlock {
 public:
  // Rows and columns count from 1 like the sheet; outside 1..80 reads empty and writes nothing.
  const CellValue& At(int row, int col) const;
  void Set(int row, int col, CellValue value);
  // The same by reference text ("AQ15"); a malformed or outside reference is ignored.
  const CellValue& At(std::string_view ref) const;
  void Set(std::string_view ref, CellValue value);
  bool operator==(const CellBlock&) const = default;

 private:
  std::array<CellValue, kBlockRows * kBlockCols> cells_{};
};

// Readable form of a cell for messages and tests: "" empty, "int:5", "dbl:1.5", "cur:1", "str:..".
std::string DescribeCell(const CellValue& v);

}  // namespace statvtk
