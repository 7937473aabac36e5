// The REST API and page routes answered directly (no socket): the JSON
// shapes, the records as stored, and every kind of bad request refused with
// a 4xx and a JSON reason.
#include <gtest/gtest.h>

#include "collect/http/api.hpp"
#include "collect/views/periods.hpp"
#include "forwarding_store.hpp"
#include "store/sqlite_connection.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// The clock of these tests: 2026-12-08 10:30 UTC; the instruments' hour the same.
std::chrono::system_clock::time_point TestNow() { return *UtcMoment("2026-12-08T10:30:00Z"); }

class HttpApi : public ::testing::Test {
 protected:
  void SetUp() override {
    auto owned = test::ForwardingStore::Sqlite();
    store_ = owned.get();
    ASSERT_TRUE(store_->UpsertInstrument(
        {"00001234", "VTK-08.12", "Котельная №1", "north", 3, "2026-12-01T00:00:00Z", "", {}}));
    ASSERT_TRUE(store_->UpsertInstrument({"7", "LDN-08", "ЦТП", "south", 7, "2026-12-01T00:00:00Z", "", {}}));
    // 00001234: read well at 10:05; every hour of the last 7 days held but 2026-12-05 03..05.
    const auto id =
        *store_->StartRead({"00001234", "Котельная №1", "north", "2026-12-08T10:04:00Z", store::ReadMode::New});
    ASSERT_TRUE(
        store_->FinishRead(id, {"", "2026-12-08T10:05:00Z", store::ReadOutcome::Done, "", 40, "", 0, 0, 10, 0}));
    std::vector<store::RecordRow> rows;
    for (std::int64_t h = *HourNumber("2026-12-01 11:00"); h <= *HourNumber("2026-12-08 10:00"); ++h) {
      const std::string p = HourPeriod(h);
      if (p >= "2026-12-05 03:00" && p <= "2026-12-05 05:00") continue;
      store::RecordRow r;
      r.serial = "00001234";
      r.period = p;
      r.forwardTotal = 1000 + 0.5 * static_cast<double>(h % 1000);
      r.forwardIncrement = p == "2026-12-05 06:00" ? std::nullopt : std::optional<double>(0.5);
      r.reverseIncrement = r.forwardIncrement ? std::optional<double>(0.0) : std::nullopt;
      r.fields = R"({"counters":[1,2,3,4]})";
      r.raw = "ab";
      rows.push_back(r);
    }
    ASSERT_TRUE(store_->PutRecords(rows));
    // 7: its last read failed, the one before was good but long ago.
    const auto good = *store_->StartRead({"7", "ЦТП", "south", "2026-12-06T01:00:00Z", store::ReadMode::Full});
    ASSERT_TRUE(
        store_->FinishRead(good, {"", "2026-12-06T01:02:00Z", store::ReadOutcome::Done, "", 9, "", 0, 0, 0, 0}));
    const auto bad = *store_->StartRead({"7", "ЦТП", "south", "2026-12-08T10:00:00Z", store::ReadMode::New});
    ASSERT_TRUE(store_->FinishRead(
        bad, {"", "2026-12-08T10:00:30Z", store::ReadOutcome::Failed, "Прибор не отвечает [2]", 3, "", 0, 0, 0, 0}));
    store::FindingRow f;
    f.serial = "00001234";
    f.kind = store::FindingKind::TotalDown;
    f.archive = ArchiveKind::Hourly;
    f.period = "2026-12-04 01:00";
    f.detail = "V+ 1000.5 -> 999.0";
    ASSERT_TRUE(store_->AddFinding(f));

    FleetLive live;
    live.now = TestNow;
    live.nowPeriod = [] { return std::string("2026-12-08 10:00"); };
    live.everySeconds = [](const std::string&) { return std::optional<std::int64_t>(3600); };
    live.nextDueUtc = [](const std::string& name, const std::string&) {
      return name == "ЦТП" ? "2026-12-08T11:00:00Z" : "";
    };
    live.lines = [] { return std::vector<LineFigures>{{"north", 5, 1, 200, 3}, {"south", 0, 2, 6, 6}}; };
    api_ = std::make_unique<FleetApi>(std::move(owned), std::move(live));
  }

  Json Get(std::string_view path, const QueryParams& q = {}, int status = 200) {
    const HttpAnswer a = api_->Answer("GET", path, q);
    EXPECT_EQ(a.status, status) << path << ": " << a.body;
    EXPECT_EQ(a.contentType, "application/json; charset=utf-8");
    return Json::parse(a.body);
  }

  test::ForwardingStore* store_ = nullptr;
  std::unique_ptr<FleetApi> api_;
};

TEST_F(HttpApi, InstrumentsListTheFleetWithHealthCompletenessAndFailure) {
  const Json list = Get("/api/instruments");
  ASSERT_EQ(list.size(), 2u);
  const Json* boiler = nullptr;
  const Json* ctp = nullptr;
  for (const auto& i : list) (i["serial"] == "7" ? ctp : boiler) = &i;
  ASSERT_TRUE(boiler && ctp);
  const Json boilerHas = Json::parse(R"({"name": "Котельная №1", "model": "VTK-08.12", "line": "north", "address": 3,
      "last_read_utc": "2026-12-08T10:05:00Z", "last_failure": null, "health": "ok"})");
  for (const auto& [key, want] : boilerHas.items()) EXPECT_EQ((*boiler)[key], want) << key;
  EXPECT_EQ((*boiler)["records"]["hourly"], 7 * 24 - 3);
  const double hourly = (*boiler)["completeness_pct"]["hourly"];
  // The window is the 168 closed hours before 10:00: 12-01 10:00 is not held, nor the three of 12-05.
  EXPECT_NEAR(hourly, 100.0 * (7 * 24 - 4) / (7 * 24), 0.01);
  ASSERT_EQ((*boiler)["findings"].size(), 1u);
  EXPECT_EQ((*boiler)["findings"][0]["kind"], "total_down");

  const Json ctpHas = Json::parse(R"({"health": "down", "last_read_utc": "2026-12-06T01:02:00Z",
      "next_due_utc": "2026-12-08T11:00:00Z"})");  // its good read is 57 hours old: down
  for (const auto& [key, want] : ctpHas.items()) EXPECT_EQ((*ctp)[key], want) << key;
  EXPECT_EQ((*ctp)["last_failure"]["reason"], "Прибор не отвечает [2]");
}

// The paged shape comes with the paging parameters only: bounds, the cap
// on per=, the filter and the refusals; the completeness view's hours per
// day and the reads per line and day of the same store.
TEST_F(HttpApi, PagesOfTheFleetKeepTheirBoundsAndCountTheDays) {
  const Json first = Get("/api/instruments", {{"page", "1"}, {"per", "1"}});
  EXPECT_EQ(first["total"], 2);
  EXPECT_EQ(first["pages"], 2);
  ASSERT_EQ(first["rows"].size(), 1u);
  EXPECT_EQ(first["rows"][0]["serial"], "7");  // worst first: down before ok
  EXPECT_EQ(first["states"][0]["health"], "down");
  const Json past = Get("/api/instruments", {{"page", "3"}, {"per", "1"}});
  EXPECT_TRUE(past["rows"].empty());
  EXPECT_EQ(past["total"], 2);
  EXPECT_EQ(Get("/api/instruments", {{"per", "100000"}})["per"], 200);
  const std::pair<const char*, int> filters[] = {{"котельная", 1}, {"NORTH", 1}, {"0000", 1}, {"нет такого", 0}};
  for (const auto& [q, n] : filters) EXPECT_EQ(Get("/api/instruments", {{"q", q}})["total"], n) << q;
  EXPECT_EQ(Get("/api/instruments", {{"state", "ok,down"}})["total"], 2);
  EXPECT_EQ(Get("/api/instruments", {{"state", "late"}})["total"], 0);
  const std::pair<const char*, QueryParams> bad[] = {
      {"/api/instruments", {{"page", "0"}}},   {"/api/instruments", {{"page", "x"}}},
      {"/api/instruments", {{"per", "0"}}},    {"/api/instruments", {{"state", "good"}}},
      {"/api/instruments", {{"sort", "up"}}},  {"/api/completeness", {{"days", "0"}}},
      {"/api/completeness", {{"days", "63"}}}, {"/api/read-rates", {{"serial", "7"}}}};
  for (const auto& [path, q] : bad) Get(path, q, 400);

  // 00001234 holds 12-01 11:00 onwards, all but 12-05 03..05; 7 holds no hour.
  const Json c = Get("/api/completeness", {{"days", "8"}});
  ASSERT_EQ(c["days"].size(), 8u);
  EXPECT_EQ(c["days"][0], "2026-12-01");
  EXPECT_EQ(c["hours_due"][7], 10);  // today: the hours before 10:00
  ASSERT_EQ(c["rows"].size(), 2u);
  EXPECT_EQ(c["rows"][0]["serial"], "00001234");  // line north before south
  EXPECT_EQ(c["rows"][0]["hours"], Json::parse("[13, 24, 24, 24, 21, 24, 24, 10]"));
  EXPECT_TRUE(c["rows"][1]["first"].is_null());
  EXPECT_TRUE(c["rows"][1]["hours"][7].is_null());
  const Json rates = Get("/api/read-rates", {{"days", "3"}});
  EXPECT_EQ(rates["lines"], Json::parse(R"([{"line": "north", "reads": [0, 0, 1], "done": [0, 0, 1]},
                                             {"line": "south", "reads": [1, 0, 1], "done": [1, 0, 0]}])"));
}

TEST_F(HttpApi, RecordsAreTheStoredRowsWithUnknownIncrementsAsNull) {
  const Json j =
      Get("/api/instruments/00001234/records", {{"archive", "hourly"}, {"from", "2026-12-05"}, {"to", "2026-12-05"}});
  EXPECT_EQ(j["serial"], "00001234");
  EXPECT_EQ(j["archive"], "hourly");
  const Json& rows = j["records"];
  ASSERT_EQ(rows.size(), 21u);  // the whole day but its three missing hours
  EXPECT_EQ(rows.front()["period"], "2026-12-05 00:00");
  EXPECT_EQ(rows.back()["period"], "2026-12-05 23:00");
  EXPECT_EQ(rows[3]["period"], "2026-12-05 06:00");
  EXPECT_TRUE(rows[3]["forward_increment"].is_null());
  EXPECT_TRUE(rows[3]["reverse_increment"].is_null());
  EXPECT_EQ(rows[4]["forward_increment"], 0.5);
  EXPECT_EQ(rows[4]["fields"]["counters"][3], 4);
  const Json hour = Get("/api/instruments/00001234/records", {{"from", "2026-12-05T07"}, {"to", "2026-12-05 08:00"}});
  ASSERT_EQ(hour["records"].size(), 2u);
  const Json limited = Get("/api/instruments/00001234/records", {{"limit", "5"}});
  EXPECT_EQ(limited["records"].size(), 5u);
}

TEST_F(HttpApi, OverviewGivesDailyVolumesAndTheGaps) {
  const Json o = Get("/api/instruments/00001234/overview");
  ASSERT_EQ(o["days"].size(), 7u);
  EXPECT_EQ(o["days"][0]["day"], "2026-12-02");
  EXPECT_EQ(o["days"][6]["day"], "2026-12-08");
  EXPECT_EQ(o["days"][6]["hours"], 11);
  EXPECT_DOUBLE_EQ(o["days"][6]["volume"].get<double>(), 5.5);
  EXPECT_DOUBLE_EQ(o["days"][3]["volume"].get<double>(), 0.5 * 20);  // 12-05: 21 hours, one without increment
  ASSERT_EQ(o["gaps"].size(), 1u);
  EXPECT_EQ(
      o["gaps"][0],
      Json::parse(R"({"archive": "hourly", "from": "2026-12-05 03:00", "to": "2026-12-05 05:00", "missing": 3})"));
  const Json none = Get("/api/instruments/7/overview");
  EXPECT_TRUE(none["days"][0]["volume"].is_null());
}

TEST_F(HttpApi, ReadsAndFindingsAreListedNewestFirst) {
  const Json reads = Get("/api/reads", {{"serial", "7"}, {"limit", "1"}});
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0]["outcome"], "failed");
  EXPECT_EQ(reads[0]["error"], "Прибор не отвечает [2]");
  EXPECT_EQ(Get("/api/reads").size(), 3u);
  const Json findings = Get("/api/findings");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0]["archive"], "hourly");
  EXPECT_EQ(findings[0]["detail"], "V+ 1000.5 -> 999.0");
}

struct BadRequest {
  const char* method;
  const char* path;
  QueryParams query;
  int status;
  const char* reasonHas;
};

TEST_F(HttpApi, BadRequestsGetA4xxWithTheReason) {
  const BadRequest cases[] = {
      {"GET", "/api/instruments/99999999/records", {}, 404, "99999999"},
      {"GET", "/api/instruments/99999999/overview", {}, 404, "99999999"},
      {"GET", "/api/reads", {{"serial", "nobody"}}, 404, "nobody"},
      {"GET", "/api/instruments/00001234/records", {{"from", "2026-02-30"}}, 400, "from"},
      {"GET", "/api/instruments/00001234/records", {{"to", "вчера"}}, 400, "to"},
      {"GET", "/api/instruments/00001234/records", {{"from", "2026-13-01"}}, 400, "from"},
      {"GET", "/api/instruments/00001234/records", {{"from", "2026-12-05 24:00"}}, 400, "from"},
      {"GET", "/api/instruments/00001234/records", {{"from", "2026-12-06"}, {"to", "2026-12-05"}}, 400, "from"},
      {"GET", "/api/instruments/00001234/records", {{"archive", "weekly"}}, 400, "archive"},
      {"GET", "/api/instruments/00001234/records", {{"limit", "0"}}, 400, "limit"},
      {"GET", "/api/instruments/00001234/records", {{"limit", "-5"}}, 400, "limit"},
      {"GET", "/api/instruments/00001234/records", {{"limit", "99999999999999999999"}}, 400, "limit"},
      {"GET", "/api/instruments/00001234/records", {{"limit", "1000000"}}, 413, "limit"},
      {"GET", "/api/instruments/00001234/records", {{"drop", "table"}}, 400, "drop"},
      {"GET", "/api/reads", {{"limit", "5000"}}, 413, "limit"},
      {"GET", "/api/instruments/%zz/records", {}, 400, "номер"},
      {"GET", "/api/instruments/%00/records", {}, 400, "номер"},
      {"GET", "/api/instruments", {{"x", "1"}}, 400, "параметр"},
      {"GET", "/api/instruments/00001234/events", {}, 404, "адреса"},
      {"GET", "/etc/passwd", {}, 404, "адреса"},
      {"GET", "/../collect.sqlite", {}, 404, "адреса"},
      {"GET", "/api", {}, 404, "адреса"},
      {"POST", "/api/instruments", {}, 405, "GET"},
      {"DELETE", "/api/reads", {}, 405, "GET"},
  };
  for (const auto& c : cases) {
    const HttpAnswer a = api_->Answer(c.method, c.path, c.query);
    EXPECT_EQ(a.status, c.status) << c.method << " " << c.path << ": " << a.body;
    const Json j = Json::parse(a.body, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << c.path << ": " << a.body;
    EXPECT_EQ(j["status"], c.status);
    EXPECT_NE(j["error"].get<std::string>().find(c.reasonHas), std::string::npos) << c.path << ": " << a.body;
  }
}

TEST_F(HttpApi, ManyParametersOrTooManyRecordsAreRefused) {
  QueryParams many;
  for (int i = 0; i < 40; ++i) many.emplace_back("from", "2026-12-01");
  EXPECT_EQ(api_->Answer("GET", "/api/instruments/00001234/records", many).status, 400);
  std::vector<store::RecordRow> rows;
  for (std::int64_t h = *HourNumber("2020-01-01 00:00"); h < *HourNumber("2020-01-01 00:00") + 20001; ++h) {
    store::RecordRow r;
    r.serial = "7";
    r.period = HourPeriod(h);
    r.raw = "00";
    rows.push_back(r);
  }
  ASSERT_TRUE(store_->PutRecords(rows));
  const HttpAnswer all = api_->Answer("GET", "/api/instruments/7/records", {});
  EXPECT_EQ(all.status, 413);
  EXPECT_NE(all.body.find("from..to"), std::string::npos);
  EXPECT_EQ(api_->Answer("GET", "/api/instruments/7/records", {{"to", "2020-01-31"}}).status, 200);
}

TEST_F(HttpApi, ASerialWithReservedCharactersIsEscapedInThePath) {
  ASSERT_TRUE(store_->UpsertInstrument({"12#4/6+8", "VTK-08.14 C", "Узел", "north", 9, "", "", {}}));
  const Json j = Get("/api/instruments/12%234%2F6%2B8/records");
  EXPECT_EQ(j["serial"], "12#4/6+8");
}

TEST_F(HttpApi, AStoreThatIsDownIsA503AnyOtherStoreFailureA500AndMetricsStillAnswer) {
  for (const auto [code, status] : {std::pair{ErrorCode::StoreUnreachable, 503}, std::pair{ErrorCode::StoreBusy, 503},
                                    std::pair{ErrorCode::StoreCorrupt, 500}, std::pair{ErrorCode::StoreFailed, 500}}) {
    store_->SetHook([code](std::string_view) -> std::optional<Error> { return MakeError(code, "store down"); });
    for (const char* path : {"/api/instruments", "/api/reads", "/api/findings"}) {
      const HttpAnswer a = api_->Answer("GET", path, {});
      EXPECT_EQ(a.status, status) << path << " " << static_cast<int>(code);
      EXPECT_NE(a.body.find("store down"), std::string::npos) << path;
    }
    // The collector's own counters still answer, with the store said down.
    const HttpAnswer m = api_->Answer("GET", "/metrics", {});
    EXPECT_EQ(m.status, 200);
    for (const char* line : {"statvtk_store_up 0\n", "statvtk_reads_total{line=\"north\",outcome=\"done\"} 5\n"})
      EXPECT_NE(m.body.find(line), std::string::npos) << line << m.body;
    EXPECT_EQ(m.body.find("statvtk_instrument_health{"), std::string::npos);
  }
}

TEST_F(HttpApi, AFindingAcknowledgedByPostStopsCountingAsOpen) {
  EXPECT_EQ(api_->Post("/api/findings/1/ack", "grafana").status, 503);  // no writer to take it
  FleetLive live;
  live.ackFinding = [this](std::int64_t id, const std::string& by) {
    return store_->AckFinding(id, by, "2026-12-08T10:00:00Z");
  };
  auto store = test::ForwardingStore::Sqlite();
  store_ = store.get();
  store::FindingRow f;
  f.serial = "7";
  f.detail = "x";
  ASSERT_TRUE(store_->AddFinding(f));
  ASSERT_TRUE(store_->UpsertInstrument({"7", "VTK-08.12", "ЦТП", "south", 1, "", "", {}}));
  FleetApi api(std::move(store), live);
  EXPECT_EQ(api.Post("/api/findings/1/ack", "-").status, 403);  // the API is open: still a token to change it
  EXPECT_EQ(api.Post("/api/findings/x/ack", "grafana").status, 400);
  EXPECT_EQ(api.Post("/api/findings/1", "grafana").status, 405);
  const HttpAnswer ok = api.Post("/api/findings/1/ack", "grafana");
  EXPECT_EQ(ok.status, 200) << ok.body;
  EXPECT_EQ(api.Post("/api/findings/1/ack", "grafana").status, 404);  // not open any more
  const Json list = Json::parse(api.Answer("GET", "/api/instruments", {}).body);
  EXPECT_EQ(list.at(0)["open_findings"], 0);
  EXPECT_EQ(list.at(0)["findings"].at(0)["acked_by"], "grafana");
  EXPECT_NE(api.Answer("GET", "/metrics", {})
                .body.find("statvtk_open_findings{serial=\"7\",name=\"ЦТП\",line=\"south\"} 0\n"),
            std::string::npos);
}

// The situations a page at a time: open first, then newest; per= cut to
// 200, the list without page= to 1000; q= by the meter's name whatever the
// case; the total and the open counted; the kinds in words.
TEST_F(HttpApi, SituationsArePagedOpenFirstThenNewestAndNeverUnbounded) {
  std::vector<store::SituationRow> found;
  for (std::int64_t h = 0; h < 1010; ++h) {
    store::SituationRow s{.kind = "flag", .source = "flags", .hours = 1, .detail = "Gmax"};
    s.fromPeriod = HourPeriod(*HourNumber("2026-11-01 00:00") + h);
    if (h != 5) s.toPeriod = s.fromPeriod;  // one open, among the oldest
    found.push_back(s);
  }
  ASSERT_TRUE(store_->PutSituations("00001234", found, "2026-12-08T10:00:00Z"));
  const std::vector<store::SituationRow> other{
      {.kind = "no_consumption", .source = "rule", .fromPeriod = "2026-11-20 00:00", .hours = 200}};
  ASSERT_TRUE(store_->PutSituations("7", other, "2026-12-08T10:00:00Z"));

  const Json page = Get("/api/situations", {{"page", "2"}, {"per", "500"}});
  const Json pageHas = Json::parse(R"({"per": 200, "total": 1011, "pages": 6, "open": 2, "now": "2026-12-08 10:00"})");
  for (const auto& [key, want] : pageHas.items()) EXPECT_EQ(page[key], want) << key;
  ASSERT_EQ(page["rows"].size(), 200u);
  // Page 1: the two open ones (the newer first), then the newest closed.
  EXPECT_EQ(page["rows"][0]["from"], HourPeriod(*HourNumber("2026-11-01 00:00") + 1009 - 198));
  const Json first = Get("/api/situations", {{"per", "3"}});
  EXPECT_EQ(first["rows"][0]["kind_text"], "Нет потребления");
  EXPECT_EQ(first["rows"][0]["name"], "ЦТП");
  EXPECT_EQ(first["rows"][1]["from"], "2026-11-01 05:00");
  EXPECT_EQ(first["rows"][2]["from"], HourPeriod(*HourNumber("2026-11-01 00:00") + 1009));
  EXPECT_EQ(first["kinds"][0]["kind"], "flag");

  EXPECT_EQ(Get("/api/situations").size(), 1000u);  // the bare list, as before, bounded
  const Json found1 = Get("/api/situations", {{"q", "КОТЕЛЬНАЯ"}, {"open", "1"}, {"page", "1"}});
  EXPECT_EQ(found1["total"], 1);
  EXPECT_EQ(found1["rows"][0]["serial"], "00001234");
  EXPECT_EQ(Get("/api/situations", {{"q", "нет такого"}, {"per", "5"}})["total"], 0);
  Get("/api/situations", {{"per", "0"}}, 400);
  Get("/api/situations", {{"page", "x"}}, 400);
}

TEST_F(HttpApi, MetricsAreInPrometheusTextFormat) {
  const HttpAnswer a = api_->Answer("GET", "/metrics", {});
  ASSERT_EQ(a.status, 200);
  EXPECT_EQ(a.contentType, "text/plain; version=0.0.4; charset=utf-8");
  for (const char* line : {
           "# TYPE statvtk_reads_total counter\n",
           "statvtk_reads_total{line=\"north\",outcome=\"done\"} 5\n",
           "statvtk_reads_total{line=\"south\",outcome=\"failed\"} 2\n",
           "statvtk_exchanges_total{line=\"north\"} 200\n",
           "statvtk_exchanges_failed_total{line=\"south\"} 6\n",
           "statvtk_records_stored{serial=\"00001234\",archive=\"hourly\"} 165\n",
           "statvtk_seconds_since_good_read{serial=\"00001234\",name=\"Котельная №1\",line=\"north\"} 1500\n",
           "statvtk_seconds_since_good_read{serial=\"7\",name=\"ЦТП\",line=\"south\"} 206880\n",
           "statvtk_store_up 1\n",
           "statvtk_instrument_health{serial=\"00001234\",name=\"Котельная №1\",line=\"north\",state=\"ok\"} 1\n",
           "statvtk_instrument_health{serial=\"7\",name=\"ЦТП\",line=\"south\",state=\"down\"} 1\n",
           "statvtk_failures_in_row{serial=\"7\",name=\"ЦТП\",line=\"south\"} 1\n",
           "statvtk_open_findings{serial=\"00001234\",name=\"Котельная №1\",line=\"north\"} 1\n",
           "statvtk_newest_record_age_seconds{serial=\"00001234\",name=\"Котельная "
           "№1\",line=\"north\",archive=\"hourly\"} ",
       })
    EXPECT_NE(a.body.find(line), std::string::npos) << line << "\n" << a.body;
}

// Collectors sharing the store: each instrument names the collector holding
// its line's lease (null once it expired), /api/collectors and /metrics list them.
TEST_F(HttpApi, CollectorsAndTheHoldersOfSharedLinesAreShown) {
  // "a" seen now and holding north; "b" not seen for years, its lease of
  // south run out 540 s ago (the store's clock).
  ASSERT_TRUE(store_->RegisterCollector({"a", "host-a", 11, "1", "", "", false}));
  ASSERT_TRUE(store_->RegisterCollector({"b", "host-b", 12, "1", "", "", false}));
  auto c = store::SqliteConnection::Open((store_->Folder() / "collect.sqlite").string(), 1000);  // past the store
  ASSERT_TRUE(c && (*c)->Exec("UPDATE collectors SET started_utc = '2020-01-01T08:00:00Z', "
                              "seen_utc = '2020-01-01T10:20:00Z' WHERE origin = 'b'"));
  ASSERT_TRUE(store_->TakeLease("north", "a", 3600));
  ASSERT_TRUE(store_->TakeLease("south", "b", -540));
  const Json fleet = Get("/api/instruments");
  ASSERT_EQ(fleet.size(), 2u);
  for (const auto& i : fleet) EXPECT_EQ(i["held_by"], i["line"] == "north" ? Json("a") : Json(nullptr)) << i.dump();
  const Json collectors = Get("/api/collectors");
  ASSERT_EQ(collectors.size(), 2u) << collectors.dump();
  EXPECT_EQ(collectors[0]["origin"].get<std::string>() + collectors[0]["host"].get<std::string>(), "ahost-a");
  EXPECT_EQ(collectors[0]["alive"], true);
  EXPECT_EQ(collectors[0]["seen_utc"].get<std::string>().size(), 20u);
  EXPECT_EQ(collectors[1], Json::parse(R"({"origin": "b", "host": "host-b", "started_utc": "2020-01-01T08:00:00Z",
                                          "seen_utc": "2020-01-01T10:20:00Z", "alive": false})"));
  const std::string metrics = api_->Answer("GET", "/metrics", {}).body;
  for (const char* line :
       {"statvtk_collector_alive{origin=\"a\"} 1\n", "statvtk_collector_alive{origin=\"b\"} 0\n",
        "statvtk_line_held{line=\"north\",origin=\"a\"} 1\n", "statvtk_line_held{line=\"south\",origin=\"b\"} 0\n"})
    EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
}

TEST_F(HttpApi, ThePageIsOneSelfContainedRussianDocument) {
  const HttpAnswer a = api_->Answer("GET", "/", {});
  ASSERT_EQ(a.status, 200);
  EXPECT_EQ(a.contentType, "text/html; charset=utf-8");
  EXPECT_NE(a.body.find("<html lang=\"ru\">"), std::string::npos);  // what it shows: HttpBrowser
  // Nothing from elsewhere: no external script, style, font or image.
  for (const char* outside : {"src=\"http", "href=\"http", "@import", "url(", "<link"})
    EXPECT_EQ(a.body.find(outside), std::string::npos) << outside;
}

TEST(HttpPeriods, TextsAreCheckedAndNormalized) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026", "2026"},
      {"2026-12", "2026-12"},
      {"2026-12-08", "2026-12-08"},
      {"2026-12-08T10", "2026-12-08 10"},
      {"2026-12-08 10:00", "2026-12-08 10:00"},
      {"2024-02-29", "2024-02-29"},
      {"2025-02-29", nullptr},
      {"2026-12-08 10:60", nullptr},
      {"2026-1-08", nullptr},
      {"", nullptr},
      {"2026-12-08 10:00:00", nullptr},
      {"'; DROP TABLE records; --", nullptr},
  };
  for (const auto& [in, out] : cases) {
    const auto got = NormalizedPeriod(in);
    if (out) {
      ASSERT_TRUE(got) << in;
      EXPECT_EQ(*got, out) << in;
    } else {
      EXPECT_FALSE(got) << in;
    }
  }
  EXPECT_EQ(HourPeriod(*HourNumber("2024-02-28 23:00") + 1), "2024-02-29 00:00");
  EXPECT_EQ(DayPeriod(*DayNumber("2026-12-31") + 1), "2027-01-01");
  EXPECT_EQ(UtcText(*UtcMoment("2026-03-29T01:59:58Z") + 2s), "2026-03-29T02:00:00Z");
}

}  // namespace
}  // namespace statvtk::collect
