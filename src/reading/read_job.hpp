// What one reading run is given, as one value: the line, and the instruments
// on it each with its own plan.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "link/line_target.hpp"
#include "link/settings.hpp"
#include "reading/read_choice.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

// The dialing of a modem line.
struct ModemDialJob {
  std::string phoneNo;
  bool pulse = false;      // pulse dialing (ATDP); tone (ATDT) otherwise
  int attempts = 3;        // M: dial attempts, 0..255 (0: connect without dialing)
  int connectWaitS = 60;   // W: seconds to wait for the modem's answer to a dial
  std::string initString;  // sent after "AT" when not empty
  bool modem = true;       // false on the serial and TCP transports: nothing to dial
};

// The dialing values of the connection settings: Modem/PhoneNo, not Modem/Tone,
// Settings/Reconnects, Modem/ConnectWait (1..255), Modem/InitString, ConnectMode 1.
ModemDialJob ModemDialJobFrom(const ConnectionSettings& s);

// How a line is reached, fixed before it opens.
struct LineSpec {
  ConnectMode mode = ConnectMode::Serial;
  LineTarget target = SerialLine{};
  TimingTriple timing{100, 400, 5};
  std::uint32_t baud = 9600;                       // the line's speed: a serial target's own, over TCP the far side's
  bool useMBus = false;                            // long frames to 32-bit addresses (even parity on a serial line)
  ModemDialJob dial{"", false, 3, 60, "", false};  // a modem line dials with these
};

// The records of each archive at given addresses: a set to read, or the
// records a read fetched.
struct RecordSet {
  std::vector<std::uint32_t> hourly, daily, monthly;
  const std::vector<std::uint32_t>& Of(ArchiveKind k) const {
    return k == ArchiveKind::Hourly ? hourly : k == ArchiveKind::Daily ? daily : monthly;
  }
  std::vector<std::uint32_t>& Of(ArchiveKind k) {
    return k == ArchiveKind::Hourly ? hourly : k == ArchiveKind::Daily ? daily : monthly;
  }
  bool Empty() const { return hourly.empty() && daily.empty() && monthly.empty(); }
};

// Which records a statistics read takes.
enum class RecordRange {
  None,     // the header only
  All,      // every record of the chosen kinds ("Вся статистика")
  Last,     // the last N hours and days, the last 13 months
  New,      // what was written since a base; the rest from that base
  Records,  // an explicit set of records laid into a base's image
};

// The earlier read a new-records or record-set read builds on: the newest
// statistics file of the instrument in a folder (none given: there is none),
// a file, or the image itself.
struct NewestIn {
  std::filesystem::path folder;
};
using BaseSource = std::variant<NewestIn, std::filesystem::path, StatData>;

struct StatisticsPlan {
  RecordRange range = RecordRange::None;
  RecordKinds kinds;
  std::int32_t lastHours = 0;  // the dialog's count plus 1 ("Последних")
  std::int32_t lastDays = 0;
  BaseSource base = NewestIn{};  // New, Records
  // New: the slots of each archive (by ArchiveKind, then slot index) the base
  // holds as the instrument held them; empty: a slot all zero is one it lacks.
  std::array<std::vector<bool>, 3> baseKnown;
  // Records: the set, chosen once the instrument's header is in (its pointers and clock).
  std::function<RecordSet(DeviceType, std::span<const std::uint8_t> header)> records;
};

struct CurrentPlan {};   // the current-values block
struct IdentifyPlan {};  // identification only
struct ProbePlan {};     // a search's probe: one identification request (again only when something was heard)

// What to read of one instrument.
using InstrumentPlan = std::variant<StatisticsPlan, CurrentPlan, IdentifyPlan, ProbePlan>;
enum class PlanKind : std::uint8_t { Statistics, Current, Identify, Probe };
inline PlanKind KindOf(const InstrumentPlan& p) { return static_cast<PlanKind>(p.index()); }

// One instrument to read on a line: its address (0..255 outside M-Bus mode,
// a larger one is refused) and its plan.
struct InstrumentRequest {
  std::uint32_t address = 0;
  InstrumentPlan plan = StatisticsPlan{};
};

// An instrument that answered the identification request.
struct ScanFound {
  std::uint32_t address = 0;  // network address, or the 32-bit address in M-Bus mode
  std::uint32_t baud = 0;     // the line speed it answered at
  DeviceType type = DeviceType::dtUnknown;
  std::string ident;  // its identification text
};

// A job of the desktop or the command line: a line and its instruments.
struct ReadJob {
  LineSpec line;
  // Read one after another on the line, opened (a modem dialled) once.
  std::vector<InstrumentRequest> instruments;
  std::string settingsError;  // a setting out of its range: the job is refused
};

// The line of the connection settings: the transport, its target
// (LineTargetOf), the timing triple of the transport and the modem's dialing.
LineSpec LineSpecOf(const ConnectionSettings& s);

// The plan of the application's read choice; the counts are taken plus 1,
// and only when they are not 0. A new-records read takes its base from `dataFolder`.
StatisticsPlan PlanOfChoice(const ReadChoice& c, const std::filesystem::path& dataFolder = {});

}  // namespace statvtk
