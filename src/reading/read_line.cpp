// The one entry into the engine: the instruments of a line read on one
// opening of it, each by its own plan. Several instruments are read in turn
// on the line opened (a modem dialled) once, each into its own result.
#include "reading/reads.hpp"
#include "reading/run_end.hpp"

namespace statvtk {

namespace {

// The whole of several reads: stopped, failed when any failed, done otherwise.
ReadResult Whole(const std::vector<ReadResult>& each) {
  ReadResult whole;
  whole.outcome = ReadOutcome::Done;
  for (const ReadResult& r : each) {
    whole.requests += r.requests;
    if (r.outcome == ReadOutcome::Stopped) whole.outcome = ReadOutcome::Stopped;
    else if (r.outcome != ReadOutcome::Done && whole.outcome == ReadOutcome::Done) whole.outcome = ReadOutcome::Failed;
  }
  return whole;
}

// The next of several instruments: the stop, a refused address, or its read.
ReadResult ReadInTurn(LineSession& line, RunContext& ctx, const InstrumentRequest& in, std::size_t index,
                      std::size_t count) {
  ctx.obs.BatchAddressStarted(in.address, index, count);
  if (!ctx.quiet)
    ctx.Log("Адрес " + std::to_string(in.address) + " (" + std::to_string(index + 1) + " из " + std::to_string(count) +
            ")");
  ReadResult r;
  r.address = in.address;
  if (ctx.StopNow()) {
    r.outcome = ReadOutcome::Stopped;
    r.error = MakeError(ErrorCode::Stopped, {});
  } else if (const std::string refused = AddressRefusal(in.address, line.Spec().useMBus); !refused.empty()) {
    RunEnd e{EndKind::Refused};
    e.message = refused;
    EndRun(e, ctx, &line, true, r);
  } else {
    r = ReadInstrument(line, ctx, in, true);
  }
  return r;
}

}  // namespace

RunOutput ReadLine(const LineSpec& spec, std::span<const InstrumentRequest> list, RunContext& ctx) {
  RunOutput out;
  const bool several = list.size() > 1;
  // One instrument's address is refused before the line opens; several each in its turn.
  if (list.size() == 1) {
    if (const std::string refused = AddressRefusal(list[0].address, spec.useMBus); !refused.empty()) {
      RunEnd e{EndKind::Refused};
      e.message = refused;
      EndRun(e, ctx, nullptr, false, out.result);
      out.result.address = list[0].address;
      out.batch.push_back(out.result);
      return out;
    }
  }
  // A stop requested before the run ends it before the port opens.
  if (ctx.StopNow()) {
    EndRun({EndKind::Stopped}, ctx, nullptr, false, out.result);
    return out;
  }
  LineSession line(spec, ctx);
  if (auto failed = line.Open()) {
    RunEnd e{failed->stage == LineSession::Stage::Open ? EndKind::OpenFailed : EndKind::DialFailed};
    e.open = std::move(failed);
    EndRun(e, ctx, &line, false, out.result);
    for (const InstrumentRequest& in : list) {
      out.batch.push_back(out.result);
      out.batch.back().address = in.address;
    }
    return out;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    out.batch.push_back(several ? ReadInTurn(line, ctx, list[i], i, list.size())
                                : ReadInstrument(line, ctx, list[i], false));
    if (out.batch.back().outcome == ReadOutcome::Stopped) break;
  }
  if (!several) {
    if (!out.batch.empty()) out.result = out.batch.front();
    return out;
  }
  line.Close();
  ctx.obs.EnableControls();
  out.result = Whole(out.batch);
  return out;
}

}  // namespace statvtk
