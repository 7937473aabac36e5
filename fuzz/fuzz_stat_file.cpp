// Fuzz target: a statistics image of one model (the first input byte chooses),
// of the exact file size, made from the input repeated to length, sometimes
// with every record checksum fixed so that dates and times decide; the model,
// its indices, decoded records, events, current values and the window model's
// lists and slots are walked.
#include <unistd.h>

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>

#include "stats/stat_file.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

using namespace statvtk;

namespace {

void Fill(std::span<std::uint8_t> out, std::span<const std::uint8_t> in, std::size_t shift) {
  if (in.empty()) return;
  // one period by hand, then doubling copies
  const std::size_t period = std::min(in.size(), out.size());
  for (std::size_t i = 0; i < period; ++i) out[i] = in[(i + shift) % in.size()];
  for (std::size_t done = period; done < out.size();) {
    const std::size_t n = std::min(done, out.size() - done);
    std::memcpy(out.data() + done, out.data(), n);
    done += n;
  }
}

void FixSums(std::span<std::uint8_t> area, std::size_t offset, std::size_t count, std::size_t size) {
  for (std::size_t r = 0; r < count; ++r) {
    auto rec = area.subspan(offset + r * size, size);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < size; ++i) sum += rec[i];
    rec[size - 1] = static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu));
  }
}

void FixAll(StatData& d) {
  auto a = std::span<std::uint8_t>(d.area);
  switch (d.type) {
    case DeviceType::dtVTK0812:
      FixSums(a, 0, 256, 16);
      FixSums(a, 0x4000, 1080, 32);
      FixSums(a, 0xD000, 366, 32);
      break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM:
      FixSums(a, 0, 1440 + 400 + 120, 64);
      FixSums(a, 125440, 352, 16);
      break;
    case DeviceType::dtLDN08:
      FixSums(a, 0, 1440, 68);
      FixSums(a, 196608, 365, 68);
      FixSums(a, 262144, 36, 68);
      FixSums(a, 274432, 128, 64);
      break;
    case DeviceType::dtUnknown: break;
  }
}

std::size_t Walk(const StatModel& m) {
  std::size_t sink = 0;
  for (auto kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
    const auto idx = m.Index(kind);
    for (std::size_t i = 0; i <= idx.size(); ++i) {  // one past the end on purpose
      sink += m.EntryValid(kind, i) + m.ChecksumValid(kind, i) + m.RecordStamp(kind, i).value_or(0);
      if (m.EntryValid(kind, i) || i < 4 || i + 4 >= idx.size()) {
        const StatRecord r = m.Decode(kind, i);
        sink += r.statusText.size() + r.values.size() + static_cast<std::size_t>(r.hour);
      }
    }
  }
  const DeviceInfo info = m.GetDeviceInfo();
  sink += info.serial.size() + info.values.size() + info.firmware.size();
  for (const auto& row : m.CurrentRows()) sink += row.value.size();
  const EventTable ev = m.Events();
  for (const auto& row : ev.rows) sink += row.size();
  sink += m.DeviceClockStamp() + m.ReportTemplateName().size() + m.SerialText().size();
  return sink;
}

std::size_t WalkWindow(std::shared_ptr<const StatModel> m) {
  std::size_t sink = 0;
  StatWindowModel w(std::move(m), CalendarDate{2024, 3, 15});
  for (auto mode : {StatMode::Daily, StatMode::Hourly, StatMode::Monthly, StatMode::Daily}) {
    w.SetMode(mode);
    for (std::size_t i = 0; i < w.Items().size(); ++i) w.SelectItem(i);
    w.SelectionChanged();
    w.DatesChanged();
    const ReportPlan plan = w.PrepareReport();
    for (const auto& s : plan.hours)
      if (s.present) sink += w.Model().Decode(ArchiveKind::Hourly, s.entry).statusText.size();
    for (const auto& d : plan.days) sink += w.Model().Decode(ArchiveKind::Daily, d.entry).values.size();
    sink += w.Items().size() + w.ShowCurr().size();
  }
  // every hourly day once
  w.SetMode(StatMode::Hourly);
  for (std::size_t i = 0; i < w.Items().size() && i < 8; ++i) {
    w.SelectItem(i);
    sink += w.PrepareReport().hours[0].present;
  }
  return sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);
  volatile std::size_t sink = 0;
  // The first byte chooses the model (bits 1..2) and whether checksums are fixed (bit 0).
  constexpr DeviceType kTypes[] = {DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                   DeviceType::dtLDN08};
  {
    const DeviceType t = kTypes[size > 0 ? (data[0] >> 1) & 3 : 0];
    StatData d = StatData::Blank(t);
    Fill(d.area, in, 0);
    Fill(d.header, in, 7);
    if (size > 0 && (data[0] & 1)) FixAll(d);
    std::shared_ptr<const StatModel> m = MakeStatModel(d);
    if (!m) __builtin_trap();
    sink = sink + Walk(*m) + WalkWindow(m);
    // Now and then the file round trip as well.
    if (size > 1 && data[1] == 0x5A) {
      const auto path = std::filesystem::temp_directory_path() /
                        ("statvtk-fuzz-" + std::to_string(::getpid()) + std::string(FileExtension(t)));
      if (!SaveStatFile(path, d)) __builtin_trap();
      const Result<StatData> r = LoadStatFile(path, ExtensionRule::Exact);
      std::filesystem::remove(path);
      if (!r || r->area != d.area || r->header != d.header) __builtin_trap();
    }
  }
  return 0;
}
