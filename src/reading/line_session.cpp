#include "reading/line_session.hpp"

#include "reading/read_text.hpp"

namespace statvtk {

LineSession::LineSession(LineSpec spec, RunContext& ctx)
    : spec_(std::move(spec)), ctx_(ctx), link_(spec_.target, spec_.timing) {
  link_.SetAbortFlag(&ctx_.stop);
  if (ctx_.hooks.channelFactory) link_.SetChannelFactory(ctx_.hooks.channelFactory);
  if (ctx_.hooks.waitFunction) link_.SetWaitFunction(ctx_.hooks.waitFunction);
  if (ctx_.hooks.trace) link_.SetTrace(ctx_.hooks.trace);
}

LineSession::~LineSession() { Close(); }

std::string LineSession::Description() const {
  if (spec_.mode == ConnectMode::Modem) return "Модем, " + PortText();
  if (const auto* tcp = std::get_if<TcpLine>(&spec_.target)) return tcp->host + ":" + std::to_string(tcp->port);
  return PortText() + ", " + std::to_string(std::get<SerialLine>(spec_.target).baud) + " bps";
}

ErrorCode LineSession::FailureCode() const {
  const auto& f = link_.LastFailure();
  return f ? f->code : ErrorCode::WrongReply;
}

std::optional<LineSession::OpenFailure> LineSession::Open() {
  if (const auto* tcp = std::get_if<TcpLine>(&spec_.target))
    ctx_.Log("OpenPort: IP " + tcp->Address() + ":" + std::to_string(tcp->port));
  else ctx_.Log("OpenPort: Port " + PortText() + ", " + std::to_string(std::get<SerialLine>(spec_.target).baud));
  if (!link_.OpenLink()) {
    // A stop during the TCP connect is a stop, not a connection error.
    if (ctx_.StopNow()) return OpenFailure{Stage::Open, MakeError(ErrorCode::Stopped, {})};
    const std::string head =
        link_.UseTcp() ? "Ошибка WINSOCK соединения." : "Ошибка открытия порта " + PortText() + ".";
    return OpenFailure{Stage::Open, MakeError(FailureCode(), head)};
  }
  if (spec_.mode != ConnectMode::Modem) return std::nullopt;
  ModemDialer dialer(link_, ctx_.obs, ctx_.stop, spec_.dial, ctx_.hooks.modemStep);
  if (dialer.ModemConnect()) return std::nullopt;
  link_.CloseLink();
  if (ctx_.StopNow()) return OpenFailure{Stage::Dial, MakeError(ErrorCode::Stopped, {})};
  return OpenFailure{Stage::Dial, MakeError(FailureCode(), {})};
}

void LineSession::HangUp() {
  if (spec_.mode != ConnectMode::Modem) return;
  ModemDialer dialer(link_, ctx_.obs, ctx_.stop, spec_.dial, ctx_.hooks.modemStep);
  dialer.ModemHangUp();
}

void LineSession::Close() {
  if (link_.PortOpen()) HangUp();
  link_.CloseLink();
}

}  // namespace statvtk
