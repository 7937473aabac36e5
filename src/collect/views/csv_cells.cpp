#include "collect/views/csv_cells.hpp"

#include <cmath>
#include <cstdio>

namespace statvtk::collect {

std::string CsvNumber(double v) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

std::string CsvNumber(const std::optional<double>& v) { return v ? CsvNumber(*v) : std::string(); }

std::string CsvQuoted(const std::string& s) {
  std::string q = "\"";
  for (char ch : s) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

}  // namespace statvtk::collect
