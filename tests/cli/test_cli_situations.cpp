// statvtk-cli situations on a file the simulator makes: its JSON says what
// the analysis finds in process, --from keeps what touches the span, and a
// bad rule setting is a usage error.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "analysis/situations.hpp"
#include "cli_runner.hpp"
#include "sim/instrument.hpp"
#include "stats/stat_file.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::test {
namespace {

struct SimFile {
  link_test::TempFolder folder;
  std::filesystem::path path = folder.Path() / "meter.814";
  StatData data = sim::Instrument(sim::InstrumentOptions{}).ExpectedDump();
  SimFile() { EXPECT_TRUE(SaveStatFile(path, data).has_value()); }
};

// Each situation as "kind source from..to hours" ("open" for no end).
std::vector<std::string> Lines(const nlohmann::json& list) {
  std::vector<std::string> out;
  for (const auto& s : list)
    out.push_back(s.at("kind").get<std::string>() + " " + s.at("source").get<std::string>() + " " +
                  s.at("from").get<std::string>() + ".." +
                  (s.at("to").is_null() ? "open" : s.at("to").get<std::string>()) + " " +
                  std::to_string(s.at("hours").get<long long>()));
  return out;
}

std::vector<std::string> Lines(const std::vector<analysis::Situation>& list) {
  std::vector<std::string> out;
  for (const auto& s : list)
    out.push_back(std::string(analysis::SituationKindName(s.kind)) + " " +
                  std::string(analysis::SituationSourceName(s.source)) + " " + analysis::HourText(s.from) + ".." +
                  (s.to ? analysis::HourText(*s.to) : "open") + " " + std::to_string(s.hours));
  return out;
}

TEST(CliSituations, JsonHoldsWhatTheAnalysisFinds) {
  SimFile file;
  const CliRun r = RunCli({"situations", file.path.string(), "--json", "--night-flow", "0.05"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j.at("model"), "VTK-08.14 C");
  EXPECT_FALSE(j.at("serial").get<std::string>().empty());

  analysis::Settings settings;
  settings.nightFlow = 0.05;
  const auto expected = analysis::Analyse(analysis::MeterRecordsOf(*MakeStatModel(file.data)), settings);
  ASSERT_FALSE(expected.situations.empty());
  EXPECT_EQ(Lines(j.at("situations")), Lines(expected.situations));
  // The texts: a flag by the model's word, the others by the kind's words.
  for (std::size_t i = 0; i < expected.situations.size() && i < j.at("situations").size(); ++i) {
    const auto& s = expected.situations[i];
    const std::string text = j.at("situations")[i].at("text");
    const std::string want = s.kind == analysis::SituationKind::Flag             ? s.detail
                             : s.kind == analysis::SituationKind::PowerOff       ? "Отключение питания"
                             : s.kind == analysis::SituationKind::ContinuousFlow ? "Непрерывный расход"
                                                                                 : text;
    EXPECT_EQ(text, want);
  }
  ASSERT_EQ(j.at("months").size(), expected.months.size());
  ASSERT_FALSE(expected.months.empty());
  for (const auto& m : j.at("months"))
    EXPECT_EQ(m.at("hours_held").get<long long>() + m.at("hours_missing").get<long long>(), m.at("hours"));
}

TEST(CliSituations, FromKeepsWhatTouchesTheSpanAndBadSettingsAreUsageErrors) {
  SimFile file;
  const CliRun all = RunCli({"situations", file.path.string(), "--json"});
  ASSERT_EQ(all.status, 0) << all.err;
  const auto months = nlohmann::json::parse(all.out).at("months");
  ASSERT_FALSE(months.empty());
  const std::string last = months.back().at("month");  // "YYYY-MM"
  const std::string from = "01." + last.substr(5, 2) + "." + last.substr(2, 2);
  const CliRun r = RunCli({"situations", file.path.string(), "--json", "--from", from});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.at("months").size(), 1u);
  const std::string start = last + "-01 00:00";
  for (const auto& s : j.at("situations"))
    EXPECT_TRUE(s.at("to").is_null() || s.at("to").get<std::string>() >= start) << s.dump();

  const CliRun text = RunCli({"situations", file.path.string()});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("Нештатные ситуации"), std::string::npos);
  EXPECT_NE(text.out.find("Отключение питания"), std::string::npos);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--nights-in-row", "0"}, {"--night-flow", "-1"}, {"--from", "31.02.24"}}) {
    std::vector<std::string> cmd{"situations", file.path.string()};
    cmd.insert(cmd.end(), args.begin(), args.end());
    const CliRun bad = RunCli(cmd);
    EXPECT_EQ(bad.status, 2) << args[0];
    EXPECT_NE(bad.err.find(args[0]), std::string::npos) << bad.err;
  }
}

}  // namespace
}  // namespace statvtk::test
