#include "collect/run/situation_check.hpp"

#include <algorithm>
#include <memory>

#include "analysis/meter_records.hpp"
#include "collect/image/store_image.hpp"
#include "collect/mqtt/outbox.hpp"
#include "collect/run/fault_barrier.hpp"

namespace statvtk::collect {

namespace {

// The records of the last five weeks before the newest one (or the clock).
void KeepWindow(analysis::MeterRecords& r) {
  long long newest = r.clock.value_or(0);
  if (!r.hourly.empty()) newest = std::max(newest, r.hourly.back().start);
  if (!r.daily.empty()) newest = std::max(newest, r.daily.back().start);
  const long long from = newest - kSituationWindowS;
  const auto before = [from](const analysis::Period& p) { return p.start < from; };
  std::erase_if(r.hourly, before);
  std::erase_if(r.daily, before);
  std::erase_if(r.events.events, [from](const analysis::MeterEvent& e) { return e.time < from; });
}

store::SituationRow RowOf(const analysis::Situation& s, const std::string& serial) {
  store::SituationRow row;
  row.serial = serial;
  row.kind = analysis::SituationKindName(s.kind);
  row.source = analysis::SituationSourceName(s.source);
  row.fromPeriod = analysis::HourText(s.from);
  if (s.to) row.toPeriod = analysis::HourText(*s.to);
  row.hours = s.hours;
  row.detail = s.detail;
  return row;
}

// The model to look at: the read's image, else the store's newest.
Result<std::unique_ptr<StatModel>> ModelToCheck(StoreWriter& writer, const std::string& serial,
                                                const StatData* readImage) {
  if (readImage) return MakeStatModel(*readImage);
  auto image = writer.With([&](store::RecordStore& s) { return NewestImage(s, serial); });
  if (!image) return image.error();
  if (!*image) return std::unique_ptr<StatModel>();
  return MakeStatModel((*image)->data);
}

}  // namespace

std::vector<store::SituationRow> FoundSituations(const StatModel& model, const std::string& serial,
                                                 const analysis::Settings& rules) {
  analysis::MeterRecords records = analysis::MeterRecordsOf(model);
  KeepWindow(records);
  std::vector<store::SituationRow> rows;
  for (const auto& s : analysis::Analyse(records, rules).situations) rows.push_back(RowOf(s, serial));
  return rows;
}

std::optional<store::SituationChanges> CheckSituations(StoreWriter& writer, const std::string& serial,
                                                       const analysis::Settings& rules, const StatData* readImage,
                                                       const LogTo& log) {
  auto changes = Guarded([&]() -> Result<store::SituationChanges> {
    auto model = ModelToCheck(writer, serial, readImage);
    if (!model) return model.error();
    if (!*model) return store::SituationChanges{};  // no image of it: nothing to look at
    const auto found = FoundSituations(**model, serial, rules);
    return writer.With([&](store::RecordStore& s) -> Result<store::SituationChanges> {
      store::StoreTransaction t(s);
      if (!t.Begun()) return t.Begun().error();
      auto changes = s.PutSituations(serial, found, "");
      if (!changes) return changes;
      std::vector<std::string> discovered;
      if (MqttOutbox* outbox = writer.Outbox()) {
        auto queued = outbox->EnqueueSituations(s, serial, *changes);
        if (!queued) return queued.error();
        discovered = std::move(*queued);
      }
      if (auto c = t.Commit(); !c) return c.error();
      for (const auto& key : discovered) writer.Outbox()->Discovered(key);
      return changes;
    });
  });
  if (!changes) {
    log("Нештатные ситуации прибора " + serial + " не проверены: " + changes.error().reason, {.serial = serial});
    return std::nullopt;
  }
  return std::move(*changes);
}

}  // namespace statvtk::collect
