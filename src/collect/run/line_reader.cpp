#include "collect/run/line_reader.hpp"

#include "front/part_sink.hpp"
#include "front/part_texts.hpp"
#include "reading/reads.hpp"

namespace statvtk::collect {

namespace {

// The engine's words go to the line's log, with the fields of the
// instrument being read; nothing else is shown.
class LineObserver final : public ReadObserver {
 public:
  explicit LineObserver(const LineLog& log) : log_(log) {}
  void LogLine(const std::string& text) override {
    if (log_) log_(text, current);
  }
  LogFields current;

 private:
  const LineLog& log_;
};

// The collector's way of showing a read: one event a line, this system's
// words, no stop sentence; and when each instrument's read began and ended.
class LineEvents final : public ReadEvents {
 public:
  LineEvents(const LineLog& log, const std::filesystem::path& home, ReadEvents* tap = nullptr,
             std::span<const DuePlan> due = {})
      : tap_(tap),
        due_(due),
        obs_(log),
        sink_(obs_, home, {.wording = LinkWording::System, .oneLine = true, .quiet = true, .noFile = true}) {}
  void On(const ReadEvent& e) override {
    if (const auto* s = std::get_if<event::InstrumentStarted>(&e)) {
      starts_.push_back(std::chrono::system_clock::now());
      obs_.current = s->index < due_.size() ? due_[s->index].fields : LogFields{};
    }
    if (std::holds_alternative<event::InstrumentEnded>(e)) ends_.push_back(std::chrono::system_clock::now());
    sink_.On(e);
    if (std::holds_alternative<event::InstrumentEnded>(e)) obs_.current = {};
    if (tap_) tap_->On(e);
  }
  const PartSink& Sink() const { return sink_; }
  std::chrono::system_clock::time_point StartOf(std::size_t i, std::chrono::system_clock::time_point otherwise) const {
    return i < starts_.size() ? starts_[i] : otherwise;
  }
  std::chrono::system_clock::time_point EndOf(std::size_t i, std::chrono::system_clock::time_point otherwise) const {
    return i < ends_.size() ? ends_[i] : otherwise;
  }

 private:
  ReadEvents* tap_;
  std::span<const DuePlan> due_;
  LineObserver obs_;
  PartSink sink_;
  std::vector<std::chrono::system_clock::time_point> starts_, ends_;
};

// A dial that did not connect, by the modem's last answer: "Не удалось
// дозвониться по номеру 5551234: занято (попыток: 3)".
std::string DialFailedLine(const ReadResult& r, const LineSpec& line, std::span<const DialOutcome> dials) {
  std::string text = "Не удалось дозвониться по номеру " + line.dial.phoneNo;
  const std::string reason = r.error ? r.error->reason : std::string();
  if (dials.empty()) return text + (reason.empty() ? "" : ": " + reason);
  return text + ": " + DialOutcomeText(dials.back(), reason) + " (попыток: " + std::to_string(dials.size()) + ")";
}

// Why a read failed or stopped, on one line: "Ошибка чтения: нет ответа за
// 300 мс (Тайм-аут [2])", "Ошибка TCP соединения: соединение отвергнуто: ...".
std::string ErrorLine(const ReadResult& r, const LineSpec& line, std::span<const DialOutcome> dials = {}) {
  if (r.outcome == ReadOutcome::Done) return {};
  if (r.outcome == ReadOutcome::Stopped || r.outcome == ReadOutcome::NotRun) return {};
  if (r.at == FailedAt::Dial) return DialFailedLine(r, line, dials);
  std::string message = NotReadText(r, line, LinkWording::System);
  const bool withCause = r.error && r.at != FailedAt::Settings && r.at != FailedAt::Address;
  if (!withCause) return message;
  if (!message.empty() && message.back() == '.') message.pop_back();
  return (message.empty() ? "" : message + ": ") + CauseText(*r.error, LinkWording::System);
}

StatisticsPlan PlanOf(const DuePlan& p) {
  StatisticsPlan plan;
  plan.range = p.kind == DueKind::Full ? RecordRange::All : RecordRange::New;
  plan.kinds = {p.hourly, p.daily, p.monthly, p.events};
  if (p.base) plan.base = *p.base;  // else NewestIn{} names no folder: there is no base
  plan.baseKnown = p.baseKnown;
  return plan;
}

}  // namespace

std::vector<InstrumentRead> ReadDue(const LineSpec& line, std::span<const DuePlan> due,
                                    const std::filesystem::path& home, std::atomic<bool>& stop, const LineLog& log,
                                    const LineHooks& hooks) {
  std::vector<InstrumentRequest> requests;
  for (const DuePlan& p : due) requests.push_back({p.address, PlanOf(p)});
  LineEvents events(log, home, hooks.tap, due);
  const auto started = std::chrono::system_clock::now();
  LineResult run = ReadLine(line, requests, events, stop, hooks.run);
  const auto ended = std::chrono::system_clock::now();
  std::vector<InstrumentRead> reads(due.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    InstrumentRead& r = reads[i];
    r.result = std::move(run.instruments[i]);
    r.error = ErrorLine(r.result, line, run.dials);
    r.started = events.StartOf(i, started);
    r.ended = events.EndOf(i, ended);
  }
  return reads;
}

LineScan ScanLine(const LineSpec& line, std::span<const std::uint32_t> addresses, std::span<const std::uint32_t> bauds,
                  const LineLog& log, std::atomic<bool>& stop) {
  LineEvents events(log, {});
  LineResult run = Scan(line, addresses, bauds, events, stop);
  LineScan scan;
  scan.found = std::move(run.found);
  scan.stopped = run.whole.outcome == ReadOutcome::Stopped;
  if (run.whole.outcome == ReadOutcome::Failed && scan.found.empty()) scan.error = ErrorLine(run.whole, line);
  return scan;
}

}  // namespace statvtk::collect
