// From the statistics model to the report inputs.
#include "reports/report_source.hpp"

namespace statvtk {

ReportHeaderData ReportHeaderOf(const StatModel& model) {
  const DeviceInfo info = model.GetDeviceInfo();
  ReportHeaderData h;
  h.type = model.Type();
  h.serial = info.serial;
  h.optionFlag = info.optionNoT;
  h.clockStamp = model.DeviceClockStamp();
  switch (h.type) {
    case DeviceType::dtVTK0812:
      h.device.f2 = info.nominalSize;
      h.device.g2 = info.Value(1) / 2000.0 * info.setting1;
      h.device.h2 = info.Value(1) / 100.0 * info.setting2;
      h.device.i2 = info.Value(3);
      h.device.v2 = info.Value(2) / 1000.0;
      break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM:
      h.device = {info.Value(3), info.Value(4), info.Value(5), info.Value(2), info.Value(1)};
      break;
    case DeviceType::dtLDN08:
      h.device = {info.Value(2), info.Value(3), info.Value(4), info.Value(1), std::nullopt};
      break;
    default: break;
  }
  return h;
}

ReportRecord ToReportRecord(const StatRecord& rec, bool checksumOk) {
  ReportRecord r;
  r.checksumOk = checksumOk;
  r.forwardTotal = rec.forwardTotal;
  r.forwardIncrement = rec.forwardIncrement;
  r.reverseTotal = rec.reverseTotal;
  r.reverseIncrement = rec.reverseIncrement;
  r.incrementKnown = rec.incrementKnown;
  for (std::size_t i = 0; i < r.nine.size() && i < rec.values.size(); ++i) r.nine[i] = rec.values[i].value;
  for (std::size_t i = 0; i < 4; ++i) {
    r.counters[i] = rec.counters[i];
    r.counterIncrements[i] = rec.counterIncrements[i];
  }
  r.statusByte = static_cast<int>(rec.flags & 0xFF);
  r.statusText = rec.statusText;
  r.extra = rec.extraValue;
  r.hour = static_cast<std::uint8_t>(rec.hour);
  return r;
}

HourReportInput HourInputOf(const StatModel& model, const ReportPlan& plan) {
  HourReportInput in;
  in.header = ReportHeaderOf(model);
  in.dayText = plan.dayText;
  for (std::size_t h = 0; h < 24; ++h) {
    const HourSlot& slot = plan.hours[h];
    if (!slot.present) continue;
    in.hours[h] = ToReportRecord(model.Decode(ArchiveKind::Hourly, slot.entry),
                                 model.ChecksumValid(ArchiveKind::Hourly, slot.entry));
  }
  return in;
}

DailyReportInput DailyInputOf(const StatModel& model, const ReportPlan& plan, const std::string& fromText,
                              const std::string& toText) {
  DailyReportInput in;
  in.header = ReportHeaderOf(model);
  in.fromText = fromText;
  in.toText = toText;
  for (const ReportDay& d : plan.days) {
    DailyRow row;
    row.day = StampDay(d.dayKey);
    row.month = StampMonth(d.dayKey);
    row.year = StampYear(d.dayKey) - 2000;
    row.record =
        ToReportRecord(model.Decode(ArchiveKind::Daily, d.entry), model.ChecksumValid(ArchiveKind::Daily, d.entry));
    in.days.push_back(std::move(row));
  }
  return in;
}

}  // namespace statvtk
