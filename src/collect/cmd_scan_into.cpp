// statvtk-collect scan-into: the instruments that answer on a line of
// collect.ini are added to it as [Instrument] sections, so a new site is set
// up in one command. The new file is checked whole before it replaces the old.
#include <fstream>
#include <set>
#include <sstream>

#include "base/atomic_file.hpp"
#include "base/printable_text.hpp"
#include "collect/commands.hpp"
#include "collect/line_reader.hpp"
#include "collect/stop_request.hpp"
#include "reading/number_list.hpp"

namespace statvtk::collect {

namespace {

const char* kScanIntoHelp = R"(Usage: statvtk-collect scan-into LINE [--addresses LIST] [--bauds LIST|all] [--every D]
Asks each address of the line (default 1-32; M-Bus: give them) for its
identification and adds every instrument that answers and is not yet in
collect.ini as [Instrument LINE-ADDRESS] (Every= D, default 1h).
)";

struct Options {
  std::string line;
  std::optional<std::string> addresses, bauds;
  std::string every = "1h";
};

std::optional<Options> ParseOptions(const std::vector<std::string>& rest, std::ostream& err) {
  Options o;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& a = rest[i];
    if (a == "--addresses" || a == "--bauds" || a == "--every") {
      if (i + 1 >= rest.size()) {
        err << "statvtk-collect scan-into: " << a << " needs a value\n";
        return std::nullopt;
      }
      const std::string& v = rest[++i];
      if (a == "--addresses") o.addresses = v;
      else if (a == "--bauds") o.bauds = v;
      else o.every = v;
    } else if (a == "--help" || a == "-h") {
      err << kScanIntoHelp;
      return std::nullopt;
    } else if (!a.empty() && a[0] != '-' && o.line.empty()) {
      o.line = a;
    } else {
      err << "statvtk-collect scan-into: unknown argument " << a << "\n" << kScanIntoHelp;
      return std::nullopt;
    }
  }
  if (o.line.empty()) {
    err << "statvtk-collect scan-into: which line? (the NAME of a [Line NAME] section)\n" << kScanIntoHelp;
    return std::nullopt;
  }
  if (!ParseDuration(o.every)) {
    err << "statvtk-collect scan-into: --every " << o.every << ": not a duration (e.g. 15m, 1h, 1d)\n";
    return std::nullopt;
  }
  return o;
}

std::optional<std::string> ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A section name not yet taken: "LINE-ADDRESS", else with "-2", "-3", ...
std::string FreeName(const Config& cfg, const std::set<std::string>& added, const std::string& base) {
  auto taken = [&](const std::string& n) {
    if (added.count(n)) return true;
    for (const auto& in : cfg.instruments)
      if (in.name == n) return true;
    return false;
  };
  std::string name = base;
  for (int k = 2; taken(name); ++k) name = base + "-" + std::to_string(k);
  return name;
}

}  // namespace

int RunScanInto(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto c = ReadCommon(args, err);
  if (!c) return kExitConfig;
  auto o = ParseOptions(c->rest, err);
  if (!o) return kExitConfig;
  auto cfg = LoadChecked(*c, err);
  if (!cfg) return kExitConfig;
  const LineConfig* line = cfg->Line(o->line);
  if (!line) {
    err << "statvtk-collect scan-into: " << c->configFile.string() << " has no [Line " << o->line << "]\n";
    return kExitConfig;
  }
  const bool mbus = line->settings.useMBus;
  std::vector<std::uint32_t> addresses;
  if (o->addresses) {
    auto list = ParseNumberList(*o->addresses, 0, mbus ? 0xFFFFFFFFu : 255u);
    if (!list) {
      err << "statvtk-collect scan-into: --addresses: " << list.error().reason << "\n";
      return kExitConfig;
    }
    addresses = std::move(*list);
  } else if (mbus) {
    err << "statvtk-collect scan-into: an M-Bus line needs the addresses to ask (--addresses LIST)\n";
    return kExitConfig;
  } else {
    for (std::uint32_t a = 1; a <= 32; ++a) addresses.push_back(a);
  }
  std::vector<std::uint32_t> bauds;
  if (o->bauds && *o->bauds == "all") {
    bauds.assign(std::begin(kScanSpeeds), std::end(kScanSpeeds));
  } else if (o->bauds) {
    auto list = ParseNumberList(*o->bauds, 50, 4000000);
    if (!list) {
      err << "statvtk-collect scan-into: --bauds: " << list.error().reason << "\n";
      return kExitConfig;
    }
    bauds = std::move(*list);
  }

  const LineLog log = [&err](const std::string& text) { err << PrintableText(text) << "\n"; };
  LineScan scan = ScanLine(line->settings, c->home, addresses, bauds, log, StopRequest());
  if (!scan.error.empty() && scan.found.empty()) {
    err << "statvtk-collect scan-into: " << scan.error << "\n";
    return kExitFailed;
  }

  const std::uint32_t lineBaud = line->settings.BaudRate();
  std::ostringstream added;
  std::set<std::string> names;
  int count = 0;
  for (const ScanFound& f : scan.found) {
    const std::string what = std::string(DeviceTypeName(f.type)) + " \"" + PrintableText(f.ident) + "\"";
    const InstrumentConfig* known = nullptr;
    for (const auto& in : cfg->instruments)
      if (in.line == line->name && in.address == f.address) known = &in;
    if (known) {
      out << f.address << "\t" << what << "\talready [Instrument " << known->name << "]\n";
      continue;
    }
    if (line->mode == LineMode::Serial && f.baud != lineBaud) {
      // One speed per line: an instrument at another one needs a line of its own.
      out << f.address << "\t" << what << "\tanswers at " << f.baud << " bit/s, the line is set to " << lineBaud
          << ": not added\n";
      continue;
    }
    const std::string name = FreeName(*cfg, names, line->name + "-" + std::to_string(f.address));
    names.insert(name);
    added << "\n; " << what << ", found by scan-into\n"
          << "[Instrument " << name << "]\nLine=" << line->name << "\nAddress=" << f.address << "\nEvery=" << o->every
          << "\n";
    out << f.address << "\t" << what << "\tadded as [Instrument " << name << "]\n";
    ++count;
  }
  if (count > 0) {
    auto text = ReadWhole(c->configFile);
    if (!text) {
      err << "statvtk-collect scan-into: cannot read " << c->configFile.string() << "\n";
      return kExitFailed;
    }
    if (!text->empty() && text->back() != '\n') *text += "\n";
    *text += added.str();
    // The file as it will be, checked whole: what cannot be loaded is not written.
    ConfigResult check = ParseConfig(c->configFile, *text);
    if (!check.config) {
      err << check.Text(c->configFile);
      return kExitConfig;
    }
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
    if (auto w = AtomicWriteFile(c->configFile, {bytes}); !w) {
      err << "statvtk-collect scan-into: " << w.error().reason << "\n";
      return kExitFailed;
    }
  }
  out << count << " added to " << c->configFile.string() << "\n";
  if (scan.stopped) return kExitFailed;
  return scan.found.empty() ? kExitFailed : kExitOk;
}

}  // namespace statvtk::collect
