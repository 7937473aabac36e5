#include "collect/views/json_shapes.hpp"

#include "analysis/situations.hpp"
#include "base/utf8.hpp"
#include "front/situation_texts.hpp"
#include "collect/views/periods.hpp"

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
  j["acked_utc"] = f.ackedUtc.empty() ? Json(nullptr) : Json(f.ackedUtc);
  j["acked_by"] = f.ackedUtc.empty() ? Json(nullptr) : Json(ValidUtf8(f.ackedBy));
  return j;
}

namespace {
Json OrNull(const std::string& s) { return s.empty() ? Json(nullptr) : Json(ValidUtf8(s)); }
}  // namespace

Json SituationJson(const store::SituationRow& s) {
  const auto source = analysis::SituationSourceOfName(s.source);
  return Json{{"id", s.id},
              {"kind", ValidUtf8(s.kind)},
              {"kind_text", ValidUtf8(SituationText(s.kind, s.detail))},
              {"source", ValidUtf8(s.source)},
              {"source_text", source ? Json(std::string(SituationSourceText(*source))) : Json(nullptr)},
              {"from", s.fromPeriod},
              {"to", s.toPeriod ? Json(*s.toPeriod) : Json(nullptr)},
              {"hours", s.hours},
              {"detail", ValidUtf8(s.detail)},
              {"raised_utc", s.raisedUtc},
              {"cleared_utc", OrNull(s.clearedUtc)},
              {"acked_by", OrNull(s.ackBy)},
              {"acked_utc", OrNull(s.ackUtc)}};
}

}  // namespace statvtk::collect
