#include "reading/number_list.hpp"

#include <algorithm>
#include <charconv>

namespace statvtk {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::optional<std::uint32_t> Number(std::string_view s) {
  s = Trim(s);
  std::uint64_t v = 0;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || p != s.data() + s.size() || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

}  // namespace

Result<std::vector<std::uint32_t>> ParseNumberList(std::string_view text, std::uint32_t min, std::uint32_t max) {
  auto fail = [](const std::string& why) -> Result<std::vector<std::uint32_t>> {
    return MakeError(ErrorCode::BadSettings, why);
  };
  std::vector<std::uint32_t> out;
  const std::string range = std::to_string(min) + ".." + std::to_string(max);
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    const std::string_view item = Trim(text.substr(from, comma - from));
    if (item.empty()) return fail("empty item in the list \"" + std::string(text) + "\"");
    const std::size_t dash = item.find('-');
    const auto lo = Number(item.substr(0, dash));
    const auto hi = dash == std::string_view::npos ? lo : Number(item.substr(dash + 1));
    if (!lo || !hi) return fail("not a number or a range: \"" + std::string(item) + "\"");
    if (*lo < min || *hi > max || *lo > max || *hi < min)
      return fail("\"" + std::string(item) + "\" is outside " + range);
    if (*hi < *lo) return fail("the range \"" + std::string(item) + "\" runs backwards");
    if (std::uint64_t{*hi} - *lo > 100000) return fail("the range \"" + std::string(item) + "\" is too long");
    for (std::uint64_t v = *lo; v <= *hi; ++v)
      if (std::find(out.begin(), out.end(), v) == out.end()) out.push_back(static_cast<std::uint32_t>(v));
    if (comma == text.size()) break;
    from = comma + 1;
  }
  return out;
}

Result<std::vector<std::uint32_t>> ScanAddresses(const std::optional<std::string>& list, bool mbus) {
  if (!list && mbus)
    return MakeError(ErrorCode::BadSettings, "an M-Bus line needs the addresses to ask (--addresses LIST)");
  if (!list) {
    std::vector<std::uint32_t> all;
    for (std::uint32_t a = 1; a <= 32; ++a) all.push_back(a);
    return all;
  }
  auto parsed = ParseNumberList(*list, 0, mbus ? 0xFFFFFFFFu : 255u);
  if (!parsed) return MakeError(ErrorCode::BadSettings, "--addresses: " + parsed.error().reason);
  return parsed;
}

Result<std::vector<std::uint32_t>> ScanSpeeds(const std::optional<std::string>& list) {
  if (!list) return std::vector<std::uint32_t>{};
  if (*list == "all") return std::vector<std::uint32_t>(std::begin(kScanSpeeds), std::end(kScanSpeeds));
  auto parsed = ParseNumberList(*list, 50, 4000000);
  if (!parsed) return MakeError(ErrorCode::BadSettings, "--bauds: " + parsed.error().reason);
  return parsed;
}

}  // namespace statvtk
