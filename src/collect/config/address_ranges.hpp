// Address ranges in CIDR form (10.64.0.0/10, fd00::/8, or one address), as
// [Listen NAME] AllowFrom= gives the addresses call-in modems may come from.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace statvtk::collect {

struct AddressRange {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};  // the network (IPv4: the first 4)
  int bits = 0;                          // the prefix length
  bool operator==(const AddressRange&) const = default;
};

// "10.64.0.0/10", "2001:db8::/32", "192.0.2.7" (/32), "::1" (/128); none for
// anything else (a bad address or prefix, host bits set past the prefix).
std::optional<AddressRange> ParseAddressRange(std::string_view text);

// A list of ranges separated by commas or blanks; none when one is bad
// (`bad`: that one). An empty text: an empty list.
std::optional<std::vector<AddressRange>> ParseAddressRanges(std::string_view text, std::string* bad = nullptr);

// Whether the address `host` (as inet_ntop writes it; an IPv4 address mapped
// into IPv6, ::ffff:10.1.2.3, counts as IPv4) is in one of `ranges`. An empty
// list allows every address; a text that is no address is in none.
bool AddressAllowed(const std::vector<AddressRange>& ranges, std::string_view host);

}  // namespace statvtk::collect
