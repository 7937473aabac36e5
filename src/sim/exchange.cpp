#include "sim/exchange.hpp"

#include "base/command_line.hpp"
#include "sim/options.hpp"

namespace statvtk::sim {

Result<SiteOptions> ParseSite(std::string_view text, const InstrumentOptions& base) {
  auto fail = [&](const std::string& why) -> Result<SiteOptions> {
    return MakeError(ErrorCode::BadSettings, why + ": " + std::string(text));
  };
  const std::size_t eq = text.find('=');
  if (eq == 0 || eq == std::string_view::npos)
    return fail("a site is NUMBER=MODEL@ADDR[,busy=K][,no-answer][,drop=N][,drop-each=N]");
  SiteOptions s;
  s.number = std::string(text.substr(0, eq));
  for (char c : s.number)
    if ((c < '0' || c > '9') && c != '*' && c != '#') return fail("a phone number holds digits, * and #");
  std::string_view rest = text.substr(eq + 1);
  const std::size_t comma = std::min(rest.find(','), rest.size());
  auto bus = ParseBus(rest.substr(0, comma), base);
  if (!bus || bus->size() != 1) return fail("one MODEL@ADDR per site");
  s.instrument = bus->front();
  rest = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(','), rest.size());
    const std::string_view item = rest.substr(0, end);
    rest = end < rest.size() ? rest.substr(end + 1) : std::string_view();
    if (item == "no-answer") {
      s.neverAnswers = true;
    } else if (item.starts_with("busy=")) {
      const auto k = args::DecimalValue(item.substr(5), 0, 1000000);
      if (!k) return fail("busy=K takes a count");
      s.busyCalls = static_cast<std::uint32_t>(*k);
    } else if (item.starts_with("drop-each=")) {
      const auto n = args::DecimalValue(item.substr(10), 1, 100000000);
      if (!n) return fail("drop-each=N takes a count above 0");
      s.dropEach = static_cast<std::uint32_t>(*n);
    } else if (item.starts_with("drop=")) {
      const auto n = args::DecimalValue(item.substr(5), 1, 100000000);
      if (!n) return fail("drop=N takes a count above 0");
      s.dropAfter = static_cast<std::uint32_t>(*n);
    } else {
      return fail("unknown site option " + std::string(item));
    }
  }
  return s;
}

Exchange::Exchange(std::vector<SiteOptions> sites, ModemOptions timing) : timing_(timing) {
  for (auto& s : sites) {
    auto instrument = std::make_unique<Instrument>(s.instrument);
    sites_.push_back({std::move(s), std::move(instrument)});
  }
}

Exchange::Placed Exchange::Dial(const std::string& number) {
  std::lock_guard lock(mu_);
  for (std::size_t i = 0; i < sites_.size(); ++i) {
    Entry& e = sites_[i];
    if (e.opt.number != number) continue;
    const std::uint32_t n = ++e.calls;
    if (e.held || n <= e.opt.busyCalls) return {{"BUSY", timing_.dialDelayMs}};
    if (e.opt.neverAnswers) return {{"NO ANSWER", timing_.ringMs}};
    e.held = true;
    const bool first = e.connected++ == 0;
    return {{"CONNECT", timing_.dialDelayMs},
            static_cast<int>(i),
            first && e.opt.dropAfter ? e.opt.dropAfter : e.opt.dropEach};
  }
  return {{"NO CARRIER", timing_.dialDelayMs}};  // no such number
}

void Exchange::Release(int site) {
  std::lock_guard lock(mu_);
  if (site >= 0 && static_cast<std::size_t>(site) < sites_.size()) sites_[static_cast<std::size_t>(site)].held = false;
}

std::uint32_t Exchange::CallsTo(int i) const {
  std::lock_guard lock(mu_);
  return sites_[static_cast<std::size_t>(i)].calls;
}

}  // namespace statvtk::sim
