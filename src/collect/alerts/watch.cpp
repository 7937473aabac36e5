#include "collect/alerts/watch.hpp"

#include "analysis/situations.hpp"
#include "base/utf8.hpp"
#include "front/situation_texts.hpp"

namespace statvtk::collect {

namespace {

// The events of one kind of condition keyed by name: raised for a key new
// in `now`, cleared for one gone from it.
template <class Key, class Value, class Make>
void Diff(const std::map<Key, Value>& before, const std::map<Key, Value>& now, Make make,
          std::vector<AlertEvent>& out) {
  for (const auto& [k, v] : now)
    if (!before.contains(k)) out.push_back(make(k, v, true));
  for (const auto& [k, v] : before)
    if (!now.contains(k)) out.push_back(make(k, v, false));
}

void Service(const char* kind, const char* what, const std::optional<std::string>& before,
             const std::optional<std::string>& now, std::vector<AlertEvent>& out) {
  if (before.has_value() == now.has_value()) return;
  AlertEvent e{kind, now ? "raised" : "cleared", "", "", "", "", ""};
  e.text = now ? std::string(what) + " недоступен: " + *now : std::string(what) + " снова доступен";
  out.push_back(std::move(e));
}

}  // namespace

Json AlertJson(const AlertEvent& e) {
  return Json{{"kind", e.kind},
              {"state", e.state},
              {"instrument", ValidUtf8(e.instrument)},
              {"line", ValidUtf8(e.line)},
              {"serial", ValidUtf8(e.serial)},
              {"text", ValidUtf8(e.text)},
              {"time", e.timeUtc}};
}

std::vector<AlertEvent> AlertWatch::Look(const AlertPicture& now, const std::string& timeUtc) {
  std::vector<AlertEvent> out;
  Service("store_down", "Сервер базы данных", storeDown_, now.storeDown, out);
  Service("broker_down", "Брокер MQTT", brokerDown_, now.brokerDown, out);
  storeDown_ = now.storeDown;
  brokerDown_ = now.brokerDown;
  Diff(
      linesDown_, now.linesDown,
      [](const std::string& line, const std::string& why, bool raised) {
        return AlertEvent{
            "line_down", raised ? "raised" : "cleared",
            "",          line,
            "",          raised ? "Линия " + line + " не отвечает: " + why : "Линия " + line + " снова отвечает",
            ""};
      },
      out);
  linesDown_ = now.linesDown;
  // The instruments and the findings are known only while the store answers.
  if (!now.storeDown) {
    std::map<std::string, const InstrumentView*> down, clock;
    std::map<std::int64_t, AlertEvent> open;
    std::set<std::int64_t> acked;
    for (const auto& v : now.fleet) {
      if (v.down) down[v.instrument.name] = &v;
      if (v.health == Health::Clock) clock[v.instrument.name] = &v;
      for (const auto& f : v.findings)
        if (!f.ackedUtc.empty()) acked.insert(f.id);
        else
          open[f.id] = {
              "finding",
              "raised",
              v.instrument.name,
              v.instrument.line,
              v.instrument.serial,
              "Находка " + std::to_string(f.id) + " (" + std::string(store::FindingKindName(f.kind)) + "): " + f.detail,
              ""};
    }
    const auto instrument = [&](const char* kind, const char* raisedText, const char* clearedText) {
      return [=](const std::string& name, const InstrumentView* v, bool raised) {
        std::string text = "Прибор " + name + (raised ? raisedText : clearedText);
        if (raised && v->lastFailure) text += ": " + v->lastFailure->reason;
        return AlertEvent{kind, raised ? "raised" : "cleared", name, v->instrument.line, v->instrument.serial, text,
                          ""};
      };
    };
    std::map<std::string, const InstrumentView*> downBefore, clockBefore;
    for (const auto& name : down_) downBefore[name] = nullptr;
    for (const auto& name : clock_) clockBefore[name] = nullptr;
    // What cleared is told with what is known now (the view, if still listed).
    const auto withView = [&](std::map<std::string, const InstrumentView*>& m) {
      for (auto& [name, v] : m)
        for (const auto& x : now.fleet)
          if (x.instrument.name == name) v = &x;
    };
    withView(downBefore);
    withView(clockBefore);
    static const InstrumentView kGone{};
    for (auto* m : {&downBefore, &clockBefore})
      for (auto& [name, v] : *m)
        if (!v) v = &kGone;
    Diff(downBefore, down, instrument("instrument_down", " не отвечает", " снова отвечает"), out);
    Diff(clockBefore, clock, instrument("instrument_clock", ": часы прибора расходятся с ПК", ": часы прибора в норме"),
         out);
    down_.clear();
    clock_.clear();
    for (const auto& [name, v] : down) down_.insert(name);
    for (const auto& [name, v] : clock) clock_.insert(name);
    // A finding raised once when it appears, cleared once it is acknowledged
    // (the views list each instrument's newest findings only: one that drops
    // out of the list is not taken as cleared).
    if (looked_) {
      for (const auto& [id, e] : open)
        if (!openFindings_.contains(id)) out.push_back(e);
      for (auto& [id, e] : openFindings_)
        if (acked.contains(id)) {
          e.state = "cleared";
          e.text += " — принята";
          out.push_back(e);
        }
    }
    for (const auto& [id, e] : openFindings_)
      if (!open.contains(id) && !acked.contains(id)) open.emplace(id, e);
    openFindings_ = std::move(open);
  }
  LookAtSituations(now, out);
  looked_ = true;
  for (auto& e : out) e.timeUtc = timeUtc;
  return out;
}

void AlertWatch::LookAtSituations(const AlertPicture& now, std::vector<AlertEvent>& out) {
  if (now.storeDown || !now.situations) return;
  std::map<std::string, const InstrumentView*> bySerial;
  for (const auto& v : now.fleet) bySerial[v.instrument.serial] = &v;
  std::map<std::int64_t, AlertEvent> open;
  const std::string_view clockDrift = analysis::SituationKindName(analysis::SituationKind::ClockDrift);
  for (const auto& s : *now.situations) {
    if (s.kind == clockDrift) continue;  // told once, as instrument_clock
    AlertEvent e{"situation", "raised", "", "", s.serial, "", ""};
    if (const auto it = bySerial.find(s.serial); it != bySerial.end())
      e.instrument = it->second->instrument.name, e.line = it->second->instrument.line;
    e.text =
        "Нештатная ситуация " + std::to_string(s.id) + " (" + SituationText(s.kind, s.detail) + ") с " + s.fromPeriod;
    open.emplace(s.id, std::move(e));
  }
  if (openSituations_) {
    for (const auto& [id, e] : open)
      if (!openSituations_->contains(id)) out.push_back(e);
    for (auto& [id, e] : *openSituations_)
      if (!open.contains(id)) {
        e.state = "cleared";
        e.text += " — закончилась";
        out.push_back(e);
      }
  }
  openSituations_ = std::move(open);
}

}  // namespace statvtk::collect
