// The one entry into the engine: the instruments of a line read on one
// opening of it, each by its own plan, each into its own result.
#include <algorithm>

#include "link/frame.hpp"
#include "reading/reads.hpp"

namespace statvtk {

namespace {

void Fail(ReadResult& r, FailedAt at, const Error& cause) {
  r.outcome = cause.IsStop() ? ReadOutcome::Stopped : ReadOutcome::Failed;
  r.at = at;
  r.error = cause;
}

// The whole run: one instrument's own outcome; of several, stopped when a
// stop ended it, failed when any failed, done otherwise.
ReadResult Whole(const std::vector<ReadResult>& each) {
  ReadResult whole;
  whole.outcome = each.empty() ? ReadOutcome::NotRun : ReadOutcome::Done;
  for (const ReadResult& r : each) {
    whole.requests += r.requests;
    const bool worse = (r.outcome == ReadOutcome::Stopped && whole.outcome != ReadOutcome::Stopped) ||
                       (r.outcome == ReadOutcome::Failed && whole.outcome == ReadOutcome::Done);
    if (!worse) continue;
    whole.outcome = r.outcome;
    whole.at = r.at;
    whole.error = r.error;
  }
  if (each.size() == 1) {
    whole.address = each.front().address;
    whole.type = each.front().type;
    whole.identText = each.front().identText;
    whole.partial = each.front().partial;
  }
  return whole;
}

// The instruments, one after another on the open line (none: every address
// was refused before it opened).
void ReadInTurn(LineSession* line, const LineSpec& spec, RunContext& ctx, std::span<const InstrumentRequest> list,
                LineResult& out) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const InstrumentRequest& in = list[i];
    ReadResult& r = out.instruments[i];
    ctx.Emit(event::InstrumentStarted{in.address, i, list.size(), KindOf(in.plan)});
    if (i > 0 && ctx.StopNow()) {
      Fail(r, FailedAt::NotReached, MakeError(ErrorCode::Stopped, {}));
    } else if (!line || (!spec.useMBus && frame::AddressNeedsMBus(in.address))) {
      Fail(r, FailedAt::Address, MakeError(ErrorCode::BadSettings, {}));
    } else {
      r = ReadInstrument(*line, ctx, in);
    }
    ctx.Emit(event::InstrumentEnded{&r, KindOf(in.plan)});
    if (r.outcome != ReadOutcome::Stopped) continue;
    // The stop reads nothing more.
    for (std::size_t rest = i + 1; rest < list.size(); ++rest)
      Fail(out.instruments[rest], FailedAt::NotReached, MakeError(ErrorCode::Stopped, {}));
    break;
  }
}

// Opens the line (a modem dialled), then reads; the line closes on the way out.
void Read(const LineSpec& spec, std::span<const InstrumentRequest> list, RunContext& ctx, LineResult& out) {
  const auto needsMBus = [&spec](const InstrumentRequest& in) {
    return !spec.useMBus && frame::AddressNeedsMBus(in.address);
  };
  // Nothing to ask: the line is not opened.
  if (!list.empty() && std::all_of(list.begin(), list.end(), needsMBus)) {
    ReadInTurn(nullptr, spec, ctx, list, out);
    return;
  }
  const auto lineFailed = [&](FailedAt at, const Error& cause) {
    ctx.Emit(event::LineFailed{at, cause});
    for (ReadResult& r : out.instruments) Fail(r, at, cause);
  };
  // A stop requested before the run ends it before the port opens.
  if (ctx.StopNow()) return lineFailed(FailedAt::None, MakeError(ErrorCode::Stopped, {}));
  LineSession line(spec, ctx);
  if (Result<void> opened = line.Open(); !opened) return lineFailed(FailedAt::Open, opened.error());
  Result<void> dialled = line.Dial();
  out.dials = line.Dials();
  if (!dialled) return lineFailed(FailedAt::Dial, dialled.error());
  ReadInTurn(&line, spec, ctx, list, out);
}

}  // namespace

LineResult ReadLine(const LineSpec& spec, std::span<const InstrumentRequest> list, ReadEvents& events,
                    std::atomic<bool>& stop, const RunHooks& hooks) {
  RunContext ctx(events, stop, hooks);
  LineResult out;
  out.instruments.resize(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) out.instruments[i].address = list[i].address;
  ctx.Emit(event::RunStarted{spec, list.size()});
  Read(spec, list, ctx, out);
  out.whole = Whole(out.instruments);
  ctx.Emit(event::RunEnded{&out});
  return out;
}

LineResult RefuseLine(const LineSpec& spec, std::span<const InstrumentRequest> list, const std::string& reason,
                      ReadEvents& events) {
  LineResult out;
  events.On(event::RunStarted{spec, list.size()});
  for (std::size_t i = 0; i < list.size(); ++i) {
    ReadResult& r = out.instruments.emplace_back();
    r.address = list[i].address;
    events.On(event::InstrumentStarted{r.address, i, list.size(), KindOf(list[i].plan)});
    Fail(r, FailedAt::Settings, MakeError(ErrorCode::BadSettings, reason));
    events.On(event::InstrumentEnded{&r, KindOf(list[i].plan)});
  }
  out.whole = Whole(out.instruments);
  events.On(event::RunEnded{&out});
  return out;
}

}  // namespace statvtk
