#include "reading/job_prep.hpp"

#include <algorithm>

#include "base/program_home.hpp"

namespace statvtk {

InstrumentPlan InstrumentPlanOf(const ReadPlan& plan, const std::filesystem::path& home) {
  switch (plan.kind) {
    case ReadKind::Statistics: return PlanOfChoice(plan.choice, DataFolder(home));
    case ReadKind::Current:
    case ReadKind::CurrentRefresh:
    case ReadKind::Check: return CurrentPlan{};
    case ReadKind::Identify: return IdentifyPlan{};
    case ReadKind::Custom: break;
  }
  return StatisticsPlan{};
}

ReadJob MakeReadJob(const ConnectionSettings& s, const std::filesystem::path& home, const ReadPlan& plan) {
  ReadJob job;
  job.settingsError = ConnectionSettingsError(s);
  job.line = LineSpecOf(s);
  if (plan.kind != ReadKind::Custom)
    job.instruments.push_back({static_cast<std::uint32_t>(std::clamp<std::int64_t>(s.netAddress, 0, 0xFFFFFFFF)),
                               InstrumentPlanOf(plan, home)});
  return job;
}

}  // namespace statvtk
