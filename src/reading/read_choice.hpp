// The read choice: whole archives or the last N records, and which record
// kinds; remembered in StatVTK.ini, section SelectStatSettings.
#pragma once

#include <cstdint>

#include "base/ini_file.hpp"

namespace statvtk {

inline constexpr const char* kSelectSection = "SelectStatSettings";

// The record kinds, as the bit set RecType stores them.
struct RecordKinds {
  bool hourly = false;   // bit 0
  bool daily = false;    // bit 1
  bool monthly = false;  // bit 2
  bool events = false;   // bit 3
};
int RecTypeBits(const RecordKinds& k);
RecordKinds RecordKindsOfBits(long long bits);

// The dialog's state as loaded: RadioButton 0 chooses "Вся статистика", 1
// "Последних", 2 "Новые записи (с последнего чтения)", any other value
// none; RecType sets the four kinds.
struct SelectStatState {
  bool all = false;
  bool last = false;
  RecordKinds kinds;
  bool newRecords = false;
};
SelectStatState LoadSelectStat(const IniFile& ini);
// The writes of the dialog's handlers (each at once).
Result<void> StoreRadioButton(IniFile& ini, bool lastChosen);
// The range choice as RadioButton stores it: 0 all, 1 last, 2 new records.
enum class ReadRange { All = 0, Last = 1, New = 2 };
Result<void> StoreReadRange(IniFile& ini, ReadRange range);
Result<void> StoreRecType(IniFile& ini, const RecordKinds& k);

// The application-wide read choice handed to each statistics job.
struct ReadChoice {
  bool readAll = false;
  bool readLast = false;
  bool readNew = false;
  RecordKinds kinds;
  std::int16_t hours = 24;  // the up-down positions; kept from the last accepted "Последних"
  std::int16_t days = 31;

  // Accepting the dialog: the counts are taken only when "Последних" is chosen.
  void Accept(const SelectStatState& s, std::int16_t hoursCount, std::int16_t daysCount);
};

}  // namespace statvtk
