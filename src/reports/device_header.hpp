// What the reports take from a statistics image's header block: the serial
// number text, the device clock stamp and the device values of the report
// header cells (F2..I2, V2).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "stats/device_type.hpp"

namespace statvtk {

// The serial number as text: the eight characters at 512 of a VTK header (a
// zero byte shown as "#"), the u32 at 0 of an LDN header in decimal; "" when the
// header is too short.
std::string HeaderSerialText(std::span<const std::uint8_t> header, DeviceType type);

// The instrument clock at reading time as packed BCD hour | day << 8 |
// month << 16 | (year - 2000) << 24: VTK RTC bytes 2, 4, 5, 6 (already BCD),
// LDN RAM clock bytes 512 + 42..45 (binary, turned to BCD). 0 when the header
// is too short.
std::uint32_t HeaderClockStamp(std::span<const std::uint8_t> header, DeviceType type);

// Nominal diameter (mm) and nominal flow (m3/h) of a diameter code, or empty
// past the model's table. VTK-08.12 and LDN-08 use the eight-entry table.
std::optional<double> NominalDiameter(DeviceType type, int code);
std::optional<double> NominalFlow(DeviceType type, int code);

// The configuration values of the technical information, decoded from the
// header (diameter, flows and Kv are empty where the header has no such value).
struct DeviceConfig {
  std::string serial;
  int diameterCode = 0;
  std::optional<double> diameter;    // mm
  std::optional<double> gmin, gmax;  // m3/h
  std::optional<double> fmax;        // Hz
  std::optional<double> kv;          // l/pulse
  // VTK-08.12: calibration values 1..3 and setting bytes 1, 2.
  std::array<double, 3> calibration{};
  std::array<int, 2> settings{};
  bool noTemperature = false;  // VTK-08.14 option bit: the "VTK0814_no_T" report
  std::string firmware;        // LDN-08 firmware version text
};
DeviceConfig DecodeDeviceConfig(std::span<const std::uint8_t> header, DeviceType type);

// The report header cells F2, G2, H2, I2 and V2 (V2 empty for LDN-08).
struct ReportDeviceCells {
  double f2 = 0, g2 = 0, h2 = 0, i2 = 0;
  std::optional<double> v2;
};
ReportDeviceCells ReportDeviceValues(const DeviceConfig& config, DeviceType type);

}  // namespace statvtk
