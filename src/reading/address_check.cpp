#include "reading/address_check.hpp"

#include "link/frame.hpp"

namespace statvtk {

std::string AddressProblem(std::int64_t address, bool useMBus) {
  if (address < 0) return "Сетевой адрес " + std::to_string(address) + " меньше 0";
  if (useMBus || !frame::AddressNeedsMBus(address)) return {};
  return "Сетевой адрес " + std::to_string(address) + " больше 255. Без M-Bus адрес прибора - от 0 до 255";
}

}  // namespace statvtk
