#include "link/serial_common.hpp"

#include <cctype>
#include <charconv>
#include <limits>
#include <system_error>
#include <utility>

#include "base/error.hpp"

namespace statvtk::serial {

bool IsSupportedBaud(std::uint32_t baud) {
  switch (baud) {
    case 2400:
    case 4800:
    case 9600:
    case 57600:
    case 115200: return true;
    default: return false;
  }
}

std::string OpenFaultText(OpenFault fault, const std::string& port, const std::string& detail) {
  const std::string tail = detail.empty() ? std::string() : ": " + detail;
  switch (fault) {
    case OpenFault::NoSuchPort: return "нет такого порта (" + port + "): проверьте имя порта и подключение адаптера";
    case OpenFault::Busy: return "порт занят другой программой (" + port + "): закройте её или выберите другой порт";
    case OpenFault::NoAccess: return "нет прав доступа к порту (" + port + ")" + tail;
    case OpenFault::NotSerial: return "устройство " + port + " не является последовательным портом";
    case OpenFault::LineRejected: return "порт " + port + " не принял настройки линии" + tail;
    case OpenFault::Other: break;
  }
  return "не удалось открыть порт (" + port + ")" + tail;
}

Error OpenFailure(std::string reason) { return MakeError(ErrorCode::PortInit, std::move(reason)); }

Error OpenFailure(OpenFault fault, const std::string& port, const std::string& detail) {
  return OpenFailure(OpenFaultText(fault, port, detail));
}

std::optional<Error> CheckOpenRequest(const std::string& port, std::uint32_t baud) {
  if (!IsSupportedBaud(baud)) {
    return OpenFailure("скорость " + std::to_string(baud) +
                       " бит/с не поддерживается (допустимы 2400, 4800, 9600, 57600, 115200)");
  }
  if (port.empty()) return OpenFailure("не задано имя порта");
  return std::nullopt;
}

std::tuple<std::string, long, std::string> PortSortKey(const std::string& name) {
  std::size_t i = name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
  long n = -1;
  if (i < name.size() && std::from_chars(name.data() + i, name.data() + name.size(), n).ec != std::errc{})
    n = std::numeric_limits<long>::max();  // more digits than a long holds
  return {name.substr(0, i), n, name};
}

}  // namespace statvtk::serial
