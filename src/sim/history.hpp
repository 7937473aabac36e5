// The simulated instrument's past: every archive record and event it has
// written (those still in memory), its configuration and its present values.
// The memories are encoded from this model; tests compare decoded files with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/device_values.hpp"
#include "sim/model.hpp"

namespace statvtk::sim {

// Volume and mass totals in millionths of m3 / t; counters as the model stores
// them (VTK-08.12: hundredths of an hour; VTK-08.14 and LDN-08: seconds).
// Counters: 0 operating time, 1 error time, 2 time below Gmin, 3 time above Gmax.
struct Totals {
  std::uint64_t vPlus = 0, vMinus = 0, mPlus = 0, mMinus = 0;
  std::array<std::uint32_t, 4> counters{};
  bool operator==(const Totals&) const = default;
};

// Conditions of a period, independent of the model's flag layout.
enum Cause : std::uint16_t {
  kPowerOff = 1 << 0,  // the instrument was off before this period
  kGmax = 1 << 1,
  kGmin = 1 << 2,
  kReverse = 1 << 3,
  kExcitation = 1 << 4,
  kEmptyPipe = 1 << 5,
  kTempSensor = 1 << 6,
  kAir = 1 << 7,
  kSettings = 1 << 8,  // settings were changed in the period
  kAdc = 1 << 9,       // VTK-08.12: the converter failed
};

// A clock reset (a battery change): the clock restarted at 2000-01-01 00:00
// and ran `hours` hours before it was set right `ago` hours before now.
struct ClockReset {
  std::uint32_t hours = 0;
  std::uint32_t ago = 24;
  bool operator==(const ClockReset&) const = default;
};

// A run of hours: the HOURS hourly records up to the one written AGO hours
// before now (see MemoryShapes).
struct HourRun {
  std::uint32_t hours = 1;
  std::uint32_t ago = 0;
  bool operator==(const HourRun&) const = default;
};

// A state of the meter (a Cause bit) over a run of hours: --flag, --reverse.
struct StateRun {
  std::uint16_t cause = 0;
  HourRun run;
  bool operator==(const StateRun&) const = default;
};

// An event written in the hour whose record was written AGO hours before now.
struct EventShape {
  std::uint32_t kind = 0;  // EventKind: kEvSettings, kEvCalibration or kEvClockSet
  std::uint32_t ago = 0;
  bool operator==(const EventShape&) const = default;
};

// What real meters' archive memories hold and a tidy history lacks. An AGO
// names the hourly record written AGO hours before now (at the hour boundary
// that many hours back; 0: the newest record).
struct MemoryShapes {
  std::optional<ClockReset> clockReset;
  std::optional<std::uint32_t> clockBack;  // AGO: the clock set back an hour, that hour closes twice
  std::optional<std::uint32_t> badYear;    // AGO: that record's year byte 0xA0, its checksum good
  // The archives (and events) were cleared this many hours before now.
  std::optional<std::uint32_t> historyHours;
  bool garbageSlots = false;  // slots never written hold arbitrary bytes, not erased memory's
  // Consumption: no flow from 01:00 to 05:00 (a building's water supply);
  // the last `nightLeak` nights of them a leak flows; no flow at all from
  // 00:00 `stopped` days ago; five times the flow on the day `spike` days ago.
  bool quietNights = false;
  std::optional<std::uint32_t> nightLeak, stopped, spike;
  std::vector<StateRun> states;    // states of the records (their flag set), the flow as they make it
  std::vector<HourRun> powerOffs;  // outages: no records, power off and on events
  std::vector<EventShape> events;  // one-off events
  bool operator==(const MemoryShapes&) const = default;
};

// The shape a record carries (none for a tidy record).
enum class RecordShape : std::uint8_t {
  None,
  ClockReset,  // its date is that of the clock running from 2000-01-01 after a reset, not its real period's
  ClockBack,   // the second record of a period, written after the clock was set back an hour
  BadYear,     // its year byte is 0xA0 (VTK-08.14, LDN-08: the high byte of its time), its checksum good
};

struct ArchiveRecord {
  Area area = Area::Hourly;
  std::uint32_t slot = 0;
  std::uint32_t address = 0;      // memory address of the record
  std::uint32_t periodStart = 0;  // device time of the start of the period, as the record is dated
  CivilTime start{};
  Totals totals;               // when the period closed
  Totals increments;           // over the period (against the record written before it)
  float temperature = 0;       // mean, degrees C (VTK-08.14)
  float meanFlow = 0;          // mean volume flow, m3/h
  float voltage = 0;           // mean supply voltage, V (LDN-08)
  std::uint16_t causes = 0;    // Cause bits
  std::uint16_t flags = 0;     // the status flags as the model stores them
  bool hourMark = false;       // VTK-08.12: bit 7 of the hour byte set
  bool invalid = false;        // written with a bad checksum on purpose
  bool duplicate = false;      // a second record of a period already written
  std::uint64_t sequence = 0;  // write number since the archive was cleared
  // What it carries of the shapes of real meters' memories.
  RecordShape shape = RecordShape::None;
};

// Kinds of events, independent of the model's flag layout.
enum EventKind : std::uint32_t {
  kEvPowerOn = 1u << 0,
  kEvPowerOff = 1u << 1,
  kEvCalibration = 1u << 2,
  kEvSettings = 1u << 3,
  kEvClockSet = 1u << 4,
  kEvInterval = 1u << 5,
  kEvReset = 1u << 6,
  kEvExcitation = 1u << 8,
  kEvEmptyPipe = 1u << 9,
  kEvTemp = 1u << 10,
  kEvGmin = 1u << 11,
  kEvGmax = 1u << 12,
  kEvReverse = 1u << 13,
  kEvAdc = 1u << 14,
};

struct EventRecord {
  std::uint32_t slot = 0;
  std::uint32_t address = 0;
  std::uint32_t time = 0;
  CivilTime at{};
  std::uint32_t kinds = 0;  // EventKind bits
  std::uint16_t flags = 0;  // as stored: VTK-08.12 byte 6 | byte 7 << 8; others the 16-bit word
  float voltage = 0;        // LDN-08 battery voltage
  std::uint64_t sequence = 0;
};

struct DeviceConfig {
  std::string serial;              // 8 digits
  std::uint32_t serialNumber = 0;  // the same as a number (LDN-08 stores it so)
  std::uint8_t diameterCode = 0;
  std::uint8_t fmaxCode = 50;
  std::uint8_t optionFlags = 0;
  float kv = 0;                // l/pulse
  std::uint32_t gminCode = 0;  // 1/10000 of the nominal flow
  std::uint32_t gmaxCode = 0;  // 1/100 of the nominal flow
  double diameter = 0, nominalFlow = 0, gmin = 0, gmax = 0;
  std::array<float, 3> calibration{};
  std::uint8_t setting1 = 0, setting2 = 0;
};

struct CurrentState {
  Totals totals;  // now (counters as stored)
  std::uint32_t operatingSeconds = 0;
  float flow = 0, temperature = 0, massFlow = 0, voltage = 0;
  std::uint8_t ldnStatus = 0;
  Totals atReset;  // VTK-08.14 integrators at the last reset
};

struct History {
  DeviceType model = DeviceType::dtUnknown;
  std::uint64_t seed = 0;
  std::uint32_t now = 0;
  std::uint32_t installed = 0;  // when the archives were cleared
  MemoryShapes shapes;          // the shapes its memories were made with
  DeviceConfig config;
  CurrentState current;
  // What each area holds, oldest write first (VTK-08.12: monthly empty).
  std::vector<ArchiveRecord> hourly, daily, monthly;
  std::vector<EventRecord> events;
  // Addresses of the newest hourly, daily and monthly records.
  std::uint32_t hourlyPointer = 0, dailyPointer = 0, monthlyPointer = 0;

  const std::vector<ArchiveRecord>& Records(Area a) const;
};

History GenerateHistory(DeviceType model, std::uint64_t seed, std::uint32_t now, const MemoryShapes& shapes = {});

// Lets `hours` hours pass on a generated history: every hour that closes
// writes an hourly record after the pointer (a day and a month likewise their
// daily and monthly records), overwriting the oldest once an area is full;
// two events a day are written; the clock and the current values move on.
void AdvanceHistory(History& h, std::uint32_t hours);

// The model's stored status flags for a set of Cause bits, and its event flags.
std::uint16_t StoredFlags(DeviceType model, std::uint16_t causes);
std::uint16_t StoredEventFlags(DeviceType model, std::uint32_t kinds);

}  // namespace statvtk::sim
