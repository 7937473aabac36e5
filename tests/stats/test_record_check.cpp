// Records whose values no instrument can hold, and the counts by kind.
#include <gtest/gtest.h>

#include <limits>

#include "stats/record_check.hpp"

namespace statvtk {
namespace {

TEST(RecordCheck, ImpossibleValuesAreTold) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double forward, reverse, value, extra;
    bool plausible;
  } cases[] = {
      {12.5, 0.25, 1.0, 0, true}, {0, 0, 0, 0, true},      {1e12, 1e12, 0, 0, true},
      {-0.001, 0, 1.0, 0, false}, {0, -5, 1.0, 0, false},  {1.0000001e12, 0, 1.0, 0, false},
      {1, 0, nan, 0, false},      {inf, 0, 1.0, 0, false}, {1, nan, 1.0, 0, false},
      {1, 0, 1.0, inf, false},    {1, 0, -inf, 0, false},
  };
  for (const auto& c : cases) {
    StatRecord r;
    r.forwardTotal = c.forward;
    r.reverseTotal = c.reverse;
    r.values = {{"V+", c.forward, false}, {"x", c.value, false}};
    r.extraValue = c.extra;
    EXPECT_EQ(RecordPlausible(r), c.plausible) << c.forward << " " << c.reverse << " " << c.value << " " << c.extra;
  }
}

}  // namespace
}  // namespace statvtk
