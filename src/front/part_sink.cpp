#include "front/part_sink.hpp"

#include <algorithm>

#include "reading/read_text.hpp"

namespace statvtk {

namespace {

// One line of a message: surrounding blanks and line breaks dropped, those
// inside made one blank.
std::string OneLine(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

PartSink::PartSink(ReadObserver& obs, std::filesystem::path home, PartStyle style)
    : obs_(obs), home_(std::move(home)), style_(style) {}

void PartSink::Log(const std::string& text) {
  if (!style_.oneLine) {
    obs_.LogLine(text);
    return;
  }
  if (const std::string line = OneLine(text); !line.empty()) obs_.LogLine(line);
}

void PartSink::Status(const std::string& text) {
  if (!style_.quietStages) obs_.ShowStatus(text);
}

std::string PartSink::WithCause(const std::string& message, const std::string& cause) const {
  if (!style_.oneLine) return message + kMoreInfo + cause;
  std::string head = message;
  if (!head.empty() && head.back() == '.') head.pop_back();
  return cause.empty() ? head : head + ": " + cause;
}

void PartSink::StopExit() {
  if (!style_.quiet) Log(kStopText);
  Status("");
  obs_.EnableControls();
  obs_.SetProgressPos(0);
}

void PartSink::On(const ReadEvent& e) {
  std::visit(Overloaded{
                 [this](const event::RunStarted& s) {
                   line_ = s.line;
                   count_ = s.instruments;
                   stage_.reset();
                   if (!search_) reports_.clear();
                 },
                 [this](const event::LineOpening&) { Log(OpenPortText(line_)); },
                 [this](const event::LineFailed& f) {
                   if (f.cause.IsStop()) {
                     if (f.at != FailedAt::Dial) StopExit();
                     else if (!search_) obs_.EnableControls();
                   } else if (f.at == FailedAt::Open) {
                     obs_.EnableControls();
                     Log(WithCause(FailureMessage(f.at, line_, style_.wording), CauseText(f.cause, style_.wording)));
                   } else if (!search_) {
                     obs_.EnableControls();  // the modem told why
                   }
                 },
                 [this](const event::Modem& m) {
                   Log(ModemText(m));
                   if (style_.dialStages)
                     if (const std::string text = DialStatusText(m, line_.dial.phoneNo); !text.empty()) Status(text);
                 },
                 [this](const event::InstrumentStarted& s) {
                   stage_.reset();
                   if (search_) {
                     obs_.ShowDetail(ProbeDetail(s.address, line_.baud));
                     obs_.Probing(s.address, line_.baud, probe_, probes_);
                   } else if (s.count > 1) {
                     obs_.BatchAddressStarted(s.address, s.index, s.count);
                     if (!style_.quiet)
                       Log("Адрес " + std::to_string(s.address) + " (" + std::to_string(s.index + 1) + " из " +
                           std::to_string(s.count) + ")");
                   }
                 },
                 [this](const event::Identifying& i) {
                   stage_ = Stage::Identify;
                   Log("[" + std::to_string(i.attempt) + "] " + StageText(Stage::Identify));
                   Status(StageText(Stage::Identify));
                 },
                 [this](const event::ModelFound& m) {
                   if (m.type == DeviceType::dtVTK0814C || m.type == DeviceType::dtVTK0814CM)
                     obs_.DeviceMemberFound(m.type);
                   Log(ModelTitle(m.type));
                   Status(ModelTitle(m.type));
                 },
                 [this](const event::StageShown& s) {
                   stage_ = s.stage;
                   Status(StageText(s.stage));
                 },
                 [this](const event::ProgressMax& p) { obs_.SetProgressMax(p.max); },
                 [this](const event::ProgressPos& p) { obs_.SetProgressPos(p.pos); },
                 [this](const event::Detail& d) { obs_.ShowDetail(d.value ? std::to_string(*d.value) : ""); },
                 [this](const event::NewRecords& n) { Log(NewRecordsText(n)); },
                 [this](const event::OneSpeed&) { Log(OneSpeedText()); },
                 [this](const event::AddressLeftOut& a) { Log(LeftOutText(a.address)); },
                 [this](const event::SearchStarted& s) {
                   search_ = true;
                   probe_ = 0;
                   probes_ = s.total;
                   Status(StageText(Stage::Search));
                   obs_.SetProgressMax(static_cast<int>(s.total));
                   obs_.SetProgressPos(0);
                 },
                 [this](const event::Found& f) {
                   Log(FoundText(f.found));
                   obs_.Found(f.found);
                 },
                 [this](const event::InstrumentEnded& end) {
                   if (search_) obs_.SetProgressPos(static_cast<int>(++probe_));
                   else End(*end.result, end.plan);
                 },
                 [this](const event::RunEnded& end) {
                   if (search_) return;
                   // A line that failed is each instrument's failure.
                   for (std::size_t i = reports_.size(); i < end.result->instruments.size(); ++i) {
                     const ReadResult& r = end.result->instruments[i];
                     if (r.at == FailedAt::Open || r.at == FailedAt::Dial) reports_.push_back({r, {}, false, {}});
                   }
                   // Several instruments: the read commands come back when the last has ended.
                   if (count_ > 1) obs_.EnableControls();
                 },
                 [this](const event::SearchEnded& s) { SearchEnded(*s.result); },
             },
             e);
}

void PartSink::End(const ReadResult& r, PlanKind plan) {
  ReadReport& report = reports_.emplace_back();
  report.stage = stage_;
  const bool held = count_ > 1;
  switch (r.outcome) {
    case ReadOutcome::Failed:
      if (r.at == FailedAt::Settings || r.at == FailedAt::Address) {
        Log(r.at == FailedAt::Address ? AddressRefusal(r.address) : r.error->reason);
        if (!held) obs_.EnableControls();
      } else if (r.at != FailedAt::Open && r.at != FailedAt::Dial) {
        EndFailed(r, report);
      }
      break;
    case ReadOutcome::Stopped:
      if (r.at == FailedAt::NotReached || r.at == FailedAt::Open || r.at == FailedAt::Dial) break;
      if (plan == PlanKind::Statistics && r.data) FinishStatistics(r, true, report);
      else StopExit();
      break;
    case ReadOutcome::Done: EndDone(r, plan, report); break;
    case ReadOutcome::NotRun: break;
  }
  report.result = r;
}

void PartSink::EndFailed(const ReadResult& r, ReadReport& report) {
  const std::string message = FailureMessage(r.at, line_, style_.wording);
  const std::string cause = r.error ? CauseText(*r.error, style_.wording) : std::string();
  if (r.at == FailedAt::Identify) {
    Log(message);
    Log(WithCause(message, cause));
    obs_.EnableControls();
    Status(LineDescription(line_));
    return;
  }
  Log(WithCause(message, cause));
  // An instrument that answered the identification and then fell silent is
  // most often asked in the wrong form: the M-Bus setting names it.
  if (r.error && r.error->code == ErrorCode::Timeout)
    if (const std::string hint = MBusHint(r.type, line_.useMBus); !hint.empty()) Log(hint);
  obs_.EnableControls();
  // After the controls are enabled (which clears the stage text), so the message stays.
  Status(message);
  obs_.SetProgressPos(0);
  // What was fetched before the failure is kept, once any archive block came.
  if (!r.data) return;
  obs_.FetchedBeforeFailure(*r.data);
  if (style_.noFile) return;
  report.file = WriteFile(*r.data);
  if (report.file.written) Log("Записи, прочитанные до ошибки, записаны в файл " + report.file.path.string());
}

void PartSink::EndDone(const ReadResult& r, PlanKind plan, ReadReport& report) {
  if (plan == PlanKind::Statistics) return FinishStatistics(r, false, report);
  if (plan == PlanKind::Current && r.data && r.data->header.size() >= 1024) {
    std::span<const std::uint8_t, 1024> block(r.data->header.data(), 1024);
    obs_.DeliverCurrent(block, r.type, CurrentSerialText(r.type, block));
    report.delivered = true;
    const std::string elapsed = ElapsedText(r.elapsedS);
    Log("Чтение данных успешно завершено (" + elapsed);
    Status("Чтение данных завершено (" + elapsed);
    Status(LineDescription(line_));
    obs_.ShowDetail("");
    obs_.SetProgressPos(0);
    obs_.EnableControls();
    return;
  }
  obs_.EnableControls();
  Status(LineDescription(line_));
}

void PartSink::FinishStatistics(const ReadResult& r, bool stopped, ReadReport& report) {
  if (stopped && !style_.quiet) Log(kStopText);
  obs_.SetProgressPos(0);
  obs_.ShowDetail("");
  const StatData& data = *r.data;
  if (!style_.noFile) report.file = WriteFile(data);
  const std::string elapsed = ElapsedText(r.elapsedS);
  const std::string& path = report.file.path.string();
  if (stopped) {
    // A stopped read is no success: the file holds what came before the stop.
    Log("Чтение статистики остановлено (" + elapsed);
    if (report.file.written) Log("Записи, прочитанные до остановки, записаны в файл " + path);
    Status("Чтение статистики остановлено (" + elapsed);
  } else {
    Log("Чтение статистики успешно завершено (" + elapsed);
    if (report.file.written) Log("Статистика записана в файл " + path);
    Status("Чтение статистики завершено (" + elapsed);
  }
  Status(LineDescription(line_));
  obs_.EnableControls();
  const std::string caption = "Статистика - " + DownloadSerialText(data.type, data.header);
  obs_.DeliverStatistics(data, stopped ? caption + kIncompleteCaption : caption, stopped);
  report.delivered = true;
}

DownloadFile PartSink::WriteFile(const StatData& data) {
  DownloadFile f = WriteDownload(data, home_, clock_ ? clock_() : std::chrono::system_clock::now());
  if (f.memberError) Log("Не удалось запомнить исполнение прибора в " + f.memberError->reason);
  if (f.written) {
    obs_.StatisticsFileWritten(f.path);
  } else {
    // The download is not lost: the image is still handed over.
    Log(WithCause("Ошибка записи файла статистики.", f.error->reason));
    obs_.StatisticsFileFailed(f.path, f.error->reason);
  }
  return f;
}

void PartSink::SearchEnded(const LineResult& r) {
  search_ = false;
  const bool stopped = r.whole.outcome == ReadOutcome::Stopped;
  if (stopped && !style_.quiet) Log(kStopText);
  obs_.SetProgressPos(0);
  obs_.ShowDetail("");
  Status(LineDescription(line_));
  obs_.EnableControls();
  if (r.whole.at == FailedAt::NotFound) Log(FailureMessage(FailedAt::NotFound, line_, style_.wording));
}

}  // namespace statvtk
