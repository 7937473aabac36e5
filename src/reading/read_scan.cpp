// The search for instruments: only the identification request, to each
// address at each speed. A silent address costs one reply time-out (the
// transport's, as milliseconds of waiting for the first byte); one from
// which something was heard is asked again up to the retry count, so noise
// does not hide an instrument.
#include <algorithm>

#include "reading/read_text.hpp"
#include "reading/reads.hpp"
#include "reading/run_end.hpp"

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

std::optional<ScanFound> Probe(LineSession& line, RunContext& ctx, std::uint32_t address, std::uint32_t baud,
                               bool useMBus) {
  Tmod07& link = line.Link();
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
  std::string text;
  for (std::uint32_t attempt = 1;; ++attempt) {
    heard = false;
    text = useMBus ? link.IdentifyLong(address) : link.Identify(static_cast<std::uint8_t>(address));
    if (!text.empty() || ctx.StopNow() || !heard || attempt >= retries) break;
  }
  link.SetTiming(timing);
  link.SetTrace(ctx.hooks.trace);
  if (text.empty()) return std::nullopt;
  ctx.Log("Адрес " + std::to_string(address) + ", " + std::to_string(baud) + " бит/с: " + text);
  return ScanFound{address, baud, TypeOfIdentText(text), text};
}

LineSpec AtSpeed(LineSpec spec, std::uint32_t baud) {
  if (auto* serial = std::get_if<SerialLine>(&spec.target)) serial->baud = baud;
  spec.baud = baud;
  return spec;
}

}  // namespace

RunOutput Scan(const LineSpec& spec, const ScanRead& scan, RunContext& ctx) {
  RunOutput out;
  // A stop requested before the search ends it before the port opens.
  if (ctx.StopNow()) {
    EndRun({EndKind::Stopped}, ctx, nullptr, false, out.result);
    return out;
  }
  // Only a serial port has a speed of its own to try; a modem or a TCP
  // converter sets the line's speed on its far side.
  std::vector<std::uint32_t> bauds = scan.bauds;
  if (bauds.empty()) bauds = {spec.baud};
  if (spec.mode != ConnectMode::Serial && bauds.size() > 1) {
    ctx.Log("Скорость линии задаётся на дальней стороне соединения: опрос на одной скорости.");
    bauds = {spec.baud};
  }
  std::vector<std::uint32_t> addresses;
  for (std::uint32_t a : scan.addresses) {
    if (spec.useMBus || a <= 255) addresses.push_back(a);
    else
      ctx.Log("Адрес " + std::to_string(a) +
              " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.");
  }
  const std::size_t total = bauds.size() * addresses.size();
  std::size_t done = 0;
  ctx.Status("Поиск приборов...");
  ctx.Progress(static_cast<int>(total));
  ctx.Pos(0);
  bool stopped = false;
  // The closing texts name the last line tried.
  auto last = std::make_unique<LineSession>(spec, ctx);
  for (std::uint32_t baud : bauds) {
    if (stopped) break;
    last = std::make_unique<LineSession>(AtSpeed(spec, baud), ctx);
    LineSession& line = *last;
    if (auto failed = line.Open()) {
      if (failed->stage == LineSession::Stage::Open) {
        RunEnd e{EndKind::OpenFailed};
        e.open = std::move(failed);
        EndRun(e, ctx, &line, false, out.result);
        if (out.result.outcome == ReadOutcome::Stopped) return out;
        // The port does not take this speed or is gone: the others are still tried.
        done += addresses.size();
        continue;
      }
      stopped = ctx.StopNow();
      if (stopped) break;
      done += addresses.size();
      continue;
    }
    for (std::uint32_t a : addresses) {
      if (ctx.StopNow()) {
        stopped = true;
        break;
      }
      ctx.Detail("адрес " + std::to_string(a) + ", " + std::to_string(baud) + " бит/с");
      if (scan.found) scan.found->Probing(a, baud, done, total);
      if (auto found = Probe(line, ctx, a, baud, spec.useMBus)) {
        out.found.push_back(*found);
        if (scan.found) scan.found->Found(*found);
      }
      ctx.Pos(static_cast<int>(++done));
    }
    line.Close();
  }
  if (stopped) {
    if (!ctx.quiet) ctx.Log("Текущая операция прервана по желанию пользователя");
    last->Close();
  }
  ctx.Pos(0);
  ctx.Detail("");
  ctx.Status(last->Description());
  ctx.obs.EnableControls();
  ReadResult& r = out.result;
  r = {};
  if (stopped) {
    r.outcome = ReadOutcome::Stopped;
    r.error = MakeError(ErrorCode::Stopped, {});
  } else if (out.found.empty()) {
    r.outcome = ReadOutcome::Failed;
    r.error = MakeError(last->FailureCode(), "Приборы не найдены.");
    ctx.Log(r.Message());
  } else {
    r.outcome = ReadOutcome::Done;
  }
  return out;
}

}  // namespace statvtk
