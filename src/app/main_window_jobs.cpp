// The main window's reading commands, and what it does with the reports of
// its JobController: status bar, progress bar, log, the hand-over to child
// windows, and a failure brought into sight.
#include <QAction>

#include <algorithm>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QSpinBox>

#include "app/child_windows.hpp"
#include "app/log_window.hpp"
#include "app/main_window.hpp"
#include "app/read_params_dialog.hpp"
#include "app/recent_files.hpp"
#include "app/status_panels.hpp"
#include "app/traffic_window.hpp"
#include "app/ui_seam.hpp"
#include "link/frame.hpp"
#include "reading/batch_summary.hpp"
#include "reading/current_readings.hpp"

namespace statvtk::app {

void MainWindow::SetJobSetup(std::function<void(TReadThread&)> setup) { jobs_->SetJobSetup(std::move(setup)); }

void MainWindow::ConnectJobs() {
  JobController* j = jobs_.get();
  connect(j, &JobController::started, this, [this](ReadKind kind) {
    if (kind == ReadKind::Statistics) status_->ShowProgress(0, 100);
    UpdateCommands();
  });
  connect(j, &JobController::log, this, [this](const QString& line) { log_->AddMessage(line); });
  connect(j, &JobController::stage, this, [this](const QString& text) {
    // In a batch the stage is told with the address it is for.
    status_->SetText(0, batchAddress_.isEmpty() || text.isEmpty() ? text : batchAddress_ + QStringLiteral(": ") + text);
  });
  connect(j, &JobController::batchAddress, this, [this](quint32 address, int index, int count) {
    batchAddress_ = QStringLiteral("Адрес %1 (%2 из %3)").arg(address).arg(index + 1).arg(count);
    status_->SetText(0, batchAddress_);
  });
  connect(j, &JobController::detail, this, [this](const QString& text) { status_->SetText(2, text); });
  connect(j, &JobController::progress, this, [this](int pos, int max) {
    if (jobs_->Kind() == ReadKind::Statistics) status_->ShowProgress(pos, max);
  });
  connect(j, &JobController::traffic, this, [this](const TrafficEntry& e) {
    if (TrafficWindow* t = Traffic()) t->Add(e);
  });
  connect(j, &JobController::fileWritten, this, [this](const QString& path) { SettingsWritten(recent_->Add(path)); });
  connect(j, &JobController::fileFailed, this, [this](const QString&, const QString& error) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Файл статистики не записан: ") + error);
  });
  connect(j, &JobController::statisticsDelivered, this, &MainWindow::OnStatistics);
  connect(j, &JobController::currentDelivered, this, &MainWindow::OnCurrent);
  connect(j, &JobController::finished, this, &MainWindow::OnJobFinished);
}

bool MainWindow::AddressAllowed() {
  const int address = address_->value();
  if (settings_.useMBus || !frame::AddressNeedsMBus(address)) return true;
  // The short address form carries one byte: a larger number would reach another instrument.
  ui_.Warn(this, windowTitle(),
           QStringLiteral("Сетевой адрес %1 больше 255. Без M-Bus адрес прибора - от 0 до 255; "
                          "чтение не начато.")
               .arg(address));
  return false;
}

ConnectionSettings MainWindow::JobSettings() const {
  ConnectionSettings s = settings_;
  s.netAddress = address_->value();
  return s;
}

bool MainWindow::StartJob(const JobRequest& request) {
  QString error;
  if (jobs_->Start(request, &error)) return true;
  if (jobs_->Running()) return false;  // one job at a time
  // The thread could not be made: said in the log and, for a command, in a box too.
  Log(error);
  if (request.userStarted) ui_.Warn(this, windowTitle(), error);
  UpdateCommands();
  return false;
}

bool MainWindow::AskReadChoice() {
  jobs_->ClearStop();
  // The read commands are locked while the dialog is up.
  actions_.read->setEnabled(false);
  actions_.readTek->setEnabled(false);
  ReadParamsDialog dialog(ini_, choice_, this);
  dialog.SetSettingsFailure([this](const Error& e) { SettingsNotWritten(e); });
  if (ui_.RunDialog(dialog) != QDialog::Accepted) return false;
  choice_ = dialog.Choice();
  return true;
}

void MainWindow::ReadStatistics() {
  if (CurrentActivity() != Activity::Idle || !AddressAllowed()) return;
  if (!AskReadChoice() || !StartJob({ReadPlan{ReadKind::Statistics, choice_}, JobSettings(), nullptr, nullptr, true}))
    UpdateCommands();  // cancelled or refused: nothing runs, the commands come back
}

void MainWindow::ReadScanEntries(const QList<ScanEntry>& entries) {
  if (entries.isEmpty() || CurrentActivity() != Activity::Idle) return;
  // One batch per speed, each with the line opened once, in the order chosen.
  batches_.clear();
  for (const ScanEntry& e : entries) {
    auto it = std::find_if(batches_.begin(), batches_.end(), [&e](const auto& b) { return b.first == e.baud; });
    if (it == batches_.end()) batches_.push_back({e.baud, {e.address}});
    else it->second.push_back(e.address);
  }
  if (!AskReadChoice() || !StartNextBatch()) {
    batches_.clear();
    UpdateCommands();
  }
}

bool MainWindow::StartNextBatch() {
  if (batches_.empty()) return false;
  auto [baud, addresses] = std::move(batches_.front());
  batches_.erase(batches_.begin());
  JobRequest request{ReadPlan{ReadKind::Statistics, choice_}, JobSettings(), nullptr, nullptr, true};
  if (const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), baud); it != kBaudRates.end())
    request.settings.baudIndex = static_cast<int>(it - kBaudRates.begin()) + 1;
  request.batch = std::move(addresses);
  batchAddress_.clear();
  return StartJob(request);
}

void MainWindow::ReadCurrent() {
  if (CurrentActivity() != Activity::Idle || !AddressAllowed()) return;
  // A window whose polling was stopped is resumed rather than a second one opened.
  QMdiSubWindow* active = mdi_->activeSubWindow();
  CurrentChild* resume = active ? dynamic_cast<CurrentChild*>(active->widget()) : nullptr;
  const auto windows = CurrentWindows();
  if (!resume && !windows.empty()) resume = windows.front();
  if (resume) {
    resume->ResumePolling();
    return;
  }
  jobs_->ClearStop();
  StartJob({ReadPlan{ReadKind::Current, {}}, JobSettings(), nullptr, nullptr, true});
}

bool MainWindow::StartCurrentRefresh(CurrentChild& target) {
  // While the user's stop stands, a tick does nothing.
  if (jobs_->StopRequested() || jobs_->Running()) return false;
  if (!settings_.useMBus && frame::AddressNeedsMBus(address_->value())) {
    target.RefreshFailed(QStringLiteral("Сетевой адрес больше 255 без M-Bus"));
    return false;
  }
  return StartJob({ReadPlan{ReadKind::CurrentRefresh, {}}, JobSettings(), &target, target.Widget(), false});
}

bool MainWindow::ResumeCurrentRefresh(CurrentChild& target) {
  if (jobs_->Running()) return false;
  jobs_->ClearStop();
  return StartCurrentRefresh(target);
}

void MainWindow::StopReading() {
  jobs_->RequestStop();
  for (CurrentChild* c : CurrentWindows())
    if (c->Polling()) c->StopPolling();
  UpdateCommands();
}

void MainWindow::OnJobFinished(const JobEnd& end) {
  status_->HideProgress();
  const ReadResult& result = end.result;
  if (end.kind == ReadKind::CurrentRefresh && end.target && !result.delivered &&
      result.outcome != ReadOutcome::Stopped) {
    QString reason = QString::fromStdString(result.Message());
    if (result.linkCause) reason += QStringLiteral(" (") + QString::fromStdString(result.linkCause->reason) + ")";
    if (reason.isEmpty()) reason = QStringLiteral("Нет ответа прибора");
    end.target->RefreshFailed(reason);
  }
  if (end.batchAsked != 0) {
    batchAddress_.clear();
    Log(QString::fromStdString(BatchSummary(end.batch, end.batchAsked)));
  }
  if (end.userStarted && result.outcome == ReadOutcome::Failed) BringFailureIntoSight(end);
  // The next speed's batch, unless the user stopped.
  if (result.outcome != ReadOutcome::Stopped && !jobs_->StopRequested() && StartNextBatch()) return;
  batches_.clear();
  UpdateCommands();
  Q_EMIT JobFinished();
}

void MainWindow::BringFailureIntoSight(const JobEnd& end) {
  // The message log is where a failure is told: it is restored and raised,
  // scrolled to its newest lines, and panel 0 keeps the stage's message.
  ShowMessages();
  // Wide enough for the failing lines, as far as the area allows.
  const int room = mdi_->viewport()->width() - logSub_->x();
  const int wanted = log_->NewestLinesWidth(3) + (logSub_->width() - log_->width());
  if (logSub_->width() < wanted) logSub_->resize(std::min(wanted, std::max(room, logSub_->width())), logSub_->height());
  log_->ShowNewest();
  if (const std::string message = end.result.Message(); !message.empty())
    status_->SetText(0, QString::fromStdString(message));
}

StatChild* MainWindow::StatWindowFor(DeviceType type) {
  StatChild* active = ActiveStat();
  if (active && !active->Loaded() && FileExtension(active->Model()) == FileExtension(type)) return active;
  StatChild* made = MakeStatChild(type, *this);
  if (!made) return nullptr;
  AddChild(made->Widget());
  return made;
}

void MainWindow::OnStatistics(const StatData& data, const QString& caption) {
  lastHeader_ = data.header;
  lastType_ = data.type;
  ++windowCounter_;
  StatChild* w = StatWindowFor(data.type);
  if (!w) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Невозможно создать окно просмотра статистики"));
    return;
  }
  w->Widget()->setWindowTitle(caption.isEmpty() ? QStringLiteral("Статистика %1").arg(windowCounter_) : caption);
  w->Load(data);
  UpdateCommands();
}

void MainWindow::OnCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial,
                           CurrentChild* target) {
  lastHeader_.assign(block.begin(), block.end());
  lastType_ = type;
  const QString caption = QString::fromStdString(CurrentReadingsCaption(serial.toStdString()));
  if (target) {
    target->Widget()->setWindowTitle(caption);
    target->ShowCurrent(block, type, serial.toStdString());
    UpdateCommands();
    return;
  }
  CurrentChild* w = MakeCurrentChild(*this);
  if (!w) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Невозможно создать окно текущих показаний"));
    return;
  }
  w->Widget()->setWindowTitle(caption);
  AddChild(w->Widget());
  w->ShowCurrent(block, type, serial.toStdString());
  UpdateCommands();
}

void MainWindow::ExportReport() {
  if (StatChild* stat = ActiveStat()) stat->MakeReport();
}

void MainWindow::ShowTechInfo() {
  // The active file's instrument first, else the one last read.
  if (StatChild* stat = ActiveStat(); stat && stat->Loaded()) {
    if (QWidget* w = MakeTechInfoWindow(stat->Data().header, stat->Data().type, *this)) AddChild(w);
    return;
  }
  if (lastHeader_.empty() || lastType_ == DeviceType::dtUnknown) {
    ui_.Inform(this, windowTitle(),
               QStringLiteral("Нет данных о приборе: сначала прочитайте статистику или текущие показания."));
    return;
  }
  if (QWidget* w = MakeTechInfoWindow(lastHeader_, lastType_, *this)) AddChild(w);
}

}  // namespace statvtk::app
