#include "reading/line_session.hpp"

#include "reading/modem_dialer.hpp"

namespace statvtk {

LineSession::LineSession(LineSpec spec, RunContext& ctx)
    : spec_(std::move(spec)), ctx_(ctx), link_(spec_.target, spec_.timing) {
  link_.SetAbortFlag(&ctx_.stop);
  if (ctx_.hooks.channelFactory) link_.SetChannelFactory(ctx_.hooks.channelFactory);
  if (ctx_.hooks.waitFunction) link_.SetWaitFunction(ctx_.hooks.waitFunction);
  if (ctx_.hooks.trace) link_.SetTrace(ctx_.hooks.trace);
}

LineSession::~LineSession() { Close(); }

Result<void> LineSession::Open() {
  ctx_.Emit(event::LineOpening{});
  if (link_.OpenLink()) return {};
  // A stop during the TCP connect is a stop, not a connection error.
  if (ctx_.StopNow()) return MakeError(ErrorCode::Stopped, {});
  return link_.Cause();
}

Result<void> LineSession::Dial() {
  if (spec_.mode != ConnectMode::Modem) return {};
  ModemDialer dialer(link_, ctx_.events, ctx_.stop, spec_.dial, ctx_.hooks.modemStep);
  const bool connected = dialer.ModemConnect();
  dials_ = dialer.Dials();
  if (connected) return {};
  link_.CloseLink();
  if (ctx_.StopNow()) return MakeError(ErrorCode::Stopped, {});
  return MakeError(ErrorCode::DialFailed, dialer.Failure());
}

void LineSession::HangUp() {
  if (spec_.mode != ConnectMode::Modem) return;
  ModemDialer dialer(link_, ctx_.events, ctx_.stop, spec_.dial, ctx_.hooks.modemStep);
  dialer.ModemHangUp();
}

void LineSession::Close() {
  if (link_.PortOpen()) HangUp();
  link_.CloseLink();
}

}  // namespace statvtk
