// The collector's cost against the store's history. Builds a synthetic store
// of N instruments (default 40; 1000 is the full size) with 3 years of
// hourly, daily and monthly records each (27 400 records an instrument, so
// 27 million for 1000), then:
//  - a new-records pass of 40 simulated instruments (8 loopback TCP lines) a
//    day after their first full pass, timed on that store and on an empty
//    one: the ratio is what history costs a pass (goal <= 1.2);
//  - `status --json` and GET /api/instruments over the whole store (goal
//    under 1 s each for 1000 instruments);
//  - the bytes the pass added to the store and to Data/ (goal: the store by
//    what was new, Data/ by nothing after the first pass).
// Usage: bench_store [instruments] [store folder]
//   instruments: of the synthetic store (default 40; STATVTK_BENCH_INSTRUMENTS too)
//   store folder: where the synthetic store is kept and found again (built once;
//                 default a temporary folder, removed after)
// Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "collect/commands.hpp"
#include "collect/http/api.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "store/periods.hpp"
#include "store/record_store.hpp"

namespace {

using namespace statvtk;
using namespace statvtk::collect;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 8, kPerLine = 5;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::uintmax_t SizeOf(const fs::path& p) {
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) return fs::file_size(p, ec);
  std::uintmax_t n = 0;
  for (const auto& f : fs::recursive_directory_iterator(p, ec))
    if (f.is_regular_file(ec)) n += f.file_size(ec);
  return n;
}

std::uintmax_t StoreBytes(const fs::path& home) {
  return SizeOf(home / "collect.sqlite") + SizeOf(home / "collect.sqlite-wal");
}

// The synthetic store, written straight through SQLite: one prepared
// statement per table, a transaction per 50 instruments, no journal, rows
// in key order (each index grows at its end). Each instrument has a read, its
// header, 3 years of records up to the hour before `until` and their counts.
class SyntheticStore {
 public:
  explicit SyntheticStore(const fs::path& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) return;
    ok_ = Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-262144; BEGIN");
    ok_ = ok_ && Prepare(&record_,
                         "INSERT INTO records(serial, archive, period, forward_total, reverse_total, "
                         "forward_increment, reverse_increment, flags, valid, fields, read_id, utc_offset_s, raw, "
                         "bad_date) VALUES(?1, ?2, ?3, ?4, 0, 1.5, 0, 0, 1, '{}', ?5, 0, ?6, 0)");
    ok_ = ok_ &&
          Prepare(&stats_,
                  "INSERT INTO archive_stats(serial, archive, records, oldest, newest) VALUES(?1, ?2, ?3, ?4, ?5)");
  }
  ~SyntheticStore() {
    sqlite3_finalize(record_);
    sqlite3_finalize(stats_);
    if (db_) Exec("COMMIT; PRAGMA journal_mode=WAL");
    sqlite3_close(db_);
  }
  SyntheticStore(const SyntheticStore&) = delete;
  SyntheticStore& operator=(const SyntheticStore&) = delete;

  bool Add(int n, const store::PeriodTime& until) {
    if (!ok_) return false;
    const std::string serial = "S" + std::to_string(1000000 + n), name = "synthetic-" + std::to_string(n);
    const std::int64_t id = n + 1;
    char sql[1024];
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO instruments(serial, model, name, line, address, first_seen_utc, last_read_utc, every_s) "
                  "VALUES('%s', 'VTK-08.14 C', '%s', 'synthetic', %d, '2023-12-01T00:00:00Z', "
                  "'2026-12-01T00:00:00Z', 3600); "
                  "INSERT INTO reads(id, serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, "
                  "file, recovered, lost, added, conflicts) VALUES(%lld, '%s', '%s', 'synthetic', "
                  "'2026-12-01T00:00:00Z', '2026-12-01T00:05:00Z', 'full', 'done', '', 1960, '', 0, 0, 27400, 0); "
                  "INSERT INTO read_headers(read_id, serial, model, taken_utc, utc_offset_s, header) "
                  "VALUES(%lld, '%s', 'VTK-08.14 C', '2026-12-01T00:05:00Z', 0, zeroblob(1024))",
                  serial.c_str(), name.c_str(), n % 250 + 1, static_cast<long long>(id), serial.c_str(), name.c_str(),
                  static_cast<long long>(id), serial.c_str());
    if (!Exec(sql)) return false;
    const std::string raw(128, 'a');
    double total = 1000.0 * n;
    const std::pair<ArchiveKind, long> spans[] = {
        {ArchiveKind::Daily, 3 * 365}, {ArchiveKind::Hourly, 3 * 365 * 24}, {ArchiveKind::Monthly, 36}};
    for (const auto& [kind, count] : spans) {  // in the key's order: daily, hourly, monthly
      const std::string archive(store::ArchiveName(kind));
      const store::PeriodTime newest = store::StepPeriod(kind, until, -1);
      std::string oldest, last;
      for (long i = count - 1; i >= 0; --i) {
        last = store::PeriodText(kind, store::StepPeriod(kind, newest, -i));
        if (oldest.empty()) oldest = last;
        total += 1.5;
        sqlite3_bind_text(record_, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(record_, 2, archive.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(record_, 3, last.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(record_, 4, total);
        sqlite3_bind_int64(record_, 5, id);
        sqlite3_bind_text(record_, 6, raw.c_str(), -1, SQLITE_STATIC);
        if (!Step(record_)) return false;
      }
      sqlite3_bind_text(stats_, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(stats_, 2, archive.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(stats_, 3, count);
      sqlite3_bind_text(stats_, 4, oldest.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(stats_, 5, last.c_str(), -1, SQLITE_TRANSIENT);
      if (!Step(stats_)) return false;
    }
    return (n + 1) % 50 != 0 || Exec("COMMIT; BEGIN");
  }

 private:
  bool Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
    std::fprintf(stderr, "bench_store: %s\n", error ? error : "?");
    sqlite3_free(error);
    return false;
  }
  bool Prepare(sqlite3_stmt** s, const char* sql) { return sqlite3_prepare_v2(db_, sql, -1, s, nullptr) == SQLITE_OK; }
  bool Step(sqlite3_stmt* s) {
    const bool done = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_reset(s);
    if (!done) std::fprintf(stderr, "bench_store: %s\n", sqlite3_errmsg(db_));
    return done;
  }
  sqlite3* db_ = nullptr;
  sqlite3_stmt *record_ = nullptr, *stats_ = nullptr;
  bool ok_ = false;
};

struct Fleet {
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::vector<std::unique_ptr<sim::Server>> servers;
};

Fleet StartFleet() {
  static constexpr DeviceType kModels[] = {DeviceType::dtVTK0814C, DeviceType::dtLDN08, DeviceType::dtVTK0814CM};
  Fleet f;
  for (int i = 0; i < kLines; ++i) {
    std::vector<sim::Instrument*> raw;
    for (int k = 0; k < kPerLine; ++k) {
      sim::InstrumentOptions o;
      o.model = kModels[(i + k) % 3];
      o.address = static_cast<std::uint8_t>(k + 1);
      o.longAddress = o.address;
      o.seed = static_cast<std::uint64_t>(100 + i * 10 + k);
      f.instruments.push_back(std::make_unique<sim::Instrument>(o));
      raw.push_back(f.instruments.back().get());
    }
    sim::ServerOptions so;
    so.carrier = sim::CarrierKind::Tcp;
    auto started = sim::Server::Start(raw, so);
    if (!started) {
      std::fprintf(stderr, "bench_store: the simulator did not start: %s\n", started.error().reason.c_str());
      std::exit(1);
    }
    f.servers.push_back(std::move(*started));
  }
  return f;
}

void WriteConfig(const fs::path& home, const Fleet& f) {
  std::ofstream ini(home / "collect.ini", std::ios::trunc);
  ini << "[Collector]\nDatabase=collect.sqlite\n";
  for (int i = 0; i < kLines; ++i)
    ini << "\n[Line L" << i << "]\nMode=tcp\nTcp=127.0.0.1:" << f.servers[static_cast<std::size_t>(i)]->Port()
        << "\nPacketConst=500\nByteConst=100\nPacketRetry=2\n";
  for (int i = 0; i < kLines; ++i)
    for (int k = 0; k < kPerLine; ++k)
      ini << "\n[Instrument i" << i << "_" << k << "]\nLine=L" << i << "\nAddress=" << k + 1 << "\nEvery=1h\n";
}

double Run(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream o, e;
  const auto t0 = Clock::now();
  const int rc = Dispatch(args, o, e);
  const double s = Seconds(t0);
  if (rc != kExitOk) {
    std::fprintf(stderr, "bench_store: %s failed (%d):\n%s\n", args[0].c_str(), rc, e.str().c_str());
    std::exit(1);
  }
  if (out) *out = o.str();
  return s;
}

struct PassFigures {
  double firstS = 0, dayS = 0;
  std::uintmax_t storeBytes = 0, dataBytes = 0;  // added by the day's pass
};

// A first pass of the fleet, then a day later the timed one.
PassFigures TwoPasses(const fs::path& home) {
  PassFigures p;
  Fleet fleet = StartFleet();
  WriteConfig(home, fleet);
  p.firstS = Run({"once", "--home", home.string()});
  for (auto& in : fleet.instruments) in->Advance(24);
  const auto storeBefore = StoreBytes(home), dataBefore = SizeOf(home / "Data");
  p.dayS = Run({"once", "--home", home.string()});
  p.storeBytes = StoreBytes(home) - storeBefore;
  p.dataBytes = SizeOf(home / "Data") - dataBefore;
  return p;
}

fs::path NewHome(const char* what) {
  const fs::path home =
      fs::temp_directory_path() / ("statvtk-bench-store-" + std::string(what) + std::to_string(std::random_device{}()));
  fs::create_directories(home);
  return home;
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("STATVTK_BENCH_INSTRUMENTS");
  const int synthetic = std::max(1, argc > 1 ? std::atoi(argv[1]) : env ? std::atoi(env) : 40);
  const fs::path kept = argc > 2 ? fs::path(argv[2]) : fs::path();

  // The synthetic store (built once when a folder is given).
  const fs::path big = kept.empty() ? NewHome("big-") : kept;
  fs::create_directories(big);
  fs::remove_all(big / "Data");
  const bool built = fs::exists(big / "collect.sqlite.built");
  const auto t0 = Clock::now();
  {
    auto s = store::OpenRecordStore("collect.sqlite", big);  // the schema
    if (!s) {
      std::fprintf(stderr, "bench_store: %s\n", s.error().reason.c_str());
      return 1;
    }
  }
  if (!built) {
    SyntheticStore s(big / "collect.sqlite");
    const store::PeriodTime until{2026, 12, 1, 0};
    for (int n = 0; n < synthetic; ++n) {
      if (!s.Add(n, until)) {
        std::fprintf(stderr, "bench_store: the synthetic store could not be filled\n");
        return 1;
      }
      if ((n + 1) % 50 == 0) std::fprintf(stderr, "  %d of %d instruments, %.0f s\n", n + 1, synthetic, Seconds(t0));
    }
  }
  if (!built) std::ofstream(big / "collect.sqlite.built") << synthetic << "\n";
  const double buildS = Seconds(t0);
  std::printf("synthetic store: %d instruments x 27 400 records (%.1f M records), %.1f MB, %s in %.1f s\n", synthetic,
              synthetic * 27400 / 1e6, static_cast<double>(StoreBytes(big)) / 1e6, built ? "found" : "built", buildS);

  // A kept store stays as built: the passes run on a copy.
  const fs::path run = kept.empty() ? big : NewHome("copy-");
  if (!kept.empty()) fs::copy_file(big / "collect.sqlite", run / "collect.sqlite");
  const fs::path empty = NewHome("empty-");
  const PassFigures e = TwoPasses(empty);
  const PassFigures b = TwoPasses(run);
  std::printf("new-records pass of %d instruments a day later: %.2f s on an empty store, %.2f s on the synthetic one\n",
              kLines * kPerLine, e.dayS, b.dayS);
  std::printf("pass on the synthetic store / on an empty one: %.2f (goal <= 1.2)\n", b.dayS / e.dayS);
  std::printf("(first, full passes: %.2f s and %.2f s)\n", e.firstS, b.firstS);
  std::printf("bytes added by the day's pass: store %+.1f KB (empty) / %+.1f KB (synthetic), Data/ %+lld B / %+lld B\n",
              static_cast<double>(e.storeBytes) / 1e3, static_cast<double>(b.storeBytes) / 1e3,
              static_cast<long long>(e.dataBytes), static_cast<long long>(b.dataBytes));

  std::string out;
  const double statusS = Run({"status", "--json", "--home", run.string()}, &out);
  std::printf("status --json, %d instruments: %.3f s (%zu bytes) (goal < 1 s)\n", synthetic + kLines * kPerLine,
              statusS, out.size());
  store::StoreOptions readOnly;
  readOnly.readOnly = true;
  auto reader = store::OpenRecordStore("collect.sqlite", run, readOnly);
  if (!reader) return 1;
  FleetApi api(std::move(*reader), FleetLive{});
  const auto t1 = Clock::now();
  const HttpAnswer answer = api.Answer("GET", "/api/instruments", {});
  std::printf("GET /api/instruments, %d instruments: %.3f s (status %d, %zu bytes) (goal < 1 s)\n",
              synthetic + kLines * kPerLine, Seconds(t1), answer.status, answer.body.size());

  std::error_code ec;
  fs::remove_all(empty, ec);
  fs::remove_all(run, ec);
  return 0;
}
