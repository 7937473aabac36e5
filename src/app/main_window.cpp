// The main window: start-up, the command wiring, the commands' state, child
// windows, top-most mode, geometry and the settings dialogs.
#include "app/main_window.hpp"
#include "app/settings_failure.hpp"

#include <QAction>
#include <QSignalBlocker>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>

#include "app/path_text.hpp"
#include "app/about_dialog.hpp"
#include "app/child_geometry.hpp"
#include "app/child_windows.hpp"
#include "app/connection_dialog.hpp"
#include "app/help_window.hpp"
#include "app/log_window.hpp"
#include "app/recent_files.hpp"
#include "app/report_settings.hpp"
#include "app/status_panels.hpp"
#include "app/traffic_window.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"
#include "base/version.hpp"
#include "link/serial_channel.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kWindows = "Windows";
const QString kHowToConnect = QStringLiteral("Соединение не настроено: Настройки → Соединение...");
}  // namespace

MainWindow::MainWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent)
    : QMainWindow(parent), ui_(ui), home_(std::move(home)), ini_(SettingsPath(home_)) {
  setWindowTitle(QStringLiteral("StatVTK ") +
                 QString::fromUtf8(StatvtkVersion().data(), static_cast<qsizetype>(StatvtkVersion().size())));
  setAcceptDrops(true);
  jobs_ = std::make_unique<JobController>(home_);

  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);

  actions_ = MakeMainActions(this);
  menus_ = AddMainMenus(*this, actions_);
  address_ = AddMainToolBar(*this, actions_);
  status_ = std::make_unique<StatusPanels>(*statusBar());
  recent_ = std::make_unique<app::RecentFiles>(ini_, *menus_.recent, [this](const QString& path) {
    // A listed file is opened as a dropped one: its extension in any case.
    OpenStatFile(path, ExtensionRule::LowerCase);
  });
  ConnectActions();
  ConnectJobs();

  settings_ = LoadConnectionSettings(ini_);
  {
    const QSignalBlocker block(address_);
    address_->setValue(static_cast<int>(std::clamp<std::int64_t>(settings_.netAddress, 0, 100000000)));
  }
  ApplyTopMost(ini_.ReadInteger(kSettingsSection, "TopMost", 0) != 0);
  ShowConnectionText();
  status_->SetText(2, QString());

  // A first start: no connection has been set up yet.
  emptyState_ = new QLabel(kHowToConnect, mdi_->viewport());
  emptyState_->setStyleSheet(QStringLiteral("color: #404040; font-size: 11pt; padding: 8px"));
  emptyState_->move(390, 16);
  emptyState_->adjustSize();
  const bool configured = ini_.ValueExists(kSettingsSection, "ConnectMode");
  emptyState_->setVisible(!configured);
  if (!configured) status_->SetText(0, kHowToConnect);

  // The message log, created at start.
  log_ = new LogWindow(*this);
  logSub_ = mdi_->addSubWindow(log_);
  logSub_->resize(369, 250);
  RestoreChildGeometry(ini_, *logSub_);
  logSub_->show();

  // Activation, closing and Escape of every child window are handled here.
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { UpdateCommands(); });

  RestoreGeometry();
  UpdateCommands();
}

MainWindow::~MainWindow() {
  // The child windows are destroyed after this frame's own part is gone: what
  // they signal then (a window closing, the multi-document area changing its
  // active window) must not call back into it.
  for (QObject* o : findChildren<QObject*>()) QObject::disconnect(o, nullptr, this, nullptr);
  QObject::disconnect(jobs_.get(), nullptr, this, nullptr);
  jobs_.reset();  // stops and waits for a run still going
}

void MainWindow::ConnectActions() {
  auto& a = actions_;
  connect(a.newFile, &QAction::triggered, this, &MainWindow::NewFile);
  connect(a.open, &QAction::triggered, this, &MainWindow::OpenCommand);
  connect(a.save, &QAction::triggered, this, &MainWindow::SaveCommand);
  connect(a.exit, &QAction::triggered, this, &QWidget::close);
  connect(a.read, &QAction::triggered, this, &MainWindow::ReadStatistics);
  connect(a.readTek, &QAction::triggered, this, &MainWindow::ReadCurrent);
  connect(a.stop, &QAction::triggered, this, &MainWindow::StopReading);
  connect(a.exportReport, &QAction::triggered, this, &MainWindow::ExportReport);
  connect(a.techInfo, &QAction::triggered, this, &MainWindow::ShowTechInfo);
  connect(a.connection, &QAction::triggered, this, &MainWindow::ConnectionSettingsCommand);
  connect(a.scan, &QAction::triggered, this, &MainWindow::ScanCommand);
  connect(a.reportParams, &QAction::triggered, this, &MainWindow::ReportParamsCommand);
  connect(a.topMost, &QAction::triggered, this, &MainWindow::ToggleTopMost);
  connect(a.cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
  connect(a.traffic, &QAction::triggered, this, &MainWindow::ShowTraffic);
  connect(a.messages, &QAction::triggered, this, &MainWindow::ShowMessages);
  connect(a.help, &QAction::triggered, this, &MainWindow::ShowHelp);
  connect(a.about, &QAction::triggered, this, &MainWindow::ShowAbout);
  connect(menus_.window, &QMenu::aboutToShow, this, [this] { FillWindowMenu(*menus_.window, actions_, *mdi_); });
  FillWindowMenu(*menus_.window, actions_, *mdi_);
  // EditNetAddrChange: each change is written at once.
  connect(address_, &QSpinBox::valueChanged, this, [this](int v) {
    settings_.netAddress = v;
    SettingsWritten(ini_.WriteInteger(kSettingsSection, "NetAddress", v));
  });
}

// --- the commands' state ---

Activity MainWindow::CurrentActivity() const {
  if (jobs_->Running() && jobs_->Kind() != ReadKind::Current && jobs_->Kind() != ReadKind::CurrentRefresh)
    return Activity::Statistics;
  if (jobs_->Running()) return Activity::Polling;
  for (CurrentChild* c : CurrentWindows())
    if (c->Polling()) return Activity::Polling;
  return Activity::Idle;
}

ActiveChild MainWindow::ActiveKind() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  if (!sub || !sub->widget()) return ActiveChild::None;
  if (auto* stat = dynamic_cast<StatChild*>(sub->widget()))
    return stat->Loaded() ? ActiveChild::LoadedStatistics : ActiveChild::Statistics;
  if (dynamic_cast<CurrentChild*>(sub->widget())) return ActiveChild::Current;
  return ActiveChild::Other;
}

void MainWindow::UpdateCommands() {
  const CommandState c = DecideCommands(ActiveKind(), CurrentActivity(), !lastHeader_.empty());
  actions_.read->setEnabled(c.read);
  actions_.readTek->setEnabled(c.readTek);
  actions_.stop->setEnabled(c.stop);
  actions_.scan->setEnabled(c.scan);
  actions_.save->setEnabled(c.save);
  actions_.exportReport->setEnabled(c.exportReport);
  actions_.techInfo->setEnabled(c.techInfo);
}

// --- child windows ---

QMdiSubWindow* MainWindow::AddChild(QWidget* w) {
  w->setAttribute(Qt::WA_DeleteOnClose);
  QMdiSubWindow* sub = mdi_->addSubWindow(w);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  w->installEventFilter(this);
  // Queued: the window is half gone while it signals its destruction.
  connect(w, &QObject::destroyed, this, &MainWindow::UpdateCommands, Qt::QueuedConnection);
  RestoreChildGeometry(ini_, *sub);
  sub->show();
  mdi_->setActiveSubWindow(sub);
  return sub;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A child window closing leaves its place and size for the next of its kind.
  if (event->type() == QEvent::Close) {
    if (auto* w = qobject_cast<QWidget*>(watched))
      if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) SettingsWritten(SaveChildGeometry(ini_, *sub));
  }
  // Escape closes a child window together with its frame.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    if (auto* w = qobject_cast<QWidget*>(watched); w && qobject_cast<QMdiSubWindow*>(w->parentWidget())) {
      w->parentWidget()->close();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

StatChild* MainWindow::ActiveStat() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  return sub ? dynamic_cast<StatChild*>(sub->widget()) : nullptr;
}

std::vector<CurrentChild*> MainWindow::CurrentWindows() const {
  std::vector<CurrentChild*> v;
  for (QMdiSubWindow* sub : mdi_->subWindowList())
    if (auto* c = dynamic_cast<CurrentChild*>(sub->widget())) v.push_back(c);
  return v;
}

void MainWindow::ShowMessages() {
  logSub_->showNormal();
  logSub_->raise();
  mdi_->setActiveSubWindow(logSub_);
}

void MainWindow::ShowTraffic() {
  if (trafficSub_) {
    trafficSub_->showNormal();
    mdi_->setActiveSubWindow(trafficSub_);
    return;
  }
  auto* w = new TrafficWindow();
  trafficSub_ = AddChild(w);
  trafficSub_->resize(640, 300);
  jobs_->SetTracing(true);
  connect(w, &QObject::destroyed, jobs_.get(), [jobs = jobs_.get()] { jobs->SetTracing(false); });
}

TrafficWindow* MainWindow::Traffic() const {
  return trafficSub_ ? qobject_cast<TrafficWindow*>(trafficSub_->widget()) : nullptr;
}

void MainWindow::OpenEventsFor(QWidget* statWindow) {
  auto* stat = dynamic_cast<StatChild*>(statWindow);
  if (!stat) return;
  if (QWidget* w = MakeEventsWindow(*stat, *this)) AddChild(w);
}

// --- status bar and log (AppServices) ---

void MainWindow::Log(const QString& line) { log_->AddMessage(line); }
void MainWindow::Status(const QString& text) { status_->SetText(0, text); }
void MainWindow::ProgressStart(int max) { status_->ShowProgress(0, max); }
void MainWindow::ProgressStep(int pos) { status_->ShowProgress(pos, status_->Progress()->maximum()); }
void MainWindow::ProgressFinish() { status_->HideProgress(); }
QProgressBar* MainWindow::Progress() const { return status_->Progress(); }
QString MainWindow::PanelText(int panel) const { return status_->Text(panel); }
ReportSettings MainWindow::Report() const { return LoadReportSettings(ini_, home_); }

void MainWindow::ShowConnectionText() { status_->SetText(1, QString::fromStdString(settings_.ConnectionText())); }

// --- settings commands ---

void MainWindow::ApplyTopMost(bool on) {
  topMost_ = on;
  actions_.topMost->setChecked(on);
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) show();
}

void MainWindow::ToggleTopMost() {
  const bool on = !topMost_;
  ApplyTopMost(on);
  SettingsWritten(ini_.WriteInteger(kSettingsSection, "TopMost", on ? 1 : 0));
  show();
}

void MainWindow::ConnectionSettingsCommand() {
  ConnectionDialog dialog(settings_, ui_, ListSerialPorts(), this);
  dialog.SetAcceptance([this](const ConnectionSettings& s) {
    if (const QString problem = CheckConnectionValues(s); !problem.isEmpty()) return problem;
    if (const Result<void> stored = StoreConnectionSettings(ini_, s); !SettingsWritten(stored))
      return app::SettingsFailureText(stored.error());
    settings_ = s;
    return QString();
  });
  if (ui_.RunDialog(dialog) != QDialog::Accepted) return;
  ShowConnectionText();
  if (!emptyState_->isHidden()) {
    emptyState_->hide();
    status_->SetText(0, QString());
  }
}

void MainWindow::ScanCommand() {
  if (CurrentActivity() != Activity::Idle) return;
  QList<ScanEntry> toRead;
  {
    ScanDialog dialog(JobSettings(), this);
    connect(&dialog, &ScanDialog::UseChosen, this, [this](const ScanEntry& e) { UseScanEntry(e); });
    connect(&dialog, &ScanDialog::ReadChosen, &dialog, [&dialog, &toRead](const QList<ScanEntry>& entries) {
      toRead = entries;
      dialog.accept();
    });
    ui_.RunDialog(dialog);
  }  // a search still going has stopped here and let go of the line
  if (!toRead.isEmpty()) ReadScanEntries(toRead);
}

bool MainWindow::UseScanEntry(const ScanEntry& entry) {
  int baudIndex = settings_.baudIndex;
  if (const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), entry.baud); it != kBaudRates.end())
    baudIndex = static_cast<int>(it - kBaudRates.begin()) + 1;
  // The two keys the connection dialog and the address field write; the rest stays.
  Result<void> written = ini_.WriteInteger(kSettingsSection, "NetAddress", static_cast<long long>(entry.address));
  if (written) written = ini_.WriteInteger(kSettingsSection, "BaudRate", baudIndex);
  if (!SettingsWritten(written)) return false;
  settings_.netAddress = entry.address;
  settings_.baudIndex = baudIndex;
  {
    // Already written: the field's own write is not repeated.
    const QSignalBlocker block(address_);
    address_->setValue(static_cast<int>(entry.address));
  }
  ShowConnectionText();
  return true;
}

void MainWindow::ReportParamsCommand() {
  ReportSettingsDialog dialog(ini_, home_, ui_, this);
  dialog.SetSettingsFailure([this](const Error& e) { SettingsNotWritten(e); });
  ui_.RunDialog(dialog);
}

void MainWindow::ShowHelp() {
  if (!help_) help_ = HelpWindow::Make(ui_, this);
  if (!help_) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Руководство пользователя не найдено."));
    return;
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void MainWindow::ShowAbout() {
  AboutDialog about(ui_, this);
  ui_.RunDialog(about);
}

// --- geometry and folders (section Windows) ---

void MainWindow::RestoreGeometry() {
  const int w = static_cast<int>(ini_.ReadInteger(kWindows, "MainWidth", 1180));
  const int h = static_cast<int>(ini_.ReadInteger(kWindows, "MainHeight", 820));
  resize(std::clamp(w, 400, 4000), std::clamp(h, 300, 3000));
  if (ini_.ValueExists(kWindows, "MainLeft"))
    move(static_cast<int>(ini_.ReadInteger(kWindows, "MainLeft", 0)),
         static_cast<int>(ini_.ReadInteger(kWindows, "MainTop", 0)));
  if (ini_.ReadBool(kWindows, "MainMaximized", false)) setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::SaveGeometry() {
  Result<void> written = SaveChildGeometry(ini_, *logSub_);
  for (QMdiSubWindow* sub : mdi_->subWindowList()) KeepFirstError(written, SaveChildGeometry(ini_, *sub));
  const bool maximized = isMaximized();
  KeepFirstError(written, ini_.WriteBool(kWindows, "MainMaximized", maximized));
  if (!maximized) {
    KeepFirstError(written, ini_.WriteInteger(kWindows, "MainLeft", pos().x()));
    KeepFirstError(written, ini_.WriteInteger(kWindows, "MainTop", pos().y()));
    KeepFirstError(written, ini_.WriteInteger(kWindows, "MainWidth", width()));
    KeepFirstError(written, ini_.WriteInteger(kWindows, "MainHeight", height()));
  }
  SettingsWritten(written);  // one line for the lot
}

QString MainWindow::LastFolder(const char* key) const {
  const std::string saved = ini_.ReadString(kWindows, key, "");
  if (!saved.empty() && std::filesystem::is_directory(saved)) return QString::fromStdString(saved);
  return PathText(DataFolder(home_));
}

void MainWindow::RememberFolder(const char* key, const QString& file) {
  SettingsWritten(ini_.WriteString(kWindows, key, PathOf(file).parent_path().string()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (jobs_->Running()) {
    // Stop the job, let its last reports through, then close.
    connect(this, &MainWindow::JobFinished, this, &QWidget::close, Qt::SingleShotConnection);
    StopReading();
    event->ignore();
    return;
  }
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    auto* stat = dynamic_cast<StatChild*>(sub->widget());
    if (stat && stat->Busy()) {
      event->ignore();
      return;
    }
  }
  StopReading();  // no poll tick starts a job after this
  SaveGeometry();
  log_->AllowClose();
  event->accept();
}

}  // namespace statvtk::app
