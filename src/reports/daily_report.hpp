// The daily report's cell block: one row per selected day, on the machinery
// of the hourly report (same header cells, same value columns).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reports/cell_block.hpp"
#include "reports/hour_report.hpp"

namespace statvtk {

struct DailyRow {
  int day = 1, month = 1, year = 0;  // year within the century (2000 + year)
  ReportRecord record;
};

struct DailyReportInput {
  ReportHeaderData header;
  std::string fromText, toText;  // the period "DD.MM.YY"
  std::vector<DailyRow> days;    // in date order
};

// First data row and the most days the block holds (rows 15..80).
inline constexpr int kDailyFirstRow = 15;
inline constexpr int kDailyMaxDays = kBlockRows - kDailyFirstRow + 1;

// "%.1d%.1d.%.1d%.1d.20%.1d%.1d" (DD.MM.20YY), "%.1d%.1d:%.1d%.1d" (hh:mm), "%.2d.%.2d" (DD.MM).
std::string DailyDateText(int day, int month, int year);
std::string DailyTimeText(int hour, int minute);
std::string DayMonthLabel(int day, int month);

// A8 the period "DD.MM.YY - DD.MM.YY", B8/B9 the first and last day's date,
// A11 the number of days; per day row: A 1, B date, E day-month label, F the
// record's time, then the record's values as in the hourly rows.
CellBlock BuildDailyBlock(const DailyReportInput& input, const std::function<void(int)>& onDay = {});

}  // namespace statvtk
