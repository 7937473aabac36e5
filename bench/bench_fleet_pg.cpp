// The fleet's status on PostgreSQL: a throw-away cluster (initdb, the server
// on a free loopback port, removed after), N instruments (default 1000) each
// with 14 days of hourly and 60 of daily records, a good read and, for one in
// ten, failed reads after it; then `status --json` and GET /api/instruments
// over the whole fleet, timed (goal under 1 s each).
// Usage: bench_fleet_pg [instruments]
// Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "collect/commands.hpp"
#include "collect/http/api.hpp"
#include "store/periods.hpp"
#include "store/record_store.hpp"
#include "support/pg_cluster.hpp"
#include "support/temp_folder.hpp"

namespace {

using namespace statvtk;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

bool Fill(store::RecordStore& s, int n, const store::PeriodTime& until) {
  const std::string serial = "P" + std::to_string(1000000 + n), name = "meter-" + std::to_string(n);
  const std::string line = "line-" + std::to_string(n / 25);
  store::StoreTransaction t(s);
  if (!t.Begun()) return false;
  bool ok =
      s.UpsertInstrument({serial, "LDN-08", name, line, n % 25 + 1, "2026-11-01T00:00:00Z", "", 3600}).has_value();
  auto id = s.StartRead({serial, name, line, "2026-12-01T00:00:00Z", store::ReadMode::New});
  ok = ok && id &&
       s.FinishRead(*id, {serial, "2026-12-01T00:01:00Z", store::ReadOutcome::Done, "", 60, "", 0, 0, 25, 0});
  ok = ok && s.PutHeader({*id, serial, "LDN-08", "2026-12-01T00:01:00Z", 0, std::vector<std::uint8_t>(2048)});
  for (int k = 0; ok && n % 10 == 0 && k < 5; ++k) {
    auto bad = s.StartRead({serial, name, line, "2026-12-01T01:00:00Z", store::ReadMode::New});
    ok = bad && s.FinishRead(*bad, {serial, "2026-12-01T01:00:30Z", store::ReadOutcome::Failed,
                                    "Прибор не отвечает [2]", 3, "", 0, 0, 0, 0});
  }
  std::vector<store::RecordRow> rows;
  for (const auto& [kind, count] : {std::pair{ArchiveKind::Hourly, 14 * 24}, std::pair{ArchiveKind::Daily, 60}})
    for (int i = count; i >= 1; --i) {
      store::RecordRow r;
      r.serial = serial;
      r.archive = kind;
      r.period = store::PeriodText(kind, store::StepPeriod(kind, until, -i));
      r.forwardTotal = 1000.0 + i;
      r.forwardIncrement = 1.0;
      r.fields = "{}";
      r.readId = id ? *id : 0;
      r.raw = std::string(136, 'b');
      rows.push_back(std::move(r));
    }
  ok = ok && s.PutRecords(rows).has_value();
  return ok && t.Commit().has_value();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = std::max(1, argc > 1 ? std::atoi(argv[1]) : 1000);
  test::PgCluster cluster;
  if (!cluster.Init() || !cluster.CreateDatabase("fleet")) {
    std::fprintf(stderr, "bench_fleet_pg: PostgreSQL: %s\n", cluster.Log().c_str());
    return 1;
  }
  link_test::TempFolder home;
  const std::string url = cluster.Url("fleet");
  const auto t0 = Clock::now();
  {
    auto s = store::OpenRecordStore(url, home.Path());
    if (!s) {
      std::fprintf(stderr, "bench_fleet_pg: %s\n", s.error().reason.c_str());
      return 1;
    }
    for (int n = 0; n < count; ++n)
      if (!Fill(**s, n, store::PeriodTime{2026, 12, 1, 0})) {
        std::fprintf(stderr, "bench_fleet_pg: the store could not be filled\n");
        return 1;
      }
  }
  std::printf("PostgreSQL store: %d instruments, %d records, filled in %.1f s\n", count, count * (14 * 24 + 60),
              Seconds(t0));
  // collect.ini names the first line's 25 as this collector's (on an address nobody answers).
  std::ofstream ini(home.Path() / "collect.ini");
  ini << "[Collector]\nDatabase=" << url << "\n\n[Line line-0]\nMode=tcp\nTcp=127.0.0.1:9\n";
  for (int n = 0; n < 25 && n < count; ++n)
    ini << "\n[Instrument meter-" << n << "]\nLine=line-0\nAddress=" << n % 25 + 1 << "\nEvery=1h\n";
  ini.close();
  std::ostringstream out, err;
  const auto t1 = Clock::now();
  const int rc = collect::Dispatch({"status", "--json", "--home", home.Path().string()}, out, err);
  std::printf("status --json, %d instruments: %.3f s (exit %d, %zu bytes) (goal < 1 s)\n", count, Seconds(t1), rc,
              out.str().size());
  if (rc != collect::kExitOk) std::fprintf(stderr, "%s\n", err.str().c_str());
  store::StoreOptions readOnly;
  readOnly.readOnly = true;
  auto reader = store::OpenRecordStore(url, home.Path(), readOnly);
  if (!reader) return 1;
  collect::FleetApi api(std::move(*reader), collect::FleetLive{});
  for (int round = 0; round < 2; ++round) {  // the second with the statements prepared
    const auto t2 = Clock::now();
    const collect::HttpAnswer answer = api.Answer("GET", "/api/instruments", {});
    std::printf("GET /api/instruments, %d instruments (%s): %.3f s (status %d, %zu bytes) (goal < 1 s)\n", count,
                round ? "again" : "first", Seconds(t2), answer.status, answer.body.size());
  }
  return 0;
}
