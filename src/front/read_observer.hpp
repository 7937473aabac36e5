// Where the program's texts of a read are shown, as the desktop's main window
// and the command line show them: log lines, the stage text (status panel
// 0), the running address or count (panel 2), the progress bar, the end of
// a run's lock on the read commands, and the hand-over of what was read.
// PartSink calls these from the run's thread, one at a time, and waits for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/progress_observer.hpp"
#include "reading/read_job.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

class ReadObserver : public ProgressObserver {
 public:
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
  // The end of a run's work on the line: the read commands are free again
  // (and the stage text is cleared).
  virtual void EnableControls() {}
  // A statistics read's data: the model's archive area and header block,
  // the caption "Статистика - " + serial text (" (неполные данные)" after it
  // when `partial`: a stop ended the archives).
  virtual void DeliverStatistics(const StatData&, const std::string& /*caption*/, bool /*partial*/) {}
  // A finished current-readings read: the 1024-byte data block (the VTK
  // header, or the first 1024 bytes of the LDN header), the model and the
  // serial text.
  virtual void DeliverCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string& /*serial*/) {}
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
  // A search: probe `index` (0-based) of `total` is about to ask `address` at `baud`.
  virtual void Probing(std::uint32_t /*address*/, std::uint32_t /*baud*/, std::size_t /*index*/,
                       std::size_t /*total*/) {}
  // A search: an instrument answered.
  virtual void Found(const ScanFound&) {}
};

}  // namespace statvtk
