#include "reading/read_choice.hpp"

namespace statvtk {

int RecTypeBits(const RecordKinds& k) {
  return (k.hourly ? 1 : 0) + 2 * (k.daily ? 1 : 0) + 4 * (k.monthly ? 1 : 0) + 8 * (k.events ? 1 : 0);
}

RecordKinds RecordKindsOfBits(long long bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

SelectStatState LoadSelectStat(const IniFile& ini) {
  SelectStatState s;
  const long long radio = ini.ReadInteger(kSelectSection, "RadioButton", 0);
  s.all = radio == 0;
  s.last = radio == 1;
  s.newRecords = radio == 2;
  s.kinds = RecordKindsOfBits(ini.ReadInteger(kSelectSection, "RecType", 0));
  return s;
}

Result<void> StoreRadioButton(IniFile& ini, bool lastChosen) {
  return ini.WriteInteger(kSelectSection, "RadioButton", lastChosen ? 1 : 0);
}

Result<void> StoreReadRange(IniFile& ini, ReadRange range) {
  return ini.WriteInteger(kSelectSection, "RadioButton", static_cast<int>(range));
}

Result<void> StoreRecType(IniFile& ini, const RecordKinds& k) {
  return ini.WriteInteger(kSelectSection, "RecType", RecTypeBits(k));
}

void ReadChoice::Accept(const SelectStatState& s, std::int16_t hoursCount, std::int16_t daysCount) {
  readAll = s.all;
  readLast = s.last;
  readNew = s.newRecords;
  kinds = s.kinds;
  if (s.last) {
    hours = hoursCount;
    days = daysCount;
  }
}

}  // namespace statvtk
