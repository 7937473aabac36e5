// The state and event bits each model writes into its records, from the
// simulator's model-independent causes and event kinds.
#include "sim/history.hpp"

namespace statvtk::sim {

std::uint16_t StoredFlags(DeviceType model, std::uint16_t c) {
  auto bit = [c](std::uint16_t cause, int b) { return (c & cause) ? static_cast<std::uint16_t>(1u << b) : 0; };
  switch (model) {
    case DeviceType::dtVTK0812:
      return bit(kPowerOff, 0) | bit(kGmax, 1) | bit(kGmin, 2) | bit(kReverse, 3) | bit(kExcitation, 4) | bit(kAdc, 5) |
             bit(kSettings, 6);
    case DeviceType::dtLDN08:
      return bit(kTempSensor, 0) | bit(kAir, 2) | bit(kEmptyPipe, 3) | bit(kGmax, 5) | bit(kGmin, 6) | bit(kReverse, 7);
    default:
      return bit(kExcitation, 0) | bit(kEmptyPipe, 1) | bit(kTempSensor, 2) | bit(kGmin, 3) | bit(kGmax, 4) |
             bit(kReverse, 5) | bit(kPowerOff, 6);
  }
}

std::uint16_t StoredEventFlags(DeviceType model, std::uint32_t k) {
  auto bit = [k](std::uint32_t kind, int b) { return (k & kind) ? static_cast<std::uint16_t>(1u << b) : 0; };
  switch (model) {
    case DeviceType::dtVTK0812:
      return bit(kEvPowerOff, 0) | bit(kEvGmax, 1) | bit(kEvGmin, 2) | bit(kEvReverse, 3) | bit(kEvExcitation, 4) |
             bit(kEvAdc, 5) | bit(kEvSettings | kEvClockSet, 6) | bit(kEvReset, 8);
    case DeviceType::dtLDN08:
      return bit(kEvPowerOn, 0) | bit(kEvPowerOff, 1) | bit(kEvCalibration, 2) | bit(kEvSettings | kEvReset, 3) |
             bit(kEvClockSet, 4) | bit(kEvGmin, 5) | bit(kEvGmax, 6) | bit(kEvReverse, 7) | bit(kEvEmptyPipe, 8);
    default:
      return bit(kEvPowerOn, 0) | bit(kEvPowerOff, 1) | bit(kEvCalibration, 2) | bit(kEvSettings | kEvReset, 3) |
             bit(kEvClockSet, 4) | bit(kEvInterval, 5) | bit(kEvExcitation, 6) | bit(kEvEmptyPipe, 7) |
             bit(kEvTemp, 8) | bit(kEvGmin, 9) | bit(kEvGmax, 10) | bit(kEvReverse, 11);
  }
}

}  // namespace statvtk::sim
