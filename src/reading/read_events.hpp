// What the reading engine tells while it reads: codes and values, never
// sentences. Each front end turns them into its own words in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "base/error.hpp"
#include "reading/read_job.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

struct ReadResult;
struct LineResult;

// The stage a read is in (status panel 0).
enum class Stage : std::uint8_t {
  Identify,       // the identification request
  Rtc,            // the RTC memory
  Config,         // the configuration memory
  Statistics,     // the whole memory of a VTK-08.12
  AllStatistics,  // "all", before its archives
  Hourly,
  Daily,
  Monthly,
  Events,
  NewRecords,  // "new since a base", before its archives
  Records,     // a set of records
  Search,      // a search over addresses and speeds
};

// Where a read failed or stopped. A block read is told by the message its stage gives.
enum class FailedAt : std::uint8_t {
  None,
  Settings,  // a connection setting out of its range: nothing was opened (the reason says which)
  Address,   // the address needs M-Bus: refused before anything was sent
  Open,      // the port or connection did not open
  Dial,      // the modem did not connect
  Identify,  // no known model after three tries
  Rtc,
  Ram,
  Config,
  DataEeprom,     // the VTK-08.12's memory
  Archive,        // an archive record ("all", the monthly "last", new records)
  Events,         // an event record
  HourlyLast,     // the hourly "last N" walk
  DailyLast,      // the daily "last N" walk
  ArchiveMemory,  // the LDN-08's archive memory
  Header,         // stopped among the header blocks (nothing of the archives)
  NotReached,     // a stop came before this instrument's turn
  NotFound,       // a search: no instrument answered
};
bool IsBlockRead(FailedAt at);

// How a modem answered a dial.
enum class DialOutcome : std::uint8_t { Connect, Busy, NoAnswer, NoCarrier, NoDialtone, Error, Silent, Other };
DialOutcome DialOutcomeOf(const std::string& reply);  // of an upper-cased answer

// One step of the modem's dialogue.
enum class ModemNote : std::uint8_t {
  Init,       // the dialogue begins
  Command,    // a command sent (text)
  Reply,      // the modem's answer as read (text, trimmed; may be empty)
  NoModem,    // no OK, or no answer to a dial within its wait (outcome Silent)
  NoPhone,    // no number to dial
  Attempt,    // dial attempt `attempt` of `of`
  Answer,     // a dial answered other than CONNECT (outcome, text)
  Connected,  // CONNECT (text)
  Pause,      // the pause before the next attempt (outcome: the answer before it)
  GaveUp,     // every attempt failed (text: the number; outcome: the last answer)
  Stopped,    // the stop ended the dialogue
  HangUp,     // the hang-up begins (text: "+++ATH0", or "ATH0" for a call that never connected)
};

// Why a new-records read takes a whole archive, or the whole memory.
enum class FullReason : std::uint8_t {
  NoPointers,      // the model keeps no archive pointers (VTK-08.12)
  BasePointer,     // the base's pointer is no record address
  Pointer,         // the instrument's pointer is no record address
  BaseShort,       // the base is shorter than the archive
  BaseIncomplete,  // a record of the base is empty: the base was no full read
  ClockBehind,     // the instrument's clock is behind the base's
  MayHaveWrapped,  // so much time passed that the archive may have wrapped
  PointerTooFar,   // the pointer moved further than the time passed allows
  OverlapDiffers,  // the instrument's record at the base's pointer differs
};

// Why a base cannot serve a new-records read.
enum class BaseUnfit : std::uint8_t { NotStatFile, Unreadable, OtherModel, OtherSerial };

// What a new-records read notes.
enum class NewNote : std::uint8_t {
  NoPointers,  // the model has none: everything is read
  NoBase,      // no earlier file of the instrument in `path` (a folder)
  Unfit,       // the base `path` does not fit (unfit, error or the serials)
  Base,        // the base is `path`
  Full,        // `archive` is read in full (reason)
  Fresh,       // `archive`: `count` new records
};

namespace event {

// A run begins on `line` with `instruments` instruments.
struct RunStarted {
  LineSpec line;
  std::size_t instruments = 0;
};
// The carrier is being opened.
struct LineOpening {};
// The line could not be used: the stop before it opened (at None), the port
// or connection (Open), the modem (Dial). `cause`: Stopped for a stop.
struct LineFailed {
  FailedAt at = FailedAt::None;
  Error cause;
};
struct Modem {
  ModemNote note = ModemNote::Init;
  int attempt = 0, of = 0;
  DialOutcome outcome = DialOutcome::Other;
  std::string text;
};
// Instrument `index` of `count` is next; `plan` what is read of it.
struct InstrumentStarted {
  std::uint32_t address = 0;
  std::size_t index = 0, count = 0;
  PlanKind plan = PlanKind::Statistics;
};
struct Identifying {
  int attempt = 0;  // 1..3
};
// The model is known; its read begins (the read's clock starts here).
struct ModelFound {
  DeviceType type = DeviceType::dtUnknown;
};
struct StageShown {
  Stage stage = Stage::Identify;
};
struct ProgressMax {
  int max = 0;
};
struct ProgressPos {
  int pos = 0;
};
// The running address or count; none clears it.
struct Detail {
  std::optional<std::int64_t> value;
};
struct NewRecords {
  NewNote note = NewNote::Base;
  std::filesystem::path path;
  ArchiveKind archive = ArchiveKind::Hourly;
  std::size_t count = 0;
  FullReason reason = FullReason::NoPointers;
  BaseUnfit unfit = BaseUnfit::NotStatFile;
  std::string baseSerial, serial;  // OtherSerial
  std::optional<Error> error;      // Unreadable: why the base could not be loaded
};
// A search: the speed is set on the far side; one pass is made.
struct OneSpeed {};
// A search: this address needs M-Bus and is left out.
struct AddressLeftOut {
  std::uint32_t address = 0;
};
// A search: `total` probes over every speed.
struct SearchStarted {
  std::size_t total = 0;
};
// A search: an instrument answered at the line's speed.
struct Found {
  ScanFound found;
};
// The end of an instrument's read (every instrument started gets one).
struct InstrumentEnded {
  const ReadResult* result = nullptr;
  PlanKind plan = PlanKind::Statistics;
};
// The end of the run, the line closed.
struct RunEnded {
  const LineResult* result = nullptr;
};
// The end of a search over every speed.
struct SearchEnded {
  const LineResult* result = nullptr;
};

}  // namespace event

using ReadEvent =
    std::variant<event::RunStarted, event::LineOpening, event::LineFailed, event::Modem, event::InstrumentStarted,
                 event::Identifying, event::ModelFound, event::StageShown, event::ProgressMax, event::ProgressPos,
                 event::Detail, event::NewRecords, event::OneSpeed, event::AddressLeftOut, event::SearchStarted,
                 event::Found, event::InstrumentEnded, event::RunEnded, event::SearchEnded>;

// Where a run's events go. Called on the run's thread, one at a time; the
// run waits for each.
class ReadEvents {
 public:
  virtual ~ReadEvents() = default;
  virtual void On(const ReadEvent& e) = 0;
};

// A sink that drops everything.
class NoEvents final : public ReadEvents {
 public:
  void On(const ReadEvent&) override {}
};

}  // namespace statvtk
