// What keeps statvtk-collect from running where it should not: a collect.ini
// that is no configuration (empty, a device, a FIFO, a folder, no
// instrument), a second collector on the same home; and what lets the
// commands that only look work in a home they may not write.
// AllowFrom='s address ranges: what parses, what an address matches.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "collect/commands.hpp"
#include "collect/config/collect_config.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/pg_cluster.hpp"
#include "collect/config/address_ranges.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int Command(const std::vector<std::string>& args, std::string& err) {
  std::ostringstream out, errText;
  const int rc = Dispatch(args, out, errText);
  err = errText.str() + out.str();
  return rc;
}

std::string Unreachable() {
  return "[Line bus]\nMode=tcp\nTcp=127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) +
         "\nConnectTimeout=1\n\n[Instrument boiler]\nLine=bus\nAddress=3\n";
}

TEST(CollectConfigFile, WhatIsNoConfigurationIsRefusedWithAReasonAndNeverHangs) {
  link_test::TempFolder dir;
  const fs::path fifo = dir.Path() / "fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir.Path() / name, std::ios::binary) << text;
    return (dir.Path() / name).string();
  };
  const struct {
    std::string file, reason;
  } cases[] = {
      {write("empty.ini", ""), "нет ни одной секции: файл пуст"},
      {write("cr.ini", "\r\r\r\n\r\n"), "нет ни одной секции: файл пуст"},
      {write("comments.ini", "; nothing yet\n\n"), "нет ни одной секции: файл пуст"},
      {dir.Path().string(), "это папка"},
      {"/dev/null", "не обычный файл"},
      {"/dev/zero", "не обычный файл"},
      {fifo.string(), "не обычный файл"},
      {write("lines.ini", "[Collector]\n" + Unreachable().substr(0, Unreachable().find("[Instrument"))),
       "нет ни одной секции [Instrument NAME]"},
      {(dir.Path() / "missing.ini").string(), "файл не читается"},
  };
  for (const auto& c : cases) {
    for (const std::string command : {"once", "run"}) {
      std::string err;
      EXPECT_EQ(Command({command, "--home", dir.Path().string(), "--config", c.file}, err), kExitConfig) << c.file;
      EXPECT_NE(err.find(c.file + ": " + c.reason), std::string::npos) << c.file << ": " << err;
    }
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "collect.sqlite"));  // nothing ran
}

TEST(CollectConfigFile, CommentsAfterValuesAreNotPartOfThemAndTheDocumentedExamplesLoad) {
  auto r = ParseConfig("c.ini",
                       "[Collector]\nMqtt=broker.local:8883 ; the broker\nMqttPassword=secret ; x\n"
                       "MqttUser=a;b\nRetryFirst=30\t; first pause\nMqttTopic=water/site1/\nMqttTls=1\n"
                       "MqttDiscovery=1\n\n" +
                           Unreachable());
  ASSERT_TRUE(r.config) << r.Text("c.ini");
  const auto& mqtt = r.config->collector.mqtt;
  EXPECT_EQ(mqtt.password, "secret");
  EXPECT_EQ(mqtt.user, "a;b");  // no blank before it: part of the value
  EXPECT_EQ(r.config->collector.retryFirstS, 30);
  EXPECT_EQ(mqtt.host + ":" + std::to_string(mqtt.port) + " " + mqtt.topic, "broker.local:8883 water/site1");
  EXPECT_TRUE(mqtt.tls && mqtt.discovery);
  EXPECT_FALSE(ParseConfig("c.ini", Unreachable()).config->collector.mqtt.On());

  // Every collect.ini of the guide and the reference: their indented blocks that begin with [Collector].
  std::vector<std::string> blocks;
  for (const char* page : {"collect.md", "collect-reference.md"}) {
    std::ifstream doc(fs::path(STATVTK_SOURCE_DIR) / "docs" / page);
    std::string block;
    for (std::string line; std::getline(doc, line);) {
      if (line.starts_with("    ") || (line.empty() && !block.empty())) {
        if (!block.empty() || line.substr(4).starts_with("[Collector]"))
          block += (line.size() > 4 ? line.substr(4) : "") + "\n";
        continue;
      }
      if (!block.empty()) blocks.push_back(block);
      block.clear();
    }
  }
  ASSERT_GE(blocks.size(), 1u);
  for (const auto& b : blocks) {
    auto loaded = ParseConfig("doc.ini", b);
    EXPECT_TRUE(loaded.config) << b << loaded.Text("doc.ini");
  }
}

// A second collector on one home says who runs there and ends; the lock
// goes with the first one's process, even killed.
TEST(CollectInstance, ASecondCollectorOnTheHomeIsRefusedUntilTheFirstIsGone) {
  link_test::TempFolder dir;
  const fs::path home = dir.Path();
  std::ofstream(home / "collect.ini") << "[Collector]\nRetryFirst=600\n\n" << Unreachable();
  test::ChildProcess first = test::CollectInBackground(home, "run");
  ASSERT_TRUE(
      WaitUntil([&] { return link_test::ReadAll(home / "collect.lock").find("started") != std::string::npos; }, 60s));
  EXPECT_EQ(test::Collect(home, {"once"}, 60s), kExitConfig);
  const std::string out = link_test::ReadAll(home / "collect.out");
  EXPECT_NE(out.find("в домашней папке " + home.string() + " уже работает другой сборщик: pid " +
                     std::to_string(first.Pid())),
            std::string::npos)
      << out;
  first.Stop(SIGKILL, 60s);
  EXPECT_EQ(test::Collect(home, {"once"}, 60s), kExitFailed);  // it runs: nobody listens on the line
}

// A store that goes away under the running collector (a SQLite file
// damaged, a PostgreSQL server stopped) fails the reads as they start: the
// instruments wait their retry pause and the log says it once, not once per
// instrument and try. A server that comes back is said once and kept as a
// finding, and every read row then has its outcome.
class CollectStoreOutage : public ::testing::TestWithParam<const char*> {
 protected:
  bool Postgres() const { return std::string(GetParam()) == "postgresql"; }
};
INSTANTIATE_TEST_SUITE_P(Store, CollectStoreOutage, ::testing::Values("sqlite", "postgresql"));

TEST_P(CollectStoreOutage, AStoreThatGoesAwayIsSaidOnceAndNothingLoops) {
  link_test::TempFolder dir;
  const fs::path home = dir.Path();
  test::PgCluster pg;
  std::string database = "collect.sqlite";
  if (Postgres()) {
    ASSERT_TRUE(pg.Init()) << pg.Log();
    ASSERT_TRUE(pg.CreateDatabase("fleet"));
    database = pg.Url("fleet");
  }
  const int http = test::FreeLoopbackPort();
  std::string ini = "[Collector]\nDatabase=" + database + "\nHttp=127.0.0.1:" + std::to_string(http) +
                    "\nRetryFirst=1\nOrigin=a\n\n" + test::LineSection("bus", test::FreeLoopbackPort());
  for (int address = 1; address <= 3; ++address)
    ini += test::InstrumentSection("i" + std::to_string(address), "bus", address) + "Every=2\n\n";
  link_test::WriteAll(home / "collect.ini", ini);
  const auto out = [&] { return link_test::ReadAll(home / "collect.out"); };
  auto lines = [&](const std::string& what) {
    std::istringstream text(out());
    std::size_t n = 0;
    for (std::string line; std::getline(text, line);) n += line.find(what) != std::string::npos;
    return n;
  };
  test::ChildProcess run = test::CollectInBackground(home, "run");
  ASSERT_TRUE(WaitUntil([&] { return lines("Прибор i") >= 3; }, 60s)) << out();
  if (Postgres()) {
    pg.Stop();
  } else {
    for (const char* f : {"collect.sqlite", "collect.sqlite-wal", "collect.sqlite-shm"}) {
      std::fstream file(home / f, std::ios::in | std::ios::out | std::ios::binary);
      if (file) file << std::string(std::max<std::uintmax_t>(fs::file_size(home / f), 4096), 'Z');
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return lines("база данных недоступна") >= 1; }, 60s)) << out();
  const std::size_t before = lines("[");
  const long failed = test::FailedReads(http, "bus");
  ASSERT_GE(failed, 3) << out();
  // Every instrument tried at least twice more against the store that is away.
  ASSERT_TRUE(WaitUntil([&] { return test::FailedReads(http, "bus") >= failed + 6; }, 120s)) << out();
  EXPECT_EQ(lines("база данных недоступна"), 1u) << out();
  EXPECT_LE(lines("[") - before, 2u) << out();  // a read under way as the store went may still say its end
  const auto sql = [&](const std::string& q) { return pg.Sql(q, "fleet"); };
  if (Postgres()) {
    ASSERT_TRUE(pg.Start()) << pg.Log();
    EXPECT_TRUE(WaitUntil([&] { return lines("база данных снова отвечает") == 1; }, 60s)) << out();
    EXPECT_TRUE(WaitUntil([&] { return sql("SELECT COUNT(*) FROM findings WHERE kind = 'store_down'") == "1"; }));
  }
  EXPECT_EQ(run.Stop(SIGTERM, 60s), 0) << out();
  if (Postgres()) {
    EXPECT_EQ(sql("SELECT COUNT(*) FROM reads WHERE outcome IS NULL"), "0");
    EXPECT_EQ(sql("SELECT COUNT(*) FROM findings WHERE kind = 'store_down'"), "1");
  }
}

// status and export open the store only to read: a home whose store the
// program cannot write (its shared-memory file cannot be made) still answers.
TEST(CollectReadOnly, StatusAndExportWorkOnAStoreTheyCannotWrite) {
  link_test::TempFolder dir;
  std::ofstream(dir.Path() / "collect.ini") << "[Collector]\n\n" << Unreachable();
  {
    auto s = store::OpenRecordStore("collect.sqlite", dir.Path());
    ASSERT_TRUE(s);
    ASSERT_TRUE((*s)->UpsertInstrument({"00012345", "VTK-08.12", "boiler", "bus", 3, "2026-12-01T10:05:00Z", "", {}}));
    store::RecordRow r;
    r.serial = "00012345";
    r.period = "2026-12-01 10:00";
    r.fields = "{}";
    r.raw = "01";
    ASSERT_TRUE((*s)->UpsertRecord(r));
  }
  fs::create_directory(dir.Path() / "collect.sqlite-shm");
  const std::string home = dir.Path().string();
  std::string err;
  EXPECT_EQ(Command({"status", "--home", home}, err), kExitOk) << err;
  EXPECT_NE(err.find("boiler"), std::string::npos) << err;
  EXPECT_EQ(Command({"status", "--json", "--home", home}, err), kExitOk) << err;
  EXPECT_EQ(Command({"export", "--serial", "00012345", "--home", home}, err), kExitOk) << err;
  EXPECT_NE(err.find("2026-12-01 10:00"), std::string::npos) << err;
}

// Collectors sharing a store each have their own instruments: one of the
// same name at another site is read in full as new to this one. (A
// VTK-08.14: a VTK-08.12's every read is a full one.)
TEST(CollectOrigin, ReadsAreKeyedByLineAndNameWithinTheCollector) {
  link_test::TempFolder dir;
  const fs::path shared = dir.Path() / "shared.sqlite";
  std::vector<std::unique_ptr<test::SimOnTcp>> sims;
  for (const std::string site : {"north", "south"}) {
    fs::create_directories(dir.Path() / site);
    sims.push_back(std::make_unique<test::SimOnTcp>(dir.Path() / site, std::vector<std::string>{"--bus", "0814c@3"}));
    ASSERT_GT(sims.back()->Port(), 0);
    link_test::WriteAll(dir.Path() / site / "collect.ini", "[Collector]\nDatabase=" + shared.string() +
                                                               "\nOrigin=" + site + "\n\n" +
                                                               test::LineSection("bus", sims.back()->Port()) +
                                                               test::InstrumentSection("boiler", "bus", 3));
  }
  for (const std::string site : {"north", "south", "south"})
    ASSERT_EQ(test::Collect(dir.Path() / site, {"once"}), kExitOk)
        << link_test::ReadAll(dir.Path() / site / "collect.out");
  auto s = store::OpenRecordStore(shared.string(), dir.Path());
  ASSERT_TRUE(s);
  auto reads = (*s)->Reads({"", "boiler", 10, false});
  ASSERT_TRUE(reads);
  ASSERT_EQ(reads->size(), 3u);
  EXPECT_EQ((*reads)[2].origin, "north");
  EXPECT_EQ((*reads)[2].mode, store::ReadMode::Full);
  EXPECT_EQ((*reads)[1].origin, "south");
  EXPECT_EQ((*reads)[1].mode, store::ReadMode::Full);  // not the north's instrument read again
  EXPECT_NE((*reads)[0].mode, store::ReadMode::Full);  // its own instrument again
}

// What collect.ini may say, and what is refused with its line and reason:
// an address taken twice, an unknown key, shared lines, leases and workers,
// modem pools and call-in listeners, the MQTT keys, the situations' rules. (What `once` and `run`
// do with a refused file: WhatIsNoConfigurationIsRefusedWithAReasonAndNeverHangs.)
TEST(CollectConfigFile, WhatLoadsAndWhatIsRefusedWithItsReason) {
  const std::string pg = "[Collector]\nDatabase=postgresql://db/fleet\n";
  const std::string shared = "[Line s]\nMode=tcp\nTcp=127.0.0.1:5000\nShared=1\n[Instrument i]\nLine=s\n";
  const std::string site = "[Instrument i]\nLine=s\n";
  const std::string pool = "[Modems p]\nDevices=/dev/a\n";
  const std::string dial = "[Line s]\nMode=modem\nPool=p\nPhone=1\n";
  const std::string listen = "[Listen g]\nListen=0.0.0.0:5000\n";
  const std::string tcp = "[Line s]\nMode=tcp\nTcp=127.0.0.1:5000\n" + site;
  const std::string rules = "[Rules]\nNightFlow=0.05\n[Rules office]\nNightsInRow=2\n";
  const std::string twoModems = "[Modems p]\nDevices=/dev/a, /dev/b\nRetryBusy=0\nDialsPerPass=5\n" + dial + site;
  const struct {
    std::string text, problem;  // problem empty: loads
  } cases[] = {
      {tcp + "[Instrument twin]\nLine=s\nAddress=1\n",
       "collect.ini:8: Address=1: этот адрес уже у другого прибора линии s"},
      {tcp + "Colour=red\n", "collect.ini:6: Colour: неизвестный параметр"},
      {pg + "LeaseTtl=5s\nWorkers=1\n" + shared, ""},
      {pg + "LeaseTtl=1h\nWorkers=1024\n" + shared, ""},
      {pg + "LeaseTtl=4s\n" + shared, "collect.ini:3: LeaseTtl=4s: ожидается длительность от 5s до 1h"},
      {pg + "LeaseTtl=2h\n" + shared, "длительность от 5s до 1h"},
      {pg + "Workers=0\n" + shared, "1..1024"},
      {pg + "Workers=1025\n" + shared, "1..1024"},
      {"[Collector]\nDatabase=collect.sqlite\n" + shared,
       "collect.ini:3: [Line s]: Shared=1: нужен Database=postgresql"},
      {pg + "[Line s]\nMode=tcp\nTcp=127.0.0.1:5000\nShared=2\n" + site, "0 или 1"},
      {pg + pool + dial + "Shared=1\n" + site,
       "Shared=1 — только для линии, к которой каждый сборщик подключается сам"},
      {twoModems, ""},
      {dial + site, "в файле нет [Modems p]"},
      {pool + "[Line s]\nMode=modem\nPool=p\nModem=/dev/b\nPhone=1\n" + site, "не оба сразу"},
      {pool + "[Line s]\nMode=modem\nPool=p\n" + site, "нужен Phone="},
      {"[Modems p]\nDevices=/dev/a\nDialsPerPass=0\n" + dial + site, "DialsPerPass=0"},
      {"[Modems p]\nBaud=9600\n" + dial + site, "нет Devices="},
      {listen + "[Line s]\nMode=incoming\nListen=g\nId=site-7\n" + site, ""},
      {listen + "[Line s]\nMode=incoming\nListen=g\n" + site, "нужен Id="},
      {"[Line s]\nMode=incoming\nListen=h\nId=x\n" + site, "в файле нет [Listen h]"},
      {"[Listen g]\nListen=nowhere\n[Line s]\nMode=incoming\nListen=g\nId=x\n" + site, "HOST:PORT"},
      {listen + "[Line s]\nMode=tcp\nTcp=1.2.3.4:5\nId=x\n" + site, "задаются только с Mode=incoming"},
      {"[Collector]\nMqtt=broker.local:8883\nMqttTopic=water/site1/\nMqttTls=1\n" + tcp, ""},
      {"[Collector]\nMqtt=broker:0\n" + tcp, "collect.ini:2: Mqtt="},
      {"[Collector]\nMqtt=broker:x\n" + tcp, "Mqtt="},
      {"[Collector]\nMqtt=:1883\n" + tcp, "Mqtt="},
      {"[Collector]\nMqtt=broker\nMqttTopic=a/#\n" + tcp, "MqttTopic="},
      {"[Collector]\nMqtt=broker\nMqttTls=2\n" + tcp, "MqttTls="},
      {rules + tcp + "Rules=Office\n", ""},
      {"[Rules]\nNightsInRow=0\n" + tcp, "collect.ini:2: NightsInRow=0: "},
      {"[Rules]\nSpikeFactor=x\n" + tcp, "SpikeFactor=x: "},
      {"[Rules]\nColour=red\n" + tcp, "collect.ini:2: Colour: неизвестный параметр"},
      {tcp + "Rules=night\n", "collect.ini:6: Rules=night: в файле нет [Rules night]"},
  };
  for (const auto& c : cases) {
    const auto r = ParseConfig("collect.ini", c.text);
    if (c.problem.empty()) {
      EXPECT_TRUE(r.config) << c.text << r.Text("collect.ini");
    } else {
      EXPECT_FALSE(r.config) << c.text;
      EXPECT_NE(r.Text("collect.ini").find(c.problem), std::string::npos) << c.text << r.Text("collect.ini");
    }
  }
  // An instrument's rules: its [Rules NAME] over [Rules] over the analysis's defaults.
  const auto ruled =
      ParseConfig("collect.ini", rules + tcp + "Rules=office\n[Instrument j]\nLine=s\nAddress=2\n").config;
  ASSERT_TRUE(ruled);
  EXPECT_EQ(ruled->instruments.at(0).rules.nightsInRow, 2);
  EXPECT_EQ(ruled->instruments.at(0).rules.nightFlow, 0.05);
  EXPECT_EQ(ruled->instruments.at(1).rules.nightsInRow, 3);
  EXPECT_EQ(ruled->instruments.at(1).rules.nightFlow, 0.05);
  // The values of the pool that loads, its defaults filled in.
  const auto loaded = ParseConfig("collect.ini", twoModems).config;
  ASSERT_TRUE(loaded);
  const auto& p = loaded->pools.at(0);
  EXPECT_EQ(p.devices, (std::vector<std::string>{"/dev/a", "/dev/b"}));
  EXPECT_EQ(p.retryBusyS, 0);
  EXPECT_EQ(p.retryNoAnswerS, 900);
}

struct Case {
  const char* ranges;
  const char* host;
  bool allowed;
};

TEST(AddressRanges, AnAddressIsAllowedOnlyInsideAGivenRange) {
  const Case cases[] = {
      {.ranges = "", .host = "203.0.113.9", .allowed = true},  // empty: anywhere, as without the key
      {.ranges = "10.64.0.0/10", .host = "10.64.0.1", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "10.127.255.255", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "10.128.0.0", .allowed = false},
      {.ranges = "10.64.0.0/10", .host = "10.63.255.255", .allowed = false},
      {.ranges = "192.0.2.7", .host = "192.0.2.7", .allowed = true},  // one address: /32
      {.ranges = "192.0.2.7", .host = "192.0.2.8", .allowed = false},
      {.ranges = "0.0.0.0/0", .host = "198.51.100.1", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "::ffff:10.64.3.4", .allowed = true},  // a dual-stack socket's IPv4 peer
      {.ranges = "10.64.0.0/10", .host = "::1", .allowed = false},
      {.ranges = "2001:db8::/32", .host = "2001:db8:ffff::1", .allowed = true},
      {.ranges = "2001:db8::/32", .host = "2001:db9::1", .allowed = false},
      {.ranges = "2001:db8::/33", .host = "2001:db8:8000::1", .allowed = false},  // the odd bit counts
      {.ranges = "fd00::/8", .host = "10.0.0.1", .allowed = false},               // no IPv4 in an IPv6 range
      {.ranges = "10.0.0.0/8, fd00::/8 127.0.0.0/8", .host = "127.0.0.1", .allowed = true},
      {.ranges = "10.0.0.0/8", .host = "not an address", .allowed = false},
  };
  for (const Case& c : cases) {
    const auto ranges = ParseAddressRanges(c.ranges);
    ASSERT_TRUE(ranges) << c.ranges;
    EXPECT_EQ(AddressAllowed(*ranges, c.host), c.allowed) << c.ranges << " / " << c.host;
  }
}

TEST(AddressRanges, AMalformedRangeIsNamedAndRefusesTheFile) {
  for (const char* bad : {"10.64.0.0/33", "10.64.0.0/", "10.64.0.1/10", "10.64/10", "300.1.1.1", "2001:db8::/129",
                          "2001:db8::1/32", "fd00::/-1", "::ffff:10.0.0.0/104", "10.0.0.0/8x", "localhost"}) {
    std::string named;
    EXPECT_FALSE(ParseAddressRanges(std::string("10.0.0.0/8,") + bad, &named)) << bad;
    EXPECT_EQ(named, bad);
  }
  const auto parsed = ParseConfig("collect.ini",
                                  "[Listen gprs]\nListen=127.0.0.1:5000\nAllowFrom=10.64.0.0/10, 10.1.2.3/40\n\n"
                                  "[Line site]\nMode=incoming\nListen=gprs\nId=site\n\n"
                                  "[Instrument well]\nLine=site\nAddress=1\n");
  ASSERT_FALSE(parsed.config);
  EXPECT_NE(parsed.Text("collect.ini")
                .find("collect.ini:3: [Listen gprs] AllowFrom=10.64.0.0/10, 10.1.2.3/40: "
                      "\"10.1.2.3/40\" не диапазон адресов CIDR"),
            std::string::npos)
      << parsed.Text("collect.ini");
}

}  // namespace
}  // namespace statvtk::collect
