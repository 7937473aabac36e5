#include "stats/stat_window.hpp"

#include <ctime>
#include <utility>

#include "base/local_time.hpp"
#include "base/device_values.hpp"
#include "stats/stat_common.hpp"

namespace statvtk {

namespace {

CalendarDate LocalToday() {
  const std::tm tm = LocalNow();
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::uint32_t Byte(std::uint32_t key, int n) { return (key >> (8 * n)) & 0xFFu; }

// A day's place in date order taken from its year, month and day as they are,
// without a calendar: a stored 31.02 comes after 28.02 and before 01.03
// instead of standing for 2 March.
std::int64_t DayOrdinal(const CalendarDate& d) {
  return (static_cast<std::int64_t>(d.year) * 12 + (d.month - 1)) * 31 + (d.day - 1);
}
std::int64_t KeyOrdinal(std::uint32_t key) { return DayOrdinal(DateOfKey(key)); }

}  // namespace

std::int64_t DayNumber(const CalendarDate& d) { return CivilToDeviceTime(d.year, d.month, d.day) / 86400; }

CalendarDate AddDays(const CalendarDate& d, int days) {
  const std::int64_t n = DayNumber(d) + days;
  if (n < 0) return {1970, 1, 1};
  const CivilTime t = DeviceTimeToCivil(static_cast<std::uint32_t>(n * 86400));
  return {t.year, t.month, t.day};
}

CalendarDate DateOfKey(std::uint32_t key) { return {StampYear(key), StampMonth(key), StampDay(key)}; }

std::uint32_t DayKeyOfDate(const CalendarDate& d) {
  const int yy = ((d.year % 100) + 100) % 100;
  return (std::uint32_t{IntToBcd(yy)} << 24) | (std::uint32_t{IntToBcd(d.month % 100)} << 16) |
         (std::uint32_t{IntToBcd(d.day % 100)} << 8);
}

StatWindowModel::StatWindowModel(std::shared_ptr<const StatModel> model, std::optional<CalendarDate> today)
    : model_(std::move(model)) {
  begin_ = end_ = today.value_or(LocalToday());
  FillList();
}

std::vector<CurrRow> StatWindowModel::ShowCurr() const {
  if (!model_->HasValidRecord()) return {{kNoValidRecordText, ""}};
  return model_->CurrentRows();
}

void StatWindowModel::AddItem(std::string text, std::uint32_t key, ArchiveKind archive, std::size_t entry) {
  if (!keys_.insert(key).second) return;  // the period is listed already
  items_.push_back({std::move(text), key, archive, entry});
}

void StatWindowModel::FillList() {
  items_.clear();
  keys_.clear();
  selected_.clear();
  const bool months = mode_ == StatMode::Monthly;
  ArchiveKind kind = mode_ == StatMode::Hourly ? ArchiveKind::Hourly : ArchiveKind::Daily;
  // A model without a monthly archive lists the months of its daily archive.
  if (months && model_->HasArchive(ArchiveKind::Monthly)) kind = ArchiveKind::Monthly;
  const std::size_t n = model_->Index(kind).size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!model_->EntryValid(kind, i)) continue;
    const auto stamp = model_->RecordStamp(kind, i);
    if (!stamp) continue;
    if (months) {
      const std::uint32_t key = MonthKeyOf(*stamp);
      AddItem(detail::Format("%.2X.%.2X", Byte(key, 2), Byte(key, 3)), key, kind, i);
    } else {
      const std::uint32_t key = DayKeyOf(*stamp);
      AddItem(detail::Format("%.2X.%.2X.%.2X", Byte(key, 1), Byte(key, 2), Byte(key, 3)), key, kind, i);
    }
  }
  selected_.assign(items_.size(), false);
  if (mode_ == StatMode::Hourly && !remembered_.empty())
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i].text == remembered_) {
        selected_[i] = true;
        break;
      }
}

void StatWindowModel::SelectItem(std::size_t i, bool select) {
  if (i >= selected_.size()) return;
  if (select && !MultiSelect()) ClearSelection();
  selected_[i] = select;
}

void StatWindowModel::ClearSelection() { selected_.assign(items_.size(), false); }

std::vector<std::size_t> StatWindowModel::SelectedItems() const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < selected_.size(); ++i)
    if (selected_[i]) out.push_back(i);
  return out;
}

void StatWindowModel::SetMode(StatMode mode) {
  // The day chosen last is remembered when the mode changes (in daily mode
  // the first selected one), so that hourly mode shows it again.
  if (mode_ != StatMode::Monthly && mode != mode_) {
    const auto sel = SelectedItems();
    if (!sel.empty()) remembered_ = items_[sel.front()].text;
  }
  mode_ = mode;
  FillList();
  FollowPeriod();
}

void StatWindowModel::FollowPeriod() {
  if (mode_ == StatMode::Hourly) {
    // The remembered day, when listed, is the period; else the begin date's day.
    const auto sel = SelectedItems();
    if (!sel.empty()) {
      begin_ = DateOfKey(items_[sel.front()].key);
      CorrectEndDate(true);
      return;
    }
    DatesChanged();
  } else if (mode_ == StatMode::Daily) {
    DatesChanged();
  }
  // Monthly mode lists every month and selects none until asked: the period stays.
}

void StatWindowModel::SelectionChanged() {
  const auto sel = SelectedItems();
  if (sel.empty()) return;
  // The list is in ascending order: the first selected item is the smallest.
  const CalendarDate first = DateOfKey(items_[sel.front()].key), last = DateOfKey(items_[sel.back()].key);
  if (mode_ == StatMode::Hourly) {
    begin_ = first;
  } else if (mode_ == StatMode::Daily) {
    begin_ = first;
    end_ = last;
  } else {
    // Months: from the first day of the first to the last day of the last.
    begin_ = {first.year, first.month, 1};
    const CalendarDate next =
        last.month == 12 ? CalendarDate{last.year + 1, 1, 1} : CalendarDate{last.year, last.month + 1, 1};
    end_ = AddDays(next, -1);
  }
}

void StatWindowModel::CorrectEndDate(bool limit31) {
  if (DayNumber(end_) < DayNumber(begin_)) end_ = begin_;
  if (limit31 && DayNumber(end_) - DayNumber(begin_) > 31) end_ = AddDays(begin_, 31);
}

void StatWindowModel::DatesChanged() {
  CorrectEndDate(true);
  if (mode_ == StatMode::Hourly) {
    const std::uint32_t key = DayKeyOfDate(begin_);
    ClearSelection();
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i].key == key) {
        selected_[i] = true;
        break;
      }
  } else if (mode_ == StatMode::Daily) {
    ClearSelection();
    const auto first = DayOrdinal(begin_), last = DayOrdinal(end_);
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const auto day = KeyOrdinal(items_[i].key);
      selected_[i] = day >= first && day <= last;
    }
  } else {
    // Every month the period touches.
    const auto first = KeyOrdinal(MonthKeyOf(DayKeyOfDate(begin_)));
    const auto last = KeyOrdinal(MonthKeyOf(DayKeyOfDate(end_)));
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const auto month = KeyOrdinal(items_[i].key);
      selected_[i] = month >= first && month <= last;
    }
  }
}

ReportPlan StatWindowModel::PrepareReport() {
  CorrectEndDate(mode_ == StatMode::Daily);
  ReportPlan plan;
  const auto sel = SelectedItems();
  if (sel.empty()) return plan;
  if (mode_ == StatMode::Hourly) {
    const ListItem& item = items_[sel.front()];
    plan.kind = ReportKind::Hourly;
    plan.dayText = item.text;
    plan.dayKey = item.key;
    const std::size_t n = model_->Index(ArchiveKind::Hourly).size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto stamp = model_->RecordStamp(ArchiveKind::Hourly, i);
      if (!stamp || DayKeyOf(*stamp) != item.key) continue;
      const int hour = StampHour(*stamp);
      if (hour < 0 || hour > 23 || plan.hours[static_cast<std::size_t>(hour)].present) continue;
      plan.hours[static_cast<std::size_t>(hour)] = {true, i};
    }
  } else if (mode_ == StatMode::Daily) {
    plan.kind = ReportKind::Daily;
    // Days are picked by their stored key (see DayOrdinal).
    const auto first = DayOrdinal(begin_), last = DayOrdinal(end_);
    for (const std::size_t s : sel) {
      const ListItem& item = items_[s];
      const auto day = KeyOrdinal(item.key);
      if (day >= first && day <= last) plan.days.push_back({item.text, item.key, item.entry});
    }
  }
  return plan;
}

std::string ShortDateText(int day, int month, int year) {
  return detail::Format("%.2d.%.2d.%.2d", day % 100, month % 100, year % 100);
}

}  // namespace statvtk
