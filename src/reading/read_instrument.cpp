// One instrument on an open line: identification, then the model's header
// blocks and what its plan asks for.
#include "link/frame.hpp"
#include "reading/instrument_read.hpp"
#include "reading/reads.hpp"
#include "reading/read_text.hpp"
#include "reading/run_end.hpp"

namespace statvtk {

std::string AddressRefusal(std::uint32_t address, bool useMBus) {
  if (useMBus || !frame::AddressNeedsMBus(address)) return {};
  return "Адрес прибора " + std::to_string(address) +
         " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.";
}

namespace {

// Three tries to tell the model; nothing when none answered with a known one.
std::optional<Instrument> Identify(LineSession& line, RunContext& ctx, std::uint32_t address, bool useMBus,
                                   bool& stopped) {
  Tmod07& link = line.Link();
  for (int k = 1; k <= 3; ++k) {
    ctx.Log("[" + std::to_string(k) + "] Определение типа устройства...");
    ctx.Status("Определение типа устройства...");
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

}  // namespace

ReadResult ReadInstrument(LineSession& line, RunContext& ctx, const InstrumentRequest& in, bool held) {
  const std::uint32_t address = in.address;
  const bool useMBus = line.Spec().useMBus;
  ReadResult r;
  r.address = address;
  const std::uint32_t sentBefore = line.Link().SentCount();
  auto end = [&](RunEnd e) {
    e.useMBus = useMBus;
    EndRun(e, ctx, &line, held, r);
    r.requests = line.Link().SentCount() - sentBefore;
    return r;
  };
  bool stopped = false;
  const std::optional<Instrument> inst = Identify(line, ctx, address, useMBus, stopped);
  if (stopped) return end({EndKind::Stopped});
  if (!inst) {
    RunEnd e{EndKind::IdentifyFailed};
    e.cause = line.Link().CauseText();
    e.code = line.FailureCode();
    return end(e);
  }
  r.type = inst->type;
  r.identText = inst->identText;
  if (std::holds_alternative<IdentifyPlan>(in.plan)) return end({EndKind::Identified});

  InstrumentReader reader(line, ctx, *inst);
  if (inst->type == DeviceType::dtVTK0814C || inst->type == DeviceType::dtVTK0814CM)
    ctx.obs.DeviceMemberFound(inst->type);
  const ModelMap& map = reader.Map();
  ctx.Log(map.title);
  ctx.Status(map.title);
  ctx.StartClock();

  RunEnd e{EndKind::Statistics};
  e.reader = &reader;
  Step s = reader.ReadHeader();
  if (s == Step::Error) {
    e.kind = EndKind::BlockFailed;
    e.failure = reader.Failure();
    return end(e);
  }
  if (std::holds_alternative<CurrentPlan>(in.plan)) {
    // A stop before the current values are complete hands nothing over.
    e.kind = s == Step::Stop ? EndKind::Stopped : EndKind::Current;
    return end(e);
  }
  const StatisticsPlan& plan = std::get<StatisticsPlan>(in.plan);
  bool keepsNothing = map.wholeMemory;
  if (s == Step::Ok) {
    if (!map.wholeMemory) ctx.Pos(0);
    s = reader.ReadArchives(plan, keepsNothing);
  }
  if (s == Step::Error) {
    e.kind = EndKind::BlockFailed;
    e.failure = reader.Failure();
  } else if (s == Step::Stop) {
    if (keepsNothing) e.kind = EndKind::Stopped;
    else e.stopped = true;
  }
  return end(e);
}

}  // namespace statvtk
