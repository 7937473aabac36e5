// The cells of the collector's CSV exports: numbers to six decimals and
// quoted texts, the same in every export.
#pragma once

#include <optional>
#include <string>

namespace statvtk::collect {

// "%.6f"; an absent number, or one that is no number (NaN, an infinity),
// an empty cell, as in the desktop's CSV, never "nan".
std::string CsvNumber(double v);
std::string CsvNumber(const std::optional<double>& v);
// The text in double quotes, a quote inside doubled.
std::string CsvQuoted(const std::string& s);

}  // namespace statvtk::collect
