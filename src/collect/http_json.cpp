#include "collect/http_json.hpp"

#include "base/utf8.hpp"
#include "collect/http_periods.hpp"

namespace statvtk::collect {

namespace {

Json OptNumber(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

Json FieldsJson(const std::string& fields) {
  if (fields.empty()) return Json::object();
  Json parsed = Json::parse(fields, nullptr, false);
  return parsed.is_discarded() ? Json(ValidUtf8(fields)) : parsed;
}

}  // namespace

Json RecordJson(const store::RecordRow& r) {
  Json j;
  j["period"] = r.period;
  j["forward_total"] = r.forwardTotal;
  j["reverse_total"] = r.reverseTotal;
  j["forward_increment"] = OptNumber(r.forwardIncrement);
  j["reverse_increment"] = OptNumber(r.reverseIncrement);
  j["flags"] = r.flags;
  j["valid"] = r.valid;
  j["fields"] = FieldsJson(r.fields);
  j["read_id"] = r.readId;
  j["utc_offset_s"] = r.utcOffsetS;
  return j;
}

Json SerialRecordJson(const store::RecordRow& r) {
  Json j;
  j["serial"] = ValidUtf8(r.serial);
  j["archive"] = store::ArchiveName(r.archive);
  const Json record = RecordJson(r);
  for (const auto& [k, v] : record.items()) j[k] = v;
  return j;
}

Json ReadJson(const store::ReadRow& r) {
  Json j;
  j["id"] = r.id;
  j["serial"] = ValidUtf8(r.serial);
  j["name"] = r.name;
  j["line"] = r.line;
  j["started_utc"] = r.startedUtc;
  j["ended_utc"] = r.endedUtc.empty() ? Json(nullptr) : Json(r.endedUtc);
  j["mode"] = store::ReadModeName(r.mode);
  j["outcome"] = r.outcome ? Json(store::ReadOutcomeName(*r.outcome)) : Json(nullptr);
  j["error"] = ValidUtf8(r.error);
  j["requests"] = r.requests;
  j["file"] = r.file;
  j["recovered"] = r.recovered;
  j["lost"] = r.lost;
  j["added"] = r.added;
  j["conflicts"] = r.conflicts;
  return j;
}

Json FindingJson(const store::FindingRow& f) {
  Json j;
  j["id"] = f.id;
  j["serial"] = ValidUtf8(f.serial);
  j["kind"] = store::FindingKindName(f.kind);
  j["archive"] = f.archive ? Json(store::ArchiveName(*f.archive)) : Json(nullptr);
  j["period"] = f.period;
  j["detail"] = ValidUtf8(f.detail);
  j["read_id"] = f.readId;
  j["found_utc"] = f.foundUtc;
  return j;
}

std::string_view HealthName(Health h) {
  switch (h) {
    case Health::Ok: return "ok";
    case Health::Late: return "late";
    case Health::Down: return "down";
    case Health::Never: return "never";
    case Health::Clock: return "clock";
  }
  return "never";
}

std::string_view HealthText(Health h) {
  switch (h) {
    case Health::Ok: return "В норме";
    case Health::Late: return "Запаздывает";
    case Health::Down: return "Нет связи";
    case Health::Never: return "Не читался";
    case Health::Clock: return "часы прибора";
  }
  return "Не читался";
}

int HealthRank(Health h) {
  switch (h) {
    case Health::Down: return 0;
    case Health::Never: return 1;
    case Health::Clock: return 2;
    case Health::Late: return 3;
    case Health::Ok: return 4;
  }
  return 0;
}

Health HealthOf(const store::InstrumentSummary& s, std::int64_t every, std::chrono::system_clock::time_point now,
                bool clockOff) {
  if (!s.lastGoodRead) return Health::Never;
  const auto at = UtcMoment(s.lastGoodRead->endedUtc.empty() ? s.lastGoodRead->startedUtc : s.lastGoodRead->endedUtc);
  if (!at) return Health::Never;
  const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - *at).count();
  const double hourly = s.archives[0].completeness;
  const bool failedSince = s.lastRead && s.lastRead->outcome == store::ReadOutcome::Failed;
  // It answers: what its records lack is its clock's doing, not the line's.
  if (clockOff && age <= 3 * every && !failedSince && hourly < 95) return Health::Clock;
  if (age > 3 * every || hourly < 50) return Health::Down;
  if (age > every + every / 2 || hourly < 95 || failedSince) return Health::Late;
  return Health::Ok;
}

}  // namespace statvtk::collect
