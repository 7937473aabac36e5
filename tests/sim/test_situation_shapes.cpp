// The consumption, state and event shapes: each option makes, on every
// model that has the notion, the situation the analysis finds, at the hours
// asked for; without it the situation is not there. And what the analysis
// finds on a memory without shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "analysis/situations.hpp"
#include "sim/instrument.hpp"
#include "sim/options.hpp"
#include "support/result_util.hpp"

using namespace statvtk;
using namespace statvtk::sim;
using analysis::SituationKind;

namespace {

constexpr std::array<DeviceType, 4> kModels = {DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                               DeviceType::dtLDN08};

std::vector<analysis::Situation> SituationsOf(const InstrumentOptions& o) {
  const auto model = MakeStatModel(Instrument(o).ExpectedDump());
  if (!model) return {};
  return analysis::Analyse(analysis::MeterRecordsOf(*model), {}).situations;
}

// The situations of a memory made with these options (the clock 2026-12-08 10:30).
std::vector<analysis::Situation> SituationsOf(DeviceType model, const std::vector<std::string>& args) {
  const auto c = ParseCommandLine(args);
  EXPECT_TRUE(c.has_value()) << ReasonOf(c);
  InstrumentOptions o = c ? c->instrument : InstrumentOptions{};
  o.model = model;
  return SituationsOf(o);
}

struct SituationCase {
  const char* name;
  std::vector<std::string> args;
  SituationKind kind;
  const char* from;  // its first hour
  long long hours;
  // The word of a flag by model (0812, 0814 C, 0814 CM, LDN-08); "": any
  // word; nullptr: the model has no such thing, nothing is found.
  std::array<const char*, 4> words = {"", "", "", ""};
};

const SituationCase kCases[] = {
    {.name = "NightLeak",
     .args = {"--night-leak", "3"},
     .kind = SituationKind::NightFlow,
     .from = "2026-12-06 02:00",
     .hours = 9},
    // Two nights are no night flow, but from the end of the quiet night before them every hour flows.
    {.name = "TwoLeakNights",
     .args = {"--night-leak", "2"},
     .kind = SituationKind::ContinuousFlow,
     .from = "2026-12-06 05:00",
     .hours = 53},
    {.name = "Stopped",
     .args = {"--stopped", "8"},
     .kind = SituationKind::NoConsumption,
     .from = "2026-11-30 00:00",
     .hours = 192},
    {.name = "Spike",
     .args = {"--spike", "10"},
     .kind = SituationKind::ConsumptionSpike,
     .from = "2026-11-28 00:00",
     .hours = 24},
    {.name = "Reverse",
     .args = {"--reverse", "5@30"},
     .kind = SituationKind::ReverseVolume,
     .from = "2026-12-06 23:00",
     .hours = 5},
    {.name = "Gmax",
     .args = {"--flag", "gmax:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {"Gmax", "Gmax", "Gmax", "Gmax"}},
    {.name = "Gmin",
     .args = {"--flag", "gmin:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {"Gmin", "Gmin", "Gmin", "Gmin"}},
    {.name = "EmptyPipe",
     .args = {"--flag", "empty-pipe:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {nullptr, "ПТ", "ПТ", "ПТ"}},
    {.name = "TempSensor",
     .args = {"--flag", "temp-sensor:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {nullptr, "ТСП", "ТСП", "ТСП"}},
    {.name = "Excitation",
     .args = {"--flag", "excitation:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {"Возб.", "Возб", "Возб", nullptr}},
    {.name = "Air",
     .args = {"--flag", "air:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {nullptr, nullptr, nullptr, "Воздух"}},
    {.name = "Adc",
     .args = {"--flag", "adc:6@40"},
     .kind = SituationKind::Flag,
     .from = "2026-12-06 12:00",
     .hours = 6,
     .words = {"АЦП", nullptr, nullptr, nullptr}},
    {.name = "SettingsChanged",
     .args = {"--settings-changed", "50"},
     .kind = SituationKind::SettingsChanged,
     .from = "2026-12-06 07:00",
     .hours = 1},
    {.name = "Calibration",
     .args = {"--calibration", "60"},
     .kind = SituationKind::Calibration,
     .from = "2026-12-05 21:00",
     .hours = 1,
     .words = {nullptr, "", "", ""}},
    {.name = "ClockSet",
     .args = {"--clock-set", "70"},
     .kind = SituationKind::ClockChanged,
     .from = "2026-12-05 11:00",
     .hours = 1,
     .words = {nullptr, "", "", ""}},
    // VTK-08.12 writes no power-on event: its outage lasts to the next event.
    {.name = "PowerOff",
     .args = {"--power-off", "4@80"},
     .kind = SituationKind::PowerOff,
     .from = "2026-12-04 22:00",
     .hours = 5,
     .words = {nullptr, "", "", ""}},
};

void PrintTo(const SituationCase& c, std::ostream* os) { *os << c.name; }

bool Holds(const std::vector<analysis::Situation>& list, const SituationCase& c, const char* word) {
  return std::any_of(list.begin(), list.end(), [&](const analysis::Situation& s) {
    return s.kind == c.kind && analysis::HourText(s.from) == c.from && s.hours == c.hours &&
           (word == nullptr || *word == '\0' || s.detail == word);
  });
}

class ShapedSituation : public ::testing::TestWithParam<std::tuple<SituationCase, std::size_t>> {};

std::string CaseName(const ::testing::TestParamInfo<std::tuple<SituationCase, std::size_t>>& info) {
  static constexpr std::array<const char*, 4> kNames{"0812", "0814C", "0814CM", "LDN08"};
  return std::string(std::get<0>(info.param).name) + "_" + kNames[std::get<1>(info.param)];
}

}  // namespace

TEST_P(ShapedSituation, TheAnalysisFindsItWhereTheModelHasIt) {
  const auto& [c, m] = GetParam();
  const char* word = c.words[m];
  const auto shaped = SituationsOf(kModels[m], c.args);
  EXPECT_EQ(Holds(shaped, c, word), word != nullptr);
  EXPECT_FALSE(Holds(SituationsOf(kModels[m], {}), c, word));
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapedSituation,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Range<std::size_t>(0, 4)),
                         CaseName);

// Every hour of a memory without shapes flows, so the analysis finds
// continuous and night flow; with quiet nights neither. The simulated
// reverse hours are found either way; a whole day never stops or jumps.
TEST(ShapedSituation, WithoutShapesOnlyTheFlowRulesOfEveryHourAndReverse) {
  const auto rules = [](const std::vector<analysis::Situation>& list) {
    std::set<std::string> kinds;
    for (const auto& s : list)
      if (s.source == analysis::SituationSource::Rule) kinds.emplace(analysis::SituationKindName(s.kind));
    return kinds;
  };
  for (const DeviceType model : kModels) {
    EXPECT_EQ(rules(SituationsOf(model, {})),
              (std::set<std::string>{"continuous_flow", "night_flow", "reverse_volume"}))
        << DeviceTypeName(model);
    EXPECT_EQ(rules(SituationsOf(model, {"--quiet-nights"})), std::set<std::string>{"reverse_volume"})
        << DeviceTypeName(model);
  }
}
