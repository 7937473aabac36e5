#include "stats/report_plans.hpp"

namespace statvtk {

std::optional<ReportPlan> PlanHourlyReport(std::shared_ptr<const StatModel> model, const CalendarDate& day) {
  StatWindowModel window(std::move(model), day);
  window.SetMode(StatMode::Hourly);
  const std::string text = ShortDateText(day);
  const auto& items = window.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].text == text) window.SelectItem(i);
  ReportPlan plan = window.PrepareReport();
  if (plan.kind != ReportKind::Hourly) return std::nullopt;
  return plan;
}

DailyReportPlan PlanDailyReport(std::shared_ptr<const StatModel> model, const CalendarDate& from,
                                const CalendarDate& to) {
  StatWindowModel window(std::move(model), from);
  window.SetMode(StatMode::Daily);
  window.SetBeginDate(from);
  window.SetEndDate(to);
  window.DatesChanged();
  DailyReportPlan r{.plan = window.PrepareReport(),
                    .fromText = ShortDateText(window.BeginDate()),
                    .toText = ShortDateText(window.EndDate())};
  if (r.plan->kind != ReportKind::Daily || r.plan->days.empty()) r.plan.reset();
  return r;
}

}  // namespace statvtk
