#include "reading/job_prep.hpp"

#include "reading/read_thread.hpp"

namespace statvtk {

void PrepareReadJob(TReadThread& job, const ConnectionSettings& settings, const std::filesystem::path& home,
                    const ReadPlan& plan) {
  job.SetConnection(settings);
  job.SetProgramHome(home);
  switch (plan.kind) {
    case ReadKind::Statistics: ApplyReadChoice(plan.choice, job); break;
    case ReadKind::Current: job.SetReadCurrent(true); break;
    case ReadKind::CurrentRefresh:
      job.SetReadCurrent(true);
      job.SetRefreshWindow(true);
      break;
    case ReadKind::Identify: job.SetIdentifyOnly(true); break;
    case ReadKind::Custom: break;
  }
}

}  // namespace statvtk
