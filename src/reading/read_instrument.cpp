// One instrument on an open line: identification, then the model's header
// blocks and what its plan asks for, into its result.
#include "link/frame.hpp"
#include "reading/instrument_read.hpp"
#include "reading/read_text.hpp"
#include "reading/reads.hpp"

namespace statvtk {

namespace {

// Three tries to tell the model; nothing when none answered with a known one.
std::optional<Instrument> Identify(LineSession& line, RunContext& ctx, std::uint32_t address, bool& stopped) {
  Tmod07& link = line.Link();
  const bool useMBus = line.Spec().useMBus;
  for (int k = 1; k <= 3; ++k) {
    ctx.Emit(event::Identifying{k});
    std::string text = useMBus ? link.IdentifyLong(address) : link.Identify(static_cast<std::uint8_t>(address));
    if (ctx.StopNow()) {
      stopped = true;
      return std::nullopt;
    }
    if (const DeviceType type = TypeOfIdentText(text); type != DeviceType::dtUnknown)
      return Instrument{address, useMBus, type, std::move(text)};
  }
  return std::nullopt;
}

void Fail(ReadResult& r, FailedAt at, Error cause) {
  r.outcome = cause.IsStop() ? ReadOutcome::Stopped : ReadOutcome::Failed;
  r.at = at;
  r.error = std::move(cause);
}

void Stop(ReadResult& r, FailedAt at) { Fail(r, at, MakeError(ErrorCode::Stopped, {})); }

// The header blocks, then what the plan asks of the model's memory.
void ReadModel(InstrumentReader& reader, RunContext& ctx, const InstrumentPlan& plan, ReadResult& r) {
  const ModelMap& map = reader.Map();
  Step s = reader.ReadHeader();
  bool keepsNothing = map.wholeMemory;
  if (const auto* stats = std::get_if<StatisticsPlan>(&plan); stats && s == Step::Ok) {
    if (!map.wholeMemory) ctx.Pos(0);
    s = reader.ReadArchives(*stats, keepsNothing);
  }
  r.elapsedS = ctx.ElapsedS();
  r.fetched = reader.FetchedRecords();
  const bool current = std::holds_alternative<CurrentPlan>(plan);
  if (s == Step::Error) {
    Fail(r, reader.Failure()->at, reader.Failure()->cause);
    // What was fetched before the failure is kept, once any archive block came.
    if (!current && reader.Fetched()) {
      r.partial = true;
      r.data = reader.Data();
    }
    return;
  }
  if (s == Step::Stop) {
    // A stop before the current values are complete hands nothing over.
    Stop(r, current ? FailedAt::Header : FailedAt::None);
    if (current || keepsNothing) return;
    r.partial = true;
  } else {
    r.outcome = ReadOutcome::Done;
  }
  r.data = current ? StatData{r.type, {}, reader.Header()} : reader.Data();
}

}  // namespace

ReadResult ReadInstrument(LineSession& line, RunContext& ctx, const InstrumentRequest& in) {
  if (std::holds_alternative<ProbePlan>(in.plan)) return Probe(line, ctx, in.address);
  ReadResult r;
  r.address = in.address;
  const std::uint32_t sentBefore = line.Link().SentCount();
  bool stopped = false;
  const std::optional<Instrument> inst = Identify(line, ctx, in.address, stopped);
  if (stopped) {
    Stop(r, FailedAt::Identify);
  } else if (!inst) {
    Fail(r, FailedAt::Identify, line.Link().Cause());
  } else {
    r.type = inst->type;
    r.identText = inst->identText;
    if (std::holds_alternative<IdentifyPlan>(in.plan)) {
      r.outcome = ReadOutcome::Done;
    } else {
      InstrumentReader reader(line, ctx, *inst);
      ctx.Emit(event::ModelFound{inst->type});
      ctx.StartClock();
      ReadModel(reader, ctx, in.plan, r);
    }
  }
  r.requests = line.Link().SentCount() - sentBefore;
  return r;
}

}  // namespace statvtk
