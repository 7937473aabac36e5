// statvtk-collect scan-into: the instruments that answer on a line of
// collect.ini are added to it as [Instrument] sections, so a new site is set
// up in one command. The new file is checked whole before it replaces the old.
#include <fstream>
#include <set>
#include <sstream>

#include "base/atomic_file.hpp"
#include "base/printable_text.hpp"
#include "collect/commands.hpp"
#include "collect/run/line_reader.hpp"
#include "collect/run/stop_request.hpp"
#include "reading/number_list.hpp"

namespace statvtk::collect {

namespace {

const char* kScanIntoAbout = R"(Asks each address of the line LINE (default 1-32; M-Bus: give them) for its
identification and adds every instrument that answers and is not yet in
collect.ini as [Instrument LINE-ADDRESS] (Every= D, default 1h). The file as
it will be is checked whole first; nothing is written when it would not load.)";

const char* kScanIntoFooter = R"(Exit status: 0 instruments answered, 1 none did (or the line could not be
opened), 2 bad usage or configuration.
)";

struct Options {
  std::string line;
  std::optional<std::string> addresses, bauds;
  std::string every = "1h";
};

void DeclareOptions(CLI::App& app, Options& o) {
  app.add_option("LINE", o.line, "the NAME of a [Line NAME] section")->required();
  args::AddOptional(app, "--addresses", o.addresses, "numbers and ranges, e.g. 1-12 or 1,3,5-8")->type_name("LIST");
  args::AddOptional(app, "--bauds", o.bauds, "the speeds to try on a serial line; all: 2400, 4800, 9600, 57600, 115200")
      ->type_name("LIST|all");
  app.add_option("--every", o.every, "Every= of the instruments added (default 1h)")
      ->check(CLI::Validator(
          [](std::string& v) { return ParseDuration(v) ? std::string() : "not a duration (e.g. 15m, 1h, 1d)"; }, ""))
      ->type_name("D");
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

// An LDN-08 is read in the long form, at the address it answered: on a line
// without MBus=1 its short form may answer where no read would. The LDN-08s
// found that do not answer the long form too.
std::set<std::uint32_t> ShortFormOnly(const LineConfig& line, const std::vector<ScanFound>& found, const LineLog& log) {
  std::vector<std::uint32_t> ldn;
  for (const ScanFound& f : found)
    if (f.type == DeviceType::dtLDN08 && f.baud == line.spec.baud) ldn.push_back(f.address);
  if (line.spec.useMBus || ldn.empty()) return {};
  LineSpec longForm = line.spec;
  longForm.useMBus = true;  // the identification in the long form; the line's framing as it is
  const LineScan again = ScanLine(longForm, ldn, {}, log, StopRequest());
  std::set<std::uint32_t> out(ldn.begin(), ldn.end());
  for (const ScanFound& f : again.found) out.erase(f.address);
  return out;
}

// Adds each instrument found that collect.ini does not hold yet as an
// [Instrument LINE-ADDRESS] section (Every= `every`), naming each on `out`;
// the new file is checked whole before it replaces the old. `count`: how many.
int AddFound(const Common& c, const Config& cfg, const LineConfig& line, const std::string& every,
             const std::vector<ScanFound>& found, const std::set<std::uint32_t>& shortOnly, std::ostream& out,
             std::ostream& err, int& count) {
  const std::uint32_t lineBaud = line.spec.baud;
  std::ostringstream added;
  std::set<std::string> names;
  for (const ScanFound& f : found) {
    const std::string what = std::string(DeviceTypeName(f.type)) + " \"" + PrintableText(f.ident) + "\"";
    const InstrumentConfig* known = nullptr;
    for (const auto& in : cfg.instruments)
      if (in.line == line.name && in.address == f.address) known = &in;
    if (known) {
      out << f.address << "\t" << what << "\tуже есть: [Instrument " << known->name << "]\n";
      continue;
    }
    if (line.mode == LineMode::Serial && f.baud != lineBaud) {
      // One speed per line: an instrument at another one needs a line of its own.
      out << f.address << "\t" << what << "\tотвечает на " << f.baud << " бит/с, а линия настроена на " << lineBaud
          << ": не добавлен\n";
      continue;
    }
    if (shortOnly.count(f.address)) {
      out << f.address << "\t" << what
          << "\tотвечает только в короткой форме; его чтение спрашивает в длинной форме по адресу " << f.address
          << " и ответа не получает: не добавлен (задайте MBus=1 в [Line " << line.name
          << "] и его 32-битный адрес M-Bus: scan-into " << line.name << " --addresses N)\n";
      continue;
    }
    const std::string name = FreeName(cfg, names, line.name + "-" + std::to_string(f.address));
    names.insert(name);
    added << "\n; " << what << ", найден командой scan-into\n"
          << "[Instrument " << name << "]\nLine=" << line.name << "\nAddress=" << f.address << "\nEvery=" << every
          << "\n";
    out << f.address << "\t" << what << "\tдобавлен как [Instrument " << name << "]\n";
    ++count;
  }
  if (count > 0) {
    auto text = ReadWhole(c.configFile);
    if (!text) {
      err << "statvtk-collect scan-into: не удалось прочитать " << c.configFile.string() << "\n";
      return kExitFailed;
    }
    if (!text->empty() && text->back() != '\n') *text += "\n";
    *text += added.str();
    // The file as it will be, checked whole: what cannot be loaded is not written.
    ConfigResult check = ParseConfig(c.configFile, *text);
    if (!check.config) {
      err << check.Text(c.configFile);
      return kExitConfig;
    }
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
    if (auto w = AtomicWriteFile(c.configFile, {bytes}); !w) {
      err << "statvtk-collect scan-into: " << w.error().reason << "\n";
      return kExitFailed;
    }
  }
  return kExitOk;
}

}  // namespace

int RunScanInto(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  Options opts;
  if (auto done =
          ParseCommand("scan-into", kScanIntoAbout, kScanIntoFooter, given, opts, DeclareOptions, args, out, err))
    return *done;
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  const LineConfig* line = cfg->Line(opts.line);
  if (!line) {
    err << "statvtk-collect scan-into: в " << c.configFile.string() << " нет [Line " << opts.line << "]\n";
    return kExitConfig;
  }
  const auto addresses = ScanAddresses(opts.addresses, line->spec.useMBus);
  const auto bauds = ScanSpeeds(opts.bauds);
  if (!addresses || !bauds) {
    err << "statvtk-collect scan-into: " << (addresses ? bauds.error() : addresses.error()).reason << "\n";
    return kExitConfig;
  }

  const LineLog log = [&err](const std::string& text) { err << PrintableText(text) << "\n"; };
  LineScan scan = ScanLine(line->spec, *addresses, *bauds, log, StopRequest());
  if (!scan.error.empty() && scan.found.empty()) {
    err << "statvtk-collect scan-into: " << scan.error << "\n";
    return kExitFailed;
  }

  int count = 0;
  const std::set<std::uint32_t> shortOnly = ShortFormOnly(*line, scan.found, log);
  if (const int status = AddFound(c, *cfg, *line, opts.every, scan.found, shortOnly, out, err, count);
      status != kExitOk)
    return status;
  out << "добавлено приборов: " << count << " (" << c.configFile.string() << ")\n";
  if (scan.stopped) return kExitFailed;
  return scan.found.empty() ? kExitFailed : kExitOk;
}

}  // namespace statvtk::collect
