// A span of whole hours (calendar seconds of the starts of its first and last
// hour, as the analysis gives them) as the statistics window shows it: its
// days and the "HH:00" rows of the values table; and an hour as a text.
#pragma once

#include <QString>
#include <QStringList>

#include "stats/stat_window.hpp"

namespace statvtk::app {

struct HourSpan {
  CalendarDate first, last;  // the days of its first and last hour
  QStringList hours;         // one day: "HH:00" of each hour from the first to the last
  bool OneDay() const { return first == last; }
};

HourSpan HourSpanOf(long long from, long long to);

// "DD.MM.YY HH:00", as the day lists write a day.
QString HourDateText(long long seconds);

}  // namespace statvtk::app
