// A statistics file written the way the simulator's --dump writes it opens,
// and what it lists and decodes matches the history the simulator generated.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "base/atomic_file.hpp"
#include "sim/instrument.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_window.hpp"

using namespace statvtk;
namespace fs = std::filesystem;

namespace {

std::string DayText(const CivilTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d.%.2d.%.2d", t.day, t.month, t.year % 100);
  return buf;
}

std::string MonthText(const CivilTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d.%.2d", t.month, t.year % 100);
  return buf;
}

// The texts the list should show: the distinct periods of the history's valid
// records, in time order.
std::vector<std::string> ExpectedList(const std::vector<sim::ArchiveRecord>& recs, bool months) {
  std::map<std::uint32_t, std::string> byStart;
  for (const auto& r : recs) {
    if (r.invalid) continue;
    const auto key = static_cast<std::uint32_t>(months ? CivilToDeviceTime(r.start.year, r.start.month, 1)
                                                       : CivilToDeviceTime(r.start.year, r.start.month, r.start.day));
    byStart[key] = months ? MonthText(r.start) : DayText(r.start);
  }
  std::vector<std::string> out;
  for (const auto& [k, v] : byStart) out.push_back(v);
  return out;
}

std::vector<std::string> Texts(const StatWindowModel& w) {
  std::vector<std::string> out;
  for (const auto& i : w.Items()) out.push_back(i.text);
  return out;
}

class SimDump : public ::testing::TestWithParam<DeviceType> {};

}  // namespace

TEST_P(SimDump, OpensAndMatchesTheGeneratedHistory) {
  const DeviceType type = GetParam();
  sim::InstrumentOptions opt;
  opt.model = type;
  opt.seed = 4242;
  const sim::Instrument inst(opt);
  const sim::History& hist = inst.GetHistory();

  const link_test::TempFolder dir;
  const fs::path file = dir.Path() / ("dump" + std::string(FileExtension(type)));
  const std::vector<std::uint8_t> bytes = inst.ExpectedDumpBytes();
  const Result<void> written = AtomicWriteFile(file, {bytes});
  ASSERT_TRUE(written) << ReasonOf(written);
  Result<StatData> loaded = LoadStatFile(file, ExtensionRule::Exact);
  ASSERT_TRUE(loaded) << ReasonOf(loaded);
  StatData data = *loaded;
  data.type = type;  // a ".814" file does not tell C from CM; the reading does
  auto model = std::shared_ptr<const StatModel>(MakeStatModel(data));
  ASSERT_TRUE(model);

  // Period lists.
  StatWindowModel w(model, CalendarDate{2026, 12, 8});
  w.SetMode(StatMode::Hourly);
  EXPECT_EQ(Texts(w), ExpectedList(hist.hourly, false));
  w.SetMode(StatMode::Daily);
  EXPECT_EQ(Texts(w), ExpectedList(hist.daily, false));
  w.SetMode(StatMode::Monthly);
  EXPECT_EQ(Texts(w), ExpectedList(type == DeviceType::dtVTK0812 ? hist.daily : hist.monthly, true));
  ASSERT_FALSE(hist.hourly.empty());

  // Decoded totals, counters and increments, record by record.
  const std::pair<ArchiveKind, const std::vector<sim::ArchiveRecord>*> areas[] = {
      {ArchiveKind::Hourly, &hist.hourly}, {ArchiveKind::Daily, &hist.daily}, {ArchiveKind::Monthly, &hist.monthly}};
  for (const auto& [kind, recs] : areas) {
    std::map<std::uint32_t, const sim::ArchiveRecord*> atAddress;
    std::size_t validInHistory = 0;
    for (const auto& r : *recs) {
      atAddress[r.address] = &r;
      validInHistory += r.invalid ? 0 : 1;
    }
    const auto idx = model->Index(kind);
    std::size_t valid = 0, incrementsCompared = 0;
    for (std::size_t i = 0; i < idx.size() && idx[i].Key != kInvalidKey; ++i, ++valid) {
      const auto it = atAddress.find(idx[i].Pos);
      ASSERT_NE(it, atAddress.end()) << "a valid record the history never wrote at " << idx[i].Pos;
      const sim::ArchiveRecord& r = *it->second;
      ASSERT_FALSE(r.invalid);
      const StatRecord d = model->Decode(kind, i);
      EXPECT_EQ(d.year, r.start.year);
      EXPECT_EQ(d.month, r.start.month);
      EXPECT_EQ(d.day, r.start.day);
      EXPECT_EQ(d.hour, r.start.hour);
      EXPECT_DOUBLE_EQ(d.forwardTotal, static_cast<double>(r.totals.vPlus) / 1e6);
      EXPECT_DOUBLE_EQ(d.reverseTotal, static_cast<double>(r.totals.vMinus) / 1e6);
      for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(d.counters[c], r.totals.counters[c]);
      EXPECT_EQ(d.flags, r.flags);
      if (type == DeviceType::dtLDN08) EXPECT_FLOAT_EQ(static_cast<float>(d.values[5].value), r.voltage);
      if (type == DeviceType::dtVTK0814C || type == DeviceType::dtVTK0814CM) {
        EXPECT_DOUBLE_EQ(d.values[2].value, static_cast<double>(r.totals.mPlus) / 1e6);
        EXPECT_FLOAT_EQ(static_cast<float>(d.values[8].value), r.temperature);
      }
      if (i == 0) {
        // The oldest record of a full read: the record before it was overwritten long ago.
        EXPECT_FALSE(d.incrementKnown);
        EXPECT_DOUBLE_EQ(d.forwardIncrement, 0.0);
        continue;
      }
      // A full read leaves no blank slot before any later record.
      EXPECT_TRUE(d.incrementKnown) << "entry " << i;
      // The history's increments are against the record written just before;
      // compare where that record is also the previous entry of the index.
      const auto prev = atAddress.find(idx[i - 1].Pos);
      if (prev == atAddress.end() || prev->second->sequence + 1 != r.sequence) continue;
      ++incrementsCompared;
      EXPECT_NEAR(d.forwardIncrement, static_cast<double>(r.increments.vPlus) / 1e6, 1e-6);
      EXPECT_NEAR(d.reverseIncrement, static_cast<double>(r.increments.vMinus) / 1e6, 1e-6);
      for (std::size_t c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(d.counterIncrements[c], static_cast<float>(r.increments.counters[c]));
    }
    EXPECT_EQ(valid, validInHistory);
    if (valid > 2) {
      EXPECT_GE(incrementsCompared + 4, valid - 1);
    }
  }

  // Device information.
  const DeviceInfo info = model->GetDeviceInfo();
  EXPECT_EQ(info.serial, type == DeviceType::dtLDN08 ? std::to_string(hist.config.serialNumber) : hist.config.serial);
  EXPECT_DOUBLE_EQ(info.nominalSize, hist.config.diameter);
  if (type != DeviceType::dtVTK0812) {
    EXPECT_NEAR(info.gmin, hist.config.gmin, 1e-9);
    EXPECT_NEAR(info.gmax, hist.config.gmax, 1e-9);
    EXPECT_FLOAT_EQ(static_cast<float>(info.kv), hist.config.kv);
  }
  EXPECT_EQ(model->DeviceClockStamp(), DeviceTimeToBcdHour(hist.now));
  EXPECT_FALSE(model->Events().rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Models, SimDump,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08),
                         [](const auto& info) {
                           std::string n(DeviceTypeName(info.param));
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });
