#include "collect/config/address_ranges.hpp"

#include <arpa/inet.h>

#include <algorithm>

#include "collect/config/ini_sections.hpp"

namespace statvtk::collect {

namespace {

// The bytes of an address text: 4 for IPv4, 16 for IPv6 (an IPv4-mapped one
// given as IPv4); none for another text.
std::optional<AddressRange> AddressOf(std::string_view text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  const std::string t(text);
  AddressRange a;
  if (::inet_pton(AF_INET, t.c_str(), a.bytes.data()) == 1) {
    a.bits = 32;
    return a;
  }
  if (::inet_pton(AF_INET6, t.c_str(), a.bytes.data()) != 1) return std::nullopt;
  constexpr std::array<std::uint8_t, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::equal(kMapped.begin(), kMapped.end(), a.bytes.begin())) {
    std::copy(a.bytes.begin() + 12, a.bytes.end(), a.bytes.begin());
    std::fill(a.bytes.begin() + 4, a.bytes.end(), std::uint8_t{0});
    a.bits = 32;
    return a;
  }
  a.v6 = true;
  a.bits = 128;
  return a;
}

// Whether the first `bits` bits of `a` and `b` are equal.
bool SamePrefix(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits) {
  for (int i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
    const std::uint8_t mask = bits >= 8 ? 0xff : static_cast<std::uint8_t>(0xff << (8 - bits));
    if ((a[static_cast<std::size_t>(i)] & mask) != (b[static_cast<std::size_t>(i)] & mask)) return false;
  }
  return true;
}

}  // namespace

std::optional<AddressRange> ParseAddressRange(std::string_view text) {
  const auto slash = text.find('/');
  auto range = AddressOf(text.substr(0, slash));
  // A mapped IPv4 address with an IPv6 prefix would need the prefix moved: written as IPv4 instead.
  if (!range || (slash != std::string_view::npos && !range->v6 && text.substr(0, slash).find(':') != text.npos))
    return std::nullopt;
  if (slash == std::string_view::npos) return range;
  const int most = range->v6 ? 128 : 32;
  const auto bits = ini::Integer(text.substr(slash + 1), 0, most);
  if (!bits) return std::nullopt;
  range->bits = static_cast<int>(*bits);
  // The network itself: an address with host bits past the prefix is a typing error.
  AddressRange bare = *range;
  for (int bit = range->bits; bit < most; ++bit)
    bare.bytes[static_cast<std::size_t>(bit / 8)] &= static_cast<std::uint8_t>(~(0x80 >> (bit % 8)));
  if (bare.bytes != range->bytes) return std::nullopt;
  return range;
}

std::optional<std::vector<AddressRange>> ParseAddressRanges(std::string_view text, std::string* bad) {
  std::vector<AddressRange> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto end = std::min(text.find_first_of(", \t", pos), text.size());
    const std::string_view item = text.substr(pos, end - pos);
    pos = end + 1;
    if (item.empty()) continue;
    const auto range = ParseAddressRange(item);
    if (!range) {
      if (bad) *bad = std::string(item);
      return std::nullopt;
    }
    out.push_back(*range);
  }
  return out;
}

bool AddressAllowed(const std::vector<AddressRange>& ranges, std::string_view host) {
  if (ranges.empty()) return true;
  const auto address = AddressOf(host);
  if (!address) return false;
  return std::any_of(ranges.begin(), ranges.end(), [&](const AddressRange& r) {
    return r.v6 == address->v6 && SamePrefix(r.bytes, address->bytes, r.bits);
  });
}

}  // namespace statvtk::collect
