// The main window: start-up, the command wiring, the commands' state, the
// frame's own windows (messages, traffic monitor), geometry and leaving.
#include "app/main_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>

#include "app/child_area.hpp"
#include "app/child_geometry.hpp"
#include "app/child_windows.hpp"
#include "app/file_commands.hpp"
#include "app/frame_services.hpp"
#include "app/log_window.hpp"
#include "app/read_commands.hpp"
#include "app/recent_files.hpp"
#include "app/result_bar.hpp"
#include "app/setting_commands.hpp"
#include "app/status_panels.hpp"
#include "app/traffic_window.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"
#include "base/version.hpp"
#include "reading/address_check.hpp"

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
  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  actions_ = MakeMainActions(this);
  menus_ = AddMainMenus(*this, actions_);
  settings_ = LoadConnectionSettings(ini_);
  MakeParts();
  ConnectActions();

  {
    const QSignalBlocker block(parts_.address);
    parts_.address->setValue(static_cast<int>(std::clamp<std::int64_t>(settings_.netAddress, 0, 100000000)));
  }
  setup_->ApplyTopMost(ini_.ReadInteger(kSettingsSection, "TopMost", 0) != 0);
  setup_->ShowConnectionText();
  status_->SetText(2, QString());
  const bool configured = ini_.ValueExists(kSettingsSection, "ConnectMode");
  emptyState_->setVisible(!configured);
  if (!configured) status_->SetText(0, kHowToConnect);

  // The message log, made at start: as wide as the area the first time, so
  // that its lines are read whole; later where the user left it.
  parts_.log = new LogWindow(*services_);
  parts_.logSub = mdi_->addSubWindow(parts_.log);
  // Placed past the bottom right: pulled in, it spans the area along its bottom edge.
  if (!RestoreChildGeometry(ini_, *parts_.logSub)) parts_.logSub->setGeometry(0, 8000, 8000, 220);
  parts_.logSub->show();
  RestoreGeometry();
  UpdateCommands();
}

MainWindow::~MainWindow() {
  // The child windows are destroyed after this frame's own part is gone: what
  // they signal then (a window closing, the multi-document area changing its
  // active window) must not call back into it.
  for (QObject* o : findChildren<QObject*>()) QObject::disconnect(o, nullptr, this, nullptr);
  QObject::disconnect(mdi_, nullptr, children_.get(), nullptr);
  QObject::disconnect(jobs_.get(), nullptr, nullptr, nullptr);
  jobs_.reset();  // stops and waits for a run still going
  parts_.updateCommands = [] {};
}

void MainWindow::MakeParts() {
  jobs_ = std::make_unique<JobController>(home_);
  status_ = std::make_unique<StatusPanels>(*statusBar());
  auto* result = new ResultBar(ui_, statusBar());
  statusBar()->addPermanentWidget(result);
  recent_ = std::make_unique<app::RecentFiles>(ini_, *menus_.recent, [this](const QString& path) {
    // A listed file is opened as a dropped one: its extension in any case.
    files_->OpenStatFile(path, ExtensionRule::LowerCase);
  });
  children_ = std::make_unique<ChildArea>(*mdi_, ini_);
  children_->OnCloseFailure([this](const statvtk::Result<void>& r) { parts_.SettingsWritten(r); });
  parts_.window = this;
  parts_.ui = &ui_;
  parts_.home = home_;
  parts_.ini = &ini_;
  parts_.settings = &settings_;
  parts_.actions = &actions_;
  parts_.address = AddMainToolBar(*this, actions_);
  parts_.status = status_.get();
  parts_.result = result;
  parts_.children = children_.get();
  parts_.recent = recent_.get();
  parts_.jobs = jobs_.get();
  parts_.updateCommands = [this] { UpdateCommands(); };
  reads_ = std::make_unique<ReadCommands>(parts_);
  services_ = std::make_unique<FrameServices>(parts_, *reads_);
  parts_.services = services_.get();
  files_ = std::make_unique<FileCommands>(parts_, *reads_);
  // A first start: no connection has been set up yet.
  emptyState_ = new QLabel(kHowToConnect, mdi_->viewport());
  emptyState_->setStyleSheet(QStringLiteral("color: #404040; font-size: 11pt; padding: 8px"));
  emptyState_->move(390, 16);
  emptyState_->adjustSize();
  setup_ = std::make_unique<SettingCommands>(parts_, *reads_, *emptyState_);
}

void MainWindow::ConnectActions() {
  auto& a = actions_;
  FileCommands* files = files_.get();
  ReadCommands* reads = reads_.get();
  SettingCommands* setup = setup_.get();
  connect(a.newFile, &QAction::triggered, this, [files] { files->NewFile(); });
  connect(a.open, &QAction::triggered, this, [files] { files->OpenCommand(); });
  connect(a.save, &QAction::triggered, this, [files] { files->SaveCommand(); });
  connect(a.exit, &QAction::triggered, this, &QWidget::close);
  connect(a.read, &QAction::triggered, reads, &ReadCommands::ReadStatistics);
  connect(a.readTek, &QAction::triggered, reads, &ReadCommands::ReadCurrent);
  connect(a.check, &QAction::triggered, reads, &ReadCommands::CheckLink);
  connect(a.stop, &QAction::triggered, reads, &ReadCommands::StopReading);
  connect(a.exportReport, &QAction::triggered, this, &MainWindow::ExportReport);
  connect(a.techInfo, &QAction::triggered, this, &MainWindow::ShowTechInfo);
  connect(a.situations, &QAction::triggered, this, &MainWindow::ShowSituations);
  connect(a.connection, &QAction::triggered, this, [setup] { setup->ConnectionSettingsCommand(); });
  connect(a.scan, &QAction::triggered, this, [setup] { setup->ScanCommand(); });
  connect(a.reportParams, &QAction::triggered, this, [setup] { setup->ReportParamsCommand(); });
  connect(a.topMost, &QAction::triggered, this, [setup] { setup->ToggleTopMost(); });
  connect(a.cascade, &QAction::triggered, children_.get(), &ChildArea::Cascade);
  connect(a.closeAll, &QAction::triggered, children_.get(), &ChildArea::CloseAll);
  connect(a.traffic, &QAction::triggered, this, &MainWindow::ShowTraffic);
  connect(a.messages, &QAction::triggered, this, &MainWindow::ShowMessages);
  connect(a.help, &QAction::triggered, this, [setup] { setup->ShowHelp(); });
  connect(a.about, &QAction::triggered, this, [setup] { setup->ShowAbout(); });
  connect(menus_.window, &QMenu::aboutToShow, this, [this] { FillWindowMenu(*menus_.window, actions_, *mdi_); });
  FillWindowMenu(*menus_.window, actions_, *mdi_);
  // EditNetAddrChange: each change is written at once, unless the line
  // refuses the address (it is said on panel 0 and not kept).
  connect(parts_.address, &QSpinBox::valueChanged, this, [this](int v) {
    settings_.netAddress = v;
    const QString problem = QString::fromStdString(AddressProblem(v, settings_.useMBus));
    if (!problem.isEmpty()) {
      addressProblem_ = problem + QStringLiteral(": адрес не сохранён");
      status_->SetText(0, addressProblem_);
      return;
    }
    if (!addressProblem_.isEmpty() && status_->Text(0) == addressProblem_) status_->SetText(0, QString());
    addressProblem_.clear();
    setup_->StoreShownAddress();
  });
  connect(reads, &ReadCommands::JobFinished, this, &MainWindow::JobFinished);
  // One decision on every change of the active window, as windows come and go.
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { UpdateCommands(); });
  connect(children_.get(), &ChildArea::changed, this, &MainWindow::UpdateCommands);
}

AppServices& MainWindow::Services() { return *services_; }

void MainWindow::UpdateCommands() {
  const CommandState c =
      DecideCommands(children_->ActiveKind(), reads_->CurrentActivity(), !parts_.lastHeader.empty(), reads_->Asking());
  actions_.read->setEnabled(c.read);
  actions_.readTek->setEnabled(c.readTek);
  actions_.check->setEnabled(c.check);
  actions_.stop->setEnabled(c.stop);
  actions_.scan->setEnabled(c.scan);
  actions_.save->setEnabled(c.save);
  actions_.exportReport->setEnabled(c.exportReport);
  actions_.techInfo->setEnabled(c.techInfo);
  actions_.situations->setEnabled(c.situations);
}

void MainWindow::ShowMessages() {
  parts_.logSub->showNormal();
  parts_.logSub->raise();
  mdi_->setActiveSubWindow(parts_.logSub);
  children_->PullInside(*parts_.logSub);
}

void MainWindow::ShowTraffic() {
  if (trafficSub_) {
    trafficSub_->showNormal();
    mdi_->setActiveSubWindow(trafficSub_);
    return;
  }
  auto* w = new TrafficWindow(ui_, home_);
  trafficSub_ = children_->Add(w);
  jobs_->WatchTraffic(w);
}

TrafficWindow* MainWindow::Traffic() const {
  return trafficSub_ ? qobject_cast<TrafficWindow*>(trafficSub_->widget()) : nullptr;
}

void MainWindow::ExportReport() {
  if (StatChild* stat = children_->ActiveStat()) stat->MakeReport();
}

void MainWindow::ShowTechInfo() {
  if (StatChild* stat = children_->ActiveStat(); stat && stat->Loaded()) {
    if (QWidget* w = MakeTechInfoWindow(stat->Data().header, stat->Data().type, *services_)) children_->Add(w);
    return;
  }
  if (parts_.lastHeader.empty() || parts_.lastType == DeviceType::dtUnknown) {
    ui_.Inform(this, windowTitle(),
               QStringLiteral("Нет данных о приборе: сначала прочитайте статистику или текущие показания."));
    return;
  }
  if (QWidget* w = MakeTechInfoWindow(parts_.lastHeader, parts_.lastType, *services_)) children_->Add(w);
}

void MainWindow::ShowSituations() {
  if (StatChild* stat = children_->ActiveStat(); stat && stat->Loaded())
    if (QWidget* w = MakeSituationsWindow(*stat, *services_)) children_->Add(w);
}

QProgressBar* MainWindow::Progress() const { return status_->Progress(); }
QString MainWindow::PanelText(int panel) const { return status_->Text(panel); }
QStringList MainWindow::RecentFiles() const { return recent_->List(); }
void MainWindow::OpenFromCommandLine(const QStringList& arguments) { files_->OpenFromCommandLine(arguments); }

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  files_->OpenDropped(urls);
}

// --- geometry (section Windows) ---

namespace {
// The frame a window manager draws around the window, until it is known.
constexpr QMargins kFrameGuess(4, 30, 4, 4);
}  // namespace

QRect MainWindow::ScreenArea() const {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect();
}

// The stored (or first start's) place and size, pulled onto the screen's
// available area with the frame; a first start on a screen too small for the
// default size opens maximized.
void MainWindow::RestoreGeometry() {
  const bool stored = ini_.ValueExists(kWindows, "MainWidth");
  const int w = std::clamp(static_cast<int>(ini_.ReadInteger(kWindows, "MainWidth", 1180)), 400, 4000);
  const int h = std::clamp(static_cast<int>(ini_.ReadInteger(kWindows, "MainHeight", 820)), 300, 3000);
  const QRect area = ScreenArea();
  QRect wanted(area.topLeft() + QPoint(kFrameGuess.left(), kFrameGuess.top()), QSize(w, h));
  if (ini_.ValueExists(kWindows, "MainLeft"))
    wanted.moveTopLeft(QPoint(static_cast<int>(ini_.ReadInteger(kWindows, "MainLeft", 0)) + kFrameGuess.left(),
                              static_cast<int>(ini_.ReadInteger(kWindows, "MainTop", 0)) + kFrameGuess.top()));
  const QRect placed = FitWindowToScreen(wanted, area, kFrameGuess);
  resize(placed.size());
  move(placed.topLeft() - QPoint(kFrameGuess.left(), kFrameGuess.top()));
  const bool small = !area.isEmpty() && (w + kFrameGuess.left() + kFrameGuess.right() > area.width() ||
                                         h + kFrameGuess.top() + kFrameGuess.bottom() > area.height());
  if (ini_.ReadBool(kWindows, "MainMaximized", false) || (!stored && small))
    setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Once shown, the real frame is known: the whole window stays on the screen.
  if (fitted_ || isMaximized() || isFullScreen()) return;
  fitted_ = true;
  const QRect frame = frameGeometry(), inner = geometry();
  const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                         frame.bottom() - inner.bottom());
  const QRect placed = FitWindowToScreen(inner, ScreenArea(), margins);
  if (placed != inner) setGeometry(placed);
}

void MainWindow::SaveGeometry() {
  // One line for the lot when the settings cannot be written.
  statvtk::Result<void> written = children_->SaveAll();
  const auto keep = [&written](statvtk::Result<void> r) {
    if (!r && written) written = std::move(r);
  };
  const bool maximized = isMaximized();
  keep(ini_.WriteBool(kWindows, "MainMaximized", maximized));
  if (!maximized) {
    keep(ini_.WriteInteger(kWindows, "MainLeft", pos().x()));
    keep(ini_.WriteInteger(kWindows, "MainTop", pos().y()));
    keep(ini_.WriteInteger(kWindows, "MainWidth", width()));
    keep(ini_.WriteInteger(kWindows, "MainHeight", height()));
  }
  parts_.SettingsWritten(written);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (jobs_->Running()) {
    event->ignore();
    // A user's read is not thrown away unasked; yes keeps what was fetched, as a stop does.
    if (reads_->UserReadRunning() && !ui_.Ask(this, windowTitle(), QStringLiteral("Идет чтение. Прервать и выйти?")))
      return;
    // Stop the job, let its last reports through, then close.
    connect(this, &MainWindow::JobFinished, this, &QWidget::close, Qt::SingleShotConnection);
    reads_->StopReading();
    return;
  }
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    auto* stat = dynamic_cast<StatChild*>(sub->widget());
    if (stat && stat->Busy()) {
      event->ignore();
      return;
    }
  }
  reads_->StopReading();  // no poll tick starts a job after this
  SaveGeometry();
  parts_.log->AllowClose();
  event->accept();
}

}  // namespace statvtk::app
