// Decoding the header fields the reports and the technical information use.
#include "reports/device_header.hpp"

#include <array>
#include <cstring>

#include "base/device_values.hpp"

namespace statvtk {

namespace {

constexpr std::array<double, 8> kDiameter8{15, 25, 32, 40, 50, 80, 100, 150};
constexpr std::array<double, 7> kDiameterC{15, 25, 32, 50, 80, 100, 150};
constexpr std::array<double, 7> kFlowC{6, 16, 30, 60, 160, 300, 600};
constexpr std::array<double, 8> kFlowCM{6.3, 16, 25, 40, 63, 160, 250, 630};
constexpr std::size_t kConfig = 512;  // VTK configuration memory inside the header
constexpr std::size_t kLdnRam = 512;  // LDN RAM block inside the header

template <std::size_t N>
std::optional<double> Pick(const std::array<double, N>& table, int code) {
  if (code < 0 || static_cast<std::size_t>(code) >= N) return std::nullopt;
  return table[static_cast<std::size_t>(code)];
}

bool Fits(std::span<const std::uint8_t> h, std::size_t off, std::size_t len) { return h.size() >= off + len; }

std::string FixedText(std::span<const std::uint8_t> h, std::size_t off, std::size_t len) {
  if (!Fits(h, off, len)) return {};
  std::string s(reinterpret_cast<const char*>(h.data() + off), len);
  if (const auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  return s;
}

void DecodeVtk0814(std::span<const std::uint8_t> h, DeviceType type, DeviceConfig* c) {
  if (!Fits(h, 561, 0)) return;
  const auto flow = NominalFlow(type, c->diameterCode);
  c->fmax = h[542] * 2000.0 / 100.0;
  c->kv = DeviceFloat(h.subspan(544, 4));
  c->noTemperature = (h[548] & 0x01) != 0;
  if (flow) {
    c->gmin = static_cast<double>(DeviceUInt(h.subspan(553, 4))) * *flow / 10000.0;
    c->gmax = static_cast<double>(DeviceUInt(h.subspan(557, 4))) * *flow / 100.0;
  }
}

void DecodeVtk0812(std::span<const std::uint8_t> h, DeviceConfig* c) {
  if (!Fits(h, 578, 0)) return;
  c->calibration = {DeviceFloat(h.subspan(528, 4)), DeviceFloat(h.subspan(544, 4)), DeviceFloat(h.subspan(560, 4))};
  c->settings = {h[576], h[577]};
}

void DecodeLdn(std::span<const std::uint8_t> h, DeviceType type, DeviceConfig* c) {
  if (!Fits(h, 28, 0)) return;
  const auto flow = NominalFlow(type, c->diameterCode);
  c->fmax = h[5] * 2000.0 / 100.0;
  c->kv = LittleFloat(h.subspan(8, 4));
  c->firmware = FixedText(h, 20, 8);
  if (flow) {
    c->gmin = static_cast<double>(LittleUInt32(h.subspan(12, 4))) * *flow / 10000.0;
    c->gmax = static_cast<double>(LittleUInt32(h.subspan(16, 4))) * *flow / 100.0;
  }
}

}  // namespace

std::string HeaderSerialText(std::span<const std::uint8_t> header, DeviceType type) {
  if (type == DeviceType::dtLDN08) return Fits(header, 0, 4) ? std::to_string(LittleUInt32(header.first(4))) : "";
  if (!Fits(header, kConfig, 8)) return {};
  std::string s(reinterpret_cast<const char*>(header.data() + kConfig), 8);
  for (char& ch : s)
    if (ch == '\0') ch = '#';  // as the statistics files show it
  return s;
}

std::uint32_t HeaderClockStamp(std::span<const std::uint8_t> header, DeviceType type) {
  if (type == DeviceType::dtLDN08) {
    if (!Fits(header, kLdnRam + 46, 0)) return 0;
    const auto b = [&](std::size_t i) -> std::uint32_t { return IntToBcd(header[kLdnRam + i] % 100); };
    return b(42) | b(43) << 8 | b(44) << 16 | b(45) << 24;
  }
  if (!Fits(header, 7, 0)) return 0;
  return header[2] | static_cast<std::uint32_t>(header[4]) << 8 | static_cast<std::uint32_t>(header[5]) << 16 |
         static_cast<std::uint32_t>(header[6]) << 24;
}

std::optional<double> NominalDiameter(DeviceType type, int code) {
  return type == DeviceType::dtVTK0814C ? Pick(kDiameterC, code) : Pick(kDiameter8, code);
}

std::optional<double> NominalFlow(DeviceType type, int code) {
  return type == DeviceType::dtVTK0814C ? Pick(kFlowC, code) : Pick(kFlowCM, code);
}

DeviceConfig DecodeDeviceConfig(std::span<const std::uint8_t> header, DeviceType type) {
  DeviceConfig c;
  c.serial = HeaderSerialText(header, type);
  const std::size_t codeAt = type == DeviceType::dtLDN08 ? 4 : kConfig + 8;
  if (!Fits(header, codeAt, 1)) return c;
  c.diameterCode = header[codeAt];
  c.diameter = NominalDiameter(type, c.diameterCode);
  switch (type) {
    case DeviceType::dtVTK0812: DecodeVtk0812(header, &c); break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: DecodeVtk0814(header, type, &c); break;
    case DeviceType::dtLDN08: DecodeLdn(header, type, &c); break;
    default: break;
  }
  return c;
}

ReportDeviceCells ReportDeviceValues(const DeviceConfig& c, DeviceType type) {
  ReportDeviceCells r;
  switch (type) {
    case DeviceType::dtVTK0812:
      r.f2 = c.diameter.value_or(0.0);
      r.g2 = c.calibration[0] / 2000.0 * c.settings[0];
      r.h2 = c.calibration[0] / 100.0 * c.settings[1];
      r.i2 = c.calibration[2];
      r.v2 = c.calibration[1] / 1000.0;
      break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM:
      r.f2 = c.diameter.value_or(0.0);
      r.g2 = c.gmin.value_or(0.0);
      r.h2 = c.gmax.value_or(0.0);
      r.i2 = c.fmax.value_or(0.0);
      r.v2 = c.kv.value_or(0.0);
      break;
    case DeviceType::dtLDN08:
      r.f2 = c.diameter.value_or(0.0);
      r.g2 = c.gmin.value_or(0.0);
      r.h2 = c.gmax.value_or(0.0);
      r.i2 = c.kv.value_or(0.0);
      break;
    default: break;
  }
  return r;
}

}  // namespace statvtk
