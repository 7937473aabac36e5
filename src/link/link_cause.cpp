#include "link/link_cause.hpp"

#include "link/link_error.hpp"

namespace statvtk {

namespace {

// The codes of opening a link: the opening's own words name their cause.
bool OpeningCode(std::uint32_t code) {
  return code == link_error::kPortInit || code == link_error::kConnect || code == link_error::kBadIpAddress ||
         code == link_error::kSocketsNotStarted;
}

std::string At(const std::string& where) { return where.empty() ? std::string() : " " + where; }

}  // namespace

std::string LinkCauseWords(std::uint32_t code, const LinkCauseContext& c) {
  if (OpeningCode(code) && !c.reason.empty()) return c.reason;
  switch (code) {
    case link_error::kOk: return {};
    case link_error::kSendFailed: return "запрос не передан: линия не принимает данные";
    case link_error::kTimeout:
      return c.replyTimeoutMs != 0 ? "нет ответа за " + std::to_string(c.replyTimeoutMs) + " мс" : "нет ответа";
    case link_error::kBadSize: return "ответ неверной длины: помехи на линии или другой прибор";
    case link_error::kBadChecksum: return "ответ искажен (неверная контрольная сумма): помехи на линии";
    case link_error::kBadAddress: return "ответил прибор с другим адресом";
    case link_error::kWrongReply: return "прибор ответил не на тот запрос";
    case link_error::kAborted: return "прервано пользователем";
    case link_error::kPortInit: return "порт не открывается";
    case link_error::kInvalidSocket: return "соединение" + At(c.where) + " закрыто или разорвано";
    case link_error::kSocketsNotStarted: return "сетевая подсистема не запущена";
    case link_error::kConnect: return "соединение" + At(c.where) + " не установлено";
    case link_error::kBadIpAddress: return "неверный адрес устройства";
    default: return "неизвестная ошибка";
  }
}

std::string LinkCauseText(std::uint32_t code, const LinkCauseContext& c) {
  if (code == link_error::kOk) return {};
  return LinkCauseWords(code, c) + " (" + LinkErrorText(code) + ")";
}

}  // namespace statvtk
