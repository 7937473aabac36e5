// The status page in a real browser: statvtk-collect run has read simulated
// instruments (and failed on an address nobody answers); headless Chromium
// loads the page from its HTTP server and the fleet table, the findings and
// the charts are there. The screenshot lands in the build folder.
#include <gtest/gtest.h>
#include <httplib.h>

#include "collect/http_json.hpp"
#include "fleet_e2e.hpp"
#include "support/free_port.hpp"
#include "support/headless_browser.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

TEST(HttpBrowser, ThePageShowsTheFleetItsFailuresAndItsCharts) {
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "0812@3,0814c@5,ldn@7", "--now", "now"});
  ASSERT_GT(sim.Port(), 0);
  const int http = test::FreeLoopbackPort();
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nHttp=127.0.0.1:" + std::to_string(http) + "\n\n" +
                          test::LineSection("site", sim.Port()) + test::InstrumentSection("Котельная", "site", 3) +
                          test::InstrumentSection("ЦТП-5", "site", 5) + test::InstrumentSection("Насосная", "site", 7) +
                          test::InstrumentSection("Резерв", "site", 9));
  auto run = test::CollectInBackground(home.Path(), "run");
  httplib::Client client("127.0.0.1", http);
  client.set_connection_timeout(2);
  Json fleet;
  // Ready when the three have been read and the fourth has failed.
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto r = client.Get("/api/instruments");
        if (!r || r->status != 200) return false;
        fleet = Json::parse(r->body, nullptr, false);
        if (fleet.is_discarded() || fleet.size() != 4) return false;
        int read = 0, failed = 0;
        for (const auto& i : fleet) read += !i["last_read_utc"].is_null(), failed += !i["last_failure"].is_null();
        return read == 3 && failed == 1;
      },
      90s))
      << fleet.dump() << link_test::ReadAll(home.Path() / "collect.out");

  test::HeadlessBrowser browser;
  const std::string url = "http://127.0.0.1:" + std::to_string(http) + "/";
  const std::string dom = browser.DumpDom(url);
  ASSERT_FALSE(dom.empty()) << browser.Log();
  EXPECT_NE(dom.find("data-loaded=\"1\""), std::string::npos) << "the script did not finish";
  EXPECT_EQ(Count(dom, "<tr class=\"health-ok\""), 3u) << dom;
  EXPECT_EQ(Count(dom, "<tr class=\"health-never\""), 1u);
  for (const char* text : {"Котельная", "ЦТП-5", "Насосная", "Резерв", "VTK-08.12", "VTK-08.14 C", "LDN-08"})
    EXPECT_NE(dom.find(text), std::string::npos) << text;
  // The failure in words in the fourth row.
  const std::string reason = fleet[3]["last_failure"]["reason"];
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(dom.find(reason), std::string::npos) << reason;
  // A chart per instrument read, with a bar per day that has records.
  EXPECT_EQ(Count(dom, "<svg class=\"chart\""), 3u);
  EXPECT_GE(Count(dom, " class=\"bar"), 3u * 6);
  // The findings table has the duplicate hours of the simulated histories.
  EXPECT_NE(dom.find("Запись изменилась (конфликт)"), std::string::npos);
  EXPECT_NE(dom.find("<div id=\"error\"></div>"), std::string::npos) << "the page reports an error";

  const auto png = std::filesystem::path(test::BinaryDir()) / "collect-status.png";
  EXPECT_TRUE(browser.Screenshot(url, png, 1400, 1000)) << browser.Log();
  EXPECT_GT(std::filesystem::file_size(png), 10000u);

  // Through the socket too: bad requests are JSON 4xx, no file is served.
  for (const char* path : {"/etc/passwd", "/../collect.sqlite", "/collect.ini", "/api/instruments/nobody/records"}) {
    auto r = client.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 404) << path;
    EXPECT_NE(r->body.find("\"error\""), std::string::npos) << path;
  }
  auto big = client.Get(("/api/reads?serial=" + std::string(5000, 'x')).c_str());
  ASSERT_TRUE(big);
  EXPECT_EQ(big->status, 414);
  auto post = client.Post("/api/instruments", "x", "text/plain");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(run.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace statvtk::collect
