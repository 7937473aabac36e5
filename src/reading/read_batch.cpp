// Several instruments in one run: the line is opened (and a modem dialled)
// once, then each address is identified and read in turn into its own file.
#include "reading/reads.hpp"
#include "reading/run_end.hpp"

namespace statvtk {

RunOutput ReadBatch(const ReadJob& job, RunContext& ctx) {
  RunOutput out;
  const std::vector<std::uint32_t>& addresses = job.batch;
  LineSession line(job.line, ctx);
  if (auto failed = line.Open()) {
    RunEnd e{failed->stage == LineSession::Stage::Open ? EndKind::OpenFailed : EndKind::DialFailed};
    e.open = std::move(failed);
    EndRun(e, ctx, &line, false, out.result);
    for (std::uint32_t a : addresses) {
      ReadResult r = out.result;
      r.address = a;
      out.batch.push_back(r);
    }
    return out;
  }
  bool stopped = false;
  for (std::size_t i = 0; i < addresses.size() && !stopped; ++i) {
    const std::uint32_t a = addresses[i];
    ctx.obs.BatchAddressStarted(a, i, addresses.size());
    ctx.Log("Адрес " + std::to_string(a) + " (" + std::to_string(i + 1) + " из " + std::to_string(addresses.size()) +
            ")");
    ReadResult r;
    r.address = a;
    if (ctx.StopNow()) {
      r.outcome = ReadOutcome::Stopped;
      r.error = MakeError(ErrorCode::Stopped, {});
    } else if (const std::string refused = AddressRefusal(a, job.useMBus); !refused.empty()) {
      RunEnd e{EndKind::Refused};
      e.message = refused;
      EndRun(e, ctx, &line, true, r);
    } else {
      r = ReadInstrument(line, ctx, a, job.useMBus, job.what, true);
    }
    stopped = r.outcome == ReadOutcome::Stopped;
    out.batch.push_back(std::move(r));
  }
  line.Close();
  ctx.obs.EnableControls();
  // The whole run: stopped, failed when any address failed, done otherwise.
  out.result.outcome = ReadOutcome::Done;
  for (const ReadResult& r : out.batch) {
    out.result.requests += r.requests;
    if (r.outcome == ReadOutcome::Stopped) out.result.outcome = ReadOutcome::Stopped;
    else if (r.outcome != ReadOutcome::Done && out.result.outcome == ReadOutcome::Done)
      out.result.outcome = ReadOutcome::Failed;
  }
  if (stopped) out.result.outcome = ReadOutcome::Stopped;
  return out;
}

}  // namespace statvtk
