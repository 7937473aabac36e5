// The decoded records of one archive (or the event archive) as CSV text, for
// users who keep their own spreadsheets or databases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

enum class CsvArchive { Hourly, Daily, Monthly, Events };

struct CsvOptions {
  char separator = ',';
  char decimal = '.';
};

// The options as the command line gives them: the decimal mark (default '.'),
// the separator (default ';' where the decimal mark is ',', else ',').
CsvOptions MakeCsvOptions(char decimal, char separator = '\0');

// The name proposed for an export: "<serial>_<archiveWord>.csv", the serial by
// the safe-name rule (SafeNamePart), a missing one as "device".
std::string CsvFileName(const std::string& serial, const std::string& archiveWord);

// A heading row with units, then one row per valid record in time order
// ("Дата/время", the model's values, counters in hours, status text, flags);
// the increments of a record without increments are empty fields, and so is a
// value that is not a number (NaN, an infinity).
// An error when the model has no such archive.
// With `only`, just the records whose stamp, masked by its mask, is one of
// its keys (the hours of a day, the days or months a window shows).
struct CsvPeriods {
  std::vector<std::uint32_t> keys;
  std::uint32_t mask = 0xFFFFFF00u;  // day keys; 0xFFFF0000u for months
};
Result<std::string> ExportArchiveCsv(const StatModel& model, CsvArchive archive, const CsvOptions& options,
                                     const CsvPeriods* only = nullptr);

}  // namespace statvtk
