// The reading commands and the end of each run as the frame shows it.
#include "app/read_commands.hpp"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QLocale>
#include <QProgressBar>
#include <QSpinBox>

#include <algorithm>

#include "app/child_area.hpp"
#include "app/child_windows.hpp"
#include "app/frame_parts.hpp"
#include "app/job_controller.hpp"
#include "app/log_window.hpp"
#include "app/path_text.hpp"
#include "app/read_params_dialog.hpp"
#include "app/recent_files.hpp"
#include "app/result_bar.hpp"
#include "app/run_outcome.hpp"
#include "app/status_panels.hpp"
#include "app/ui_seam.hpp"
#include "reading/address_check.hpp"
#include "front/batch_summary.hpp"
#include "reading/current_readings.hpp"

namespace statvtk::app {

ReadCommands::ReadCommands(FrameParts& parts, QObject* parent) : QObject(parent), parts_(parts) { Connect(); }

void ReadCommands::Connect() {
  JobController* j = parts_.jobs;
  connect(j, &JobController::started, this, [this](ReadKind kind) {
    if (kind == ReadKind::Statistics || kind == ReadKind::Check) parts_.status->ShowProgress(0, 100);
    // A poll leaves the last command's result where it is.
    if (kind != ReadKind::CurrentRefresh) parts_.result->Clear();
    pollLines_.clear();
    parts_.updateCommands();
  });
  connect(j, &JobController::log, this, [this](const QString& line) {
    // A poll's lines are told as one at its end.
    if (parts_.jobs->Kind() == ReadKind::CurrentRefresh) pollLines_.push_back(line);
    else parts_.log->AddMessage(line);
  });
  connect(j, &JobController::stage, this, [this](const QString& text) {
    // In a batch the stage is told with the address it is for.
    parts_.status->SetText(0, batchAddress_.isEmpty() || text.isEmpty() ? text : batchAddress_ + ": " + text);
  });
  connect(j, &JobController::batchAddress, this, [this](quint32 address, int index, int count) {
    reading_ = address;
    batchAddress_ = QStringLiteral("Адрес %1 (%2 из %3)").arg(address).arg(index + 1).arg(count);
    parts_.status->SetText(0, batchAddress_);
  });
  connect(j, &JobController::detail, this, [this](const QString& text) { parts_.status->SetText(2, text); });
  connect(j, &JobController::progress, this, [this](int pos, int max) {
    if (parts_.jobs->Kind() == ReadKind::Statistics || parts_.jobs->Kind() == ReadKind::Check)
      parts_.status->ShowProgress(pos, max);
  });
  connect(j, &JobController::fileWritten, this, [this](const QString& path) {
    parts_.SettingsWritten(parts_.recent->Add(path));
    parts_.result->Offer(PathOf(path));
  });
  connect(j, &JobController::fileFailed, this, [this](const QString&, const QString& error) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QStringLiteral("Файл статистики не записан: ") + error);
  });
  connect(j, &JobController::statisticsDelivered, this, &ReadCommands::OnStatistics);
  connect(j, &JobController::currentDelivered, this, &ReadCommands::OnCurrent);
  connect(j, &JobController::finished, this, &ReadCommands::OnFinished);
}

Activity ReadCommands::CurrentActivity() const {
  const JobController& jobs = *parts_.jobs;
  if (jobs.Running() && jobs.Kind() != ReadKind::Current && jobs.Kind() != ReadKind::CurrentRefresh)
    return Activity::Statistics;
  if (jobs.Running()) return Activity::Polling;
  for (CurrentChild* c : parts_.children->CurrentWindows())
    if (c->Polling()) return Activity::Polling;
  return Activity::Idle;
}

bool ReadCommands::UserReadRunning() const {
  return parts_.jobs->Running() && parts_.jobs->Kind() == ReadKind::Statistics;
}

QString ReadCommands::AddressProblemText() const {
  return QString::fromStdString(AddressProblem(parts_.address->value(), parts_.settings->useMBus));
}

ConnectionSettings ReadCommands::JobSettings() const {
  ConnectionSettings s = *parts_.settings;
  s.netAddress = parts_.address->value();
  return s;
}

bool ReadCommands::StartJob(const JobRequest& request) {
  QString error;
  reading_ = request.batch.empty() ? static_cast<std::uint32_t>(request.settings.netAddress) : request.batch.front();
  if (parts_.jobs->Start(request, &error)) return true;
  if (parts_.jobs->Running()) return false;  // one job at a time
  // The thread could not be made: said in the log and, for a command, in a box too.
  parts_.log->AddMessage(error);
  if (request.userStarted) parts_.ui->Warn(parts_.window, parts_.Title(), error);
  parts_.updateCommands();
  return false;
}

bool ReadCommands::AskReadChoice() {
  parts_.jobs->ClearStop();
  asking_ = true;
  parts_.updateCommands();
  ReadParamsDialog dialog(*parts_.ini, choice_, parts_.window);
  dialog.SetSettingsFailure([this](const Error& e) { parts_.SettingsWritten(Result<void>(e)); });
  const bool accepted = parts_.ui->RunDialog(dialog) == QDialog::Accepted;
  asking_ = false;
  if (accepted) choice_ = dialog.Choice();
  return accepted;
}

void ReadCommands::ReadStatistics() {
  if (CurrentActivity() != Activity::Idle || asking_) return;
  if (const QString problem = AddressProblemText(); !problem.isEmpty()) {
    parts_.ui->Warn(parts_.window, parts_.Title(), problem + QStringLiteral("; чтение не начато."));
    return;
  }
  batchResults_.clear();
  batchAsked_ = 0;
  if (!AskReadChoice() || !StartJob({ReadPlan{ReadKind::Statistics, choice_}, JobSettings(), nullptr, true, {}}))
    parts_.updateCommands();  // cancelled or refused: nothing runs, the commands come back
}

void ReadCommands::ReadScanEntries(const QList<ScanEntry>& entries) {
  if (entries.isEmpty() || CurrentActivity() != Activity::Idle || asking_) return;
  std::vector<BatchTarget> targets;
  for (const ScanEntry& e : entries) targets.push_back({e.address, e.baud});
  batches_ = PlanBatchesBySpeed(targets);
  batchResults_.clear();
  batchAsked_ = 0;
  if (!AskReadChoice() || !StartNextBatch()) {
    batches_.clear();
    parts_.updateCommands();
  }
}

bool ReadCommands::StartNextBatch() {
  if (batches_.empty()) return false;
  SpeedBatch next = std::move(batches_.front());
  batches_.erase(batches_.begin());
  JobRequest request{ReadPlan{ReadKind::Statistics, choice_}, JobSettings(), nullptr, true, {}};
  if (next.baudIndex != 0) request.settings.baudIndex = next.baudIndex;
  request.batch = std::move(next.addresses);
  batchAddress_.clear();
  return StartJob(request);
}

void ReadCommands::ReadCurrent() {
  if (CurrentActivity() != Activity::Idle || asking_) return;
  if (const QString problem = AddressProblemText(); !problem.isEmpty()) {
    parts_.ui->Warn(parts_.window, parts_.Title(), problem + QStringLiteral("; чтение не начато."));
    return;
  }
  // A window whose polling was stopped is resumed rather than a second one opened.
  CurrentChild* resume = parts_.children->ActiveCurrent();
  const auto windows = parts_.children->CurrentWindows();
  if (!resume && !windows.empty()) resume = windows.front();
  if (resume) {
    resume->ResumePolling();
    return;
  }
  parts_.jobs->ClearStop();
  StartJob({ReadPlan{ReadKind::Current, {}}, JobSettings(), nullptr, true, {}});
}

void ReadCommands::CheckLink() {
  if (CurrentActivity() != Activity::Idle || asking_) return;
  if (const QString problem = AddressProblemText(); !problem.isEmpty()) {
    parts_.ui->Warn(parts_.window, parts_.Title(), problem + QStringLiteral("; проверка не начата."));
    return;
  }
  parts_.jobs->ClearStop();
  checkClock_.start();
  StartJob({ReadPlan{ReadKind::Check, {}}, JobSettings(), nullptr, true, {}});
}

bool ReadCommands::StartCurrentRefresh(CurrentChild& target) {
  // While the user's stop stands, a tick does nothing.
  if (parts_.jobs->StopRequested() || parts_.jobs->Running()) return false;
  if (const QString problem = AddressProblemText(); !problem.isEmpty()) {
    target.RefreshFailed(problem);
    return false;
  }
  return StartJob({ReadPlan{ReadKind::CurrentRefresh, {}}, JobSettings(), target.Widget(), false, {}});
}

bool ReadCommands::ResumeCurrentRefresh(CurrentChild& target) {
  if (parts_.jobs->Running()) return false;
  parts_.jobs->ClearStop();
  return StartCurrentRefresh(target);
}

void ReadCommands::StopReading() {
  parts_.jobs->RequestStop();
  for (CurrentChild* c : parts_.children->CurrentWindows())
    if (c->Polling()) c->StopPolling();
  parts_.updateCommands();
}

void ReadCommands::OnFinished(const JobEnd& end) {
  parts_.status->HideProgress();
  const ReadResult& result = end.report.result;
  if (end.kind == ReadKind::CurrentRefresh) {
    // A poll that went well is not logged: only failures and changes of state are.
    if (const QString line = PollLogLine(pollLines_, end.report, reading_); !line.isEmpty() && !end.report.delivered)
      parts_.log->AddMessage(line);
    pollLines_.clear();
    if (end.target && !end.report.delivered && result.outcome != ReadOutcome::Stopped)
      end.target->RefreshFailed(FailureText(end.report, end.line, reading_));
  }
  if (end.batchAsked != 0) {
    batchAddress_.clear();
    parts_.log->AddMessage(
        QString::fromStdString(BatchSummary(end.batch, end.batchAsked, end.line, LinkWording::System)));
    batchResults_.insert(batchResults_.end(), end.batch.begin(), end.batch.end());
    batchAsked_ += end.batchAsked;
    batchLine_ = end.line;
  }
  if (end.userStarted && result.outcome == ReadOutcome::Failed) BringFailureIntoSight(end);
  // The next speed's batch, unless the user stopped.
  if (result.outcome != ReadOutcome::Stopped && !parts_.jobs->StopRequested() && StartNextBatch()) return;
  batches_.clear();
  if (end.userStarted) TellOutcome(end);
  if (end.kind == ReadKind::Check) TellCheck(end);
  parts_.updateCommands();
  Q_EMIT JobFinished();
}

void ReadCommands::TellOutcome(const JobEnd& end) {
  if (batchAsked_ != 0) {
    const QString summary =
        QString::fromStdString(BatchSummary(batchResults_, batchAsked_, batchLine_, LinkWording::System));
    const bool failed = std::any_of(batchResults_.begin(), batchResults_.end(),
                                    [](const ReadReport& r) { return r.result.outcome == ReadOutcome::Failed; });
    if (failed) parts_.result->ShowFailure(summary);
    parts_.status->SetText(0, summary);
    batchResults_.clear();
    batchAsked_ = 0;
    return;
  }
  if (end.kind != ReadKind::Statistics) return;
  // A failure keeps its message on panel 0 unless records read before it went into a file.
  const QString text = end.report.result.outcome == ReadOutcome::Failed ? PartialFileText(end.report)
                                                                        : StatisticsOutcomeText(end.report);
  if (!text.isEmpty()) parts_.status->SetText(0, text);
}

void ReadCommands::TellCheck(const JobEnd& end) {
  const ReadResult& r = end.report.result;
  if (r.outcome == ReadOutcome::Failed) {
    parts_.ui->Warn(parts_.window, parts_.Title(), parts_.result->FailureText());
    return;
  }
  if (r.outcome != ReadOutcome::Done) return;
  if (r.data) {
    // The header read is the instrument's: "Техническая информация" shows it.
    parts_.lastHeader = r.data->header;
    parts_.lastType = r.type;
  }
  const QString seconds = QLocale(QLocale::Russian).toString(checkClock_.elapsed() / 1000.0, 'f', 1);
  const QString line = CheckAnswerLine(end.report, reading_) + QStringLiteral(" (ответ за %1 с)").arg(seconds);
  parts_.log->AddMessage(line);
  parts_.status->SetText(0, line);
  parts_.ui->Inform(parts_.window, parts_.Title(),
                    CheckAnswerText(end.report, reading_) + QStringLiteral("\nОтвет за %1 с.").arg(seconds));
}

void ReadCommands::BringFailureIntoSight(const JobEnd& end) {
  // The message log is where a failure is told: it is restored and raised,
  // scrolled to its newest lines, and panel 0 keeps the stage's message.
  QMdiSubWindow* logSub = parts_.logSub;
  logSub->showNormal();
  logSub->raise();
  parts_.children->Mdi().setActiveSubWindow(logSub);
  // Wide enough for the failing lines, as far as the area allows.
  const int room = parts_.children->Visible().width() - logSub->x();
  const int wanted = parts_.log->NewestLinesWidth(3) + (logSub->width() - parts_.log->width());
  if (logSub->width() < wanted) logSub->resize(std::min(wanted, std::max(room, logSub->width())), logSub->height());
  parts_.children->PullInside(*logSub);
  parts_.log->ShowNewest();
  // The result bar says it failed, where and why; a batch says it in its summary.
  if (end.batchAsked == 0) {
    const QString head = end.kind == ReadKind::Check ? QStringLiteral("Связь не установлена")
                         : end.kind == ReadKind::Current ? QStringLiteral("Чтение текущих показаний не удалось")
                                                         : QStringLiteral("Чтение не удалось");
    parts_.result->ShowFailure(FailedRunText(head, end.report, end.line, reading_));
  }
  if (const QString text = FailureText(end.report, end.line, reading_); !text.isEmpty())
    parts_.status->SetText(0, text);
}

void ReadCommands::OnStatistics(const StatData& data, const QString& caption, bool partial) {
  parts_.lastHeader = data.header;
  parts_.lastType = data.type;
  ++windowCounter_;
  StatChild* w = parts_.children->StatWindowFor(data.type, *parts_.services);
  if (!w) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QStringLiteral("Невозможно создать окно просмотра статистики"));
    return;
  }
  w->Widget()->setWindowTitle(caption.isEmpty() ? QStringLiteral("Статистика %1").arg(windowCounter_)
                                                : ReadStatCaption(data, partial, reading_));
  w->Load(data);
  // A stopped read: its window says what it holds.
  if (partial) w->ShowWhatIsHeld();
  parts_.updateCommands();
}

void ReadCommands::OnCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial,
                             CurrentChild* target) {
  parts_.lastHeader.assign(block.begin(), block.end());
  parts_.lastType = type;
  CurrentChild* w = target ? target : MakeCurrentChild(*parts_.services);
  if (!w) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QStringLiteral("Невозможно создать окно текущих показаний"));
    return;
  }
  // Two instruments with the same serial are told apart by model and address.
  const std::string_view model = DeviceTypeName(type);
  w->Widget()->setWindowTitle(QString::fromStdString(CurrentReadingsCaption(serial.toStdString())) +
                              QStringLiteral(", ") +
                              QString::fromUtf8(model.data(), static_cast<qsizetype>(model.size())) +
                              QStringLiteral(", адрес %1").arg(reading_));
  if (!target) parts_.children->Add(w->Widget());
  w->ShowCurrent(block, type, serial.toStdString());
  parts_.updateCommands();
}

}  // namespace statvtk::app
