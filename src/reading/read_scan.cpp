// The search for instruments: only the identification request, to each
// address at each speed. A silent address costs one reply time-out (the
// transport's, as milliseconds of waiting for the first byte); one from
// which something was heard is asked again up to the retry count, so noise
// does not hide an instrument.
#include <algorithm>

#include "link/frame.hpp"
#include "reading/read_text.hpp"
#include "reading/reads.hpp"

namespace statvtk {

namespace {
// The link's reply allowance whose wait for a first byte comes nearest to
// `ms` from above: the link waits (T/10 div 2 + 1) slices of 20 ms plus the
// carrier's own read wait, so a plain T would cost a silent address over
// twice the time the user gave.
std::uint32_t AllowanceFor(std::uint32_t ms, std::uint32_t carrierWaitMs) {
  const std::uint32_t slice = 20 + carrierWaitMs;
  const std::uint32_t slices = std::max<std::uint32_t>(1, (ms + slice - 1) / slice);
  return (slices - 1) * 20;
}

LineSpec AtSpeed(LineSpec spec, std::uint32_t baud) {
  if (auto* serial = std::get_if<SerialLine>(&spec.target)) serial->baud = baud;
  spec.baud = baud;
  return spec;
}

// Only a serial port has a speed of its own to try; a modem or a TCP
// converter sets the line's speed on its far side.
std::vector<std::uint32_t> SpeedsOf(const LineSpec& spec, std::span<const std::uint32_t> asked, RunContext& ctx) {
  std::vector<std::uint32_t> bauds(asked.begin(), asked.end());
  if (bauds.empty()) bauds = {spec.baud};
  if (spec.mode != ConnectMode::Serial && bauds.size() > 1) {
    ctx.Emit(event::OneSpeed{});
    bauds = {spec.baud};
  }
  return bauds;
}

}  // namespace

ReadResult Probe(LineSession& line, RunContext& ctx, std::uint32_t address) {
  Tmod07& link = line.Link();
  ReadResult r;
  r.address = address;
  const std::uint32_t sentBefore = link.SentCount();
  bool heard = false;
  link.SetTrace([&ctx, &heard](const FrameTrace& f) {
    if (f.direction != FrameTrace::Direction::Sent && !f.bytes.empty()) heard = true;
    if (ctx.hooks.trace) ctx.hooks.trace(f);
  });
  const TimingTriple timing = link.Timing();
  const std::uint32_t retries = std::max<std::uint32_t>(timing.retries, 1);
  TimingTriple probing{timing.byteTimeout, timing.replyTimeout, 1};
  if (link.Channel()) probing.replyTimeout = AllowanceFor(timing.replyTimeout, link.Channel()->CarrierWaitMs());
  link.SetTiming(probing);
  const bool useMBus = line.Spec().useMBus;
  for (std::uint32_t attempt = 1;; ++attempt) {
    heard = false;
    r.identText = useMBus ? link.IdentifyLong(address) : link.Identify(static_cast<std::uint8_t>(address));
    if (!r.identText.empty() || ctx.StopNow() || !heard || attempt >= retries) break;
  }
  link.SetTiming(timing);
  link.SetTrace(ctx.hooks.trace);
  r.requests = link.SentCount() - sentBefore;
  if (r.identText.empty()) {
    r.outcome = ctx.StopNow() ? ReadOutcome::Stopped : ReadOutcome::Failed;
    r.at = FailedAt::Identify;
    r.error = ctx.StopNow() ? MakeError(ErrorCode::Stopped, {}) : link.Cause();
    return r;
  }
  r.outcome = ReadOutcome::Done;
  r.type = TypeOfIdentText(r.identText);
  ctx.Emit(event::Found{ScanFound{address, line.Spec().baud, r.type, r.identText}});
  return r;
}

LineResult Scan(const LineSpec& spec, std::span<const std::uint32_t> asked, std::span<const std::uint32_t> speeds,
                ReadEvents& events, std::atomic<bool>& stop, const RunHooks& hooks) {
  RunContext ctx(events, stop, hooks);
  LineResult out;
  // A stop requested before the search ends it before the port opens.
  if (ctx.StopNow()) {
    out.whole.outcome = ReadOutcome::Stopped;
    out.whole.error = MakeError(ErrorCode::Stopped, {});
    ctx.Emit(event::LineFailed{FailedAt::None, *out.whole.error});
    return out;
  }
  const std::vector<std::uint32_t> bauds = SpeedsOf(spec, speeds, ctx);
  std::vector<InstrumentRequest> probes;
  for (std::uint32_t a : asked) {
    if (spec.useMBus || !frame::AddressNeedsMBus(a)) probes.push_back({a, ProbePlan{}});
    else ctx.Emit(event::AddressLeftOut{a});
  }
  ctx.Emit(event::SearchStarted{bauds.size() * probes.size()});
  bool stopped = false;
  for (std::size_t i = 0; i < bauds.size() && !stopped; ++i) {
    if ((stopped = ctx.StopNow())) break;
    const LineResult at = ReadLine(AtSpeed(spec, bauds[i]), probes, events, stop, hooks);
    for (const ReadResult& r : at.instruments)
      if (r.outcome == ReadOutcome::Done) out.found.push_back({r.address, bauds[i], r.type, r.identText});
    out.whole.requests += at.whole.requests;
    stopped = at.whole.outcome == ReadOutcome::Stopped;
    // A stop while the port opened ends the search there.
    if (stopped && at.whole.at == FailedAt::Open) {
      out.whole.outcome = ReadOutcome::Stopped;
      out.whole.error = at.whole.error;
      return out;
    }
  }
  out.whole.outcome = stopped ? ReadOutcome::Stopped : out.found.empty() ? ReadOutcome::Failed : ReadOutcome::Done;
  if (stopped) out.whole.error = MakeError(ErrorCode::Stopped, {});
  if (!stopped && out.found.empty()) out.whole.at = FailedAt::NotFound;
  ctx.Emit(event::SearchEnded{&out});
  return out;
}

}  // namespace statvtk
