// What flowed through the simulated instrument in one hour, before it is
// added to the totals: the generator makes it, the shapes of a history change it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace statvtk::sim {

struct HourFlow {
  double q = 0;  // m3/h
  double temperature = 0;
  double voltage = 0;
  std::uint64_t dvPlus = 0, dvMinus = 0, dmPlus = 0, dmMinus = 0;  // millionths of m3 / t
  std::array<std::uint32_t, 4> seconds{};                          // counters, as Totals::counters
  std::uint16_t causes = 0;                                        // Cause bits
};

// Water's density at t degrees C, t/m3.
inline double Density(double t) { return 1.0 - 0.00043 * (t - 4.0); }

// Sets the hour's forward flow to q m3/h: its volume and mass.
inline void SetForward(HourFlow& f, double q) {
  f.q = q;
  f.dvPlus = static_cast<std::uint64_t>(std::llround(q * 1e6));
  f.dmPlus = static_cast<std::uint64_t>(std::llround(static_cast<double>(f.dvPlus) * Density(f.temperature)));
}

}  // namespace statvtk::sim
