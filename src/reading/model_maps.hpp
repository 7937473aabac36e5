// The download map of each model as data: the header blocks read first and,
// for each kind of statistics read, the runs of archive records it takes
// with their operation, record size, stages, the failure each stage names
// and progress bases. One executor (InstrumentReader) walks them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/frame.hpp"
#include "reading/new_records.hpp"
#include "reading/read_events.hpp"
#include "reading/read_maps.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

// The progress maximum or record count taken from the plan.
inline constexpr int kLastHoursCount = -2;
inline constexpr int kLastDaysCount = -3;

// One request of a header stage: `size` bytes at `offset` into header[at].
struct HeaderBlock {
  std::uint32_t offset;
  std::uint8_t size;
  std::uint32_t at;
  int pos;  // the progress position after it, with the offset as detail; -1: none
};

// The detail shown before a header stage's blocks.
enum class DetailFirst : std::uint8_t { None, Clear, Zero };

// A run of header blocks with one operation.
struct HeaderStage {
  std::optional<Stage> stage;  // shown first (none: the stage before goes on)
  int progressMax = -1;        // set before the blocks (-1: kept)
  bool stageFirst = false;     // the stage before the maximum
  DetailFirst detail = DetailFirst::None;
  frame::Op op = frame::Op::ReadBlock16;
  FailedAt error = FailedAt::Config;
  bool stopTest = true;  // false: the blocks follow one another, the stop is looked at after the stage
  std::vector<HeaderBlock> blocks;
};

// What a stage shows before its records.
struct StageText {
  std::optional<Stage> stage;  // none: nothing
  int progressMax = -1;        // -1: none; kLastHoursCount / kLastDaysCount: the plan's
  bool stageFirst = false;     // the stage before the maximum
};

// How a run of records reports its progress after record n (0-based).
enum class Shown {
  From,     // position and detail `from + n`
  Every64,  // every 64th record: position n, detail n*16 (the VTK-08.12's bytes)
  ByFour,   // position 4*(n+1), detail n+1
};

// Which records a run takes.
enum class Walk {
  Forward,   // `area.count` records from `area.first`
  Backward,  // the newest `count` from the header's pointer, wrapping inside the area
};

// One run of archive records.
struct RecordRun {
  ArchiveKind kind;
  bool events;      // the event area (not an archive of `kind`)
  bool byKind;      // read only when its kind (or the events) is chosen
  StageText stage;  // before the run
  Walk walk;
  ArchiveArea area;
  int count;  // Backward: records, or kLastHoursCount / kLastDaysCount (plus the newest)
  FailedAt error;
  Shown shown;
  int from;
};

// An archive area as the new-records and explicit-set reads see it.
struct AreaMap {
  ArchiveKind kind;
  ArchiveArea area;
  std::uint32_t ArchivePointers::*pointer;
  std::int64_t periodS;  // what one record stands for (months: 31 days)
  Stage stage;           // of a whole-area read
  FailedAt error;
};

struct ModelMap {
  DeviceType type;
  std::vector<HeaderStage> header;
  frame::Op archiveOp;
  // "Вся статистика" and "Последних": a stage before the runs, then the runs.
  StageText allStage;
  std::vector<RecordRun> all;
  StageText lastStage;
  std::vector<RecordRun> last;
  // The new-records read: a stage, the areas (by the chosen kinds or all), then the events runs.
  StageText newStage;
  std::vector<AreaMap> areas;
  bool newByKinds;
  std::vector<RecordRun> newEvents;
  // The VTK-08.12 reads its whole memory whatever was chosen, and a stop keeps nothing.
  bool wholeMemory;
  // A stop in the hourly "last" walk keeps nothing (the LDN-08).
  bool hourlyLastStopKeepsNothing;
  std::size_t headerSize, areaSize;
};

const ModelMap& ModelMapOf(DeviceType type);

}  // namespace statvtk
