// The situations' cost on the collector's real store: a SQLite store filled
// with N instruments (default 1 000) x a year of hourly records (8.76
// million) and their daily ones, then
//  (a) the analysis over all of it, each instrument's records read from the
//      store (goal under 10 s for the fleet), and
//  (b) the evaluation after a read as the collector makes it
//      (CheckSituations: the image's records of the rules' five weeks, the
//      situations refreshed in the store in one transaction), with the
//      read's image in hand and from the store's image (goal under 20 ms an
//      instrument).
// Usage: bench_situation_rules [--instruments N] [--keep DIR]
// Prints figures; not a test (CI does not run it).
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/situations.hpp"
#include "base/device_values.hpp"
#include "collect/image/archive_slots.hpp"
#include "collect/run/situation_check.hpp"
#include "collect/run/store_writer.hpp"
#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "stats/record_plausible.hpp"
#include "stats/status_names.hpp"
#include "store/periods.hpp"
#include "store/record_store.hpp"

namespace {

namespace fs = std::filesystem;
using namespace statvtk;
using Clock = std::chrono::steady_clock;

constexpr DeviceType kType = DeviceType::dtVTK0814C;
constexpr int kDays = 365;
constexpr double kWholeGoalS = 10, kStepGoalMs = 20;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string SerialOf(int n) { return "B" + std::to_string(1000000 + n); }

// A small deterministic generator (each instrument its own stream).
struct Lcg {
  std::uint64_t s;
  double Next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) / 9007199254740992.0;
  }
};

// The store filled straight through SQLite in one transaction: one prepared
// statement per table, no journal while it is built, rows in key order.
class Filler {
 public:
  explicit Filler(const fs::path& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) return;
    ok_ = Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-262144; BEGIN");
    ok_ = ok_ && Prepare(&record_,
                         "INSERT INTO records(serial, archive, period, forward_total, reverse_total, "
                         "forward_increment, reverse_increment, flags, valid, fields, read_id, utc_offset_s, raw, "
                         "bad_date) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 1, '{}', ?9, 0, '', 0)");
    ok_ = ok_ && Prepare(&slot_, "INSERT INTO slots(serial, archive, slot, raw, read_id) VALUES(?1, ?2, ?3, ?4, ?5)");
    ok_ = ok_ && Prepare(&header_,
                         "INSERT INTO read_headers(read_id, serial, model, taken_utc, utc_offset_s, header) "
                         "VALUES(?1, ?2, 'VTK-08.14 C', '2026-12-08T10:31:00Z', 0, ?3)");
  }
  ~Filler() {
    for (auto* s : {record_, slot_, header_}) sqlite3_finalize(s);
    if (db_) Exec("COMMIT; PRAGMA journal_mode=WAL");
    sqlite3_close(db_);
  }
  Filler(const Filler&) = delete;
  Filler& operator=(const Filler&) = delete;

  // Instrument n: its read and header (the simulator's), its slot image and a
  // year of hourly and daily records ending at `until` (exclusive).
  bool Add(int n, const StatData& image, const store::PeriodTime& until) {
    const std::string serial = SerialOf(n);
    const long long id = n + 1;
    char sql[1024];
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO instruments(serial, model, name, line, address, first_seen_utc, last_read_utc, every_s) "
                  "VALUES('%s', 'VTK-08.14 C', 'bench-%d', 'bench', %d, '2025-12-01T00:00:00Z', "
                  "'2026-12-08T10:31:00Z', 3600); "
                  "INSERT INTO reads(id, serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, "
                  "file, recovered, lost, added, conflicts) VALUES(%lld, '%s', 'bench-%d', 'bench', "
                  "'2026-12-08T10:30:00Z', '2026-12-08T10:31:00Z', 'full', 'done', '', 1960, '', 0, 0, 9125, 0)",
                  serial.c_str(), n, n % 250 + 1, id, serial.c_str(), n);
    if (!ok_ || !Exec(sql)) return false;
    sqlite3_bind_int64(header_, 1, id);
    sqlite3_bind_text(header_, 2, serial.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(header_, 3, image.header.data(), static_cast<int>(image.header.size()), SQLITE_STATIC);
    return Step(header_) && Records(n, serial, until) && Slots(serial, image, id);
  }

 private:
  bool Records(int n, const std::string& serial, const store::PeriodTime& until);
  bool Slots(const std::string& serial, const StatData& image, long long id) {
    for (const ArchiveKind kind : store::kArchiveKinds) {
      const collect::ArchiveSlots a = collect::SlotsOf(kType, kind);
      const std::string archive(store::ArchiveName(kind));
      for (std::size_t k = 0; k < a.count; ++k) {
        sqlite3_bind_text(slot_, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(slot_, 2, archive.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(slot_, 3, static_cast<long long>(k));
        sqlite3_bind_blob(slot_, 4, image.area.data() + a.offset + k * a.size, static_cast<int>(a.size), SQLITE_STATIC);
        sqlite3_bind_int64(slot_, 5, id);
        if (!Step(slot_)) return false;
      }
    }
    return true;
  }
  bool Record(const std::string& serial, const char* archive, const std::string& period, double total, double forward,
              double reverse, int flags, long long id) {
    sqlite3_bind_text(record_, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(record_, 2, archive, -1, SQLITE_STATIC);
    sqlite3_bind_text(record_, 3, period.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(record_, 4, total);
    sqlite3_bind_double(record_, 5, 0);
    sqlite3_bind_double(record_, 6, forward);
    sqlite3_bind_double(record_, 7, reverse);
    sqlite3_bind_int64(record_, 8, flags);
    sqlite3_bind_int64(record_, 9, id);
    return Step(record_);
  }
  bool Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
    std::fprintf(stderr, "bench_situation_rules: %s\n", error ? error : "?");
    sqlite3_free(error);
    return false;
  }
  bool Prepare(sqlite3_stmt** s, const char* sql) { return sqlite3_prepare_v2(db_, sql, -1, s, nullptr) == SQLITE_OK; }
  bool Step(sqlite3_stmt* s) {
    const bool done = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_reset(s);
    if (!done) std::fprintf(stderr, "bench_situation_rules: %s\n", sqlite3_errmsg(db_));
    return done;
  }
  sqlite3* db_ = nullptr;
  sqlite3_stmt *record_ = nullptr, *slot_ = nullptr, *header_ = nullptr;
  bool ok_ = false;
};

// A year of one instrument: a day's shape of consumption, a leak at night on
// some weeks of every tenth instrument, reverse flow, flags, a few hours
// missing, a spike on one day of every seventh. Daily records first (the
// key's order), then the hourly ones.
bool Filler::Records(int n, const std::string& serial, const store::PeriodTime& until) {
  const long long id = n + 1;
  const store::PeriodTime first = store::StepPeriod(ArchiveKind::Daily, until, -kDays);
  std::vector<double> dayVolume(kDays, 0);
  std::vector<std::string> hours;
  Lcg rng{static_cast<std::uint64_t>(n) * 7919 + 1};
  const double scale = 0.05 + rng.Next();
  double total = 1000.0 * n;
  for (int d = 0; d < kDays; ++d) {
    const bool leak = n % 10 == 0 && (d / 7) % 5 == 2;
    const store::PeriodTime day = store::StepPeriod(ArchiveKind::Daily, first, d);
    for (int h = 0; h < 24; ++h) {
      const double forward = h < 6 ? (leak ? 0.03 : 0) : scale * (0.5 + rng.Next());
      const double reverse = rng.Next() < 0.002 ? 0.02 : 0;
      const int flags = rng.Next() < 0.01 ? 1 << static_cast<int>(rng.Next() * 7) : 0;
      dayVolume[d] += forward;
      total += forward;
      if (rng.Next() < 0.001) continue;  // an hour the store lacks
      store::PeriodTime t = day;
      t.hour = h;
      if (!Record(serial, "hourly", store::PeriodText(ArchiveKind::Hourly, t), total, forward, reverse, flags, id))
        return false;
    }
    if (n % 7 == 0 && d == 200) dayVolume[d] *= 5;
  }
  double dayTotal = 1000.0 * n;
  for (int d = 0; d < kDays; ++d) {
    dayTotal += dayVolume[d];
    const std::string period = store::PeriodText(ArchiveKind::Daily, store::StepPeriod(ArchiveKind::Daily, first, d));
    if (!Record(serial, "daily", period, dayTotal, dayVolume[d], 0, 0, id)) return false;
  }
  return true;
}

// An archive's stored records as the analysis's periods.
std::vector<analysis::Period> PeriodsOf(const std::vector<store::RecordRow>& rows, ArchiveKind kind) {
  std::vector<analysis::Period> out;
  out.reserve(rows.size());
  for (const auto& r : rows) {
    const auto t = store::ParsePeriod(kind, r.period);
    if (!t) continue;
    analysis::Period p{.start = store::CalendarSeconds(*t), .flags = static_cast<std::uint32_t>(r.flags)};
    p.known = r.forwardIncrement.has_value();
    p.forward = r.forwardIncrement.value_or(0);
    p.reverse = r.reverseIncrement.value_or(0);
    out.push_back(p);
  }
  return out;
}

struct Whole {
  double read = 0, analysed = 0;
  std::size_t records = 0, situations = 0, months = 0;
};

// (a) Every instrument's records read from the store and analysed whole.
bool AnalyseWhole(store::RecordStore& s, int instruments, Whole& w) {
  analysis::MeterRecords base;
  for (const auto word : StatusBitNames(kType)) base.flagNames.emplace_back(word);
  for (int n = 0; n < instruments; ++n) {
    auto t0 = Clock::now();
    auto hourly = s.Records({SerialOf(n), ArchiveKind::Hourly, "", "", 0});
    auto daily = s.Records({SerialOf(n), ArchiveKind::Daily, "", "", 0});
    if (!hourly || !daily) return false;
    analysis::MeterRecords m = base;
    m.hourly = PeriodsOf(*hourly, ArchiveKind::Hourly);
    m.daily = PeriodsOf(*daily, ArchiveKind::Daily);
    if (!m.hourly.empty()) m.clock = m.hourly.back().start + 3600;
    w.read += Seconds(t0);
    w.records += m.hourly.size() + m.daily.size();
    t0 = Clock::now();
    const analysis::Analysis a = analysis::Analyse(m, {});
    w.analysed += Seconds(t0);
    w.situations += a.situations.size();
    w.months += a.months.size();
  }
  return true;
}

struct StepFigures {
  double sumMs = 0, maxMs = 0;
  std::size_t opened = 0;
};

// (b) The collector's evaluation after a read of each instrument.
void AfterReads(collect::StoreWriter& writer, int instruments, const StatData* readImage, StepFigures& step) {
  const analysis::Settings rules;
  std::string failed;
  for (int n = 0; n < instruments; ++n) {
    const auto t0 = Clock::now();
    const auto changes = collect::CheckSituations(writer, SerialOf(n), rules, readImage,
                                                  [&failed](const std::string& s) { failed = s; });
    const double ms = Seconds(t0) * 1000;
    step.sumMs += ms;
    step.maxMs = std::max(step.maxMs, ms);
    if (changes) step.opened += changes->opened.size();
  }
  if (!failed.empty()) std::printf("  (a failure: %s)\n", failed.c_str());
}

void PrintStep(const char* what, const StepFigures& s, int instruments) {
  const double mean = s.sumMs / instruments;
  std::printf(
      "(b) after a read, %s: %.2f ms mean, %.2f ms max an instrument; %zu situations raised  (goal < %.0f ms: "
      "mean %.2f, max %.2f of it)\n",
      what, mean, s.maxMs, s.opened, kStepGoalMs, mean / kStepGoalMs, s.maxMs / kStepGoalMs);
}

int Options(int argc, char** argv, fs::path& keep) {
  int instruments = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--instruments" && i + 1 < argc) instruments = std::max(1, std::atoi(argv[++i]));
    else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_situation_rules [--instruments N] [--keep DIR]\n");
      return 0;
    }
  }
  return instruments;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path keep;
  const int instruments = Options(argc, argv, keep);
  if (instruments == 0) return 2;
  const fs::path dir =
      keep.empty() ? fs::temp_directory_path() / ("statvtk-bench-rules-" + std::to_string(getpid())) : keep;
  fs::remove_all(dir);
  fs::create_directories(dir);
  const auto now = static_cast<std::uint32_t>(CivilToDeviceTime(2026, 12, 8, 10, 30, 0));
  const StatData image = sim::ExpectedDump(kType, sim::BuildMemories(sim::GenerateHistory(kType, 77, now)));
  {
    auto made = store::OpenRecordStore("bench.sqlite", dir);  // the schema
    if (!made) return std::fprintf(stderr, "bench_situation_rules: %s\n", made.error().reason.c_str()), 1;
  }
  auto t0 = Clock::now();
  {
    Filler fill(dir / "bench.sqlite");
    for (int n = 0; n < instruments; ++n)
      if (!fill.Add(n, image, {2026, 12, 8, 0})) return 1;
  }
  const double filled = Seconds(t0);
  auto opened = store::OpenRecordStore("bench.sqlite", dir);
  if (!opened) return std::fprintf(stderr, "bench_situation_rules: %s\n", opened.error().reason.c_str()), 1;
  store::RecordStore& s = **opened;
  std::printf(
      "SQLite store: %d instruments x a year (%d hourly and %d daily records each), filled in %.1f s, %.0f MB\n",
      instruments, kDays * 24, kDays, filled, static_cast<double>(fs::file_size(dir / "bench.sqlite")) / 1e6);

  Whole w;
  if (!AnalyseWhole(s, instruments, w)) return std::fprintf(stderr, "bench_situation_rules: a read failed\n"), 1;
  const double whole = w.read + w.analysed;
  std::printf(
      "(a) whole year, %zu records: %.2f s (read from the store %.2f s, analysed %.2f s); %zu situations, "
      "%zu months  (goal < %.0f s: %.2f of it)\n",
      w.records, whole, w.read, w.analysed, w.situations, w.months, kWholeGoalS, whole / kWholeGoalS);

  collect::StoreWriter writer(s);
  StepFigures inHand, fromStore;
  AfterReads(writer, instruments, &image, inHand);
  AfterReads(writer, instruments, nullptr, fromStore);
  PrintStep("the read's image in hand", inHand, instruments);
  PrintStep("the store's image", fromStore, instruments);
  opened->reset();
  if (keep.empty()) fs::remove_all(dir);
  return 0;
}
