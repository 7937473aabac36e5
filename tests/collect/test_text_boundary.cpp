// The collector's text boundary: status --json and the REST API describe an
// instrument alike.
#include <gtest/gtest.h>

#include <sstream>

#include "collect/commands.hpp"
#include "collect/http_api.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {
namespace {

TEST(CollectText, StatusJsonAndTheApiDescribeAnInstrumentAlike) {
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "ldn@7"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\n\n[Line site]\nMode=tcp\nTcp=127.0.0.1:" + std::to_string(sim.Port()) +
                          "\nPacketConst=200\nByteConst=50\nPacketRetry=1\n\n" +
                          test::InstrumentSection("well", "site", 7) + test::InstrumentSection("absent", "site", 9));
  EXPECT_EQ(test::Collect(home.Path(), {"once"}), kExitFailed);  // "absent" does not answer
  std::ostringstream out, err;
  ASSERT_EQ(Dispatch({"status", "--json", "--home", home.Path().string()}, out, err), kExitOk) << err.str();
  const Json status = Json::parse(out.str());
  auto reader = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(reader);
  FleetLive live;
  live.configured = [] { return std::vector<FleetLive::Configured>{{"well", "site", 7}, {"absent", "site", 9}}; };
  FleetApi api(std::move(*reader), live);
  const Json listed = Json::parse(api.Answer("GET", "/api/instruments", {}).body);
  ASSERT_EQ(status.size(), 2u);
  ASSERT_EQ(listed.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    std::vector<std::string> a, b;
    for (const auto& [k, v] : status[i].items()) a.push_back(k);
    for (const auto& [k, v] : listed[i].items()) b.push_back(k);
    EXPECT_EQ(a, b) << i;
    EXPECT_EQ(status[i]["name"], listed[i]["name"]);
    EXPECT_EQ(status[i]["records"], listed[i]["records"]);
    EXPECT_EQ(status[i]["failures_in_row"], listed[i]["failures_in_row"]);
  }
  EXPECT_EQ(status[0]["name"], "well");
  EXPECT_GT(status[0]["records"]["hourly"].get<int>(), 0) << status.dump();
  EXPECT_EQ(status[1]["failures_in_row"], 1);
  EXPECT_TRUE(status[1]["last_failure"].is_object());
}

}  // namespace
}  // namespace statvtk::collect
