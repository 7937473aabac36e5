// The status page in a real browser: statvtk-collect run has read simulated
// instruments (and failed on an address nobody answers); headless Chromium
// loads the page from its HTTP server: the fleet worst first with one request,
// a dead line as one row, the findings, one meter's chart and reads, and the
// lines view. Then a fleet of 120 paged by the server, and the completeness
// view; and the dispatcher's queue of situations, clicked in a browser that
// holds a token. The screenshots (of the docs) land in the build folder.
#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>

#include "collect/http/server.hpp"
#include "collect/http/tokens.hpp"
#include "collect/views/json_shapes.hpp"
#include "collect/views/periods.hpp"
#include "fleet_e2e.hpp"
#include "forwarding_store.hpp"
#include "support/browser_session.hpp"
#include "support/free_port.hpp"
#include "support/headless_browser.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// The requests the page's server logged (logs/http-*.log) that name `what`.
std::size_t Logged(const std::filesystem::path& home, const std::string& what) {
  return test::Occurrences(test::LogFiles(home, "http-"), what);
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
  const std::size_t fleetAsked = Logged(home.Path(), "/api/instruments?page=1&");
  const std::string dom = browser.DumpDom(url);
  ASSERT_FALSE(dom.empty()) << browser.Log();
  EXPECT_NE(dom.find("data-loaded=\"1\""), std::string::npos) << "the script did not finish";
  // One request for the fleet's first page, none per meter.
  EXPECT_EQ(Logged(home.Path(), "/api/instruments?page=1&"), fleetAsked + 1);
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

// The rows of `dom` whose class begins with "health-".
std::size_t MeterRows(const std::string& dom) { return test::Occurrences(dom, "<tr class=\"health-"); }

// 120 meters in a store, served in-process: the page asks the server for one
// page at a time (three pages of 50), the text filter goes to the server and
// ignores case, and the completeness view colours each day of a meter with a
// known history.
TEST(HttpBrowser, TheFleetIsPagedAndFilteredByTheServerAndTheDaysAreColoured) {
  auto owned = test::ForwardingStore::Sqlite();
  store::RecordStore& db = *owned;
  for (int n = 1; n <= 120; ++n)
    ASSERT_TRUE(db.UpsertInstrument({"S" + std::to_string(n), "LDN-08", "счётчик-" + std::to_string(n),
                                     "линия-" + std::to_string(n % 4 + 1), n, "2026-11-01T00:00:00Z", "", 3600}));
  // G1 from 12-04 on: 12-05 only to 09:00, nothing of 12-06, the rest whole.
  ASSERT_TRUE(db.UpsertInstrument({"G1", "LDN-08", "а-пропуски", "линия-0", 1, "2026-12-04T00:00:00Z", "", 3600}));
  std::vector<store::RecordRow> rows;
  for (std::int64_t h = *HourNumber("2026-12-04 00:00"); h < *HourNumber("2026-12-08 10:00"); ++h) {
    const std::string p = HourPeriod(h);
    if ((p > "2026-12-05 09:00" && p < "2026-12-07")) continue;
    store::RecordRow r;
    r.serial = "G1";
    r.period = p;
    r.raw = "00";
    rows.push_back(std::move(r));
  }
  ASSERT_TRUE(db.PutRecords(rows));
  FleetLive live;
  live.now = [] { return *UtcMoment("2026-12-08T10:30:00Z"); };
  live.nowPeriod = [] { return std::string("2026-12-08 10:00"); };
  std::mutex mutex;
  std::vector<std::string> asked;
  HttpOptions options;
  options.access = [&](const std::string& line) {
    const std::scoped_lock lock(mutex);
    asked.push_back(line);
  };
  HttpServer server(std::make_shared<FleetApi>(std::move(owned), std::move(live)), nullptr, options);
  ASSERT_TRUE(server.Start({"127.0.0.1", 0}));
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  const auto askedFor = [&](const std::string& what) {
    const std::scoped_lock lock(mutex);
    std::size_t n = 0;
    for (const auto& a : asked) n += a.find(what) != std::string::npos;
    return n;
  };

  test::HeadlessBrowser browser;
  const std::string first = browser.DumpDom(url);
  ASSERT_NE(first.find("data-loaded=\"1\""), std::string::npos) << browser.Log();
  EXPECT_EQ(MeterRows(first), 50u);
  EXPECT_NE(first.find("Страница 1 из 3"), std::string::npos);
  EXPECT_NE(first.find("Приборов: 121"), std::string::npos);
  // Worst first (never read), then by line and name as people count: 4, 8, 12.
  EXPECT_LT(first.find(">счётчик-4<"), first.find(">счётчик-8<"));
  EXPECT_LT(first.find(">счётчик-8<"), first.find(">счётчик-12<"));
  const std::string last = browser.DumpDom(url + "?page=3");
  EXPECT_EQ(MeterRows(last), 21u);
  EXPECT_NE(last.find("Страница 3 из 3"), std::string::npos);
  EXPECT_EQ(askedFor("/api/instruments?page=3&per=50"), 1u);
  EXPECT_EQ(askedFor("GET /api/instruments "), 0u) << "the whole fleet was asked for";
  // счётчик-11 and 110..119, whatever the case.
  const std::string found = browser.DumpDom(url + "?q=" + httplib::detail::encode_query_param("СЧЁТЧИК-11"));
  EXPECT_EQ(MeterRows(found), 11u) << found;
  EXPECT_NE(found.find("показано 1–11 из 11 (всего 121)"), std::string::npos);

  const std::string days = browser.DumpDom(url + "?view=complete");
  const auto from = days.find("<tr data-serial=\"G1\">");
  ASSERT_NE(from, std::string::npos) << days;
  const std::string g1 = days.substr(from, days.find("</tr>", from) - from);
  // 31 days to 12-08: 26 before its first record, then 12-04 whole, 12-05
  // in part, 12-06 none, 12-07 whole, today's hours before 10:00 whole.
  EXPECT_EQ(test::Occurrences(g1, "cell c-before"), 26u) << g1;
  EXPECT_EQ(test::Occurrences(g1, "cell c-full"), 3u) << g1;
  EXPECT_EQ(test::Occurrences(g1, "cell c-part"), 1u) << g1;
  EXPECT_EQ(test::Occurrences(g1, "cell c-none"), 1u) << g1;
  EXPECT_LT(g1.find("c-part"), g1.find("c-none"));
  EXPECT_EQ(askedFor("/api/completeness?days=31&page=1&per=50"), 1u);
  const auto png = std::filesystem::path(test::BinaryDir()) / "collect-completeness.png";
  EXPECT_TRUE(browser.Screenshot(url + "?view=complete", png, 1400, 900)) << browser.Log();
}

// The queue: the open situations, the newest first, each kind in the
// server's words (one the page does not know by its name); "Принять" in a
// browser that holds a token acknowledges one in the token's name and the
// page says so. A meter's timeline has a bar a situation, the open one up to now.
TEST(HttpBrowser, TheQueueShowsTheOpenSituationsAndAcknowledgesOneInTheTokensName) {
  auto owned = test::ForwardingStore::Sqlite();
  test::ForwardingStore* db = owned.get();
  ASSERT_TRUE(
      db->UpsertInstrument({"50179157", "VTK-08.14 C", "Котельная", "site", 3, "2026-11-01T00:00:00Z", "", 3600}));
  ASSERT_TRUE(db->UpsertInstrument({"G2", "LDN-08", "ЦТП-5", "site", 5, "2026-11-01T00:00:00Z", "", 3600}));
  const std::vector<store::SituationRow> boiler{
      {.kind = "night_flow", .source = "rule", .fromPeriod = "2026-12-05 02:00", .hours = 81},
      {.kind = "flag",
       .source = "flags",
       .fromPeriod = "2026-11-20 10:00",
       .toPeriod = "2026-11-20 14:00",
       .hours = 5,
       .detail = "Gmax"},
      {.kind = "power_off",
       .source = "events",
       .fromPeriod = "2026-11-25 22:00",
       .toPeriod = "2026-11-26 02:00",
       .hours = 5}};
  const std::vector<store::SituationRow> station{
      {.kind = "no_consumption", .source = "rule", .fromPeriod = "2026-11-30 00:00", .hours = 202},
      {.kind = "future_kind", .source = "rule", .fromPeriod = "2026-12-07 00:00", .hours = 34}};
  ASSERT_TRUE(db->PutSituations("50179157", boiler, "2026-12-08T10:00:00Z"));
  ASSERT_TRUE(db->PutSituations("G2", station, "2026-12-08T10:00:00Z"));
  link_test::TempFolder home;
  auto token = TokenFile(home.Path() / "http-tokens").Add("dispatcher");
  ASSERT_TRUE(token);
  FleetLive live;
  live.now = [] { return *UtcMoment("2026-12-08T10:30:00Z"); };
  live.nowPeriod = [] { return std::string("2026-12-08 10:00"); };
  live.ackSituation = [db](std::int64_t id, const std::string& by) { return db->AckSituation(id, by, ""); };
  HttpOptions options;
  options.tokens = std::make_shared<TokenCheck>(home.Path() / "http-tokens");
  HttpServer server(std::make_shared<FleetApi>(std::move(owned), std::move(live)), nullptr, options);
  ASSERT_TRUE(server.Start({"127.0.0.1", 0}));
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";

  test::BrowserSession browser;
  ASSERT_TRUE(browser.Open(url + "?view=situations", {{"Authorization", "Bearer " + *token}}, 1400, 900))
      << browser.Log();
  ASSERT_TRUE(browser.WaitFor("document.body.dataset.loaded === '1' && document.querySelector('#queue button.ack')"))
      << browser.Log();
  // Only the open ones (the choice the page starts with), the newest first.
  EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#queue tbody tr')].map(r => r.dataset.kind).join()"),
            "future_kind,night_flow,no_consumption");
  EXPECT_EQ(browser.Eval("document.querySelector('#queue tr[data-kind=future_kind] td').textContent"), "future_kind");
  EXPECT_EQ(browser.Eval("document.querySelector('#queue tr[data-kind=night_flow] td').textContent"), "Ночной расход");
  EXPECT_EQ(browser.Eval("document.querySelector('#view-situations .count').textContent"), "3");

  ASSERT_EQ(browser.Eval("document.querySelector('#queue tr[data-kind=night_flow] button.ack').click()"), nullptr);
  ASSERT_TRUE(browser.WaitFor("document.getElementById('queue-result').className === 'done'"))
      << browser.Eval("document.getElementById('queue-result').textContent");
  EXPECT_EQ(browser.Eval("document.getElementById('queue-result').textContent"),
            "Ситуация «Ночной расход» прибора Котельная принята (dispatcher)");
  const auto acked = db->Situations({.kind = "night_flow"}).value();
  ASSERT_EQ(acked.size(), 1u);
  EXPECT_EQ(acked[0].ackBy, "dispatcher");
  // The queue asked again: the row says who took it, and has no button.
  EXPECT_TRUE(
      browser.WaitFor("!document.querySelector('#queue tr[data-kind=night_flow] button.ack') && "
                      "document.querySelector('#queue tr[data-kind=night_flow]').textContent.includes('dispatcher')"));
  EXPECT_TRUE(browser.Screenshot(std::filesystem::path(test::BinaryDir()) / "collect-situations.png"));

  // The meter opened from the queue: its three situations on the time axis.
  browser.Eval("document.querySelector('#queue tr[data-kind=night_flow] td.meter a').click()");
  ASSERT_TRUE(browser.WaitFor("document.querySelector('#detail-situations svg.timeline')"));
  EXPECT_EQ(browser.Eval("document.querySelectorAll('#detail-situations rect.sit').length"), 3);
  EXPECT_EQ(browser.Eval("document.querySelectorAll('#detail-situations rect.sit.open').length"), 1);
  // The open one ends at the line of now; the closed ones before it.
  EXPECT_EQ(
      browser.Eval("(() => { const r = document.querySelector('#detail-situations rect.sit.open'); "
                   "const n = document.querySelector('#detail-situations line.now'); "
                   "return Math.round(+r.getAttribute('x') + +r.getAttribute('width') - +n.getAttribute('x1')); })()"),
      0);
  browser.Eval("document.getElementById('detail').scrollIntoView()");
  EXPECT_TRUE(browser.Screenshot(std::filesystem::path(test::BinaryDir()) / "collect-timeline.png"));
}

}  // namespace
}  // namespace statvtk::collect
