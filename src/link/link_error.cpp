#include "link/link_error.hpp"

namespace statvtk {

namespace {

const char* MessageOf(std::uint32_t code) {
  switch (code) {
    case link_error::kSendFailed: return "Ошибка посылки пакета";
    case link_error::kTimeout: return "Тайм-аут";
    case link_error::kBadSize: return "Неверный размер пакета";
    case link_error::kBadChecksum: return "Неверная контрольная сумма пакета";
    case link_error::kBadAddress: return "Неверный адрес";
    case link_error::kWrongReply: return "Неверный ответ прибора";
    case link_error::kAborted: return "Прервано пользователем";
    case link_error::kPortInit: return "Ошибка инициализации порта";
    case link_error::kInvalidSocket: return "Ошибка INVALID_SOCKET операции чтения/записи";
    case link_error::kSocketsNotStarted: return "Ошибка инициализации WinSock";
    case link_error::kConnect: return "Ошибка соединения WinSock";
    case link_error::kBadIpAddress: return "Неверный формат IP-адреса";
    default: return "Неизвестная ошибка";
  }
}

}  // namespace

std::string LinkErrorText(std::uint32_t code) {
  if (code == link_error::kOk) return {};
  return std::string(MessageOf(code)) + " [" + std::to_string(code) + "]";
}

}  // namespace statvtk
