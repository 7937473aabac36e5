// AllowFrom='s address ranges: what parses, what an address matches (IPv4,
// IPv6, IPv4 mapped into IPv6), and a malformed value refused with its key.
#include <gtest/gtest.h>

#include "collect/config/address_ranges.hpp"
#include "collect/config/collect_config.hpp"

namespace statvtk::collect {
namespace {

struct Case {
  const char* ranges;
  const char* host;
  bool allowed;
};

TEST(AddressRanges, AnAddressIsAllowedOnlyInsideAGivenRange) {
  const Case cases[] = {
      {.ranges = "", .host = "203.0.113.9", .allowed = true},  // empty: anywhere, as without the key
      {.ranges = "10.64.0.0/10", .host = "10.64.0.1", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "10.127.255.255", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "10.128.0.0", .allowed = false},
      {.ranges = "10.64.0.0/10", .host = "10.63.255.255", .allowed = false},
      {.ranges = "192.0.2.7", .host = "192.0.2.7", .allowed = true},  // one address: /32
      {.ranges = "192.0.2.7", .host = "192.0.2.8", .allowed = false},
      {.ranges = "0.0.0.0/0", .host = "198.51.100.1", .allowed = true},
      {.ranges = "10.64.0.0/10", .host = "::ffff:10.64.3.4", .allowed = true},  // a dual-stack socket's IPv4 peer
      {.ranges = "10.64.0.0/10", .host = "::1", .allowed = false},
      {.ranges = "2001:db8::/32", .host = "2001:db8:ffff::1", .allowed = true},
      {.ranges = "2001:db8::/32", .host = "2001:db9::1", .allowed = false},
      {.ranges = "2001:db8::/33", .host = "2001:db8:8000::1", .allowed = false},  // the odd bit counts
      {.ranges = "fd00::/8", .host = "10.0.0.1", .allowed = false},               // no IPv4 in an IPv6 range
      {.ranges = "10.0.0.0/8, fd00::/8 127.0.0.0/8", .host = "127.0.0.1", .allowed = true},
      {.ranges = "10.0.0.0/8", .host = "not an address", .allowed = false},
  };
  for (const Case& c : cases) {
    const auto ranges = ParseAddressRanges(c.ranges);
    ASSERT_TRUE(ranges) << c.ranges;
    EXPECT_EQ(AddressAllowed(*ranges, c.host), c.allowed) << c.ranges << " / " << c.host;
  }
}

TEST(AddressRanges, AMalformedRangeIsNamedAndRefusesTheFile) {
  for (const char* bad : {"10.64.0.0/33", "10.64.0.0/", "10.64.0.1/10", "10.64/10", "300.1.1.1", "2001:db8::/129",
                          "2001:db8::1/32", "fd00::/-1", "::ffff:10.0.0.0/104", "10.0.0.0/8x", "localhost"}) {
    std::string named;
    EXPECT_FALSE(ParseAddressRanges(std::string("10.0.0.0/8,") + bad, &named)) << bad;
    EXPECT_EQ(named, bad);
  }
  const auto parsed = ParseConfig("collect.ini",
                                  "[Listen gprs]\nListen=127.0.0.1:5000\nAllowFrom=10.64.0.0/10, 10.1.2.3/40\n\n"
                                  "[Line site]\nMode=incoming\nListen=gprs\nId=site\n\n"
                                  "[Instrument well]\nLine=site\nAddress=1\n");
  ASSERT_FALSE(parsed.config);
  EXPECT_NE(parsed.Text("collect.ini")
                .find("collect.ini:3: [Listen gprs] AllowFrom=10.64.0.0/10, 10.1.2.3/40: "
                      "\"10.1.2.3/40\" не диапазон адресов CIDR"),
            std::string::npos)
      << parsed.Text("collect.ini");
}

}  // namespace
}  // namespace statvtk::collect
