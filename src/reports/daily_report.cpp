// The daily report's cell block.
#include "reports/daily_report.hpp"

#include <algorithm>
#include <cstdio>

namespace statvtk {

std::string DailyDateText(int day, int month, int year) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1d%.1d.%.1d%.1d.20%.1d%.1d", day / 10 % 10, day % 10, month / 10 % 10, month % 10,
                year / 10 % 10, year % 10);
  return buf;
}

std::string DailyTimeText(int hour, int minute) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.1d%.1d:%.1d%.1d", hour / 10 % 10, hour % 10, minute / 10 % 10, minute % 10);
  return buf;
}

std::string DayMonthLabel(int day, int month) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2d.%.2d", day % 100, month % 100);
  return buf;
}

CellBlock BuildDailyBlock(const DailyReportInput& in, const std::function<void(int)>& onDay) {
  CellBlock block;
  WriteHeaderCells(block, in.header);
  block.Set("A8", in.fromText + " - " + in.toText);
  const int count = static_cast<int>(std::min<std::size_t>(in.days.size(), kDailyMaxDays));
  block.Set("A11", std::int64_t{count});
  if (count > 0) {
    const DailyRow& first = in.days.front();
    const DailyRow& last = in.days[static_cast<std::size_t>(count - 1)];
    block.Set("B8", DailyDateText(first.day, first.month, first.year));
    block.Set("B9", DailyDateText(last.day, last.month, last.year));
  }
  int unknown = 0;
  for (int i = 0; i < count; ++i) {
    if (onDay) onDay(i + 1);
    const DailyRow& d = in.days[static_cast<std::size_t>(i)];
    const int r = kDailyFirstRow + i;
    block.Set(r, 1, std::int64_t{1});
    block.Set(r, 2, DailyDateText(d.day, d.month, d.year));
    block.Set(r, 5, DayMonthLabel(d.day, d.month));
    block.Set(r, 6, DailyTimeText(d.record.hour, d.record.minute));
    WriteRecordRow(block, r, in.header, d.record);
    if (!d.record.incrementKnown) ++unknown;
  }
  WriteUnknownNote(block, unknown);
  return block;
}

}  // namespace statvtk
