// The logic of a statistics window, for any model: the list of periods by
// mode, the selection and the two dates, the report preparation (the 24 hour
// slots of a day, the days of the daily report) and the current values.
// A window only displays what this model holds and forwards its events here.
#pragma once

#include <array>
#include <compare>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk {

enum class StatMode { Hourly = 1, Daily = 2, Monthly = 3 };

// A date picker's value. Days are compared by their day number, so a stored
// date such as 31.02 (which passes the record date check) still orders sensibly.
struct CalendarDate {
  int year = 2000, month = 1, day = 1;
  friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};
std::int64_t DayNumber(const CalendarDate& d);          // days since 1970-01-01
CalendarDate AddDays(const CalendarDate& d, int days);  // a real calendar date
CalendarDate DateOfKey(std::uint32_t key);              // the day of a packed-BCD key
std::uint32_t DayKeyOfDate(const CalendarDate& d);      // two-digit year, month, day in BCD, hour 0
// "DD.MM.YY": the texts of the report commands, the date pickers and the day lists.
std::string ShortDateText(int day, int month, int year);
inline std::string ShortDateText(const CalendarDate& d) { return ShortDateText(d.day, d.month, d.year); }

// One line of the period list.
struct ListItem {
  std::string text;                          // "DD.MM.YY" ("%.2X.%.2X.%.2X"); monthly mode "MM.YY"
  std::uint32_t key = 0;                     // day key (hour byte cleared) or month key (day and hour cleared)
  ArchiveKind archive = ArchiveKind::Daily;  // where `entry` lies
  std::size_t entry = 0;                     // the first index entry of this period in that archive
};

struct HourSlot {
  bool present = false;
  std::size_t entry = 0;  // entry of the hourly index
};

struct ReportDay {
  std::string text;
  std::uint32_t dayKey = 0;
  std::size_t entry = 0;  // entry of the daily index
};

enum class ReportKind { None, Hourly, Daily };

// What PrepareReport prepared for the report.
struct ReportPlan {
  ReportKind kind = ReportKind::None;
  std::string dayText;               // hourly: the selected line "DD.MM.YY"
  std::uint32_t dayKey = 0;          // hourly: its day key
  std::array<HourSlot, 24> hours{};  // hourly: slot h holds hour h (0..23)
  std::vector<ReportDay> days;       // daily: the selected days within begin..end
};

class StatWindowModel {
 public:
  // Mode 2 (daily), empty remembered item, the list filled; both dates `today`
  // (the local date of the system clock when not given).
  explicit StatWindowModel(std::shared_ptr<const StatModel> model, std::optional<CalendarDate> today = std::nullopt);

  const StatModel& Model() const { return *model_; }
  StatMode Mode() const { return mode_; }

  // Rebuilds the list for the current mode (see docs/statistics.md).
  void FillList();
  const std::vector<ListItem>& Items() const { return items_; }
  bool MultiSelect() const { return mode_ != StatMode::Hourly; }
  bool EndDateEnabled() const { return mode_ != StatMode::Hourly; }

  // Selection of list items (hourly mode keeps at most one selected).
  bool IsSelected(std::size_t i) const { return i < selected_.size() && selected_[i]; }
  void SelectItem(std::size_t i, bool select = true);
  void ClearSelection();
  std::vector<std::size_t> SelectedItems() const;
  const std::string& RememberedItem() const { return remembered_; }

  CalendarDate BeginDate() const { return begin_; }
  CalendarDate EndDate() const { return end_; }
  // What the user set in a picker; DatesChanged applies the consequences.
  void SetBeginDate(const CalendarDate& d) { begin_ = d; }
  void SetEndDate(const CalendarDate& d) { end_ = d; }

  // One of the three mode buttons was chosen. The period (the two dates)
  // stays: the new list selects what it holds (hourly: the remembered day
  // when listed, which then becomes the begin date; daily: the days from the
  // begin to the end date). Monthly mode selects no month until the dates or
  // the list are changed in it; every month is then shown.
  void SetMode(StatMode mode);
  // The user clicked the list (after changing the selection with SelectItem):
  // the dates follow it (monthly: the first day of the first month to the
  // last day of the last).
  void SelectionChanged();
  // Either date picker changed: the list selects the period (monthly: every
  // month it touches).
  void DatesChanged();
  // Prepares the report of the current mode; the window then runs it.
  ReportPlan PrepareReport();

  // The current-values grid: heading row, then the model's rows.
  static CurrRow CurrHeading() { return {"Параметр", "Значение"}; }
  // An image without a single valid record shows one row, kNoValidRecordText.
  std::vector<CurrRow> ShowCurr() const;
  EventTable Events() const { return model_->Events(); }

  // Set while a report runs; the window may close only while it is clear.
  void SetBusy(bool busy) { busy_ = busy; }
  bool Busy() const { return busy_; }
  bool CanClose() const { return !busy_; }

 private:
  void CorrectEndDate(bool limit31);
  // After a mode change: the list's selection from the period.
  void FollowPeriod();
  void AddItem(std::string text, std::uint32_t key, ArchiveKind archive, std::size_t entry);

  std::shared_ptr<const StatModel> model_;
  StatMode mode_ = StatMode::Daily;
  std::vector<ListItem> items_;
  std::unordered_set<std::uint32_t> keys_;  // the keys of items_
  std::vector<bool> selected_;
  std::string remembered_;
  CalendarDate begin_, end_;
  bool busy_ = false;
};

}  // namespace statvtk
