// What the store costs for memories real meters hold. For each shape (tidy,
// a clock reset to 2000 and set right, a clock set back an hour, unwritten
// slots of arbitrary bytes, a record with a year byte 0xA0) four instruments
// (VTK-08.12, VTK-08.14 C and CM, LDN-08) on one loopback line are collected
// into SQLite twice, a day apart: the second pass's requests against the
// records new since the first (goal: equal, plus the header and pointers),
// the gap rows per instrument (goal: at most the gaps), the store's bytes
// per record. Then on PostgreSQL (a throw-away cluster): one VTK-08.14
// full read's rows written in one transaction as the collector writes them,
// its commit time and its WAL bytes (pg_current_wal_lsn before and after).
// Usage: bench_store_shapes
// Prints figures; not a test.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "collect/commands.hpp"
#include "collect/image/archive_slots.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "store/image_rows.hpp"
#include "store/record_store.hpp"
#include "support/pg_cluster.hpp"
#include "support/temp_folder.hpp"

namespace {

using namespace statvtk;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Shape {
  const char* name;
  std::function<void(sim::InstrumentOptions&)> apply;
};

const Shape kShapes[] = {
    {"tidy", [](sim::InstrumentOptions&) {}},
    {"clock reset to 2000 for 170 h",
     [](sim::InstrumentOptions& o) {
       o.shapes.clockReset = sim::ClockReset{170, 300};
     }},
    {"clock set back an hour", [](sim::InstrumentOptions& o) { o.shapes.clockBack = 200; }},
    {"unwritten slots of arbitrary bytes",
     [](sim::InstrumentOptions& o) {
       o.shapes.garbageSlots = true;
       o.shapes.historyHours = 600;
     }},
    {"a record with year byte 0xA0", [](sim::InstrumentOptions& o) { o.shapes.badYear = 100; }},
};

constexpr std::pair<DeviceType, unsigned> kModels[] = {
    {DeviceType::dtVTK0812, 3}, {DeviceType::dtVTK0814C, 4}, {DeviceType::dtVTK0814CM, 5}, {DeviceType::dtLDN08, 7}};

bool Once(const fs::path& home) {
  std::ostringstream out, err;
  const int rc = collect::Dispatch({"once", "--home", home.string()}, out, err);
  if (rc != collect::kExitOk) std::fprintf(stderr, "once: %s\n", err.str().c_str());
  return rc == collect::kExitOk;
}

bool RunShape(const Shape& shape) {
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::vector<sim::Instrument*> served;
  for (auto [model, address] : kModels) {
    sim::InstrumentOptions o;
    o.model = model;
    o.address = static_cast<std::uint8_t>(address);
    o.longAddress = address;
    o.seed = 40 + address;
    shape.apply(o);
    instruments.push_back(std::make_unique<sim::Instrument>(o));
    served.push_back(instruments.back().get());
  }
  sim::ServerOptions so;
  so.carrier = sim::CarrierKind::Tcp;
  auto server = sim::Server::Start(served, so);
  if (!server) return false;
  link_test::TempFolder home;
  {
    std::ofstream ini(home.Path() / "collect.ini");
    ini << "[Collector]\nDatabase=collect.sqlite\nKeepFiles=none\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:"
        << (*server)->Port() << "\n";
    for (auto [model, address] : kModels)
      ini << "\n[Instrument m" << address << "]\nLine=bus\nAddress=" << address << "\n";
  }
  if (!Once(home.Path())) return false;
  for (auto& i : instruments) i->Advance(24);
  if (!Once(home.Path())) return false;
  auto s = store::OpenRecordStore("collect.sqlite", home.Path());
  if (!s) return false;
  std::printf("%s\n", shape.name);
  std::int64_t records = 0;
  for (const auto& r : (*s)->Reads({}).value()) {
    if (r.id <= static_cast<std::int64_t>(std::size(kModels))) continue;
    std::size_t gaps = 0;
    for (const ArchiveKind kind : store::kArchiveKinds) gaps += (*s)->Gaps(r.serial, kind, "", "").value().size();
    std::printf("  %-4s %-9s second pass: %5lld requests for %4lld new records (%+lld), gap rows %zu\n", r.name.c_str(),
                std::string(store::ReadModeName(r.mode)).c_str(), static_cast<long long>(r.requests),
                static_cast<long long>(r.added), static_cast<long long>(r.requests - r.added), gaps);
  }
  for (const auto& i : (*s)->Instruments().value())
    for (const ArchiveKind kind : store::kArchiveKinds) records += (*s)->Stats(i.serial, kind).value().records;
  const auto bytes = fs::file_size(home.Path() / "collect.sqlite");
  std::printf("  store: %lld records, %ju bytes, %.0f bytes per record\n", static_cast<long long>(records),
              static_cast<std::uintmax_t>(bytes), records ? static_cast<double>(bytes) / records : 0.0);
  return true;
}

// One VTK-08.14 full read's rows (header, every slot, its records) in one
// PostgreSQL transaction: the commit time and the WAL it wrote.
bool PostgresFullRead() {
  test::PgCluster cluster;
  if (!cluster.Init() || !cluster.CreateDatabase("shapes")) {
    std::fprintf(stderr, "PostgreSQL: %s\n", cluster.Log().c_str());
    return false;
  }
  link_test::TempFolder home;
  auto s = store::OpenRecordStore(cluster.Url("shapes"), home.Path());
  if (!s) return false;
  sim::InstrumentOptions o;
  o.model = DeviceType::dtVTK0814C;
  o.shapes.clockReset = sim::ClockReset{170, 300};
  const sim::Instrument inst(o);
  const StatData dump = inst.ExpectedDump();
  auto model = MakeStatModel(dump);
  const auto rows = store::RowsOf(*model, 1, 0);
  std::vector<store::SlotRow> slots;
  for (const ArchiveKind kind : store::kArchiveKinds) {
    const auto at = collect::SlotsOf(dump.type, kind);
    for (std::size_t i = 0; i < at.count; ++i) {
      const auto from = dump.area.begin() + static_cast<std::ptrdiff_t>(at.offset + i * at.size);
      slots.push_back({kind, static_cast<std::int64_t>(i), {from, from + static_cast<std::ptrdiff_t>(at.size)}, 1});
    }
  }
  const std::string serial = store::StoredSerial(*model);
  const auto lsn = [&] { return cluster.Sql("SELECT pg_current_wal_lsn() - '0/0'::pg_lsn", "shapes"); };
  const double before = std::atof(lsn().c_str());
  const auto t0 = Clock::now();
  store::StoreTransaction t(**s);
  bool ok = t.Begun().has_value();
  ok = ok && (*s)->PutHeader({1, serial, "VTK-08.14 C", "2026-12-10T00:00:00Z", 0, dump.header}).has_value();
  ok = ok && (*s)->PutSlots(serial, slots).has_value();
  ok = ok && (*s)->PutRecords(rows.records).has_value();
  ok = ok && (*s)->PutEvents(rows.events).has_value();
  ok = ok && t.Commit().has_value();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const double after = std::atof(lsn().c_str());
  std::printf(
      "PostgreSQL, one VTK-08.14 C full read (%zu records, %zu slots): written and committed in %.2f s, "
      "WAL %.0f KB (%.0f bytes per record)\n",
      rows.records.size(), slots.size(), seconds, (after - before) / 1024,
      rows.records.empty() ? 0.0 : (after - before) / static_cast<double>(rows.records.size()));
  return ok;
}

}  // namespace

int main() {
  for (const Shape& shape : kShapes)
    if (!RunShape(shape)) {
      std::fprintf(stderr, "bench_store_shapes: %s failed\n", shape.name);
      return 1;
    }
  return PostgresFullRead() ? 0 : 1;
}
