// statvtk-collect status: each configured instrument as the store knows it,
// then those other collectors read into the same store; as text, or as the
// JSON of GET /api/instruments.

#include <algorithm>
#include <ctime>

#include "base/local_time.hpp"
#include "base/printable_text.hpp"
#include "collect/commands.hpp"
#include "collect/fleet/health.hpp"
#include "collect/fleet/scheduler.hpp"
#include "collect/views/collectors_view.hpp"
#include "collect/views/instrument_view.hpp"
#include "front/situation_texts.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

const char* kStatusAbout = R"(Each instrument of collect.ini as the store knows it (serial, model, line,
last good read, next due, records and gaps per archive, the last failure,
findings, its open abnormal situations, the collector holding its shared
line), then those other collectors
read into the same store; then the collectors writing to the store.)";

std::string LocalText(const std::string& utc) {
  const auto t = store::ParseUtc(utc);
  if (!t) return "неизвестно";
  const std::tm tm = LocalTime(*t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

// What the page's server knows from the running collector, here from
// collect.ini: the intervals and the instruments.
FleetLive LiveOf(const Config& cfg) {
  FleetLive live;
  const auto find = [&cfg](const std::string& name) -> const InstrumentConfig* {
    for (const auto& in : cfg.instruments)
      if (in.name == name) return &in;
    return nullptr;
  };
  live.everySeconds = [find](const std::string& name) -> std::optional<std::int64_t> {
    const InstrumentConfig* in = find(name);
    return in ? std::optional<std::int64_t>(in->everyS) : std::nullopt;
  };
  live.configured = [&cfg] {
    std::vector<FleetLive::Configured> out;
    for (const auto& in : cfg.instruments) out.push_back({in.name, OwnLine(cfg, in), in.address});
    return out;
  };
  live.silentAfter = cfg.collector.silentAfter;
  live.completenessDays = cfg.collector.completenessDays;
  return live;
}

// When each instrument of collect.ini is read next, as the running collector
// plans it: from its last good read, or after a failure the retry pause.
void PlanNext(const Config& cfg, std::vector<InstrumentView>& fleet) {
  const std::time_t now = std::time(nullptr);
  for (auto& v : fleet) {
    const auto in = std::find_if(cfg.instruments.begin(), cfg.instruments.end(), [&](const InstrumentConfig& c) {
      return c.name == v.instrument.name && c.line == v.instrument.line;
    });
    if (in == cfg.instruments.end()) continue;
    const StoredReads reads{store::ParseUtc(v.lastGoodReadUtc), v.failuresInRow,
                            v.lastFailure ? store::ParseUtc(v.lastFailure->utc) : std::nullopt};
    v.nextDueUtc = store::UtcText(ResumeAt(cfg.collector, *in, reads, now));
  }
}

// The instruments of collect.ini first, in its order, then the others.
void ConfiguredFirst(const Config& cfg, std::vector<InstrumentView>& fleet) {
  const auto rank = [&cfg](const InstrumentView& v) {
    for (std::size_t i = 0; i < cfg.instruments.size(); ++i)
      if (cfg.instruments[i].name == v.instrument.name) return i;
    return cfg.instruments.size();
  };
  std::stable_sort(fleet.begin(), fleet.end(),
                   [&](const InstrumentView& a, const InstrumentView& b) { return rank(a) < rank(b); });
}

// The instrument's open abnormal situations, one a line.
void Text(const std::vector<store::SituationRow>& open, const std::string& serial, std::ostream& out) {
  for (const auto& s : open)
    if (s.serial == serial && !serial.empty())
      out << "  ситуация " << s.id << (s.ackUtc.empty() ? ": " : " (принята): ")
          << PrintableText(SituationText(s.kind, s.detail)) << " с " << s.fromPeriod << ", " << s.hours << " ч\n";
}

void Text(const InstrumentView& v, std::ostream& out) {
  const auto& in = v.instrument;
  out << in.name << ": " << (in.serial.empty() ? "?" : PrintableText(in.serial)) << " " << in.model << ", линия "
      << in.line << ", адрес " << in.address;
  if (!v.heldBy.empty()) out << ", линию читает сборщик " << PrintableText(v.heldBy);
  out << "\n";
  out << "  состояние: " << HealthWords(v.health);
  if (v.openFindings) out << ", открытых находок: " << v.openFindings;
  out << "\n";
  out << "  последнее чтение: " << (v.lastGoodReadUtc.empty() ? "нет" : v.lastGoodReadUtc)
      << ", следующее: " << LocalText(v.nextDueUtc) << "\n";
  out << "  записей: часовых " << v.records[0] << ", суточных " << v.records[1] << ", месячных " << v.records[2]
      << "; пропусков: " << v.gaps[0] << "/" << v.gaps[1] << "/" << v.gaps[2] << "\n";
  if (v.silent) out << "  молчит: " << v.failuresInRow << " чтений подряд без ответа\n";
  if (v.lastFailure)
    out << "  последняя ошибка: " << v.lastFailure->utc << " " << PrintableText(v.lastFailure->reason) << "\n";
  for (const auto& f : v.findings)
    out << (f.ackedUtc.empty() ? "  находка: " : "  находка (принята): ") << store::FindingKindName(f.kind) << " "
        << (f.archive ? std::string(store::ArchiveName(*f.archive)) + " " : "") << f.period << ": "
        << PrintableText(f.detail) << "\n";
}

// The collectors and the shared lines' leases.
void Text(const SharingView& sharing, std::ostream& out) {
  if (!sharing.collectors.empty()) out << "Сборщики:\n";
  for (const auto& c : sharing.collectors)
    out << "  " << PrintableText(c.origin) << " (" << PrintableText(c.host)
        << "): " << (c.alive ? "работает" : "не отвечает") << ", запущен " << LocalText(c.startedUtc) << ", отмечался "
        << LocalText(c.seenUtc) << "\n";
  if (!sharing.leases.empty()) out << "Общие линии:\n";
  for (const auto& l : sharing.leases)
    if (l.held)
      out << "  " << l.line << ": читает " << PrintableText(l.origin) << " до " << LocalText(l.untilUtc) << "\n";
    else if (l.origin.empty()) out << "  " << l.line << ": свободна с " << LocalText(l.untilUtc) << "\n";
    else
      out << "  " << l.line << ": свободна с " << LocalText(l.untilUtc) << " (срок " << PrintableText(l.origin)
          << " истёк)\n";
}

}  // namespace

int RunStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  bool json = false;
  const auto app = CommandApp("status", kStatusAbout, given);
  app->add_flag("--json", json,
                "an object: \"instruments\" as GET /api/instruments gives them, \"collectors\" as GET /api/collectors");
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err, true);
  if (!store) return kExitFailed;
  auto fleet = FleetView(*store, LiveOf(*cfg));
  if (!fleet) {
    err << "statvtk-collect status: " << fleet.error().reason << "\n";
    return kExitFailed;
  }
  auto sharing = SharingOf(*store, cfg->collector.leaseTtlS);
  if (!sharing) {
    err << "statvtk-collect status: " << sharing.error().reason << "\n";
    return kExitFailed;
  }
  PlanNext(*cfg, *fleet);
  ConfiguredFirst(*cfg, *fleet);
  if (json) {
    Json list = Json::array();
    for (const auto& v : *fleet) list.push_back(InstrumentJson(v));
    Json j;
    j["instruments"] = std::move(list);
    j["collectors"] = CollectorsJson(sharing->collectors);
    out << JsonText(j) << "\n";
    return kExitOk;
  }
  auto open = store->Situations(store::OpenSituations());
  if (!open) {
    err << "statvtk-collect status: " << open.error().reason << "\n";
    return kExitFailed;
  }
  for (const auto& v : *fleet) {
    Text(v, out);
    Text(*open, v.instrument.serial, out);
  }
  Text(*sharing, out);
  return kExitOk;
}

}  // namespace statvtk::collect
