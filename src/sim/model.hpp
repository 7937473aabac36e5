// What differs between the simulated models: memory sizes, archive areas,
// identification text, the request operations each one answers, and the
// nominal diameter and flow tables.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/frame.hpp"
#include "stats/device_type.hpp"

namespace statvtk::sim {

// The memories of an instrument that requests read.
enum class MemoryKind { Rtc, Ram, Config, Archive };

// The archive areas; VTK-08.12 has no monthly area.
enum class Area { Hourly, Daily, Monthly, Events };

struct AreaLayout {
  std::uint32_t first = 0;  // memory address of slot 0
  std::uint32_t count = 0;  // slots
  std::uint32_t size = 0;   // bytes per record
  std::uint32_t Address(std::uint32_t slot) const { return first + slot * size; }
  std::uint32_t End() const { return first + count * size; }
};

struct ModelLayout {
  DeviceType type = DeviceType::dtUnknown;
  std::size_t rtcSize = 0, ramSize = 0, configSize = 0, archiveSize = 0;
  AreaLayout hourly, daily, monthly, events;
  bool bigEndian = true;
  const AreaLayout& Of(Area a) const;
};

const ModelLayout& LayoutOf(DeviceType t);  // dtUnknown is not a model: the 08.14 C layout is returned

// The memory a request operation reads on this model (nullopt: not answered).
std::optional<MemoryKind> MemoryOf(DeviceType t, frame::Op op);

// Identification text (contains the model's key inside a longer text).
std::string IdentificationText(DeviceType t, std::string_view serial);

// Nominal diameters (mm) and flows (m3/h) by diameter code; how many codes exist.
std::span<const double> NominalDiameters(DeviceType t);
std::span<const double> NominalFlows(DeviceType t);

// "0812", "0814c", "0814cm", "ldn" and the display names; nullopt when unknown.
std::optional<DeviceType> ParseModel(std::string_view text);

}  // namespace statvtk::sim
