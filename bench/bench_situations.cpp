// The analysis's cost: the situations and months of 1 000 instruments with a
// year of hourly records each (8.76 million records, made in memory as
// decoded periods, goal under 10 s), the newest day of one instrument
// against a five-week window (goal under 20 ms an instrument), and one
// statistics file of the simulator decoded and analysed.
// Usage: bench_situations [instruments]   (default 1000)
// Prints figures; not a test.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "analysis/situations.hpp"
#include "sim/instrument.hpp"
#include "stats/record_plausible.hpp"
#include "stats/status_names.hpp"

namespace {

using namespace statvtk;
using namespace statvtk::analysis;
using Clock = std::chrono::steady_clock;

constexpr long long kHour = 3600, kDay = 86400;
constexpr int kDays = 365;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A small deterministic generator (each instrument its own stream).
struct Lcg {
  std::uint64_t s;
  double Next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) / 9007199254740992.0;
  }
};

// A year of one instrument: a day's shape of consumption, a leak at night on
// some weeks of every tenth instrument, reverse flow, flags and a few gaps.
MeterRecords Instrument(int n, long long start) {
  MeterRecords m;
  for (const auto word : StatusBitNames(DeviceType::dtVTK0814C)) m.flagNames.emplace_back(word);
  m.countsHours = true;
  m.hourly.reserve(kDays * 24);
  Lcg rng{static_cast<std::uint64_t>(n) * 7919 + 1};
  const double scale = 0.05 + rng.Next();
  for (int d = 0; d < kDays; ++d) {
    const bool leak = n % 10 == 0 && (d / 7) % 5 == 2;
    Period day{.start = start + d * kDay, .known = true};
    for (int h = 0; h < 24; ++h) {
      const bool night = h < 6;
      Period p{.start = start + d * kDay + h * kHour, .known = true};
      p.forward = night ? (leak ? 0.03 : 0) : scale * (0.5 + rng.Next());
      if (rng.Next() < 0.002) p.reverse = 0.02;
      if (rng.Next() < 0.01) p.flags = 1u << static_cast<int>(rng.Next() * 7);
      p.operating = 1;
      day.forward += p.forward;
      if (rng.Next() < 0.001) continue;  // a gap
      m.hourly.push_back(p);
    }
    if (n % 7 == 0 && d == 200) day.forward *= 5;  // a spike
    m.daily.push_back(day);
  }
  m.clock = start + kDays * kDay;
  return m;
}

// The last five weeks of `m`: what the collector evaluates a newest day against.
MeterRecords FiveWeeks(const MeterRecords& m) {
  MeterRecords w = m;
  const long long from = m.hourly.back().start - 35 * kDay;
  std::erase_if(w.hourly, [from](const Period& p) { return p.start < from; });
  std::erase_if(w.daily, [from](const Period& p) { return p.start < from; });
  return w;
}

void Fleet(int instruments, long long start) {
  double made = 0, analysed = 0, windowMax = 0, windowSum = 0;
  std::size_t records = 0, situations = 0, months = 0, touching = 0;
  for (int n = 0; n < instruments; ++n) {
    auto t0 = Clock::now();
    const MeterRecords m = Instrument(n, start);
    made += Seconds(t0);
    records += m.hourly.size() + m.daily.size();
    t0 = Clock::now();
    const Analysis a = Analyse(m, Settings{});
    analysed += Seconds(t0);
    situations += a.situations.size();
    months += a.months.size();

    const MeterRecords w = FiveWeeks(m);
    Settings newestDay;
    newestDay.from = m.hourly.back().start - m.hourly.back().start % kDay;
    t0 = Clock::now();
    const Analysis day = Analyse(w, newestDay);
    const double ms = Seconds(t0) * 1000;
    windowMax = std::max(windowMax, ms);
    windowSum += ms;
    touching += day.situations.size();
  }
  std::printf("fleet: %d instruments, %zu records (hourly and daily)\n", instruments, records);
  std::printf("  made in memory:            %8.2f s\n", made);
  std::printf("  analysed (whole year):     %8.2f s   %.1f million records/s   goal < 10 s\n", analysed,
              static_cast<double>(records) / analysed / 1e6);
  std::printf("  situations %zu, months %zu\n", situations, months);
  std::printf("  newest day, five weeks:    %8.3f ms mean, %.3f ms max an instrument   goal < 20 ms\n",
              windowSum / instruments, windowMax);
  std::printf("  situations touching the newest days: %zu\n", touching);
}

void FromFile() {
  sim::InstrumentOptions o;
  const StatData data = sim::Instrument(o).ExpectedDump();
  const auto model = MakeStatModel(data);
  const auto t0 = Clock::now();
  const MeterRecords m = MeterRecordsOf(*model);
  const double decoded = Seconds(t0);
  const auto t1 = Clock::now();
  const Analysis a = Analyse(m, Settings{});
  const double analysed = Seconds(t1);
  std::printf(
      "simulator's VTK-08.14 file: %zu hourly, %zu daily, %zu events; decoded %.2f ms, analysed %.2f ms, "
      "%zu situations\n",
      m.hourly.size(), m.daily.size(), m.events.events.size(), decoded * 1000, analysed * 1000, a.situations.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int instruments = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  Fleet(instruments, CalendarSecondsOf(2025, 1, 1, 0));
  FromFile();
  return 0;
}
