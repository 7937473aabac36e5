// statvtk-collect against simulated instruments on loopback TCP: a first pass
// fills the store, a day later a pass adds exactly the new records, a silent
// instrument fails alone, a bad collect.ini is refused with its line.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <map>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "base/json_text.hpp"
#include "collect/commands.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/stop_request.hpp"
#include "fleet_e2e.hpp"
#include "forwarding_store.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_model.hpp"
#include "store/image_rows.hpp"
#include "store/periods.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/result_util.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;

using Models = std::vector<std::pair<DeviceType, unsigned>>;  // model and address

struct Fleet {
  // `ldnLongAddress`: the LDN-08's address in the long form (its short one: 7).
  explicit Fleet(std::optional<std::uint64_t> silentAfter = {},
                 const Models& models = {{DeviceType::dtVTK0814C, 3u}, {DeviceType::dtLDN08, 7u}},
                 std::uint32_t ldnLongAddress = 7) {
    for (auto [model, address] : models) {
      sim::InstrumentOptions o;
      o.model = model;
      o.address = address;
      o.longAddress = address == 7 ? ldnLongAddress : address;
      o.seed = 10 + address;
      if (address == 7) o.silentAfter = silentAfter;
      instruments.push_back(std::make_unique<sim::Instrument>(o));
    }
    std::vector<sim::Instrument*> served;
    for (const auto& i : instruments) served.push_back(i.get());
    server = test::ServeOnTcp(served);
    if (!server) return;
    std::ofstream ini(home / "collect.ini");
    ini << "[Collector]\nDatabase=collect.sqlite\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:" << server->Port()
        << "\nPacketConst=300\nByteConst=100\nPacketRetry=2\n";
    for (auto [model, address] : models)
      ini << "\n[Instrument " << NameOf(address) << "]\nLine=bus\nAddress=" << address << "\nEvery=1h\n";
  }
  static std::string NameOf(unsigned address) {
    return address == 3 ? "boiler" : address == 7 ? "well" : "meter" + std::to_string(address);
  }
  ~Fleet() { server.reset(); }
  int Run(const std::vector<std::string>& args, std::string* outText = nullptr) {
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--home", home.string()});
    std::ostringstream out, err;
    const int rc = Dispatch(a, out, err);
    lastErr = err.str();
    if (outText) *outText = out.str();
    return rc;
  }
  std::unique_ptr<store::RecordStore> Store() {
    auto s = store::OpenRecordStore("collect.sqlite", home);
    EXPECT_TRUE(s);
    return s ? std::move(*s) : nullptr;
  }
  link_test::TempFolder folder;
  fs::path home = folder.Path();
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::unique_ptr<sim::Server> server;
  std::string lastErr;
};

std::int64_t Count(store::RecordStore& s, ArchiveKind k) {
  std::int64_t n = 0;
  for (const auto& i : s.Instruments().value()) n += s.Stats(i.serial, k).value().records;
  return n;
}

std::vector<std::string> CsvLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The fleet export of a few days holds, for each instrument and day, its
// stored record's values, or "нет данных" for the day after its newest; the
// readings at a moment are those of the record of that hour. One
// instrument's export takes its bounds as the API and the reports write
// them, and nothing else.
TEST(CollectSim, TheExportsEqualTheStoreRows) {
  Fleet fleet;
  ASSERT_EQ(fleet.Run({"once"}), kExitOk) << fleet.lastErr;
  auto s = fleet.Store();
  ASSERT_TRUE(s);
  const auto fleetRows = s->Instruments().value();
  ASSERT_EQ(fleetRows.size(), 2u);
  const auto daily = s->Records({fleetRows[0].serial, ArchiveKind::Daily, "", "", 0}).value();
  ASSERT_GE(daily.size(), 3u);
  const std::string first = daily[daily.size() - 2].period, last = daily.back().period;
  const std::string after = store::PeriodText(
      ArchiveKind::Daily, store::StepPeriod(ArchiveKind::Daily, *store::ParsePeriod(ArchiveKind::Daily, last), 1));
  std::string csv;
  ASSERT_EQ(fleet.Run({"export", "--all", "--archive", "daily", "--from", first, "--to", after}, &csv), kExitOk)
      << fleet.lastErr;
  std::set<std::string> want;
  for (const auto& in : fleetRows) {
    const auto rows = s->Records({in.serial, ArchiveKind::Daily, first, after + "\x7f", 0}).value();
    std::set<std::string> held;
    for (const auto& r : rows) {
      char line[256];
      std::snprintf(line, sizeof line, "\"%s\",\"%s\",\"bus\",daily,%s,%.6f,%.6f,", in.serial.c_str(), in.name.c_str(),
                    r.period.c_str(), r.forwardTotal, r.reverseTotal);
      want.insert(line);
      held.insert(r.period);
    }
    for (const auto& day : {first, last, after})
      if (!held.count(day))
        want.insert("\"" + in.serial + "\",\"" + in.name + "\",\"bus\",daily," + day + ",,,,,,нет данных");
  }
  const auto lines = CsvLines(csv);
  ASSERT_EQ(lines.size(), 1 + 2 * 3u) << csv;
  EXPECT_EQ(lines[0],
            "serial,name,line,archive,period,forward_total,reverse_total,forward_increment,"
            "reverse_increment,valid,state");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto match = std::find_if(want.begin(), want.end(), [&](const auto& w) { return lines[i].rfind(w, 0) == 0; });
    EXPECT_NE(match, want.end()) << lines[i];
    if (match != want.end()) want.erase(match);
  }
  EXPECT_TRUE(want.empty()) << csv;

  const auto hourly = s->Records({fleetRows[0].serial, ArchiveKind::Hourly, "", "", 0}).value();
  const store::RecordRow& hour = hourly[hourly.size() / 2];
  std::string json;
  ASSERT_EQ(fleet.Run({"export", "--readings-at", hour.period, "--json"}, &json), kExitOk) << fleet.lastErr;
  const auto readings = Json::parse(json);
  ASSERT_EQ(readings.size(), 2u);
  for (const auto& r : readings) {
    if (r["serial"] != fleetRows[0].serial) continue;
    EXPECT_EQ(r["period"], hour.period);
    EXPECT_EQ(r["forward_total"], hour.forwardTotal);
  }
  EXPECT_EQ(fleet.Run({"export", "--all", "--from", first}), kExitConfig);
  EXPECT_EQ(fleet.Run({"export", "--all", "--serial", fleetRows[0].serial, "--from", first, "--to", last}),
            kExitConfig);

  const std::string serial = fleetRows[0].serial, day = last;
  ASSERT_EQ(fleet.Run({"export", "--serial", serial, "--archive", "daily", "--json"}, &json), kExitOk);
  EXPECT_NE(json.find("\"forward_total\":"), std::string::npos);
  const std::string dotted = day.substr(8, 2) + "." + day.substr(5, 2) + "." + day.substr(2, 2);
  std::string iso, reports;
  ASSERT_EQ(fleet.Run({"export", "--serial", serial, "--archive", "daily", "--from", day, "--to", day}, &iso), kExitOk);
  ASSERT_EQ(fleet.Run({"export", "--serial", serial, "--archive", "daily", "--from", dotted, "--to", dotted}, &reports),
            kExitOk);
  EXPECT_EQ(reports, iso);
  EXPECT_NE(iso.find("," + day), std::string::npos) << iso;
  for (const char* bad : {"garbage", "2026-13-45", "31.02.26", "08.12"})
    EXPECT_EQ(fleet.Run({"export", "--serial", serial, "--from", bad}), kExitConfig) << bad;
  EXPECT_EQ(fleet.Run({"export", "--serial", serial, "--from", "2026-12-09", "--to", "2026-12-08"}), kExitConfig);
  EXPECT_EQ(fleet.Run({"export", "--serial", "999"}), kExitFailed);
  EXPECT_NE(fleet.lastErr.find("999"), std::string::npos) << fleet.lastErr;
}

// collect.ini of `fleet` with the status page on a free loopback port (the
// port), each instrument read once a day at a local time about 12 hours
// from now: no hour or day begins between a read and the look at its due
// time.
int ServeDailyFarFromNow(Fleet& fleet) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int minute = (local.tm_hour * 60 + local.tm_min + 12 * 60) % (24 * 60);
  const int port = test::FreeLoopbackPort();
  const fs::path ini = fleet.home / "collect.ini";
  std::string text = link_test::ReadAll(ini);
  text.insert(text.find("[Collector]\n") + 12, "Http=127.0.0.1:" + std::to_string(port) + "\nRetryFirst=10m\n");
  for (std::string::size_type at; (at = text.find("Every=1h\n")) != std::string::npos;)
    text.replace(at, 10, "Every=1d\nOffset=" + std::to_string(minute) + "m\n");
  link_test::WriteAll(ini, text);
  return port;
}

// name -> next_due_utc of the instruments `status --json` (from the store),
// or else the running collector's API (its scheduler), gives; empty until
// every one of the `instruments` has one.
std::map<std::string, std::string> DueTimes(Fleet& fleet, int port, std::size_t instruments) {
  std::string text;
  if (port == 0) {
    EXPECT_EQ(fleet.Run({"status", "--json"}, &text), kExitOk) << fleet.lastErr;
  } else if (const auto r = httplib::Client("127.0.0.1", port).Get("/api/instruments"); r && r->status == 200) {
    text = r->body;
  }
  const Json list = Json::parse(text, nullptr, false);
  std::map<std::string, std::string> due;
  for (const auto& i : list.is_object() ? list["instruments"] : list)
    if (i.is_object() && i["next_due_utc"].is_string()) due[i.value("name", "")] = i["next_due_utc"];
  return due.size() == instruments ? due : std::map<std::string, std::string>{};
}

// SIGHUP reads collect.ini again: a file with an error is refused with its
// reason and the running configuration stays; then an instrument added is
// read, and the one read before (due again in about 12 hours) is not.
TEST(CollectSim, SighupAddsAnInstrumentAndRefusesABrokenFile) {
  Fleet fleet;
  ServeDailyFarFromNow(fleet);
  const fs::path ini = fleet.home / "collect.ini";
  const std::string both = link_test::ReadAll(ini);
  const std::string boilerOnly = both.substr(0, both.find("[Instrument well]"));
  std::ofstream(ini) << boilerOnly;
  test::RunInProcess service(fleet.home);
  const auto reads = [&](const std::string& name, bool goodOnly) {
    auto s = test::ReadOnlyStore(fleet.home);
    if (!s) return std::size_t{0};
    auto r = (*s)->Reads({"", name, 10, goodOnly});
    return r ? r->size() : 0;
  };
  ASSERT_TRUE(WaitUntil([&] { return reads("boiler", true) == 1; }, std::chrono::seconds(60)));

  std::ofstream(ini) << boilerOnly << "[Instrument well]\nLine=nowhere\nAddress=7\n";
  std::raise(SIGHUP);
  EXPECT_TRUE(WaitUntil([&] { return test::LogFiles(fleet.home).find("не принят") != std::string::npos; }));
  const std::string log = test::LogFiles(fleet.home);
  EXPECT_NE(log.find("nowhere"), std::string::npos) << log;

  std::ofstream(ini) << both;
  std::raise(SIGHUP);
  EXPECT_TRUE(WaitUntil([&] { return reads("well", true) == 1; }, std::chrono::seconds(60)))
      << test::LogFiles(fleet.home);
  service.Stop();
  EXPECT_EQ(reads("boiler", false), 1u) << test::LogFiles(fleet.home);
  EXPECT_EQ(reads("", false), 2u);  // the broken file's "well" was never tried
}

// The files in Data/ (by extension: one model each here).
std::map<std::string, std::vector<fs::path>> FilesByExtension(const fs::path& folder) {
  std::map<std::string, std::vector<fs::path>> out;
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(folder, ec)) out[f.path().extension().string()].push_back(f.path());
  return out;
}

// Passes a day apart leave one file per instrument in Data/, the one a full
// read writes. A VTK-08.12 (whose every read takes its whole memory) is read
// in full each time, never as a backfill, and the hours it never wrote are
// counted lost by no pass. (That the store, not Data/, is the base of a
// new-records read, and holds every record a full read gives byte for byte:
// StoreShapes, which keeps no files.)
TEST(CollectSim, TheStoreIsTheBaseAndDataKeepsOneFullFilePerInstrument) {
  Fleet fleet({}, {{DeviceType::dtVTK0814C, 3u}, {DeviceType::dtLDN08, 7u}, {DeviceType::dtVTK0812, 11u}});
  ASSERT_EQ(fleet.Run({"once"}), kExitOk) << fleet.lastErr;
  auto s = fleet.Store();
  ASSERT_TRUE(s);
  std::map<std::string, std::int64_t> fullRequests;
  for (const auto& r : s->Reads({}).value()) fullRequests[r.name] = r.requests;
  ASSERT_EQ(fullRequests.size(), 3u);
  // Each later read of a model with a new-records read asks a small share
  // of a full read; the VTK-08.12 the same as its first.
  const auto expectNewReads = [&](int day) {
    for (const auto& r : s->Reads({"", "", 3, false}).value()) {
      EXPECT_EQ(r.outcome, store::ReadOutcome::Done) << r.name << " " << r.error;
      EXPECT_EQ(r.lost, 0) << r.name << " day " << day;
      if (r.name == Fleet::NameOf(11)) {
        EXPECT_EQ(r.mode, store::ReadMode::Full) << "day " << day;
        EXPECT_EQ(r.requests, fullRequests[r.name]) << "day " << day;
      } else {
        EXPECT_EQ(r.mode, store::ReadMode::New) << r.name << " day " << day;
        EXPECT_LT(r.requests * 5, fullRequests[r.name]) << r.name << " day " << day;
      }
      EXPECT_GE(r.added, 24) << r.name << " day " << day;
      EXPECT_LE(r.added, 24 + 1 + 1) << r.name << " day " << day;  // a day, its daily record, perhaps a month
    }
  };
  for (int day = 1; day <= 2; ++day) {
    for (auto& i : fleet.instruments) i->Advance(24);
    ASSERT_EQ(fleet.Run({"once"}), kExitOk) << fleet.lastErr;
    expectNewReads(day);
  }
  auto files = FilesByExtension(fleet.home / "Data");
  ASSERT_EQ(files.size(), 3u);
  for (const auto& inst : fleet.instruments) {
    const StatData want = inst->ExpectedDump();
    const auto& mine = files[std::string(FileExtension(want.type))];
    ASSERT_EQ(mine.size(), 1u) << FileExtension(want.type);
    auto got = LoadStatFile(mine[0], ExtensionRule::LowerCase);
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->area == want.area) << mine[0];
    EXPECT_TRUE(got->header == want.header) << mine[0];
  }

  // Each hour closed twice is a conflict, counted by the one read that found it.
  std::int64_t counted = 0;
  for (const auto& r : s->Reads({"", "", 0, false}).value()) counted += r.conflicts;
  const auto conflicts = s->Conflicts("").value();
  EXPECT_GE(conflicts.size(), 2u);
  EXPECT_EQ(counted, static_cast<std::int64_t>(conflicts.size()));
}

TEST(CollectSim, ASilentInstrumentFailsAloneAndStatusSaysWhy) {
  Fleet fleet(5);  // the LDN-08 answers 5 requests, then nothing
  const int port = ServeDailyFarFromNow(fleet);
  EXPECT_EQ(fleet.Run({"once"}), kExitFailed);
  auto s = fleet.Store();
  ASSERT_TRUE(s);
  const auto boiler = s->Reads({"", "boiler", 1, false}).value();
  const auto well = s->Reads({"", "well", 1, false}).value();
  ASSERT_EQ(boiler.size(), 1u);
  ASSERT_EQ(well.size(), 1u);
  EXPECT_EQ(boiler[0].outcome, store::ReadOutcome::Done);
  EXPECT_EQ(well[0].outcome, store::ReadOutcome::Failed);
  EXPECT_FALSE(well[0].error.empty());
  std::string out;
  ASSERT_EQ(fleet.Run({"status", "--json"}, &out), kExitOk);
  EXPECT_NE(out.find("\"failures_in_row\":1"), std::string::npos) << out;
  EXPECT_NE(out.find(well[0].error.substr(0, 10)), std::string::npos) << out;
  // A restart keeps the schedule as `status` says it from the store: the
  // one read well due in about 12 hours, the silent one after the retry
  // pause (RetryFirst=10m) its failure gives; neither is read at once.
  const auto status = DueTimes(fleet, 0, 2);
  test::RunInProcess service(fleet.home);
  std::map<std::string, std::string> running;
  EXPECT_TRUE(WaitUntil([&] { return !(running = DueTimes(fleet, port, 2)).empty(); }, std::chrono::seconds(60)));
  service.Stop();
  EXPECT_EQ(running, status);
  EXPECT_GT(status.at("well"), store::UtcNow());
  EXPECT_EQ(s->Reads({"", "", 10, false}).value().size(), 2u) << fleet.lastErr;  // neither read at the start
}

// A step of a pass that throws (here the store) ends neither the line nor
// the process: that instrument's read row is finished as failed with the
// reason, and the next instrument on the line is read and stored.
TEST(CollectSim, AFaultInAPassFailsThatReadAndTheLineGoesOn) {
  Fleet fleet;
  const ConfigResult cfg = LoadConfig(fleet.home / "collect.ini");
  ASSERT_TRUE(cfg.config);
  auto store = test::ForwardingStore::Sqlite();
  std::atomic<bool> thrown{false};
  store->SetHook([&](std::string_view method) -> std::optional<Error> {
    if (method == "PutRecords" && !thrown.exchange(true)) throw std::runtime_error("store fault");
    return std::nullopt;
  });
  StoreWriter writer(*store);
  std::vector<const InstrumentConfig*> due;
  for (const auto& in : cfg.config->instruments) due.push_back(&in);
  std::atomic<bool> stop{false};
  std::vector<std::string> log;
  const auto passes = CollectLine(*cfg.config, cfg.config->lines[0], due, fleet.home, writer, stop,
                                  [&](const std::string& t) { log.push_back(t); });
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[0].outcome, ReadOutcome::Failed);
  EXPECT_NE(passes[0].error.find("store fault"), std::string::npos) << passes[0].error;
  EXPECT_EQ(passes[1].outcome, ReadOutcome::Done) << passes[1].error;
  store->SetHook({});
  const auto reads = store->Reads({}).value();  // newest first
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].outcome, store::ReadOutcome::Failed);
  EXPECT_FALSE(reads[1].endedUtc.empty());
  EXPECT_NE(reads[1].error.find("store fault"), std::string::npos);
  EXPECT_EQ(reads[0].outcome, store::ReadOutcome::Done);
  EXPECT_GT(Count(*store, ArchiveKind::Hourly), 0);  // the second one's records went in
  // Told once, with the instrument, on the line's log.
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("store fault") != std::string::npos; }),
            1);
}

TEST(CollectSim, ScanIntoAddsWhatAnswersOnceAndTheFileStillLoads) {
  Fleet fleet;
  // The site as first written: the line and one of its two instruments.
  const fs::path ini = fleet.home / "collect.ini";
  std::stringstream text;
  text << std::ifstream(ini).rdbuf();
  const std::string full = text.str();
  std::ofstream(ini, std::ios::trunc) << full.substr(0, full.find("[Instrument well]"));
  std::string out;
  ASSERT_EQ(fleet.Run({"scan-into", "bus", "--addresses", "1-8", "--every", "1d"}, &out), kExitOk) << fleet.lastErr;
  EXPECT_NE(out.find("3\tVTK-08.14 C"), std::string::npos) << out;
  EXPECT_NE(out.find("уже есть: [Instrument boiler]"), std::string::npos) << out;
  EXPECT_NE(out.find("7\tLDN-08 \"LDN-08 fw 1.20\"\tдобавлен как [Instrument bus-7]"), std::string::npos) << out;
  const ConfigResult loaded = LoadConfig(ini);
  ASSERT_TRUE(loaded.config) << loaded.Text(ini);
  ASSERT_EQ(loaded.config->instruments.size(), 2u);
  EXPECT_EQ(loaded.config->instruments[1].name, "bus-7");
  EXPECT_EQ(loaded.config->instruments[1].address, 7u);
  EXPECT_EQ(loaded.config->instruments[1].everyS, 86400);

  // Again: nothing new, the file unchanged.
  std::stringstream before;
  before << std::ifstream(ini).rdbuf();
  ASSERT_EQ(fleet.Run({"scan-into", "bus", "--addresses", "1-8"}, &out), kExitOk) << fleet.lastErr;
  EXPECT_NE(out.find("добавлено приборов: 0 ("), std::string::npos) << out;
  std::stringstream after;
  after << std::ifstream(ini).rdbuf();
  EXPECT_EQ(after.str(), before.str());

  EXPECT_EQ(fleet.Run({"scan-into", "nowhere"}), kExitConfig);
  EXPECT_NE(fleet.lastErr.find("нет [Line nowhere]"), std::string::npos) << fleet.lastErr;
}

// An LDN-08 whose long form (the one its read uses) does not answer at the
// address its short form answered is not added: the reason and what to set.
TEST(CollectSim, ScanIntoLeavesOutAnLdnWhoseLongFormDoesNotAnswer) {
  Fleet fleet({}, {{DeviceType::dtVTK0814C, 3u}, {DeviceType::dtLDN08, 7u}}, 12345678);
  const fs::path ini = fleet.home / "collect.ini";
  const std::string full = link_test::ReadAll(ini);
  std::ofstream(ini, std::ios::trunc) << full.substr(0, full.find("[Instrument well]"));
  std::string out;
  ASSERT_EQ(fleet.Run({"scan-into", "bus", "--addresses", "7"}, &out), kExitOk) << fleet.lastErr;
  EXPECT_NE(out.find("7\tLDN-08 \"LDN-08 fw 1.20\"\tотвечает только в короткой форме"), std::string::npos) << out;
  EXPECT_NE(out.find("задайте MBus=1 в [Line bus]"), std::string::npos) << out;
  EXPECT_NE(out.find("добавлено приборов: 0 ("), std::string::npos) << out;
  EXPECT_EQ(link_test::ReadAll(ini), full.substr(0, full.find("[Instrument well]")));
}

// One VTK-08.14 C on its own line, collected by `once` in one home; the same
// instrument can be served again by another object of the same seed (same
// memory), e.g. one that goes silent.
struct OneInstrument {
  static std::unique_ptr<sim::Instrument> Make(std::optional<std::uint64_t> silentAfter) {
    sim::InstrumentOptions o;
    o.model = DeviceType::dtVTK0814C;
    o.address = 3;
    o.longAddress = 3;
    o.seed = 21;
    o.silentAfter = silentAfter;
    return std::make_unique<sim::Instrument>(o);
  }
  int Once(sim::Instrument& inst) {
    const auto server = test::ServeOnTcp({&inst});
    if (!server) return -1;
    std::ofstream(home / "collect.ini", std::ios::trunc)
        << "[Collector]\nDatabase=collect.sqlite\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:" << server->Port()
        << "\nPacketConst=200\nByteConst=50\nPacketRetry=1\n\n[Instrument boiler]\nLine=bus\nAddress=3\nEvery=1h\n";
    std::ostringstream out, err;
    return Dispatch({"once", "--home", home.string()}, out, err);
  }
  // The records `inst` holds that the store lacks.
  std::size_t Missing(const sim::Instrument& inst) {
    auto s = store::OpenRecordStore("collect.sqlite", home);
    EXPECT_TRUE(s);
    if (!s) return 0;
    const auto serial = (*s)->Instruments().value().at(0).serial;
    std::unique_ptr<StatModel> model = MakeStatModel(inst.ExpectedDump());
    EXPECT_TRUE(model);
    if (!model) return 0;
    const auto rows = store::RowsOf(*model, 0, 0);
    EXPECT_GT(rows.records.size(), 1000u);
    std::size_t missing = 0;
    for (const auto& r : rows.records) {
      const auto held = (*s)->Periods(serial, r.archive, r.period, r.period);
      EXPECT_TRUE(held);
      if (held && held->empty()) ++missing;
    }
    return missing;
  }
  link_test::TempFolder folder;
  const fs::path home = folder.Path();
};

// A new-records read that dies in the middle (leaving a file of what came
// before), or two days of silence: the next good read still brings every
// record the instrument holds; after the silence the two days come from the
// meter's own archive, and the read says how many were recovered.
TEST(CollectSim, AReadThatDiedHalfwayOrTwoSilentDaysLeaveNoHoleAfterTheNextOne) {
  const struct {
    const char* what;
    std::uint64_t silentAfter;  // requests answered
    int failedPasses;
  } cases[] = {{"died halfway", 60, 1}, {"two silent days", 0, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OneInstrument one;
    auto good = OneInstrument::Make(std::nullopt);
    ASSERT_EQ(one.Once(*good), kExitOk);
    good->Advance(48);
    auto failing = OneInstrument::Make(c.silentAfter);
    failing->Advance(48);
    for (int pass = 0; pass < c.failedPasses; ++pass) ASSERT_EQ(one.Once(*failing), kExitFailed);
    ASSERT_EQ(one.Once(*good), kExitOk);
    EXPECT_EQ(one.Missing(*good), 0u) << "records the instrument holds are not in the store";
    if (c.silentAfter != 0) continue;
    auto s = store::OpenRecordStore("collect.sqlite", one.home);
    ASSERT_TRUE(s);
    const auto reads = (*s)->Reads({"", "boiler", 1, false}).value();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].outcome, store::ReadOutcome::Done);
    EXPECT_NE(reads[0].mode, store::ReadMode::Full);
    // 48 hours and 2 days at least (the first read's own last hour may be among them).
    EXPECT_GE(reads[0].recovered, 50) << reads[0].recovered;
    EXPECT_LE(reads[0].recovered, 48 + 2 + 1 + 2);
  }
}

}  // namespace
}  // namespace statvtk::collect
