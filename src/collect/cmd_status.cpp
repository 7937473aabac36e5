// statvtk-collect status: each configured instrument as the store knows it,
// then those other collectors read into the same store.

#include <ctime>
#include <deque>

#include "base/json_text.hpp"
#include "base/local_time.hpp"
#include "collect/backfill.hpp"
#include "collect/commands.hpp"
#include "collect/schedule.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

struct Row {
  const InstrumentConfig* in;
  std::string serial, model, lastGood, nextDue, lastFailure, lastFailureTime;
  std::array<std::int64_t, 3> records{}, holes{};
  int failuresInRow = 0;
  std::vector<std::string> findings;
};

std::string LocalText(std::time_t t) {
  const std::tm tm = LocalTime(t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

Result<Row> RowOf(store::RecordStore& s, const InstrumentConfig& in) {
  Row r{&in, {}, {}, {}, {}, {}, {}, {}, {}, 0, {}};
  auto reads = s.Reads({"", in.name, 50, false});
  if (!reads) return reads.error();
  for (const auto& rd : *reads) {
    if (r.serial.empty()) r.serial = rd.serial;
    if (rd.outcome == store::ReadOutcome::Done) {
      r.lastGood = rd.endedUtc;
      break;
    }
    ++r.failuresInRow;
    if (r.lastFailure.empty()) {
      r.lastFailure = rd.outcome ? rd.error : "чтение прервано (программа завершилась)";
      r.lastFailureTime = rd.startedUtc;
    }
  }
  std::time_t last = std::time(nullptr);
  if (const auto t = store::ParseUtc(r.lastGood)) last = *t;
  r.nextDue = LocalText(NextDue(in, last));
  if (r.serial.empty()) return r;
  auto inst = s.Instruments();
  if (!inst) return inst.error();
  for (const auto& i : *inst)
    if (i.serial == r.serial) r.model = i.model;
  for (std::size_t k = 0; k < 3; ++k) {
    auto st = s.Stats(r.serial, store::kArchiveKinds[k]);
    auto held = s.Periods(r.serial, store::kArchiveKinds[k], "", "");
    auto gone = s.Gone(r.serial, store::kArchiveKinds[k]);
    if (!st || !held || !gone) return MakeError(ErrorCode::BadData, "store");
    r.records[k] = st->records;
    r.holes[k] = static_cast<std::int64_t>(Holes(store::kArchiveKinds[k], *held, *gone).size());
  }
  auto f = s.Findings(r.serial);
  if (!f) return f.error();
  for (const auto& x : *f)
    r.findings.push_back(std::string(store::FindingKindName(x.kind)) + " " +
                         (x.archive ? std::string(store::ArchiveName(*x.archive)) + " " : "") + x.period + ": " +
                         x.detail);
  return r;
}

}  // namespace

int RunStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto c = ReadCommon(args, err);
  if (!c) return kExitConfig;
  bool json = false;
  for (const auto& a : c->rest) {
    if (a == "--json") json = true;
    else {
      err << "statvtk-collect status: unknown argument " << a << "\n";
      return kExitConfig;
    }
  }
  auto cfg = LoadChecked(*c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, *c, err);
  if (!store) return kExitFailed;
  std::vector<Row> rows;
  for (const auto& in : cfg->instruments) {
    auto r = RowOf(*store, in);
    if (!r) {
      err << "statvtk-collect status: " << r.error().reason << "\n";
      return kExitFailed;
    }
    rows.push_back(std::move(*r));
  }
  // Instruments other collectors read into the same store: the whole fleet.
  std::deque<InstrumentConfig> others;
  auto stored = store->Instruments();
  if (!stored) {
    err << "statvtk-collect status: " << stored.error().reason << "\n";
    return kExitFailed;
  }
  for (const auto& i : *stored) {
    bool mine = false;
    for (const auto& r : rows) mine = mine || r.serial == i.serial || r.in->name == i.name;
    if (mine) continue;
    InstrumentConfig& in = others.emplace_back();
    in.name = i.name;
    in.line = i.line;
    in.address = static_cast<std::uint32_t>(i.address);
    auto r = RowOf(*store, in);
    if (!r) {
      err << "statvtk-collect status: " << r.error().reason << "\n";
      return kExitFailed;
    }
    rows.push_back(std::move(*r));
  }
  if (json) {
    Json list = Json::array();
    for (const auto& r : rows) {
      Json j;
      j["name"] = r.in->name;
      j["serial"] = r.serial;
      j["model"] = r.model;
      j["line"] = r.in->line;
      j["address"] = r.in->address;
      j["last_good_read_utc"] = r.lastGood;
      j["next_due"] = r.nextDue;
      for (const char* key : {"records", "gaps"})
        for (std::size_t k = 0; k < 3; ++k)
          j[key][store::ArchiveName(store::kArchiveKinds[k])] = key[0] == 'r' ? r.records[k] : r.holes[k];
      j["failures_in_row"] = r.failuresInRow;
      j["silent"] = r.failuresInRow >= cfg->collector.silentAfter;
      j["last_failure"] = r.lastFailure;
      j["last_failure_utc"] = r.lastFailureTime;
      j["findings"] = r.findings;
      list.push_back(std::move(j));
    }
    out << JsonText(list) << "\n";
    return kExitOk;
  }
  for (const auto& r : rows) {
    out << r.in->name << ": " << (r.serial.empty() ? "?" : r.serial) << " " << r.model << ", линия " << r.in->line
        << ", адрес " << r.in->address << "\n";
    out << "  последнее чтение: " << (r.lastGood.empty() ? "нет" : r.lastGood) << ", следующее: " << r.nextDue << "\n";
    out << "  записей: часовых " << r.records[0] << ", суточных " << r.records[1] << ", месячных " << r.records[2]
        << "; пропусков: " << r.holes[0] << "/" << r.holes[1] << "/" << r.holes[2] << "\n";
    if (r.failuresInRow >= cfg->collector.silentAfter)
      out << "  молчит: " << r.failuresInRow << " чтений подряд без ответа\n";
    if (!r.lastFailure.empty()) out << "  последняя ошибка: " << r.lastFailureTime << " " << r.lastFailure << "\n";
    for (const auto& f : r.findings) out << "  находка: " << f << "\n";
  }
  return kExitOk;
}

}  // namespace statvtk::collect
