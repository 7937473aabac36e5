// The serial ports present on this machine, read from sysfs: real UARTs,
// USB adapters (ttyUSB, ttyACM) and the like, with their stable by-id names
// and the adapter's own description.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "link/serial_channel.hpp"
#include "link/serial_common.hpp"

namespace statvtk {
namespace {

namespace fs = std::filesystem;

std::string ReadLineOf(const fs::path& p) {
  std::ifstream in(p);
  std::string s;
  if (in) std::getline(in, s);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  auto c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

// A built-in UART slot is listed only when a real port sits behind it.
bool UartPresent(const fs::path& ttyEntry, const fs::path& devNode) {
  const std::string type = ReadLineOf(ttyEntry / "type");
  if (!type.empty()) return type != "0";
  const int fd = ::open(devNode.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct ss{};
  const bool known = ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
}

// "FTDI FT232R USB UART" from the USB device above the port, if any.
std::string AdapterDescription(const fs::path& ttyEntry) {
  fs::path dir = Canonical(ttyEntry / "device");
  for (int up = 0; up < 6 && !dir.empty() && dir != dir.root_path(); ++up, dir = dir.parent_path()) {
    const std::string product = ReadLineOf(dir / "product");
    if (product.empty()) continue;
    const std::string maker = ReadLineOf(dir / "manufacturer");
    return maker.empty() ? product : maker + " " + product;
  }
  return {};
}

std::map<fs::path, std::string> ByIdNames(const fs::path& devRoot) {
  std::map<fs::path, std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(devRoot / "serial" / "by-id", ec)) {
    const auto target = Canonical(e.path());
    if (!target.empty()) names.emplace(target, e.path().string());
  }
  return names;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPortsUnder(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<SerialPortInfo> ports;
  const auto byId = ByIdNames(devRoot);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", ec)) {
    const std::string name = e.path().filename().string();
    const fs::path devNode = fs::path(devRoot) / name;
    std::error_code ec2;
    if (!fs::exists(e.path() / "device", ec2) || !fs::exists(devNode, ec2)) continue;
    if (name.rfind("ttyS", 0) == 0 && !UartPresent(e.path(), devNode)) continue;
    SerialPortInfo info;
    info.path = devNode.string();
    const auto id = byId.find(Canonical(devNode));
    if (id != byId.end()) info.byIdName = id->second;
    info.description = AdapterDescription(e.path());
    ports.push_back(std::move(info));
  }
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return serial::PortSortKey(a.path) < serial::PortSortKey(b.path);
  });
  return ports;
}

std::vector<SerialPortInfo> ListSerialPorts() { return ListSerialPortsUnder("/sys", "/dev"); }

}  // namespace statvtk
