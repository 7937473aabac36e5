// The model-neutral view of one statistics image: archives, their time-ordered
// indices, decoded records, device information, current values and events.
// Windows and reports work through StatModel and never look at the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "stats/stat_image.hpp"

namespace statvtk {

enum class ArchiveKind { Hourly, Daily, Monthly };

// What a window or `show` says of an image without a single valid record,
// instead of its (meaningless) current values.
inline constexpr const char* kNoValidRecordText = "В файле нет ни одной верной записи";

// Key of an index entry whose record failed the validity test; above every valid key.
inline constexpr std::uint32_t kInvalidKey = 0xA0000000u;

// One entry of a record index: the sort key and the record's offset in the archive area.
// VTK-08.12: the key is the record's packed-BCD stamp (hour | day << 8 | month << 16 | year << 24);
// VTK-08.14 and LDN-08: the record's device time.
struct IndexEntry {
  std::uint32_t Key = kInvalidKey;
  std::uint32_t Pos = 0;
};

// A packed-BCD stamp: byte 0 hour, 1 day, 2 month, 3 year within the century.
inline constexpr std::uint32_t DayKeyOf(std::uint32_t stamp) { return stamp & 0xFFFFFF00u; }
inline constexpr std::uint32_t MonthKeyOf(std::uint32_t stamp) { return stamp & 0xFFFF0000u; }

struct NamedValue {
  std::string name;
  double value = 0;
  bool increment = false;  // an increment: unknown (shown empty) when the record's increments are
};

// One archive record decoded. Increments are taken against the previous entry
// of the archive's index. They are unknown (incrementKnown false, every
// increment 0) for the oldest record of the archive and for a record whose
// slot before it in the archive's circular area is blank (all zero: not read,
// e.g. the far end of a "last N" read or a download cut short).
struct StatRecord {
  std::uint32_t stamp = 0;                        // packed-BCD start of the period
  int year = 0, month = 0, day = 0, hour = 0;     // the same as numbers (year in full)
  double forwardTotal = 0, forwardIncrement = 0;  // V+, m³
  double reverseTotal = 0, reverseIncrement = 0;  // V-, m³
  bool incrementKnown = true;                     // see above
  // The model's decoded values in its report order. VTK-08.14: the nine values
  // V+ total, V+ inc, M+ total, M+ inc, V- total, V- inc, M- total, M- inc,
  // mean temperature. VTK-08.12: V+ total, V+ inc, V- total, V- inc.
  // LDN-08: V+ total, V+ inc, V- total, V- inc, mean flow, supply voltage.
  std::vector<NamedValue> values;
  double extraValue = 0;  // VTK-08.14: mean volume flow of the period, m³/h
  std::array<std::uint32_t, 4> counters{};
  std::array<float, 4> counterIncrements{};
  double counterDivisor = 100;  // to hours: 100 (VTK-08.12) or 3600
  std::uint32_t flags = 0;      // the record's status bits as stored
  std::string statusText;       // set flags' names joined with blanks, or "Норма"
};

// What the information block yields. `values` holds the model's numbered
// device-information values: values[k - 1] is value k (see Value()).
//   VTK-08.12: 1..3 the calibration values.
//   VTK-08.14: 1 Kv, 2 Fmax, 3 DN, 4 Gmin, 5 Gmax.
//   LDN-08:    1 Kv, 2 DN, 3 Gmin, 4 Gmax.
struct DeviceInfo {
  std::string serial;  // the serial text (VTK: 8 characters, zero bytes as "#")
  int diameterCode = 0;
  double nominalSize = 0;  // mm; 0 for a code outside the model's table
  double nominalFlow = 0;  // m³/h; 0 where unknown
  std::vector<double> values;
  std::uint8_t setting1 = 0, setting2 = 0;  // VTK-08.12 setting bytes
  std::uint32_t value24 = 0;                // VTK-08.12: the 24-bit value at 0x1C
  bool optionNoT = false;                   // VTK-08.14: no temperature sensor
  bool hasTechValues = false;               // Kv, Fmax, Gmin, Gmax below are known
  double kv = 0, fmax = 0, gmin = 0, gmax = 0;
  double currentFlow = 0, forwardTotalNow = 0, reverseTotalNow = 0;
  std::string firmware;  // LDN-08 firmware text

  double Value(int k) const { return k >= 1 && static_cast<std::size_t>(k) <= values.size() ? values[k - 1] : 0.0; }
};

struct CurrRow {
  std::string name;
  std::string value;
};

// The rows of an event window: headings, then one row of texts per event.
struct EventTable {
  std::vector<std::string> headings;
  std::vector<std::vector<std::string>> rows;
};

class StatModel {
 public:
  virtual ~StatModel() = default;

  DeviceType Type() const { return data_.type; }
  const StatData& Data() const { return data_; }

  virtual bool HasArchive(ArchiveKind kind) const = 0;
  // The archive's index in time order, invalid records at the end (empty when absent).
  virtual std::span<const IndexEntry> Index(ArchiveKind kind) const = 0;
  bool EntryValid(ArchiveKind kind, std::size_t i) const;
  // Whether any archive holds a valid record (else the file shows kNoValidRecordText).
  bool HasValidRecord() const;
  // The record's checksum alone (false for an entry outside the index).
  virtual bool ChecksumValid(ArchiveKind kind, std::size_t i) const = 0;
  // The record's own packed-BCD stamp when its date or time passes the date
  // check, whatever its checksum; empty otherwise.
  virtual std::optional<std::uint32_t> RecordStamp(ArchiveKind kind, std::size_t i) const = 0;
  // Decodes entry i of the archive's index (a zero record for an entry outside it).
  virtual StatRecord Decode(ArchiveKind kind, std::size_t i) const = 0;
  // The size of one record of the archive (0: the model has none).
  virtual std::size_t RecordSize(ArchiveKind) const { return 0; }
  // The stored bytes of entry i (empty for an entry outside the index).
  std::span<const std::uint8_t> RecordBytes(ArchiveKind kind, std::size_t i) const;

  virtual DeviceInfo GetDeviceInfo() const = 0;
  // The current-values grid below its heading row ("Параметр", "Значение").
  virtual std::vector<CurrRow> CurrentRows() const;
  virtual EventTable Events() const = 0;
  // The instrument's clock at the time of reading as a packed-BCD hour stamp.
  virtual std::uint32_t DeviceClockStamp() const = 0;
  // The hourly report's template name without "_h.xls" and its model text (cell B1).
  virtual std::string_view ReportTemplateName() const = 0;
  virtual std::string_view ReportModelName() const = 0;
  std::string SerialText() const;

 protected:
  explicit StatModel(StatData data) : data_(std::move(data)) {}
  std::span<const std::uint8_t> Area() const { return data_.area; }
  std::span<const std::uint8_t> Header() const { return data_.header; }

 private:
  StatData data_;
};

// The model of an image, or null when its type is unknown or its sizes are wrong.
std::unique_ptr<StatModel> MakeStatModel(const StatData& data);

// The serial text of an image: VTK models the 8 characters at header 512 with
// every zero byte shown as "#"; LDN-08 the decimal 32-bit LE value at header 0.
std::string StatSerialText(const StatData& data);

// Calendar values of a packed-BCD stamp.
int StampYear(std::uint32_t stamp);  // 2000 + year byte
int StampMonth(std::uint32_t stamp);
int StampDay(std::uint32_t stamp);
int StampHour(std::uint32_t stamp);  // bit 7 of the hour byte ignored

// "Норма" when no bit is set, else the names of the set bits joined with blanks.
std::string StatusText(std::uint32_t flags, std::span<const std::string_view> bitNames);

}  // namespace statvtk
