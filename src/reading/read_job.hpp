// What one reading run is given, as one value: the line, the instruments on
// it each with its own plan, and where the files go.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "link/line_target.hpp"
#include "link/settings.hpp"
#include "reading/modem_dialer.hpp"
#include "reading/read_choice.hpp"
#include "reading/scan_observer.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

// How a line is reached, fixed before it opens.
struct LineSpec {
  ConnectMode mode = ConnectMode::Serial;
  LineTarget target = SerialLine{};
  TimingTriple timing{100, 400, 5};
  std::uint32_t baud = 9600;                       // the line's speed: a serial target's own, over TCP the far side's
  bool useMBus = false;                            // long frames to 32-bit addresses (even parity on a serial line)
  ModemDialJob dial{"", false, 3, 60, "", false};  // a modem line dials with these
};

// The records of each archive to read at given addresses (a backfill).
struct RecordSet {
  std::vector<std::uint32_t> hourly, daily, monthly;
  const std::vector<std::uint32_t>& Of(ArchiveKind k) const {
    return k == ArchiveKind::Hourly ? hourly : k == ArchiveKind::Daily ? daily : monthly;
  }
};

// Which records a statistics read takes.
enum class RecordRange {
  None,     // the header only
  All,      // every record of the chosen kinds ("Вся статистика")
  Last,     // the last N hours and days, the last 13 months
  New,      // what was written since a base file; the rest from that base
  Records,  // an explicit set of records laid into a base file's image
};

struct StatisticsPlan {
  RecordRange range = RecordRange::None;
  RecordKinds kinds;
  std::int32_t lastHours = 0;  // the dialog's count plus 1 ("Последних")
  std::int32_t lastDays = 0;
  std::filesystem::path basePath;  // New/Records: the base; empty: the newest of the instrument in Data
  // Records: the set, chosen once the instrument's header is in (its pointers and clock).
  std::function<RecordSet(DeviceType, std::span<const std::uint8_t> header)> records;
};

struct CurrentPlan {
  bool refreshWindow = false;  // a poll of an open window: no stage texts
};
struct IdentifyPlan {};  // identification only

// What to read of one instrument.
using InstrumentPlan = std::variant<StatisticsPlan, CurrentPlan, IdentifyPlan>;

// One instrument to read on a line: its address (0..255 outside M-Bus mode,
// a larger one is refused) and its plan.
struct InstrumentRequest {
  std::uint32_t address = 0;
  InstrumentPlan plan = StatisticsPlan{};
};

// A search: the identification request only, to each address at each speed.
struct ScanRead {
  std::vector<std::uint32_t> addresses;
  std::vector<std::uint32_t> bauds;  // serial lines only; empty: the line's own
  ScanObserver* found = nullptr;
};

struct ReadJob {
  LineSpec line;
  // Read one after another on the line, opened (a modem dialled) once.
  std::vector<InstrumentRequest> instruments;
  bool quiet = false;          // no abort message
  std::filesystem::path home;  // the program home: Data/, StatVTK.ini
  std::string settingsError;   // an out-of-range setting; the run refuses it
};

// The line of the connection settings: the transport, its target
// (LineTargetOf), the timing triple of the transport and the modem's dialing.
LineSpec LineSpecOf(const ConnectionSettings& s);

// The plan of the application's read choice; the counts are taken plus 1,
// and only when they are not 0.
StatisticsPlan PlanOfChoice(const ReadChoice& c);

}  // namespace statvtk
