// The main window's reading jobs: the commands that start them, the stop
// request, the reports the job posts, and the hand-over to child windows.
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaObject>
#include <QProgressBar>
#include <QSpinBox>

#include "app/child_windows.hpp"
#include "app/log_window.hpp"
#include "app/main_window.hpp"
#include "app/read_params_dialog.hpp"
#include "app/traffic_window.hpp"
#include "app/ui_seam.hpp"
#include "link/frame.hpp"
#include "reading/current_readings.hpp"

namespace statvtk::app {

namespace {
const QString kNoThread = QStringLiteral("Ошибка: Невозможно создать поток чтения статистики");
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

void MainWindow::ReadStatistics() {
  if (JobRunning() || !AddressAllowed()) return;
  stopRequested_ = false;
  SetReadCommandsEnabled(false);
  ReadParamsDialog dialog(ini_, choice_, this);
  if (ui_.RunDialog(dialog) != QDialog::Accepted) {
    SetReadCommandsEnabled(true);  // cancelled: nothing runs, the commands come back
    return;
  }
  progress_->setValue(0);
  progress_->show();
  StartJob(JobKind::Statistics, nullptr);
}

void MainWindow::ReadCurrent() {
  if (JobRunning() || !AddressAllowed()) return;
  StartJob(JobKind::Current, nullptr);
}

bool MainWindow::StartCurrentRefresh(CurrentChild& target) {
  if (JobRunning()) return false;
  if (!settings_.useMBus && frame::AddressNeedsMBus(address_->value())) {
    target.RefreshFailed(QStringLiteral("Сетевой адрес больше 255 без M-Bus"));
    return false;
  }
  StartJob(JobKind::Refresh, &target);
  return true;
}

void MainWindow::StartJob(JobKind kind, CurrentChild* target) {
  // Each run starts from a fresh job and a cleared stop request, so a stop
  // of the previous run cannot end this one at once.
  stopRequested_ = false;
  jobKind_ = kind;
  refreshChild_ = target;
  refreshTarget_ = target ? target->Widget() : nullptr;
  job_ = std::make_unique<TReadThread>(*observer_);
  TReadThread& job = *job_;
  ConnectionSettings s = settings_;
  s.netAddress = address_->value();
  job.SetConnection(s);
  job.SetProgramHome(home_);
  job.SetStopFlag(&stopRequested_);
  job.SetTrace([obs = observer_](const FrameTrace& f) { obs->Trace(f); });
  if (kind == JobKind::Statistics) {
    ApplyReadChoice(choice_, job);
  } else {
    job.SetReadCurrent(true);
    job.SetRefreshWindow(kind == JobKind::Refresh);
  }
  if (jobSetup_) jobSetup_(job);
  SetReadCommandsEnabled(false);
  jobEnding_ = false;
  job.Start();
  jobWatch_.start();
}

void MainWindow::StopReading() {
  stopRequested_ = true;
  if (job_) job_->RequestStop();
}

void MainWindow::WatchJob() {
  if (!job_ || jobEnding_ || job_->Running()) return;
  jobEnding_ = true;
  jobWatch_.stop();
  job_->Wait();  // the run has ended: this join does not block
  // Everything the job posted is queued before this call, so it runs last.
  QMetaObject::invokeMethod(observer_, [this] { FinishJob(); }, Qt::QueuedConnection);
}

void MainWindow::FinishJob() {
  if (!job_) return;
  const ReadResult result = job_->Result();
  const JobKind kind = jobKind_;
  job_.reset();
  if (kind == JobKind::Refresh && refreshTarget_ && refreshChild_ && !result.delivered) {
    QString reason = QString::fromStdString(result.message);
    if (!result.linkError.empty()) reason += QStringLiteral(" (") + QString::fromStdString(result.linkError) + ")";
    if (result.outcome == ReadOutcome::Stopped) reason = QStringLiteral("Чтение остановлено");
    if (reason.isEmpty()) reason = QStringLiteral("Нет ответа прибора");
    refreshChild_->RefreshFailed(reason);
  }
  refreshChild_ = nullptr;
  refreshTarget_ = nullptr;
  SetReadCommandsEnabled(true);
  Q_EMIT JobFinished();
  if (closePending_) close();
}

// --- the job's reports, in the GUI thread ---

void MainWindow::JobLog(const QString& line) { log_->AddMessage(line); }
void MainWindow::JobStatus(const QString& text) { panels_[0]->setText(text); }
void MainWindow::JobDetail(const QString& text) { panels_[2]->setText(text); }

void MainWindow::JobProgressMax(int max) { progress_->setMaximum(std::max(max, 1)); }
void MainWindow::JobProgressPos(int pos) { progress_->setValue(std::clamp(pos, 0, progress_->maximum())); }

void MainWindow::JobDisableControls() { SetReadCommandsEnabled(false); }

void MainWindow::JobEnableControls() {
  // The job may still report after this; the commands return when it has ended.
  panels_[0]->clear();
}

StatChild* MainWindow::ActiveStat() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  return sub ? dynamic_cast<StatChild*>(sub->widget()) : nullptr;
}

namespace {
bool SameFileType(DeviceType a, DeviceType b) { return FileExtension(a) == FileExtension(b); }
}  // namespace

StatChild* MainWindow::StatWindowFor(DeviceType type) {
  StatChild* active = ActiveStat();
  if (active && !active->Loaded() && SameFileType(active->Model(), type)) return active;
  StatChild* made = MakeStatChild(type, *this);
  if (!made) return nullptr;
  AddChild(made->Widget());
  return made;
}

void MainWindow::JobStatistics(const StatData& data, const QString& caption) {
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
  UpdateChildCommands();
}

void MainWindow::JobCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial) {
  lastHeader_.assign(block.begin(), block.end());
  lastType_ = type;
  const QString caption = QString::fromStdString(CurrentReadingsCaption(serial.toStdString()));
  if (jobKind_ == JobKind::Refresh) {
    if (refreshTarget_ && refreshChild_) {
      refreshChild_->Widget()->setWindowTitle(caption);
      refreshChild_->ShowCurrent(block, type, serial.toStdString());
    }
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
}

void MainWindow::JobFileWritten(const QString& path) { AddRecent(path); }

void MainWindow::JobFileFailed(const QString& path, const QString& error) {
  Q_UNUSED(path);
  ui_.Warn(this, windowTitle(), QStringLiteral("Файл статистики не записан: ") + error);
}

void MainWindow::JobTraffic(const TrafficEntry& entry) {
  if (TrafficWindow* t = Traffic()) t->Add(entry);
}

void MainWindow::ExportReport() {
  if (StatChild* stat = ActiveStat()) stat->MakeReport();
}

void MainWindow::ShowTechInfo() {
  if (lastHeader_.empty() || lastType_ == DeviceType::dtUnknown) {
    ui_.Inform(this, windowTitle(),
               QStringLiteral("Нет данных о приборе: сначала прочитайте статистику или текущие показания."));
    return;
  }
  QWidget* w = MakeTechInfoWindow(lastHeader_, lastType_, *this);
  if (w) AddChild(w);
}

}  // namespace statvtk::app
