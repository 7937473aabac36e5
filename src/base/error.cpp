#include "base/error.hpp"

namespace statvtk {

namespace {

const char* LinkMessageOf(std::uint32_t code) {
  switch (static_cast<ErrorCode>(code)) {
    case ErrorCode::SendFailed: return "Ошибка посылки пакета";
    case ErrorCode::Timeout: return "Тайм-аут";
    case ErrorCode::BadSize: return "Неверный размер пакета";
    case ErrorCode::BadChecksum: return "Неверная контрольная сумма пакета";
    case ErrorCode::BadAddress: return "Неверный адрес";
    case ErrorCode::WrongReply: return "Неверный ответ прибора";
    case ErrorCode::Stopped: return "Прервано пользователем";
    case ErrorCode::PortInit: return "Ошибка инициализации порта";
    case ErrorCode::InvalidSocket: return "Ошибка INVALID_SOCKET операции чтения/записи";
    case ErrorCode::SocketsNotStarted: return "Ошибка инициализации WinSock";
    case ErrorCode::Connect: return "Ошибка соединения WinSock";
    case ErrorCode::BadIpAddress: return "Неверный формат IP-адреса";
    default: return "Неизвестная ошибка";
  }
}

}  // namespace

bool IsLinkCode(ErrorCode code) {
  const auto n = static_cast<std::uint32_t>(code);
  return (n >= 1 && n <= 6) || n == 10 || n == 100 || n == 101 || n == 102 || n == 105 || n == 111;
}

std::string LinkCodeText(std::uint32_t code) {
  if (code == 0) return {};
  return std::string(LinkMessageOf(code)) + " [" + std::to_string(code) + "]";
}

std::string Error::Text() const { return IsLinkCode(code) ? LinkCodeText(static_cast<std::uint32_t>(code)) : reason; }

}  // namespace statvtk
