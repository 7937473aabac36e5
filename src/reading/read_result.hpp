// How a reading run ended: the outcome, the failure, what was fetched and
// the file it went to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "reading/scan_observer.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

enum class ReadOutcome {
  NotRun,  // the thread was never started
  Done,    // finished (a file may still have failed to be written: see fileError)
  Failed,  // opening, dialing, identification or a block read failed; once an
           // archive block had come, a file keeps what was fetched (partial)
  Stopped  // the stop request ended it (a file is written where the path keeps the data)
};

// What the caption of a stopped read's window ends with.
inline constexpr const char* kIncompleteCaption = " (неполные данные)";

struct ReadResult {
  ReadOutcome outcome = ReadOutcome::NotRun;
  DeviceType type = DeviceType::dtUnknown;
  std::string identText;  // the identification text that fixed the type
  // Why the run failed or stopped: the link's code at the failure (BadSettings
  // for a job refused before it ran, Stopped for the user's stop) and the
  // stage's message as the reason (empty for a stop). None when it did not.
  std::optional<Error> error;
  // The link's words for the cause at that failure ("нет ответа за 150 мс (Тайм-аут [2])").
  std::optional<Error> linkCause;
  std::filesystem::path file;  // the statistics file written, or where it should have gone
  bool fileWritten = false;
  bool partial = false;            // the data end at a stop or a failure (zeroes where not read)
  std::optional<Error> fileError;  // the file could not be written: its path and the system's reason
  bool delivered = false;          // statistics or current readings were handed over
  std::uint32_t address = 0;       // the address read (a batch names each one)
  std::uint32_t requests = 0;      // frames sent for it
  std::optional<StatData> data;    // the statistics fetched (whole or partial)

  std::string Message() const { return error ? error->reason : std::string(); }
  std::string FileErrorText() const { return fileError ? fileError->reason : std::string(); }
  std::string LinkCauseText() const { return linkCause ? linkCause->reason : std::string(); }
};

// Everything one run gives back.
struct RunOutput {
  ReadResult result;              // the run (a batch: the whole)
  std::vector<ReadResult> batch;  // a batch: each address in the order read
  std::vector<ScanFound> found;   // a search: the instruments, in the order they answered
};

}  // namespace statvtk
