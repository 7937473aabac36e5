#include "reading/job_prep.hpp"

#include <algorithm>

#include "reading/read_thread.hpp"

namespace statvtk {

ReadJob MakeReadJob(const ConnectionSettings& s, const std::filesystem::path& home, const ReadPlan& plan) {
  ReadJob job;
  job.settingsError = ConnectionSettingsError(s);
  job.line = LineSpecOf(s);
  job.useMBus = s.useMBus;
  job.address = static_cast<std::uint32_t>(std::clamp<std::int64_t>(s.netAddress, 0, 0xFFFFFFFF));
  job.home = home;
  switch (plan.kind) {
    case ReadKind::Statistics: job.what = PlanOfChoice(plan.choice); break;
    case ReadKind::Current: job.what = CurrentRead{}; break;
    case ReadKind::CurrentRefresh: job.what = CurrentRead{true}; break;
    case ReadKind::Identify: job.what = IdentifyRead{}; break;
    case ReadKind::Custom: break;
  }
  return job;
}

void PrepareReadJob(TReadThread& job, const ConnectionSettings& settings, const std::filesystem::path& home,
                    const ReadPlan& plan) {
  job.SetJob(MakeReadJob(settings, home, plan));
}

}  // namespace statvtk
