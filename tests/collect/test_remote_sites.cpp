// Remote sites: a pool of dial-up modems in front of a simulated telephone
// exchange (statvtk-collect once in this process), and modems that call the
// collector (statvtk-collect run as its own process, the simulator's client
// mode here).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <csignal>
#include <thread>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <sstream>

#include "base/unique_fd.hpp"
#include "collect/commands.hpp"
#include "collect/config/collect_config.hpp"
#include "collect/dial/incoming_listener.hpp"
#include "collect/dial/modem_call.hpp"
#include "collect/run/stop_request.hpp"
#include "collect/views/periods.hpp"
#include "fleet_e2e.hpp"
#include "forwarding_store.hpp"
#include "sim/exchange.hpp"
#include "sim/server.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/kept_log.hpp"
#include "support/result_util.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;

sim::SiteOptions Site(const std::string& spec) {
  sim::InstrumentOptions base;
  base.seed = std::hash<std::string>{}(spec) % 1000;
  return sim::ParseSite(spec, base).value();
}

// The exchange with its modem ports home/modem1..N and a home whose
// collect.ini puts every site on one pool of `devices`.
struct Dialup {
  // `devices`: names in the home (modem1.. are the exchange's ports).
  // `guardMs`: the silence the modems want around "+++".
  Dialup(std::vector<std::string> sites, int ports, std::vector<std::string> devices, std::uint32_t guardMs = 20,
         const std::string& kinds = "monthly")
      : home(folder.Path()) {
    // The dialogue's waits 5 ms a step: ConnectWait=60 waits 3 s for an answer.
    setenv("STATVTK_MODEM_STEP_MS", "5", 1);
    sim::ModemOptions mo;
    mo.dialDelayMs = 40;
    mo.ringMs = 80;
    mo.guardMs = guardMs;
    std::vector<sim::SiteOptions> list;
    for (const auto& s : sites) list.push_back(Site(s));
    exchange = std::make_unique<sim::Exchange>(list, mo);
    for (int i = 1; i <= ports; ++i) {
      sim::ServerOptions so;
      so.carrier = sim::CarrierKind::Pty;
      so.ptyLink = (home / ("modem" + std::to_string(i))).string();
      so.modem = true;
      so.modemOptions = mo;
      so.exchange = exchange.get();
      std::string error;
      std::unique_ptr<sim::Server> server;
      EXPECT_TRUE(Unpack(sim::Server::Start(std::vector<sim::Instrument*>{}, so), &server, &error)) << error;
      ports_.push_back(std::move(server));
    }
    std::ostringstream ini;
    ini << "[Collector]\nDatabase=collect.sqlite\n\n[Modems pool]\nDevices=";
    for (std::size_t i = 0; i < devices.size(); ++i) ini << (i ? "," : "") << (home / devices[i]).string();
    ini << "\nConnectWait=60\nRetryBusy=1s\nRetryNoAnswer=1s\nRetryNoCarrier=1s\nDialsPerPass=3\n\n";
    for (const auto& s : list) {
      ini << "[Line site-" << s.number << "]\nMode=modem\nPool=pool\nPhone=" << s.number
          << "\nPacketConst=300\nByteConst=50\nPacketRetry=2\n\n";
      ini << "[Instrument i" << s.number << "]\nLine=site-" << s.number << "\nAddress=1\nKinds=" << kinds << "\n\n";
    }
    std::ofstream(home / "collect.ini") << ini.str();
  }
  ~Dialup() {
    ports_.clear();
    unsetenv("STATVTK_MODEM_STEP_MS");
  }
  int Once() {
    std::ostringstream out, err;
    const int rc = Dispatch({"once", "--home", home.string()}, out, err);
    log = err.str();
    return rc;
  }
  // The home's store; a store that does not open fails the test (thrown).
  std::unique_ptr<store::RecordStore> Store() {
    auto s = store::OpenRecordStore("collect.sqlite", home);
    if (!s) throw std::runtime_error("the home's store: " + s.error().reason);
    return std::move(*s);
  }
  // The calls of each line in the order dialled.
  std::map<std::string, std::vector<store::CallRow>> Calls() {
    std::map<std::string, std::vector<store::CallRow>> by;
    auto rows = Store()->Calls("", 0).value();
    std::reverse(rows.begin(), rows.end());
    for (auto& r : rows) by[r.line].push_back(r);
    return by;
  }
  std::string Dev(int i) const { return (home / ("modem" + std::to_string(i))).string(); }

  link_test::TempFolder folder;
  fs::path home;
  std::unique_ptr<sim::Exchange> exchange;
  std::string log;

 private:
  std::vector<std::unique_ptr<sim::Server>> ports_;
};

std::int64_t Ms(const std::string& utc) { return UtcMillisOf(utc).value(); }

TEST(RemoteSites, FiveSitesOnTwoModemsAreReadInOnePassBothModemsNeverThreeCallsAtOnce) {
  Dialup d({"101=0814c@1", "102=ldn@1", "103=0814c@1", "104=ldn@1", "105=0814c@1"}, 2, {"modem1", "modem2"});
  ASSERT_EQ(d.Once(), 0) << d.log;
  std::vector<store::CallRow> all;
  std::set<std::string> devices;
  for (const auto& [line, calls] : d.Calls()) {
    ASSERT_EQ(calls.size(), 1u) << line;
    EXPECT_EQ(calls[0].outcome, "CONNECT");
    EXPECT_LT(Ms(calls[0].dialedUtc), Ms(calls[0].connectedUtc));
    EXPECT_LT(Ms(calls[0].connectedUtc), Ms(calls[0].endedUtc));
    devices.insert(calls[0].device);
    all.push_back(calls[0]);
  }
  EXPECT_EQ(all.size(), 5u);
  EXPECT_EQ(devices, (std::set<std::string>{d.Dev(1), d.Dev(2)}));
  // At each call's start, the calls under way (itself included).
  for (const auto& a : all) {
    int open = 0;
    for (const auto& b : all) open += Ms(b.dialedUtc) <= Ms(a.dialedUtc) && Ms(b.endedUtc) > Ms(a.dialedUtc);
    EXPECT_LE(open, 2);
  }
  EXPECT_EQ(d.Store()->Instruments().value().size(), 5u);
}

TEST(RemoteSites, EachDialIsLoggedWithItsOutcomeAndTheRetryPauseOfIt) {
  Dialup d({"201=0814c@1,busy=2", "202=0814c@1,no-answer", "203=0814c@1,drop=60", "204=ldn@1"}, 2,
           {"modem1", "modem2"});
  EXPECT_EQ(d.Once(), 1) << d.log;  // the site that never answers
  auto calls = d.Calls();
  const auto outcomes = [&](const std::string& line) {
    std::vector<std::string> o;
    for (const auto& c : calls[line]) o.push_back(c.outcome + (c.connectedUtc.empty() ? "" : "+"));
    return o;
  };
  EXPECT_EQ(outcomes("site-201"), (std::vector<std::string>{"BUSY", "BUSY", "CONNECT+"}));
  EXPECT_EQ(outcomes("site-202"), (std::vector<std::string>{"NO ANSWER", "NO ANSWER", "NO ANSWER"}));
  // Dropped during the read: connected, no OK at the hang-up; the next call reads it.
  EXPECT_EQ(outcomes("site-203"), (std::vector<std::string>{"NO CARRIER+", "CONNECT+"}));
  EXPECT_EQ(outcomes("site-204"), (std::vector<std::string>{"CONNECT+"}));
  for (std::size_t i = 1; i < calls["site-201"].size(); ++i)
    EXPECT_GE(Ms(calls["site-201"][i].dialedUtc) - Ms(calls["site-201"][i - 1].endedUtc), 1000);
  auto store = d.Store();
  std::set<std::string> read;
  for (const auto& r : store->Reads({"", "", 100, true}).value()) read.insert(r.name);
  EXPECT_EQ(read, (std::set<std::string>{"i201", "i203", "i204"}));
  // What the dropped call fetched was kept; the next call read the rest.
  const auto reads = store->Reads({"", "i203", 10}).value();  // newest first
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_NE(reads[1].outcome, store::ReadOutcome::Done);
  EXPECT_GT(reads[1].added, 0);
  EXPECT_EQ(reads[0].added + reads[1].added, store->Stats(reads[0].serial, ArchiveKind::Monthly).value().records);
  EXPECT_EQ(d.exchange->CallsTo(1), 3u);  // 202: DialsPerPass, no more
}

// Modems whose guard time is longer than the half second before "+++" stay
// online through the escape; the port's close ends their calls. A call whose
// read went through is not a dropped one, and a call dropped mid-read still is.
TEST(RemoteSites, ACallReadWholeIsConnectEvenWhenTheModemIgnoresTheEscape) {
  Dialup d({"401=0814c@1", "402=0814c@1,drop=60"}, 2, {"modem1", "modem2"}, 1000);
  EXPECT_EQ(d.Once(), 0) << d.log;
  auto calls = d.Calls();
  ASSERT_EQ(calls["site-401"].size(), 1u);
  EXPECT_EQ(calls["site-401"][0].outcome, "CONNECT");
  ASSERT_EQ(calls["site-402"].size(), 2u);
  EXPECT_EQ(calls["site-402"][0].outcome, "NO CARRIER");
  EXPECT_EQ(calls["site-402"][1].outcome, "CONNECT");
}

// A site whose every call drops after 300 replies: each call keeps what it
// fetched and the next asks only for what is still missing, so the archive
// is whole after a few calls, for about the requests of one full read.
TEST(RemoteSites, CallsThatDropFillTheArchiveOverSuccessiveCalls) {
  Dialup d({"501=0814c@1,drop-each=300"}, 1, {"modem1"}, 20, "hourly");
  std::int64_t requests = 0;
  std::vector<store::ReadRow> reads;
  for (int pass = 0; pass < 12; ++pass) {
    d.Once();
    reads = d.Store()->Reads({"", "i501", 100}).value();
    if (!reads.empty() && reads.front().outcome == store::ReadOutcome::Done) break;
  }
  ASSERT_FALSE(reads.empty());
  ASSERT_EQ(reads.front().outcome, store::ReadOutcome::Done) << d.log;
  EXPECT_GE(reads.size(), 5u);  // a full read takes about 1 500 requests: five calls at least
  for (const auto& r : reads) requests += r.requests;
  const auto store = d.Store();
  const std::string serial = reads.front().serial;
  EXPECT_EQ(store->Slots(serial, ArchiveKind::Hourly).value().size(), 1440u);
  // Never the archive whole again: every call after the first asks what is missing.
  for (std::size_t i = 0; i + 1 < reads.size(); ++i) EXPECT_NE(reads[i].mode, store::ReadMode::Full) << i;
  EXPECT_LT(requests, 1440 + 150 * static_cast<std::int64_t>(reads.size()));
  EXPECT_GT(store->Stats(serial, ArchiveKind::Hourly).value().records, 1000);
}

TEST(RemoteSites, APoolWithAMissingDeviceWorksWithTheOther) {
  Dialup d({"301=0814c@1", "302=ldn@1"}, 1, {"absent", "modem1"});
  ASSERT_EQ(d.Once(), 0) << d.log;
  EXPECT_NE(d.log.find("не найдено"), std::string::npos) << d.log;
  for (const auto& [line, calls] : d.Calls())
    for (const auto& c : calls) EXPECT_EQ(c.device, d.Dev(1));
  bool setAside = false;
  for (const auto& f : d.Store()->Findings("").value()) setAside |= f.kind == store::FindingKind::ModemSetAside;
  EXPECT_TRUE(setAside);
}

// SIGHUP applies to the modem pools too: a pool whose only modem is missing
// reads nothing; its Devices= changed to the exchange's port and collect.ini
// read again, the pool restarts with its new modem and reads the site.
TEST(RemoteSites, SighupRestartsAPoolWhoseSettingChangedWithTheNewSetting) {
  Dialup d({"601=0814c@1"}, 1, {"absent"});
  const fs::path ini = d.home / "collect.ini";
  std::string text = link_test::ReadAll(ini);
  test::RunInProcess service(d.home);
  const auto store = [&] { return test::ReadOnlyStore(d.home); };
  const auto setAside = [&] {
    auto s = store();
    if (!s) return false;
    const auto findings = (*s)->Findings("");
    return findings && std::any_of(findings->begin(), findings->end(), [](const store::FindingRow& f) {
             return f.kind == store::FindingKind::ModemSetAside;
           });
  };
  const auto goodReads = [&] {
    auto s = store();
    if (!s) return std::size_t{0};
    const auto reads = (*s)->Reads({"", "i601", 10, true});
    return reads ? reads->size() : 0;
  };
  EXPECT_TRUE(WaitUntil(setAside, std::chrono::seconds(60)));  // the pool runs with its missing modem
  EXPECT_EQ(goodReads(), 0u);
  const std::string absent = (d.home / "absent").string();
  text.replace(text.find(absent), absent.size(), d.Dev(1));
  std::ofstream(ini) << text;
  std::raise(SIGHUP);
  EXPECT_TRUE(WaitUntil([&] { return goodReads() == 1; }, std::chrono::seconds(60)));
  service.Stop();
  for (const auto& [line, calls] : d.Calls())
    for (const auto& c : calls) EXPECT_EQ(c.device, d.Dev(1));
}

// A GPRS modem of the simulator's client mode, connected with its Id line.
struct Caller {
  Caller(sim::Instrument& in, int port, const std::string& id) {
    sim::ServerOptions so;
    so.carrier = sim::CarrierKind::Client;
    so.connectPort = static_cast<std::uint16_t>(port);
    so.id = id;
    so.ended = [this] { ended = true; };
    WaitUntil([&] {  // until the collector listens
      auto started = sim::Server::Start(in, so);
      if (started) server = std::move(*started);
      return static_cast<bool>(started);
    });
  }
  std::atomic<bool> ended{false};
  std::unique_ptr<sim::Server> server;
};

TEST(RemoteSites, ModemsThatCallInAreReadUnknownIdsClosedAReconnectReplaces) {
  link_test::TempFolder folder;
  const fs::path home = folder.Path();
  const int port = test::FreeLoopbackPort();
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n[Listen gprs]\nListen=127.0.0.1:"
                                      << port
                                      << "\n\n[Line site-7]\nMode=incoming\nListen=gprs\nId=site-7\n\n"
                                         "[Instrument well]\nLine=site-7\nAddress=1\nEvery=1h\nKinds=monthly\n";
  test::ChildProcess collector = test::CollectInBackground(home, "run");
  const auto log = [&] { return link_test::ReadAll(home / "collect.out"); };
  sim::InstrumentOptions o;
  o.model = DeviceType::dtVTK0814C;
  sim::Instrument well(o), stranger(o), again(o);
  Caller first(well, port, "site-7");
  ASSERT_TRUE(WaitUntil([&] { return log().find("Прибор well") != std::string::npos; }, std::chrono::seconds(60)))
      << log();
  EXPECT_NE(log().find("Прибор well ("), std::string::npos);
  EXPECT_NE(log().find(": прочитан"), std::string::npos) << log();
  Caller unknown(stranger, port, "nobody\x1b");
  ASSERT_TRUE(WaitUntil([&] { return unknown.ended.load(); })) << log();
  EXPECT_NE(log().find("неизвестный Id \"nobody\\x1b\""), std::string::npos) << log();
  EXPECT_FALSE(first.ended.load());
  Caller second(again, port, "site-7");
  ASSERT_TRUE(WaitUntil([&] { return first.ended.load(); })) << log();
  EXPECT_NE(log().find("модем подключился снова"), std::string::npos) << log();
  EXPECT_FALSE(second.ended.load());
  EXPECT_EQ(collector.Stop(SIGTERM, std::chrono::seconds(60)), 0) << log();
}

// A call-in line's read has taken its modem's connection and waits for the
// store; meanwhile the modem calls again, twice, so that the collector's
// descriptor of the third call has the first call's number. The read then
// talks to the first connection (closed: it fails), never to the third.
TEST(RemoteSites, AModemCallingAgainDuringAReadIsNeverTalkedToByThatRead) {
  link_test::TempFolder folder;
  const fs::path home = folder.Path();
  const int port = test::FreeLoopbackPort();
  const auto parsed = ParseConfig(
      "collect.ini", "[Collector]\nKeepFiles=none\n\n[Listen gprs]\nListen=127.0.0.1:" + std::to_string(port) +
                         "\n\n[Line site-7]\nMode=incoming\nListen=gprs\nId=site-7\n\n"
                         "[Instrument well]\nLine=site-7\nAddress=1\nKinds=monthly\n");
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  auto store = test::ForwardingStore::Sqlite();
  std::atomic<int> passes{0};
  std::atomic<bool> go{false};
  StoreWriter writer(*store);
  test::KeptLog log;
  std::atomic<bool> stop{false};
  const IncomingContext ctx{*parsed.config, home, writer, log.To(), stop};
  auto lines = IncomingLines::Open(ctx);
  ASSERT_TRUE(lines && *lines) << (lines ? "no incoming line" : lines.error().reason);
  // After the open, which resumes the line's schedule from the store: the read's first look waits.
  store->SetHook([&](std::string_view method) -> std::optional<Error> {
    if (method == "Reads" && passes++ == 0) WaitUntil([&] { return go.load(); }, std::chrono::seconds(60));
    return std::nullopt;
  });
  {
    std::jthread serving([&] { (*lines)->Serve(); });
    test::CallingModem first, second, third;  // their sockets numbered before the collector's
    ASSERT_TRUE(first.Call(port, "site-7"));
    EXPECT_TRUE(WaitUntil([&] { return passes.load() > 0; }, std::chrono::seconds(30))) << log.Text();
    ASSERT_TRUE(second.Call(port, "site-7"));
    EXPECT_TRUE(WaitUntil([&] { return log.Count("модем подключился снова") == 1; }, std::chrono::seconds(30)))
        << log.Text();
    ASSERT_TRUE(third.Call(port, "site-7"));
    EXPECT_TRUE(WaitUntil([&] { return log.Count("модем подключился снова") == 2; }, std::chrono::seconds(30)))
        << log.Text();
    go = true;
    EXPECT_TRUE(WaitUntil([&] { return log.Count("Прибор well") == 1; }, std::chrono::seconds(60))) << log.Text();
    EXPECT_EQ(third.Heard(), 0u) << log.Text();
    EXPECT_EQ(log.Count("Прибор well: прочитан"), 0u) << log.Text();
    stop = true;
  }
}

}  // namespace
}  // namespace statvtk::collect
