#include "collect/views/fleet_page.hpp"

#include <algorithm>
#include <array>
#include <map>

#include "base/utf8.hpp"

namespace statvtk::collect {

namespace {

constexpr std::array kHealths{Health::Down, Health::Never, Health::Clock, Health::Late, Health::Ok};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

bool Matches(const InstrumentView& v, const FleetFilter& f) {
  if (!f.states.empty() && std::find(f.states.begin(), f.states.end(), v.health) == f.states.end()) return false;
  if (!f.line.empty() && v.instrument.line != f.line) return false;
  if (f.text.empty()) return true;
  for (const std::string* t : {&v.instrument.name, &v.instrument.serial, &v.instrument.line})
    if (Folded(*t).find(f.text) != std::string::npos) return true;
  return false;
}

// The page's order rules: worst first, then line and name; or by name; by
// line and address; the oldest read first (never read before any). Ties go
// by serial, so that pages never share or skip a row.
int Compare(const InstrumentView& a, const InstrumentView& b, FleetSort sort) {
  const auto& x = a.instrument;
  const auto& y = b.instrument;
  int c = 0;
  switch (sort) {
    case FleetSort::Name: c = NaturalCompare(x.name, y.name); break;
    case FleetSort::Line:
      c = NaturalCompare(x.line, y.line);
      if (c == 0 && x.address != y.address) c = x.address < y.address ? -1 : 1;
      break;
    case FleetSort::Read: c = a.lastGoodReadUtc.compare(b.lastGoodReadUtc); break;
    case FleetSort::State:
      c = HealthRank(a.health) - HealthRank(b.health);
      if (c == 0) c = NaturalCompare(x.line, y.line);
      if (c == 0) c = NaturalCompare(x.name, y.name);
      break;
  }
  if (c == 0) c = x.serial.compare(y.serial);
  if (c == 0) c = x.name.compare(y.name);
  return c;
}

Json StatesJson(const std::map<Health, std::int64_t>& counts) {
  Json list = Json::array();
  for (const Health h : kHealths)
    if (const auto it = counts.find(h); it != counts.end())
      list.push_back(
          {{"health", HealthName(h)}, {"text", HealthWords(h)}, {"rank", HealthRank(h)}, {"count", it->second}});
  return list;
}

struct LineTally {
  std::int64_t instruments = 0, failing = 0;
  std::map<Health, std::int64_t> states;
  std::string heldBy;
  const InstrumentView::Failure* newest = nullptr;
};

Json LinesJson(const std::vector<InstrumentView>& fleet) {
  std::map<std::string, LineTally> lines;
  for (const auto& v : fleet) {
    LineTally& t = lines[v.instrument.line];
    ++t.instruments;
    ++t.states[v.health];
    if (!v.heldBy.empty()) t.heldBy = v.heldBy;
    if (v.failuresInRow > 0 && v.lastFailure) ++t.failing;
    if (v.lastFailure && (!t.newest || v.lastFailure->utc > t.newest->utc)) t.newest = &*v.lastFailure;
  }
  std::vector<std::pair<const std::string*, const LineTally*>> order;
  for (const auto& [name, t] : lines) order.emplace_back(&name, &t);
  const auto down = [](const LineTally& t) { return t.instruments > 1 && t.failing == t.instruments; };
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    if (down(*a.second) != down(*b.second)) return down(*a.second);
    return NaturalCompare(*a.first, *b.first) < 0;
  });
  Json list = Json::array();
  for (const auto& [name, t] : order) {
    list.push_back({{"line", *name},
                    {"instruments", t->instruments},
                    {"down", down(*t)},
                    {"held_by", t->heldBy.empty() ? Json(nullptr) : Json(t->heldBy)},
                    {"states", StatesJson(t->states)},
                    {"last_failure", t->newest ? Json{{"utc", t->newest->utc}, {"reason", ValidUtf8(t->newest->reason)}}
                                               : Json(nullptr)}});
  }
  return list;
}

}  // namespace

std::string Folded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t n = Utf8Length(text, i, &cp);
    if (n == 0) {
      out += text[i++];
      continue;
    }
    if (cp >= 'A' && cp <= 'Z') cp += 0x20;
    else if (cp >= 0x410 && cp <= 0x42F) cp += 0x20;  // А..Я
    else if (cp >= 0x400 && cp <= 0x40F) cp += 0x50;  // Ё and the rest of that row
    if (cp < 0x10000) AppendUtf8(out, cp);
    else out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

int NaturalCompare(std::string_view a, std::string_view b) {
  const std::string x = Folded(a), y = Folded(b);
  std::size_t i = 0, j = 0;
  while (i < x.size() && j < y.size()) {
    if (Digit(x[i]) && Digit(y[j])) {
      std::size_t ie = i, je = j;
      while (ie < x.size() && x[ie] == '0') ++ie;
      while (je < y.size() && y[je] == '0') ++je;
      std::size_t ix = ie, jx = je;
      while (ix < x.size() && Digit(x[ix])) ++ix;
      while (jx < y.size() && Digit(y[jx])) ++jx;
      if (ix - ie != jx - je) return ix - ie < jx - je ? -1 : 1;
      if (const int c = x.compare(ie, ix - ie, y, je, jx - je)) return c < 0 ? -1 : 1;
      i = ix, j = jx;
      continue;
    }
    if (x[i] != y[j]) return static_cast<unsigned char>(x[i]) < static_cast<unsigned char>(y[j]) ? -1 : 1;
    ++i, ++j;
  }
  if (i < x.size()) return 1;
  if (j < y.size()) return -1;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

Json FleetPageJson(std::vector<InstrumentView> fleet, const FleetFilter& filter, FleetSort sort, PageAsked asked) {
  std::map<Health, std::int64_t> counts;
  for (const auto& v : fleet) ++counts[v.health];
  Json j;
  j["fleet"] = fleet.size();
  j["states"] = StatesJson(counts);
  j["lines"] = LinesJson(fleet);
  std::vector<const InstrumentView*> shown;
  for (const auto& v : fleet)
    if (Matches(v, filter)) shown.push_back(&v);
  // Only as far as the page ends is sorted: the rows after it need no order.
  const std::size_t per = std::max<std::size_t>(1, asked.per);
  const std::size_t from = std::min(shown.size(), (asked.page - 1) * per);
  const std::size_t to = std::min(shown.size(), from + per);
  const auto before = [&](const InstrumentView* a, const InstrumentView* b) { return Compare(*a, *b, sort) < 0; };
  std::partial_sort(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(to), shown.end(), before);
  Json rows = Json::array();
  for (std::size_t i = from; i < to; ++i) rows.push_back(InstrumentJson(*shown[i]));
  j["page"] = asked.page;
  j["per"] = per;
  j["total"] = shown.size();
  j["pages"] = (shown.size() + per - 1) / per;
  j["rows"] = std::move(rows);
  return j;
}

}  // namespace statvtk::collect
