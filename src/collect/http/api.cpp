#include "collect/http/api.hpp"

#include <charconv>
#include <ctime>

#include "base/local_time.hpp"
#include "base/utf8.hpp"
#include "base/version.hpp"
#include "collect/http/calls.hpp"
#include "collect/http/fleet_pages.hpp"
#include "collect/http/metrics.hpp"
#include "collect/http/situations.hpp"
#include "collect/http/status_page.hpp"
#include "collect/views/collectors_view.hpp"
#include "collect/views/instrument_overview.hpp"
#include "collect/views/instrument_view.hpp"
#include "collect/views/periods.hpp"
#include "base/ascii.hpp"

namespace statvtk::collect {

namespace {

constexpr std::string_view kInstrumentsPath = "/api/instruments";

HttpAnswer JsonAnswer(const Json& j) { return {200, "application/json; charset=utf-8", JsonText(j) + "\n"}; }

// 503 only when the store cannot be reached (busy, the server gone): any
// other failure of a statement is the server's own (500).
HttpAnswer StoreFailed(const Error& e) {
  if (store::StoreUnavailable(e)) return FleetApi::Refuse(503, "хранилище недоступно: " + e.reason);
  return FleetApi::Refuse(500, "ошибка хранилища: " + e.reason);
}

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> out;
  std::size_t at = 1;
  while (at <= path.size()) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    out.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

const std::string* Param(const QueryParams& q, std::string_view key) {
  for (const auto& [k, v] : q)
    if (k == key) return &v;
  return nullptr;
}

// Keys a route knows; another one is a client's mistake worth telling.
std::optional<std::string> UnknownParam(const QueryParams& q, std::initializer_list<std::string_view> known) {
  for (const auto& [k, v] : q) {
    bool ok = false;
    for (auto n : known) ok = ok || k == n;
    if (!ok) return k;
  }
  return std::nullopt;
}

std::optional<std::size_t> Count(const std::string& text) {
  std::size_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<std::string> DecodedSegment(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

FleetApi::FleetApi(std::unique_ptr<store::RecordStore> reader, FleetLive live)
    : readers_(store::StoreReaders::Of(std::move(reader))), live_(std::move(live)) {}

FleetApi::FleetApi(std::unique_ptr<store::StoreReaders> readers, FleetLive live)
    : readers_(std::move(readers)), live_(std::move(live)) {}

HttpAnswer FleetApi::Refuse(int status, std::string_view reason) {
  Json j;
  j["error"] = ValidUtf8(reason);
  j["status"] = status;
  return {status, "application/json; charset=utf-8", JsonText(j) + "\n"};
}

std::chrono::system_clock::time_point FleetApi::Now() const {
  return live_.now ? live_.now() : std::chrono::system_clock::now();
}

std::string FleetApi::NowPeriod() const {
  if (live_.nowPeriod) return live_.nowPeriod();
  const std::tm t = LocalTime(Now());
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour);
  return buf;
}

HttpAnswer FleetApi::Health() {
  bool storeOk = false;
  {
    const store::StoreReaders::Lease lease = readers_->Take();
    storeOk = static_cast<bool>(lease->SchemaVersion());
  }
  const Json j{{"status", storeOk ? "ok" : "degraded"},
               {"store", storeOk ? "ok" : "down"},
               {"version", std::string(StatvtkVersion())}};
  return {storeOk ? 200 : 503, "application/json; charset=utf-8", JsonText(j) + "\n"};
}

namespace {

// What a POST .../{id}/ack says of the thing it acknowledges.
struct AckTexts {
  std::string_view badId, notRunning, none;
};
constexpr AckTexts kFindingAck{.badId = "неверный номер находки в пути",
                               .notRunning = "находки принимает только работающий сборщик",
                               .none = "нет открытой находки "};
constexpr AckTexts kSituationAck{.badId = "неверный номер ситуации в пути",
                                 .notRunning = "ситуации принимает только работающий сборщик",
                                 .none = "нет ситуации "};

}  // namespace

HttpAnswer FleetApi::Post(std::string_view path, const std::string& who) {
  const auto parts = Segments(path);
  const bool situation = parts.size() == 4 && parts[0] == "api" && parts[1] == "situations" && parts[3] == "ack";
  if (!situation && (parts.size() != 4 || parts[0] != "api" || parts[1] != "findings" || parts[3] != "ack"))
    return Refuse(405, "POST только на /api/findings/{id}/ack и /api/situations/{id}/ack");
  // What changes the store is said in somebody's name: a token, always ("-": none was needed).
  if (who == "-") return Refuse(403, "изменения только с токеном (statvtk-collect token add ИМЯ)");
  const AckTexts& texts = situation ? kSituationAck : kFindingAck;
  const auto& ack = situation ? live_.ackSituation : live_.ackFinding;
  const auto id = Count(std::string(parts[2]));
  if (!id || *id == 0) return Refuse(400, texts.badId);
  if (!ack) return Refuse(503, texts.notRunning);
  auto acked = ack(static_cast<std::int64_t>(*id), who);
  if (!acked) return StoreFailed(acked.error());
  if (!*acked) return Refuse(404, std::string(texts.none) + std::to_string(*id));
  return JsonAnswer(Json{{"id", *id}, {"acked_by", ValidUtf8(who)}});
}

HttpAnswer FleetApi::Answer(std::string_view method, std::string_view path, const QueryParams& query) {
  if (method != "GET" && method != "HEAD") return Refuse(405, "только чтение: разрешён метод GET");
  if (query.size() > kMaxQueryParams) return Refuse(400, "слишком много параметров запроса");
  if (path == "/" || path == "/index.html") {
    // Only the page's own: the view, the instrument opened, the page and the filter.
    if (auto bad = UnknownParam(query, {"view", "meter", "page", "q", "state"}))
      return Refuse(400, "неизвестный параметр страницы: " + bad->substr(0, 40));
    return {200, "text/html; charset=utf-8", std::string(StatusPage())};
  }
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  // Each request reads through its own connection of the pool: requests are
  // answered side by side, and none waits for the collector's writer.
  const store::StoreReaders::Lease lease = readers_->Take();
  store::RecordStore& db = *lease;
  if (path == "/metrics") return Metrics(db);
  if (path == "/api/reads") return Reads(db, query);
  if (path == "/api/findings") return Findings(db, query);
  if (path == "/api/situations") return SituationsAnswer(db, query, NowPeriod());
  if (path == "/api/calls") return Calls(db, query);
  if (path == "/api/modems") return Modems();
  if (path == "/api/collectors") return Collectors(db);
  if (path == "/api/completeness") return CompletenessPage(db, NowPeriod(), query);
  if (path == "/api/read-rates") return ReadRates(db, Now(), query);
  if (path == kInstrumentsPath) {
    if (!query.empty()) return InstrumentsPage(db, LiveWithClock(), query);  // the paged shape
    return Instruments(db);
  }
  const auto parts = Segments(path);
  if (parts.size() == 4 && parts[0] == "api" && parts[1] == "instruments") {
    const auto serial = DecodedSegment(parts[2]);
    if (!serial || serial->empty()) return Refuse(400, "неверный заводской номер в пути");
    if (parts[3] == "records") return Records(db, *serial, query);
    if (parts[3] == "overview") return Overview(db, *serial);
  }
  return Refuse(404, "нет такого адреса: " + std::string(path.substr(0, 200)));
}

bool FleetApi::KnownSerial(store::RecordStore& db, const std::string& serial) {
  auto all = db.Instruments();
  if (!all) return false;
  for (const auto& i : *all)
    if (i.serial == serial) return true;
  return false;
}

FleetLive FleetApi::LiveWithClock() const {
  FleetLive live = live_;
  live.now = [this] { return Now(); };
  live.nowPeriod = [this] { return NowPeriod(); };
  return live;
}

HttpAnswer FleetApi::Instruments(store::RecordStore& db) {
  auto fleet = FleetView(db, LiveWithClock());
  if (!fleet) return StoreFailed(fleet.error());
  Json list = Json::array();
  for (const auto& v : *fleet) list.push_back(InstrumentJson(v));
  return JsonAnswer(list);
}

HttpAnswer FleetApi::Records(store::RecordStore& db, const std::string& serial, const QueryParams& query) {
  if (auto bad = UnknownParam(query, {"archive", "from", "to", "limit"}))
    return Refuse(400, "неизвестный параметр: " + bad->substr(0, 40));
  store::RecordQuery q;
  q.serial = serial;
  const std::string* archive = Param(query, "archive");
  const auto kind = store::ArchiveOfName(archive ? *archive : "hourly");
  if (!kind) return Refuse(400, "archive: hourly, daily или monthly");
  q.archive = *kind;
  if (const std::string* from = Param(query, "from")) {
    const auto p = NormalizedPeriod(*from);
    if (!p) return Refuse(400, "from: неверная дата (ГГГГ-ММ-ДД или ГГГГ-ММ-ДД ЧЧ:00)");
    q.from = *p;
  }
  if (const std::string* to = Param(query, "to")) {
    const auto p = NormalizedPeriod(*to);
    if (!p) return Refuse(400, "to: неверная дата (ГГГГ-ММ-ДД или ГГГГ-ММ-ДД ЧЧ:00)");
    q.to = *p + "~";  // every period that begins with the text: the whole day, month
  }
  if (!q.from.empty() && !q.to.empty() && q.from > q.to) return Refuse(400, "from позже, чем to");
  std::size_t limit = kMaxRecordsPerAnswer;
  if (const std::string* l = Param(query, "limit")) {
    const auto n = Count(*l);
    if (!n || *n == 0) return Refuse(400, "limit: целое число больше нуля");
    if (*n > kMaxRecordsPerAnswer)
      return Refuse(413, "limit больше " + std::to_string(kMaxRecordsPerAnswer) + " записей");
    limit = *n;
  }
  if (!KnownSerial(db, serial)) return Refuse(404, "нет прибора с заводским номером " + ValidUtf8(serial));
  q.limit = limit + 1;
  auto rows = db.Records(q);
  if (!rows) return StoreFailed(rows.error());
  if (rows->size() > limit && !Param(query, "limit"))
    return Refuse(413, "больше " + std::to_string(kMaxRecordsPerAnswer) + " записей: сократите период from..to");
  if (rows->size() > limit) rows->resize(limit);
  Json j;
  j["serial"] = ValidUtf8(serial);
  j["archive"] = store::ArchiveName(q.archive);
  Json list = Json::array();
  for (const auto& r : *rows) list.push_back(RecordJson(r));
  j["records"] = std::move(list);
  return JsonAnswer(j);
}

HttpAnswer FleetApi::Overview(store::RecordStore& db, const std::string& serial) {
  if (!KnownSerial(db, serial)) return Refuse(404, "нет прибора с заводским номером " + ValidUtf8(serial));
  auto overview = InstrumentOverview(db, serial, kSummaryDays, NowPeriod());
  if (!overview) return StoreFailed(overview.error());
  return JsonAnswer(*overview);
}

HttpAnswer FleetApi::Reads(store::RecordStore& db, const QueryParams& query) {
  if (auto bad = UnknownParam(query, {"serial", "name", "limit"}))
    return Refuse(400, "неизвестный параметр: " + bad->substr(0, 40));
  store::ReadQuery q;
  if (const std::string* s = Param(query, "serial")) q.serial = *s;
  if (const std::string* n = Param(query, "name")) q.name = *n;
  q.limit = 50;
  if (const std::string* l = Param(query, "limit")) {
    const auto n = Count(*l);
    if (!n || *n == 0) return Refuse(400, "limit: целое число больше нуля");
    if (*n > kMaxReadsPerAnswer) return Refuse(413, "limit больше " + std::to_string(kMaxReadsPerAnswer));
    q.limit = *n;
  }
  if (!q.serial.empty() && !KnownSerial(db, q.serial))
    return Refuse(404, "нет прибора с заводским номером " + ValidUtf8(q.serial));
  auto rows = db.Reads(q);
  if (!rows) return StoreFailed(rows.error());
  Json list = Json::array();
  for (const auto& r : *rows) list.push_back(ReadJson(r));
  return JsonAnswer(list);
}

HttpAnswer FleetApi::Findings(store::FindingStore& db, const QueryParams& query) {
  if (auto bad = UnknownParam(query, {"serial"})) return Refuse(400, "неизвестный параметр: " + bad->substr(0, 40));
  const std::string* s = Param(query, "serial");
  auto rows = db.Findings(s ? *s : "");
  if (!rows) return StoreFailed(rows.error());
  Json list = Json::array();
  for (const auto& f : *rows) list.push_back(FindingJson(f));
  return JsonAnswer(list);
}

// ?line=NAME&limit=N (default 100, at most kMaxReadsPerAnswer): the newest calls first.
HttpAnswer FleetApi::Calls(store::CallStore& db, const QueryParams& query) {
  if (auto bad = UnknownParam(query, {"line", "limit"}))
    return Refuse(400, "неизвестный параметр: " + bad->substr(0, 40));
  const std::string* line = Param(query, "line");
  std::size_t limit = 100;
  if (const std::string* l = Param(query, "limit")) {
    const auto n = Count(*l);
    if (!n || *n == 0 || *n > kMaxReadsPerAnswer)
      return Refuse(400, "limit: число от 1 до " + std::to_string(kMaxReadsPerAnswer));
    limit = *n;
  }
  auto rows = db.Calls(line ? *line : "", limit);
  if (!rows) return StoreFailed(rows.error());
  Json list = Json::array();
  for (const auto& c : *rows) list.push_back(CallJson(c));
  return JsonAnswer(list);
}

HttpAnswer FleetApi::Collectors(store::LeaseStore& db) {
  auto sharing = SharingOf(db, live_.leaseTtlS);
  if (!sharing) return StoreFailed(sharing.error());
  return JsonAnswer(CollectorsJson(sharing->collectors));
}

HttpAnswer FleetApi::Modems() {
  Json list = Json::array();
  for (const auto& m : live_.modems ? live_.modems() : std::vector<ModemFigure>{}) list.push_back(ModemJson(m));
  return JsonAnswer(list);
}

// The collector's own counters whatever the store does: monitoring sees
// the store down (statvtk_store_up 0) rather than losing the collector too.
HttpAnswer FleetApi::Metrics(store::RecordStore& db) {
  CollectorFigures own;
  if (live_.lines) own.lines = live_.lines();
  if (live_.logWriteFailures) own.logWriteFailures = live_.logWriteFailures();
  if (live_.mqttDropped) own.mqttDropped = live_.mqttDropped();
  if (live_.brokerUp) own.brokerUp = live_.brokerUp();
  StoreFigures stored;
  FleetLive live = live_;
  live.now = [this] { return Now(); };
  live.nowPeriod = [this] { return NowPeriod(); };
  if (auto fleet = FleetView(db, live)) stored.fleet = std::move(*fleet);
  if (stored.fleet)
    if (auto sharing = SharingOf(db, live_.leaseTtlS)) stored.sharing = std::move(*sharing);
  if (stored.fleet && !live_.outboxOrigin.empty())
    if (auto n = db.OutboxSize(live_.outboxOrigin)) stored.outboxSize = *n;
  std::string situations;
  if (stored.fleet)
    if (auto open = db.Situations(store::OpenSituations())) situations = SituationMetricsText(*open);
  return {
      200, "text/plain; version=0.0.4; charset=utf-8",
      MetricsText(own, stored, Now()) + (live_.modems ? ModemMetricsText(live_.modems()) : std::string()) + situations};
}

}  // namespace statvtk::collect
