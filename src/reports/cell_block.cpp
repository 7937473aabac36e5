// Cell references and the 80 x 80 cell block.
#include "reports/cell_block.hpp"

#include <cstdio>

namespace statvtk {

namespace {
const CellValue kEmpty{};
bool InBlock(int row, int col) { return row >= 1 && row <= kBlockRows && col >= 1 && col <= kBlockCols; }
}  // namespace

std::string ColumnName(int col) {
  std::string name;
  while (col > 0) {
    const int rem = (col - 1) % 26;
    name.insert(name.begin(), static_cast<char>('A' + rem));
    col = (col - 1) / 26;
  }
  return name;
}

int ColumnNumber(std::string_view letters) {
  int col = 0;
  for (char ch : letters) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (ch < 'A' || ch > 'Z') break;
    if (col > 100000) return 0;  // far past any sheet
    col = col * 26 + (ch - 'A' + 1);
  }
  return col;
}

bool ParseCellRef(std::string_view ref, int* row, int* col) {
  std::size_t i = 0;
  while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) ++i;
  if (i == 0 || i > 3 || i == ref.size()) return false;
  long r = 0;
  for (std::size_t j = i; j < ref.size(); ++j) {
    if (ref[j] < '0' || ref[j] > '9' || r > 10000000) return false;
    r = r * 10 + (ref[j] - '0');
  }
  if (r < 1) return false;
  *col = ColumnNumber(ref.substr(0, i));
  *row = static_cast<int>(r);
  return *col >= 1;
}

const CellValue& CellBlock::At(int row, int col) const {
  if (!InBlock(row, col)) return kEmpty;
  return cells_[static_cast<std::size_t>((row - 1) * kBlockCols + (col - 1))];
}

void CellBlock::Set(int row, int col, CellValue value) {
  if (!InBlock(row, col)) return;
  cells_[static_cast<std::size_t>((row - 1) * kBlockCols + (col - 1))] = std::move(value);
}

const CellValue& CellBlock::At(std::string_view ref) const {
  int row = 0, col = 0;
  return ParseCellRef(ref, &row, &col) ? At(row, col) : kEmpty;
}

void CellBlock::Set(std::string_view ref, CellValue value) {
  int row = 0, col = 0;
  if (ParseCellRef(ref, &row, &col)) Set(row, col, std::move(value));
}

std::string DescribeCell(const CellValue& v) {
  char buf[64];
  if (const auto* i = std::get_if<std::int64_t>(&v)) {
    std::snprintf(buf, sizeof buf, "int:%lld", static_cast<long long>(*i));
    return buf;
  }
  if (const auto* d = std::get_if<double>(&v)) {
    std::snprintf(buf, sizeof buf, "dbl:%.17g", *d);
    return buf;
  }
  if (const auto* c = std::get_if<Currency>(&v)) {
    std::snprintf(buf, sizeof buf, "cur:%.17g", c->value);
    return buf;
  }
  if (const auto* s = std::get_if<std::string>(&v)) return "str:" + *s;
  return "";
}

}  // namespace statvtk
