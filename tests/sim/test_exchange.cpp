// The simulator's telephone exchange: what each dial hears, and the site
// descriptions of --site.
#include <gtest/gtest.h>

#include "sim/exchange.hpp"

namespace statvtk::sim {
namespace {

TEST(Exchange, SitesAnswerAsDescribedAndTalkOnOneCallAtATime) {
  const InstrumentOptions base;
  std::vector<SiteOptions> sites;
  for (const char* s : {"101=0814c@1,busy=2", "102=ldn@5,no-answer", "103=0812@1,drop=7"})
    sites.push_back(ParseSite(s, base).value());
  ModemOptions timing;
  timing.dialDelayMs = 11;
  timing.ringMs = 22;
  Exchange x(sites, timing);
  struct Dial {
    const char* number;
    const char* outcome;
    std::uint32_t delay;
    bool holds;
  };
  const Dial dials[] = {{"101", "BUSY", 11, false},      {"101", "BUSY", 11, false},
                        {"101", "CONNECT", 11, true},    {"101", "BUSY", 11, false},  // held by the call before
                        {"102", "NO ANSWER", 22, false}, {"999", "NO CARRIER", 11, false}};
  for (const auto& d : dials) {
    const auto placed = x.Dial(d.number);
    EXPECT_EQ(placed.answer.outcome, d.outcome) << d.number;
    EXPECT_EQ(placed.answer.delayMs, d.delay) << d.number;
    EXPECT_EQ(placed.site >= 0, d.holds) << d.number;
  }
  x.Release(0);
  EXPECT_EQ(x.Dial("101").answer.outcome, "CONNECT");
  // Only the first connected call of 103 drops.
  const auto first = x.Dial("103");
  x.Release(first.site);
  EXPECT_EQ(first.dropAfter, 7u);
  EXPECT_FALSE(x.Dial("103").dropAfter);
  EXPECT_EQ(x.CallsTo(0), 5u);
  EXPECT_EQ(x.InstrumentOf(1).Options().address, 5);
}

TEST(Exchange, BadSiteDescriptionsAreRefused) {
  for (const char* bad : {"", "=0814c@1", "12a=0814c@1", "101", "101=0814c", "101=0814c@1,busy=x", "101=0814c@1,drop=0",
                          "101=0814c@1,loud", "101=0814c@1,ldn@2"})
    EXPECT_FALSE(ParseSite(bad, InstrumentOptions{})) << bad;
}

}  // namespace
}  // namespace statvtk::sim
