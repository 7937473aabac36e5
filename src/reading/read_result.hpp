// How a read ended, as values: the outcome, where it failed or stopped, the
// cause as one Error, whether the data are whole, and the data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "reading/read_events.hpp"
#include "reading/read_job.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

enum class ReadOutcome {
  NotRun,   // nothing was done
  Done,     // finished
  Failed,   // the line, the identification or a block read failed, or the address was refused
  Stopped,  // the stop ended it
};

// One instrument's read.
struct ReadResult {
  std::uint32_t address = 0;
  ReadOutcome outcome = ReadOutcome::NotRun;
  FailedAt at = FailedAt::None;  // where it failed or stopped
  // The cause: the link's code, the system's number and the link's words for
  // it ("нет ответа за 150 мс"); Stopped for a stop, BadSettings for a refusal.
  std::optional<Error> error;
  bool partial = false;  // the data end at a stop or a failure (zeroes where not read)
  DeviceType type = DeviceType::dtUnknown;
  std::string identText;  // the identification text that fixed the type
  // The statistics (whole or partial: the header blocks and the archive
  // area), or for current values the header block alone. None when nothing is kept.
  std::optional<StatData> data;
  RecordSet fetched;           // the archive records fetched, by archive (a VTK-08.12's whole memory: none)
  std::uint32_t requests = 0;  // frames sent for it
  std::int64_t elapsedS = 0;   // seconds of the model's read, from its title to its end
};

// A whole run on a line.
struct LineResult {
  // The run as one: stopped when a stop ended it, failed when any instrument
  // failed (or the line did), done otherwise; the line's failure and the
  // frames sent in all. No data.
  ReadResult whole;
  std::vector<ReadResult> instruments;  // each instrument asked, in order
  std::vector<ScanFound> found;         // a search: the instruments that answered, in order
  std::vector<DialOutcome> dials;       // the modem's answer to each dial attempt
};

}  // namespace statvtk
