#include "link/link_cause.hpp"

#include "base/error.hpp"

namespace statvtk {

namespace {

// The codes of opening a link: the opening's own words name their cause.
bool OpeningCode(std::uint32_t code) {
  const auto c = static_cast<ErrorCode>(code);
  return c == ErrorCode::PortInit || c == ErrorCode::Connect || c == ErrorCode::BadIpAddress ||
         c == ErrorCode::SocketsNotStarted;
}

std::string At(const std::string& where) { return where.empty() ? std::string() : " " + where; }

}  // namespace

std::string LinkCauseWords(std::uint32_t code, const LinkCauseContext& c) {
  if (OpeningCode(code) && !c.reason.empty()) return c.reason;
  if (code == 0) return {};
  switch (static_cast<ErrorCode>(code)) {
    case ErrorCode::SendFailed: return "запрос не передан: линия не принимает данные";
    case ErrorCode::Timeout:
      return c.replyTimeoutMs != 0 ? "нет ответа за " + std::to_string(c.replyTimeoutMs) + " мс" : "нет ответа";
    case ErrorCode::BadSize: return "ответ неверной длины: помехи на линии или другой прибор";
    case ErrorCode::BadChecksum: return "ответ искажен (неверная контрольная сумма): помехи на линии";
    case ErrorCode::BadAddress: return "ответил прибор с другим адресом";
    case ErrorCode::WrongReply: return "прибор ответил не на тот запрос";
    case ErrorCode::Stopped: return "прервано пользователем";
    case ErrorCode::PortInit: return "порт не открывается";
    case ErrorCode::InvalidSocket: return "соединение" + At(c.where) + " закрыто или разорвано";
    case ErrorCode::SocketsNotStarted: return "сетевая подсистема не запущена";
    case ErrorCode::Connect: return "соединение" + At(c.where) + " не установлено";
    case ErrorCode::BadIpAddress: return "неверный адрес устройства";
    default: return "неизвестная ошибка";
  }
}

std::string LinkCauseText(std::uint32_t code, const LinkCauseContext& c) {
  if (code == 0) return {};
  return LinkCauseWords(code, c) + " (" + LinkCodeText(code) + ")";
}

}  // namespace statvtk
