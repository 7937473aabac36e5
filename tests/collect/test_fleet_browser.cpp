// The status page in a real browser: statvtk-collect run has read simulated
// instruments (and failed on an address nobody answers); headless Chromium
// loads the page from its HTTP server: the fleet worst first with one request,
// a dead line as one row, the findings, one meter's chart and reads, and the
// lines view. The screenshot (of the docs) lands in the build folder.
#include <gtest/gtest.h>
#include <httplib.h>

#include "collect/views/json_shapes.hpp"
#include "fleet_e2e.hpp"
#include "support/free_port.hpp"
#include "support/headless_browser.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// The requests the page's server logged (logs/http-*.log) that name `what`.
std::size_t Logged(const std::filesystem::path& home, const std::string& what) {
  std::size_t n = 0;
  std::error_code ec;
  for (const auto& f : std::filesystem::directory_iterator(home / "logs", ec))
    if (f.path().filename().string().starts_with("http-")) n += test::Occurrences(link_test::ReadAll(f.path()), what);
  return n;
}

TEST(HttpBrowser, ThePageShowsTheFleetWorstFirstALineDownAsOneRowAndAMetersHistory) {
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "0812@3,0814c@5,ldn@7", "--now", "now"});
  ASSERT_GT(sim.Port(), 0);
  const int http = test::FreeLoopbackPort(), dead = test::FreeLoopbackPort();  // nobody listens on `dead`
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nHttp=127.0.0.1:" + std::to_string(http) + "\n\n" +
                          test::LineSection("site", sim.Port()) + test::InstrumentSection("Котельная", "site", 3) +
                          test::InstrumentSection("ЦТП-5", "site", 5) + test::InstrumentSection("Насосная", "site", 7) +
                          test::InstrumentSection("Резерв", "site", 9) + test::LineSection("depot", dead) +
                          test::InstrumentSection("Склад-1", "depot", 1) +
                          test::InstrumentSection("Склад-2", "depot", 2));
  auto run = test::CollectInBackground(home.Path(), "run");
  httplib::Client client("127.0.0.1", http);
  client.set_connection_timeout(5);
  Json fleet;
  // Ready when the three have been read and the three others have failed.
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto r = client.Get("/api/instruments");
        if (!r || r->status != 200) return false;
        fleet = Json::parse(r->body, nullptr, false);
        if (fleet.is_discarded() || fleet.size() != 6) return false;
        int read = 0, failed = 0;
        for (const auto& i : fleet) read += !i["last_read_utc"].is_null(), failed += !i["last_failure"].is_null();
        return read == 3 && failed == 3;
      },
      90s))
      << fleet.dump() << link_test::ReadAll(home.Path() / "collect.out");

  test::HeadlessBrowser browser;
  const std::string url = "http://127.0.0.1:" + std::to_string(http) + "/";
  const std::size_t fleetAsked = Logged(home.Path(), "/api/instruments ");
  const std::string dom = browser.DumpDom(url);
  ASSERT_FALSE(dom.empty()) << browser.Log();
  EXPECT_NE(dom.find("data-loaded=\"1\""), std::string::npos) << "the script did not finish";
  // One request for the whole fleet, none per meter.
  EXPECT_EQ(Logged(home.Path(), "/api/instruments "), fleetAsked + 1);
  EXPECT_EQ(Logged(home.Path(), "/overview"), 0u);
  EXPECT_EQ(test::Occurrences(dom, "<tr class=\"health-ok\""), 3u) << dom;
  EXPECT_EQ(test::Occurrences(dom, "<tr class=\"health-never\""), 1u);
  // The dead line is one row, not two meter errors; worst first: the line,
  // then the one never read, then those in order.
  EXPECT_EQ(test::Occurrences(dom, "<tr class=\"line-down\" data-line=\"depot\""), 1u) << dom;
  EXPECT_EQ(dom.find("Склад-1"), std::string::npos);
  const auto at = [&](const std::string& cls) { return dom.find("<tr class=\"" + cls + "\""); };
  EXPECT_LT(at("line-down"), at("health-never"));
  EXPECT_LT(at("health-never"), at("health-ok"));
  for (const char* text :
       {"Котельная", "ЦТП-5", "Насосная", "Резерв", "VTK-08.12", "VTK-08.14 C", "LDN-08", "Линия не отвечает"})
    EXPECT_NE(dom.find(text), std::string::npos) << text;
  // The states as the data names them, in the state choice and the header.
  for (const auto& i : fleet) EXPECT_NE(dom.find(i["health_text"].get<std::string>() + " ("), std::string::npos);
  // The failure in words in the row of the one never read.
  const std::string reason = fleet[3]["last_failure"]["reason"];
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(dom.find(reason), std::string::npos) << reason;
  // The findings table has the duplicate hours of the simulated histories.
  EXPECT_NE(dom.find("Запись изменилась (конфликт)"), std::string::npos);
  EXPECT_NE(dom.find("<div id=\"error\"></div>"), std::string::npos) << "the page reports an error";

  // One meter opened: its chart with a bar per day held, its reads.
  const std::string meter = url + "?meter=" + httplib::detail::encode_query_param("Котельная");
  const std::string one = browser.DumpDom(meter);
  EXPECT_EQ(test::Occurrences(one, "<svg class=\"chart\""), 1u) << one;
  EXPECT_GE(test::Occurrences(one, " class=\"bar"), 6u);
  EXPECT_NE(one.find("прочитан"), std::string::npos);
  EXPECT_EQ(Logged(home.Path(), "/overview"), 1u);

  const auto png = std::filesystem::path(test::BinaryDir()) / "collect-status.png";
  EXPECT_TRUE(browser.Screenshot(meter, png, 1400, 1000)) << browser.Log();
  EXPECT_GT(std::filesystem::file_size(png), 10000u);
  // The lines view: shown instead of the meters, the line that is down first.
  const std::string lines = browser.DumpDom(url + "?view=lines");
  EXPECT_NE(lines.find("<section id=\"lines\">"), std::string::npos) << lines;
  EXPECT_NE(lines.find("<section id=\"meters\" hidden=\"\">"), std::string::npos) << lines;
  const auto depot = lines.find("<tr class=\"line down\" data-line=\"depot\">");
  EXPECT_NE(depot, std::string::npos) << lines;
  EXPECT_LT(depot, lines.find("<tr class=\"line\" data-line=\"site\">")) << lines;

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
  EXPECT_EQ(run.Stop(SIGTERM, 60s), 0);
}

}  // namespace
}  // namespace statvtk::collect
