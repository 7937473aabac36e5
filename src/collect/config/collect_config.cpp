#include "collect/config/collect_config.hpp"

#include <algorithm>
#include <fstream>
#include <set>

#include "base/utf8.hpp"
#include "collect/config/ini_sections.hpp"

namespace statvtk::collect {

using ini::Lower;

namespace {

// A file that is not UTF-8 (saved as Windows-1251, say) is refused whole at
// its first such line: its names would reach the log, the store, the page
// and MQTT as bytes no one can read.
std::optional<ConfigProblem> EncodingProblem(const std::filesystem::path& file, std::string_view text) {
  const std::string name = file.filename().string();
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    return ConfigProblem{1,
                         "файл в кодировке UTF-16: сохраните " + name + " в UTF-8 (например iconv -f UTF-16 -t UTF-8)"};
  std::size_t bad = FirstNonUtf8(text);
  if (bad == std::string_view::npos) return std::nullopt;
  const int line =
      1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
  int more = 0;
  for (std::size_t nl = text.find('\n', bad); nl != std::string_view::npos; nl = text.find('\n', bad)) {
    bad = FirstNonUtf8(text.substr(nl + 1));
    if (bad == std::string_view::npos) break;
    bad += nl + 1;
    ++more;
  }
  return ConfigProblem{
      line, "текст не в UTF-8" + (more > 0 ? " (и ещё строк: " + std::to_string(more) + ")" : "") +
                ": файл, видимо, сохранён в другой кодировке, например Windows-1251; сохраните " + name +
                " в UTF-8 (в Блокноте: «Сохранить как», кодировка UTF-8; или iconv -f CP1251 -t UTF-8 " + name + " > " +
                name + ".new и переименуйте)"};
}

// The item of that name, the case of ASCII letters aside.
template <class T>
const T* Named(const std::vector<T>& items, const std::string& name) {
  const std::string key = Lower(name);
  for (const auto& item : items)
    if (Lower(item.name) == key) return &item;
  return nullptr;
}

}  // namespace

const LineConfig* Config::Line(const std::string& name) const { return Named(lines, name); }

const ModemPoolConfig* Config::Pool(const std::string& name) const { return Named(pools, name); }

const RuleSet* Config::Rules(const std::string& name) const { return Named(ruleSets, name); }

const ListenConfig* Config::Listener(const std::string& name) const { return Named(listens, name); }

std::optional<long long> ParseDuration(std::string_view t, bool zeroOk) {
  if (t.empty()) return {};
  long long unit = 1;
  switch (t.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: unit = 0;
  }
  if (unit != 0) t.remove_suffix(1);
  else unit = 1;
  const auto n = ini::Integer(t, zeroOk ? 0 : 1, 366LL * 86400);
  if (!n) return {};
  return *n * unit;
}

std::optional<TimeWindow> ParseWindow(std::string_view t) {
  auto hm = [](std::string_view s) -> std::optional<int> {
    if (s.size() != 5 || s[2] != ':') return {};
    const auto h = ini::Integer(s.substr(0, 2), 0, 23), m = ini::Integer(s.substr(3, 2), 0, 59);
    if (!h || !m) return {};
    return static_cast<int>(*h * 60 + *m);
  };
  const auto dash = t.find('-');
  if (dash == std::string_view::npos) return {};
  const auto a = hm(t.substr(0, dash)), b = hm(t.substr(dash + 1));
  if (!a || !b || *a == *b) return {};
  return TimeWindow{*a, *b};
}

std::optional<Kinds> ParseKinds(std::string_view t) {
  Kinds k{false, false, false, false};
  std::size_t pos = 0;
  while (pos <= t.size()) {
    auto comma = t.find(',', pos);
    if (comma == std::string_view::npos) comma = t.size();
    std::string_view w = t.substr(pos, comma - pos);
    while (!w.empty() && w.front() == ' ') w.remove_prefix(1);
    while (!w.empty() && w.back() == ' ') w.remove_suffix(1);
    const std::string l = Lower(w);
    if (l == "hourly") k.hourly = true;
    else if (l == "daily") k.daily = true;
    else if (l == "monthly") k.monthly = true;
    else if (l == "events") k.events = true;
    else return {};
    pos = comma + 1;
  }
  if (!k.hourly && !k.daily && !k.monthly && !k.events) return {};
  return k;
}

std::string ConfigResult::Text(const std::filesystem::path& file) const {
  std::string s;
  for (const auto& p : problems)
    s += file.string() + (p.line > 0 ? ":" + std::to_string(p.line) : std::string()) + ": " + p.reason + "\n";
  return s;
}

ConfigResult LoadConfig(const std::filesystem::path& file) {
  // The type is looked at before the file is opened: a FIFO would block the
  // open, a device (/dev/zero) would never end.
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec) return {std::nullopt, {{0, "файл не читается: " + ec.message()}}};
  if (std::filesystem::is_directory(status)) return {std::nullopt, {{0, "это папка, а не файл настроек"}}};
  if (!std::filesystem::is_regular_file(status))
    return {std::nullopt, {{0, "не обычный файл (устройство, FIFO или сокет): укажите сам collect.ini"}}};
  std::ifstream in(file, std::ios::binary);
  if (!in) return {std::nullopt, {{0, "файл не читается"}}};
  std::string text(kMaxConfigBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxConfigBytes)
    return {std::nullopt, {{0, "больше " + std::to_string(kMaxConfigBytes / 1024) + " КиБ: это не collect.ini"}}};
  return ParseConfig(file, text);
}

ConfigResult ParseConfig(const std::filesystem::path& file, std::string_view text) {
  if (auto problem = EncodingProblem(file, text)) return {std::nullopt, {std::move(*problem)}};
  ini::Checker c;
  const std::vector<ini::Section> sections = ini::ReadSections(IniFile::FromText(file, text), c);
  if (sections.empty() && c.problems.empty())
    return {std::nullopt,
            {{0,
              "нет ни одной секции: файл пуст или в нём только пустые строки и комментарии "
              "(в collect.ini нужны секции [Line NAME] и [Instrument NAME])"}}};
  Config cfg;
  cfg.file = file;
  for (const ini::Section& s : sections) {
    if (s.kind == "modems") cfg.pools.push_back(ini::FillPool(c, s));
    if (s.kind == "listen") cfg.listens.push_back(ini::FillListen(c, s));
  }
  for (const ini::Section& s : sections) {
    if (s.kind == "collector") {
      ini::FillCollector(c, s, cfg.collector);
    } else if (s.kind == "line") {
      LineConfig l;
      l.name = s.name;
      l.line = s.line;
      ini::FillLine(c, s, l);
      if (!l.pool.empty() && !cfg.Pool(l.pool))
        c.Problem(s.values.at("pool").second, "Pool=" + l.pool + ": в файле нет [Modems " + l.pool + "]");
      if (!l.listen.empty() && !cfg.Listener(l.listen))
        c.Problem(s.values.at("listen").second, "Listen=" + l.listen + ": в файле нет [Listen " + l.listen + "]");
      for (const auto& other : cfg.lines)
        if (!l.id.empty() && other.id == l.id && Lower(other.listen) == Lower(l.listen))
          c.Problem(s.values.at("id").second, "Id=" + l.id + ": тот же Id у линии " + other.name);
      cfg.lines.push_back(std::move(l));
    }
  }
  // A shared line's lease lives in a database the collectors share: a
  // SQLite file serves one collector.
  const std::string& db = cfg.collector.database;
  if (!db.starts_with("postgresql://") && !db.starts_with("postgres://"))
    for (const auto& l : cfg.lines)
      if (l.shared)
        c.Problem(l.line, "[Line " + l.name +
                              "]: Shared=1: нужен Database=postgresql://... (сборщики, делящие линию, "
                              "держат там её аренду; файл SQLite служит одному сборщику)");
  ini::FillRuleSets(c, sections, cfg);
  std::set<std::pair<std::string, std::uint32_t>> addresses;
  for (const ini::Section& s : sections)
    if (s.kind == "instrument") cfg.instruments.push_back(ini::FillInstrument(c, s, cfg, addresses));
  std::stable_sort(c.problems.begin(), c.problems.end(),
                   [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
  if (!c.problems.empty()) return {std::nullopt, std::move(c.problems)};
  return {std::move(cfg), {}};
}

}  // namespace statvtk::collect
