// What a reading job reports to its front end: the progress reports of every
// long job plus the end of its work on the line, and the hand-over of what was read. The
// job calls these from its own thread, one at a time, and waits for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/progress_observer.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

class ReadObserver : public ProgressObserver {
 public:
  // The end of a run's work on the line: the read commands are free again
  // (and the stage text is cleared).
  virtual void EnableControls() = 0;
  // A finished statistics read: the model's archive area and header block,
  // and the caption "Статистика - " + serial text.
  virtual void DeliverStatistics(const StatData& data, const std::string& caption) = 0;
  // A finished current-readings read: the 1024-byte data block (the VTK
  // header, or the first 1024 bytes of the LDN header), the model and the
  // serial text.
  virtual void DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type,
                              const std::string& serial) = 0;
  // The VTK-08.14 member found (dtVTK0814C or dtVTK0814CM), before its download.
  virtual void DeviceMemberFound(DeviceType) {}
  // A download failed after archive blocks had come: what was fetched (zeroes
  // where not read), before its file is written. No DeliverStatistics follows.
  virtual void FetchedBeforeFailure(const StatData&) {}
  // The statistics file was written (before DeliverStatistics).
  virtual void StatisticsFileWritten(const std::filesystem::path&) {}
  // The statistics file could not be written; `error` names the path and the
  // system's reason. The image is still handed over afterwards.
  virtual void StatisticsFileFailed(const std::filesystem::path&, const std::string& /*error*/) {}
  // A batch read turns to the instrument at `address` (index 0-based of `count`).
  virtual void BatchAddressStarted(std::uint32_t /*address*/, std::size_t /*index*/, std::size_t /*count*/) {}
};

}  // namespace statvtk
