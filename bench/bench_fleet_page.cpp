// The page over ten thousand meters: a store (SQLite, then PostgreSQL in a
// throw-away cluster) filled in one transaction with N instruments (default
// 10 000; 400 lines of 25) with half a day of hourly records each, the
// first hundred with 31 days, a read each (one in ten failed); then the
// first page of GET /api/instruments, of /api/completeness and
// /api/read-rates through the API's handler, timed (goal under 1 s each).
// Usage: bench_fleet_page [instruments]
// Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "collect/http/api.hpp"
#include "collect/views/periods.hpp"
#include "store/record_store.hpp"
#include "support/pg_cluster.hpp"
#include "support/temp_folder.hpp"

namespace {

using namespace statvtk;
using Clock = std::chrono::steady_clock;

constexpr const char* kNowPeriod = "2026-12-08 10:00";

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// One instrument's rows: the instrument, its read, its hourly records (`hours` up to now).
bool Instrument(store::RecordStore& s, int n, int hours, std::vector<store::RecordRow>& records) {
  const std::string serial = "P" + std::to_string(1000000 + n), name = "meter-" + std::to_string(n);
  const std::string line = "line-" + std::to_string(n / 25);
  if (!s.UpsertInstrument({serial, "LDN-08", name, line, n % 25 + 1, "2026-11-01T00:00:00Z", "", 3600})) return false;
  auto id = s.StartRead({serial, name, line, "2026-12-08T10:00:00Z", store::ReadMode::New});
  const bool failed = n % 10 == 0;
  if (!id || !s.FinishRead(
                 *id, {serial, "2026-12-08T10:01:00Z", failed ? store::ReadOutcome::Failed : store::ReadOutcome::Done,
                       failed ? "Прибор не отвечает [2]" : "", 30, "", 0, 0, 12, 0}))
    return false;
  const std::int64_t now = *collect::HourNumber(kNowPeriod);
  for (std::int64_t h = now - hours; h < now; ++h) {
    store::RecordRow r;
    r.serial = serial;
    r.period = collect::HourPeriod(h);
    r.forwardTotal = 1000.0 + static_cast<double>(h % 1000);
    r.forwardIncrement = 1.0;
    r.fields = "{}";
    r.readId = *id;
    r.raw = std::string(136, 'b');
    records.push_back(std::move(r));
  }
  return true;
}

bool Fill(store::RecordStore& s, int count) {
  store::StoreTransaction t(s);
  if (!t.Begun()) return false;
  std::vector<store::RecordRow> records;
  for (int n = 0; n < count; ++n) {
    if (!Instrument(s, n, n < 100 ? 31 * 24 : 12, records)) return false;
    if (records.size() >= 5000) {
      if (!s.PutRecords(records)) return false;
      records.clear();
    }
  }
  if (!records.empty() && !s.PutRecords(records)) return false;
  for (int k = 0; k < 40; ++k)  // a modem pool's calls, so that it has reads to count
    if (!s.AddCall({0, "bench", "gsm", "ttyUSB0", "line-" + std::to_string(k), "+7900", "2026-12-08T09:00:00Z",
                    "2026-12-08T09:00:20Z", "2026-12-08T09:02:00Z", "CONNECT"}))
      return false;
  return t.Commit().has_value();
}

void Time(collect::FleetApi& api, const char* backend, int count, const char* path, const collect::QueryParams& q) {
  std::string asked = path;
  for (const auto& [k, v] : q) asked += (asked == path ? "?" : "&") + k + "=" + v;
  for (int round = 0; round < 2; ++round) {  // the second with the statements prepared
    const auto t0 = Clock::now();
    const collect::HttpAnswer a = api.Answer("GET", path, q);
    std::printf("%s, %d instruments: GET %s (%s): %.3f s (status %d, %zu bytes) (goal < 1 s)\n", backend, count,
                asked.c_str(), round ? "again" : "first", Seconds(t0), a.status, a.body.size());
  }
}

bool Bench(const char* backend, const std::string& database, const std::filesystem::path& home, int count) {
  const auto t0 = Clock::now();
  {
    auto s = store::OpenRecordStore(database, home);
    if (!s || !Fill(**s, count)) {
      std::fprintf(stderr, "bench_fleet_page: %s: the store could not be filled\n", backend);
      return false;
    }
  }
  std::printf("%s store: %d instruments filled in %.1f s\n", backend, count, Seconds(t0));
  store::StoreOptions readOnly;
  readOnly.readOnly = true;
  auto reader = store::OpenRecordStore(database, home, readOnly);
  if (!reader) return false;
  collect::FleetLive live;
  live.now = [] { return *collect::UtcMoment("2026-12-08T10:30:00Z"); };
  live.nowPeriod = [] { return std::string(kNowPeriod); };
  collect::FleetApi api(std::move(*reader), std::move(live));
  Time(api, backend, count, "/api/instruments", {{"page", "1"}});
  Time(api, backend, count, "/api/instruments", {{"page", "1"}, {"q", "meter-99"}});
  Time(api, backend, count, "/api/completeness", {{"days", "31"}, {"page", "1"}});
  Time(api, backend, count, "/api/read-rates", {{"days", "31"}});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = std::max(1, argc > 1 ? std::atoi(argv[1]) : 10000);
  link_test::TempFolder home;
  if (!Bench("SQLite", (home.Path() / "collect.sqlite").string(), home.Path(), count)) return 1;
  test::PgCluster cluster;
  if (!cluster.Init() || !cluster.CreateDatabase("fleet")) {
    std::fprintf(stderr, "bench_fleet_page: PostgreSQL: %s\n", cluster.Log().c_str());
    return 1;
  }
  return Bench("PostgreSQL", cluster.Url("fleet"), home.Path(), count) ? 0 : 1;
}
