// The one health rule, the alerts made from its changes, and a webhook that
// hears a line go down and come back.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "collect/alerts/sender.hpp"
#include "collect/alerts/watch.hpp"
#include "collect/commands.hpp"
#include "collect/fleet/health.hpp"
#include "fleet_e2e.hpp"
#include "support/free_port.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;

TEST(HealthRule, OneStateFromTheReadsTheIntervalTheHoursAndTheClock) {
  const Clock::time_point now = Clock::from_time_t(1'800'000'000);
  const struct {
    const char* what;
    std::optional<Clock::duration> age;  // of the last good read
    std::int64_t every;
    double hourly;
    int failures;
    bool clockOff;
    Health want;
  } cases[] = {
      {"never read", std::nullopt, 3600, 100, 5, false, Health::Never},
      {"fresh", 10min, 3600, 100, 0, false, Health::Ok},
      {"one failure since", 10min, 3600, 100, 1, false, Health::Late},
      {"silent after three failures", 10min, 3600, 100, 3, false, Health::Down},
      {"clock off, answering", 10min, 3600, 100, 0, true, Health::Clock},
      {"clock off and silent", 10min, 3600, 100, 3, true, Health::Down},
      {"clock years off: no hour in the days counted", 10min, 3600, 0, 0, true, Health::Clock},
      {"read a day ago, daily", 25h, 86400, 100, 0, false, Health::Ok},
      {"read a day ago, hourly", 25h, 3600, 100, 0, false, Health::Down},
      {"two hours, hourly", 2h, 3600, 100, 0, false, Health::Late},
      {"hours missing", 10min, 3600, 90, 0, false, Health::Late},
      {"most hours missing", 10min, 3600, 40, 0, false, Health::Down},
  };
  for (const auto& c : cases) {
    HealthFacts f;
    f.everyS = c.every;
    f.hourlyCompleteness = c.hourly;
    f.failuresInRow = c.failures;
    f.clockOff = c.clockOff;
    if (c.age) f.lastGood = now - *c.age;
    EXPECT_EQ(HealthName(HealthOf(f, now)), HealthName(c.want)) << c.what;
  }
}

InstrumentView View(const std::string& name, Health h) {
  InstrumentView v;
  v.instrument.name = name;
  v.instrument.line = "bus";
  v.instrument.serial = "S-" + name;
  v.health = h;
  v.down = h == Health::Down;
  return v;
}

store::FindingRow Finding(std::int64_t id, bool acked) {
  store::FindingRow f;
  f.id = id;
  f.kind = store::FindingKind::RepeatedHour;
  f.detail = "twice";
  if (acked) f.ackedUtc = "2026-12-10T00:00:00Z";
  return f;
}

std::vector<std::string> Kinds(const std::vector<AlertEvent>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) out.push_back(e.kind + ":" + e.state + ":" + e.instrument + e.line);
  return out;
}

TEST(AlertWatch, EachChangeIsRaisedOnceAndClearedOnce) {
  AlertWatch w;
  AlertPicture p;
  p.fleet = {View("boiler", Health::Ok), View("well", Health::Ok)};
  p.fleet[0].findings = {Finding(1, false)};
  EXPECT_TRUE(w.Look(p, "t").empty());  // a finding known at the start is not news

  p.fleet[1].health = Health::Down;
  p.fleet[1].down = true;
  p.linesDown = {{"bus", "connection refused"}};
  p.fleet[0].findings.insert(p.fleet[0].findings.begin(), Finding(2, false));
  const auto raised = w.Look(p, "t2");
  EXPECT_EQ(Kinds(raised), (std::vector<std::string>{"line_down:raised:bus", "instrument_down:raised:wellbus",
                                                     "finding:raised:boilerbus"}));
  ASSERT_FALSE(raised.empty());
  EXPECT_EQ(raised[0].timeUtc, "t2");
  EXPECT_TRUE(w.Look(p, "t3").empty());  // nothing changed: nothing told again

  p.fleet[1].health = Health::Clock;
  p.fleet[1].down = false;
  p.linesDown.clear();
  p.fleet[0].findings = {Finding(2, true)};  // acknowledged; 1 dropped out of the list: not cleared
  EXPECT_EQ(Kinds(w.Look(p, "t4")),
            (std::vector<std::string>{"line_down:cleared:bus", "instrument_down:cleared:wellbus",
                                      "instrument_clock:raised:wellbus", "finding:cleared:boilerbus"}));

  p.storeDown = "connection refused";
  p.fleet.clear();
  EXPECT_EQ(Kinds(w.Look(p, "t5")), (std::vector<std::string>{"store_down:raised:"}));
  const Json j = AlertJson(w.Look({}, "t6").at(0));
  EXPECT_EQ(j["kind"], "store_down");
  EXPECT_EQ(j["state"], "cleared");
  for (const char* key : {"instrument", "line", "serial", "text", "time"}) EXPECT_TRUE(j.contains(key)) << key;
}

// A situation open when they are first known is not news; one that opens
// is raised once, one that closes cleared once; a clock_drift is told as
// instrument_clock alone.
TEST(AlertWatch, ASituationIsRaisedWhenItOpensAndClearedWhenItCloses) {
  AlertWatch w;
  AlertPicture p;
  p.fleet = {View("boiler", Health::Ok)};
  store::SituationRow known, leak;
  known.id = 1, known.serial = p.fleet[0].instrument.serial, known.kind = "flag", known.detail = "Gmax";
  leak.id = 2, leak.serial = known.serial, leak.kind = "night_flow", leak.fromPeriod = "2026-12-06 02:00";
  store::SituationRow clock = leak;  // its alert is instrument_clock's, not a second one
  clock.id = 3, clock.kind = "clock_drift";
  p.situations = {known};
  EXPECT_TRUE(w.Look(p, "t").empty());
  p.situations = {known, leak, clock};
  const auto raised = w.Look(p, "t2");
  ASSERT_EQ(Kinds(raised), (std::vector<std::string>{"situation:raised:boilerbus"}));
  EXPECT_NE(raised[0].text.find("Ночной расход"), std::string::npos) << raised[0].text;
  p.situations.reset();  // not known this time: nothing told
  EXPECT_TRUE(w.Look(p, "t3").empty());
  p.situations = {known};
  EXPECT_EQ(Kinds(w.Look(p, "t4")), (std::vector<std::string>{"situation:cleared:boilerbus"}));
}

TEST(AlertSinks, TheCommandGetsTheEventOnStdinAndAFailureIsAReason) {
  std::signal(SIGPIPE, SIG_IGN);  // as statvtk-collect's main: a command may end without reading
  link_test::TempFolder dir;
  const std::string file = (dir.Path() / "event.json").string();
  EXPECT_EQ(RunWithInput("cat > '" + file + "'", "{\"kind\":\"line_down\"}", 30s), std::nullopt);
  EXPECT_EQ(link_test::ReadAll(file), "{\"kind\":\"line_down\"}");
  EXPECT_EQ(RunWithInput("exit 3", "{}", 30s), "AlertCommand= завершилась с кодом 3");
  // More than a pipe holds, to a program that reads none of it.
  EXPECT_EQ(RunWithInput("exit 0", std::string(1 << 20, 'x'), 30s), std::nullopt);
  // Nobody listens: the reason, never a hang (far less than the minute a
  // loaded machine could take; the sink's own time-outs are 5 and 10 s).
  const std::string url = "http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/hook";
  auto refused = std::make_shared<std::optional<std::string>>();
  ASSERT_TRUE(ReturnsWithin(60s, [refused, url] { *refused = PostJson(url, "{}"); })) << "the POST to nobody hangs";
  EXPECT_TRUE(refused->has_value());
}

// Whether the process is gone (or only a zombie: killed, not yet reaped by its new parent).
bool Gone(pid_t pid) {
  const std::string stat = link_test::ReadAll("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return stat.empty() || close == std::string::npos || stat.substr(close + 2, 1) == "Z";
}

// A command that hangs is killed past AlertCommandTimeout=, with the program
// it started; a sender's stop ends a hanging command at once, whatever its time.
TEST(AlertSinks, AHangingCommandIsKilledPastItsTimeAndNeverHoldsTheStop) {
  std::signal(SIGPIPE, SIG_IGN);
  link_test::TempFolder dir;
  const std::string pidFile = (dir.Path() / "pid").string(), started = (dir.Path() / "started").string();
  EXPECT_EQ(RunWithInput("sleep 600 & echo $! > '" + pidFile + "'; wait", "{}", 1s),
            "AlertCommand= не завершилась за 1 с: прервана");
  const std::string pid = link_test::ReadAll(pidFile);
  ASSERT_FALSE(pid.empty());
  EXPECT_TRUE(WaitUntil([&] { return Gone(std::stoi(pid)); }, 30s)) << pid;

  auto sender = std::make_unique<AlertSender>(
      AlertSinks{
          .webhook = "", .command = "touch '" + started + "'; exec sleep 600", .commandTimeout = std::chrono::hours(1)},
      nullptr);
  sender->Send({"line_down", "raised", "", "north", "", "Линия north не отвечает", "t"});
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(started); }, 30s));
  std::atomic<bool> stopped{false};
  std::jthread stopping([&] {
    sender.reset();
    stopped = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return stopped.load(); }, 30s));  // a minute with the command's old limit
}

// A receiver of the alerts on loopback: the events it was sent.
class Receiver {
 public:
  explicit Receiver(int port = 0) {
    server_.Post("/hook", [this](const httplib::Request& req, httplib::Response& res) {
      const std::scoped_lock lock(mutex_);
      events_.push_back(Json::parse(req.body, nullptr, false));
      res.status = 204;
    });
    port_ = port ? (server_.bind_to_port("127.0.0.1", port) ? port : 0) : server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Receiver() {
    server_.stop();
    thread_.join();
  }
  int Port() const { return port_; }
  bool Heard(const std::string& kind, const std::string& state, const std::string& line = "bus") {
    const std::scoped_lock lock(mutex_);
    for (const auto& e : events_)
      if (e.is_object() && e["kind"] == kind && e["state"] == state && e["line"] == line) return true;
    return false;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Json> events_;
};

TEST(AlertWebhook, AnEventNotTakenIsTriedAgainUntilTheReceiverIsBack) {
  const int port = test::FreeLoopbackPort();
  std::atomic<int> refused{0};
  AlertSender sender({.webhook = "http://127.0.0.1:" + std::to_string(port) + "/hook",
                      .command = "",
                      .firstPause = 20ms,
                      .longestPause = 200ms},
                     [&](const std::string& line) { refused += line.starts_with("AlertWebhook: "); });
  sender.Send({"line_down", "raised", "", "north", "", "Линия north не отвечает", "t"});
  ASSERT_TRUE(WaitUntil([&] { return refused >= 3; }));  // a few tries meet nobody
  Receiver late(port);
  ASSERT_EQ(late.Port(), port);
  EXPECT_TRUE(WaitUntil([&] { return late.Heard("line_down", "raised", "north"); }));
}

TEST(AlertWebhook, ALineThatGoesAwayAndComesBackIsToldDownThenCleared) {
  link_test::TempFolder dir;
  Receiver hook;
  ASSERT_GT(hook.Port(), 0);
  const int port = test::FreeLoopbackPort();
  const std::vector<std::string> simArgs{test::BinaryDir() + "/statvtk-sim", "--bus", "0812@3", "--tcp",
                                         std::to_string(port)};
  auto sim = std::make_unique<test::ChildProcess>(simArgs, dir.Path() / "sim.log");
  link_test::WriteAll(
      dir.Path() / "collect.ini",
      "[Collector]\nAlertWebhook=http://127.0.0.1:" + std::to_string(hook.Port()) +
          "/hook\nAlertEvery=1s\nRetryFirst=1s\nKeepFiles=none\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:" +
          std::to_string(port) +
          "\nConnectTimeout=1\n\n[Instrument boiler]\nLine=bus\nAddress=3\n"
          "Every=2s\nKinds=daily\n");
  auto collector = test::CollectInBackground(dir.Path(), "run");
  const auto log = [&] { return link_test::ReadAll(dir.Path() / "collect.out"); };
  ASSERT_TRUE(WaitUntil([&] { return log().find("прочитан") != std::string::npos; }, 60s)) << log();
  sim.reset();  // the device server goes away
  ASSERT_TRUE(WaitUntil([&] { return hook.Heard("line_down", "raised"); }, 60s)) << log();
  sim = std::make_unique<test::ChildProcess>(simArgs, dir.Path() / "sim2.log");
  EXPECT_TRUE(WaitUntil([&] { return hook.Heard("line_down", "cleared"); }, 60s)) << log();
}

Json StatusJson(const std::filesystem::path& home) {
  std::ostringstream out, err;
  EXPECT_EQ(Dispatch({"status", "--json", "--home", home.string()}, out, err), kExitOk) << err.str();
  const Json status = Json::parse(out.str(), nullptr, false);
  return status.is_object() ? status["instruments"] : status;
}

// The simulated instrument's history closes one hour twice (its clock set
// back): a repeated hour in words, no conflict; acknowledged, nothing open.
TEST(CollectFindings, ARepeatedHourIsNamedAndAcknowledgedFindingsStopCountingAsOpen) {
  link_test::TempFolder dir;
  test::SimOnTcp sim(dir.Path(), {"--bus", "0812@3"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(dir.Path() / "collect.ini", "[Collector]\nKeepFiles=none\n\n" +
                                                      test::LineSection("site", sim.Port()) +
                                                      test::InstrumentSection("boiler", "site", 3));
  ASSERT_EQ(test::Collect(dir.Path(), {"once"}), kExitOk) << link_test::ReadAll(dir.Path() / "collect.out");
  Json fleet = StatusJson(dir.Path());
  ASSERT_EQ(fleet.size(), 1u);
  std::vector<std::string> kinds;
  for (const auto& f : fleet[0]["findings"]) kinds.push_back(f["kind"]);
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), "repeated_hour"), kinds.end()) << fleet.dump();
  EXPECT_EQ(std::find(kinds.begin(), kinds.end(), "conflict"), kinds.end()) << fleet.dump();
  EXPECT_EQ(fleet[0]["open_findings"], fleet[0]["findings"].size());

  std::ostringstream out, err;
  const std::string home = dir.Path().string(), serial = fleet[0]["serial"];
  EXPECT_EQ(Dispatch({"ack", "--serial", serial, "--by", "ivanov", "--home", home}, out, err), kExitOk) << err.str();
  const std::int64_t first = fleet[0]["findings"][0]["id"];
  EXPECT_EQ(Dispatch({"ack", std::to_string(first), "--home", home}, out, err), kExitFailed);  // not open any more
  EXPECT_EQ(Dispatch({"ack", "--home", home}, out, err), kExitConfig);
  fleet = StatusJson(dir.Path());
  EXPECT_EQ(fleet[0]["open_findings"], 0);
  for (const auto& f : fleet[0]["findings"]) EXPECT_EQ(f["acked_by"], "ivanov");
}

}  // namespace
}  // namespace statvtk::collect
