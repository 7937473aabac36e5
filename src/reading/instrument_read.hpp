// The reads of one identified instrument on an open line: its header
// blocks, archive records by a model map, the current values. Internal to
// the reading engine.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reading/line_session.hpp"
#include "reading/model_maps.hpp"
#include "reading/read_job.hpp"
#include "reading/run_context.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

enum class Step { Ok, Error, Stop };

// Why a block read failed: where (the stage's failure) and the link's cause.
struct BlockFailure {
  FailedAt at = FailedAt::Archive;
  Error cause;
};

// One instrument on a line, as identified.
struct Instrument {
  std::uint32_t address = 0;
  bool useMBus = false;
  DeviceType type = DeviceType::dtUnknown;
  std::string identText;
};

class InstrumentReader {
 public:
  InstrumentReader(LineSession& line, RunContext& ctx, const Instrument& inst);

  const ModelMap& Map() const { return map_; }
  std::vector<std::uint8_t>& Header() { return header_; }
  bool Fetched() const { return fetched_; }  // an archive block has come
  const std::optional<BlockFailure>& Failure() const { return failure_; }
  StatData Data() const { return StatData{inst_.type, area_, header_}; }
  // The archive records fetched, by archive.
  const RecordSet& FetchedRecords() const { return records_; }

  // The model's header stages.
  Step ReadHeader();
  // The archives of a statistics plan; `stoppedKeepsNothing` is set when a
  // stop ends the read without anything to keep.
  Step ReadArchives(const StatisticsPlan& plan, bool& stoppedKeepsNothing);

 private:
  // One block: the read, then the error test, then the stop test.
  Step Block(frame::Op op, std::uint32_t offset, std::uint8_t size, std::span<std::uint8_t> out, FailedAt error,
             bool stopTest = true);
  Step Run(const RecordRun& run, const StatisticsPlan& plan);
  // `fetched`: where the addresses read are noted (none: not an archive's).
  Step Records(const std::vector<std::uint32_t>& addresses, std::uint32_t size, FailedAt error,
               const std::function<void(int)>& shown, std::vector<std::uint32_t>* fetched);
  std::vector<std::uint32_t>* Into(const RecordRun& run);
  void Show(const StageText& s, const StatisticsPlan& plan);
  bool Chosen(const RecordRun& run, const RecordKinds& kinds) const;
  Step ReadNew(const StatisticsPlan& plan);
  Step ReadAreaFull(const AreaMap& a);
  Step ReadRecordSet(const StatisticsPlan& plan);
  std::optional<StatData> LoadBase(const StatisticsPlan& plan);
  std::optional<StatData> BaseFromFile(const std::filesystem::path& path);
  std::function<void(int)> ShownFrom(int first);
  void Note(event::NewRecords n) const { ctx_.Emit(std::move(n)); }
  static event::NewRecords Notice(NewNote note, std::filesystem::path path = {}) {
    event::NewRecords n;
    n.note = note;
    n.path = std::move(path);
    return n;
  }

  LineSession& line_;
  RunContext& ctx_;
  Instrument inst_;
  const ModelMap& map_;
  std::vector<std::uint8_t> header_, area_;
  bool fetched_ = false;
  RecordSet records_;
  std::optional<BlockFailure> failure_;
};

}  // namespace statvtk
