// The running collector's figures: a line down under its [Line NAME]
// whatever case Line= spells it in; a reload's removed modems gone from the
// pools' figures, their last calls not counted.
#include <gtest/gtest.h>

#include "collect/fleet/fleet_figures.hpp"

namespace statvtk::collect {
namespace {

TEST(FleetFigures, ALineIsDownUnderItsOwnNameWhenEveryMeterOnItIs) {
  const auto parsed = ParseConfig("collect.ini",
                                  "[Collector]\nSilentAfter=2\n\n[Line Boiler]\nMode=tcp\nTcp=127.0.0.1:1\n\n"
                                  "[Instrument a]\nLine=boiler\nAddress=1\n\n"
                                  "[Instrument b]\nLine=BOILER\nAddress=2\n");
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  const Config& cfg = *parsed.config;
  FleetFigures f(cfg);
  const std::time_t now = std::time(nullptr);
  for (const auto& in : cfg.instruments) {
    f.Failed(in.name, "нет ответа");
    f.Turn({.in = &in, .at = now, .failures = 2, .lastGood = std::nullopt});
  }
  EXPECT_EQ(f.LinesDown(now), (std::map<std::string, std::string>{{"Boiler", "нет ответа"}}));
  f.Answered("b");
  EXPECT_TRUE(f.LinesDown(now).empty());
}

TEST(ModemFigures, AReloadDropsTheModemsNoLongerConfigured) {
  ModemFigures m;
  m.Add("city", "/dev/ttyUSB0");
  m.Add("city", "/dev/ttyUSB1");
  const auto at = std::chrono::system_clock::now();
  m.Call("city", "/dev/ttyUSB0", "connect", true, 30, at);
  m.KeepOnly({{"city", "/dev/ttyUSB0"}});
  m.Call("city", "/dev/ttyUSB1", "busy", false, 0, at);  // its pool's last call, ending
  m.SetAside("city", "/dev/ttyUSB1", true, "нет ответа");
  const auto all = m.All();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].device, "/dev/ttyUSB0");
  EXPECT_EQ(all[0].calls.at("connect"), 1);
}

}  // namespace
}  // namespace statvtk::collect
