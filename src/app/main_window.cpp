// The main window: start-up, menus, toolbar, status bar, top-most mode,
// window list, geometry and the services child windows use.
#include "app/main_window.hpp"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/about_dialog.hpp"
#include "app/child_windows.hpp"
#include "app/connection_dialog.hpp"
#include "app/help_window.hpp"
#include "app/log_window.hpp"
#include "app/report_settings.hpp"
#include "app/traffic_window.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"
#include "link/serial_channel.hpp"
#include "base/version.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kWindows = "Windows";
constexpr int kPanelWidths[4] = {300, 120, 70, 50};
}  // namespace

MainWindow::MainWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent)
    : QMainWindow(parent), ui_(ui), home_(std::move(home)), ini_(SettingsPath(home_)) {
  // 2. Caption, drop target, counters.
  setWindowTitle(QStringLiteral("StatVTK ") + QString::fromUtf8(StatvtkVersion().data(),
                                                                static_cast<qsizetype>(StatvtkVersion().size())));
  setAcceptDrops(true);
  observer_ = new GuiObserver(*this, this);
  jobWatch_.setInterval(20);
  connect(&jobWatch_, &QTimer::timeout, this, &MainWindow::WatchJob);

  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { UpdateChildCommands(); });

  MakeActions();
  MakeMenus();
  MakeToolBar();
  MakeStatusBar();

  // 3. Settings and the address.
  settings_ = LoadConnectionSettings(ini_);
  {
    const QSignalBlocker block(address_);
    address_->setValue(static_cast<int>(std::clamp<std::int64_t>(settings_.netAddress, 0, 100000000)));
  }
  // 4. Top-most.
  ApplyTopMost(ini_.ReadInteger(kSettingsSection, "TopMost", 0) != 0);
  // 5. Connection text and the empty device text.
  ShowConnectionText();
  panels_[2]->clear();

  // The message log, created at start.
  log_ = new LogWindow(*this);
  logSub_ = mdi_->addSubWindow(log_);
  logSub_->resize(369, 250);
  logSub_->show();

  RestoreGeometry();
  FillRecentMenu();
  UpdateChildCommands();
}

MainWindow::~MainWindow() {
  // The child windows are destroyed after this frame's own part is gone: what
  // they signal then (a window closing, the multi-document area changing its
  // active window) must not call back into it.
  for (QObject* o : findChildren<QObject*>()) QObject::disconnect(o, nullptr, this, nullptr);
  // Nothing here waits on the GUI: the job only posts to it, so joining is safe.
  if (job_) {
    stopRequested_ = true;
    job_->RequestStop();
    job_->Wait();
  }
}

void MainWindow::MakeActions() {
  auto make = [this](const QString& text, const QString& hint, QStyle::StandardPixmap icon, QKeySequence key = {}) {
    auto* a = new QAction(style()->standardIcon(icon), text, this);
    a->setToolTip(hint.isEmpty() ? text : hint);
    a->setStatusTip(hint.isEmpty() ? text : hint);
    if (!key.isEmpty()) a->setShortcut(key);
    return a;
  };
  auto& a = actions_;
  a.newFile = make(QStringLiteral("Создать..."), QStringLiteral("Новый файл"), QStyle::SP_FileIcon, QKeySequence(Qt::CTRL | Qt::Key_N));
  a.open = make(QStringLiteral("Открыть..."), QStringLiteral("Открыть файл"), QStyle::SP_DialogOpenButton, QKeySequence(Qt::CTRL | Qt::Key_O));
  a.save = make(QStringLiteral("Сохранить..."), QStringLiteral("Сохранить файл"), QStyle::SP_DialogSaveButton, QKeySequence(Qt::CTRL | Qt::Key_S));
  a.exit = make(QStringLiteral("Выход"), {}, QStyle::SP_DialogCloseButton, QKeySequence(Qt::CTRL | Qt::Key_X));
  a.read = make(QStringLiteral("Прочитать статистику из прибора"), QStringLiteral("Считать статистику"),
                QStyle::SP_ArrowDown, QKeySequence(Qt::CTRL | Qt::Key_R));
  a.readTek = make(QStringLiteral("Прочитать текущие из прибора"), QStringLiteral("Текущие (цикл)."),
                   QStyle::SP_BrowserReload, QKeySequence(Qt::CTRL | Qt::Key_T));
  a.stop = make(QStringLiteral("Остановить чтение"), QStringLiteral("Остановить чтение"), QStyle::SP_BrowserStop);
  a.exportReport = make(QStringLiteral("Экспорт в Microsoft Excel"), QStringLiteral("Экспорт в Microsoft Excel"),
                        QStyle::SP_FileDialogDetailedView, QKeySequence(Qt::CTRL | Qt::Key_P));
  a.techInfo = make(QStringLiteral("Техническая информация"), {}, QStyle::SP_MessageBoxInformation);
  a.connection = make(QStringLiteral("Соединение..."), {}, QStyle::SP_DriveNetIcon);
  a.reportParams = make(QStringLiteral("Параметры отчета..."), {}, QStyle::SP_FileDialogContentsView);
  a.topMost = make(QStringLiteral("Режим \"Поверх всех окон\""), {}, QStyle::SP_TitleBarShadeButton);
  a.topMost->setCheckable(true);
  a.topMost->setIcon({});
  a.cascade = make(QStringLiteral("Разложить каскадом"), {}, QStyle::SP_TitleBarNormalButton);
  a.cascade->setIcon({});
  a.traffic = make(QStringLiteral("Монитор обмена"), QStringLiteral("Кадры обмена с прибором"), QStyle::SP_ComputerIcon);
  a.messages = make(QStringLiteral("Сообщения"), {}, QStyle::SP_FileDialogListView);
  a.help = make(QStringLiteral("Справка..."), {}, QStyle::SP_DialogHelpButton, QKeySequence(Qt::Key_F1));
  a.about = make(QStringLiteral("О программе..."), {}, QStyle::SP_MessageBoxQuestion);
  a.about->setIcon({});

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
  connect(a.reportParams, &QAction::triggered, this, &MainWindow::ReportParamsCommand);
  connect(a.topMost, &QAction::triggered, this, &MainWindow::ToggleTopMost);
  connect(a.cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
  connect(a.traffic, &QAction::triggered, this, &MainWindow::ShowTraffic);
  connect(a.messages, &QAction::triggered, this, [this] {
    logSub_->showNormal();
    mdi_->setActiveSubWindow(logSub_);
  });
  connect(a.help, &QAction::triggered, this, &MainWindow::ShowHelp);
  connect(a.about, &QAction::triggered, this, &MainWindow::ShowAbout);
}

void MainWindow::MakeMenus() {
  auto& a = actions_;
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
  file->addAction(a.newFile);
  file->addAction(a.open);
  file->addAction(a.save);
  recentMenu_ = file->addMenu(QStringLiteral("Последние файлы"));
  file->addSeparator();
  file->addAction(a.exit);

  QMenu* stat = menuBar()->addMenu(QStringLiteral("&Статистика"));
  stat->addAction(a.read);
  stat->addAction(a.readTek);
  stat->addAction(a.stop);
  stat->addSeparator();
  stat->addAction(a.exportReport);
  stat->addAction(a.techInfo);

  QMenu* settings = menuBar()->addMenu(QStringLiteral("&Настройки"));
  settings->addAction(a.connection);
  QMenu* report = settings->addMenu(QStringLiteral("Отчет"));
  report->addAction(a.reportParams);

  windowMenu_ = menuBar()->addMenu(QStringLiteral("&Окно"));
  connect(windowMenu_, &QMenu::aboutToShow, this, &MainWindow::FillWindowMenu);
  FillWindowMenu();

  QMenu* help = menuBar()->addMenu(QStringLiteral("Спр&авка"));
  help->addAction(a.help);
  help->addAction(a.about);
}

void MainWindow::FillWindowMenu() {
  windowMenu_->clear();
  windowMenu_->addAction(actions_.topMost);
  windowMenu_->addAction(actions_.cascade);
  windowMenu_->addAction(actions_.messages);
  windowMenu_->addAction(actions_.traffic);
  const auto windows = mdi_->subWindowList();
  if (!windows.isEmpty()) windowMenu_->addSeparator();
  int n = 0;
  for (QMdiSubWindow* sub : windows) {
    ++n;
    const QString text = (n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("%1 ").arg(n)) + sub->windowTitle();
    QAction* item = windowMenu_->addAction(text);
    item->setCheckable(true);
    item->setChecked(sub == mdi_->activeSubWindow());
    connect(item, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
      if (!sub) return;
      if (sub->isMinimized()) sub->showNormal();
      mdi_->setActiveSubWindow(sub);
    });
  }
}

void MainWindow::MakeToolBar() {
  auto& a = actions_;
  QToolBar* bar = addToolBar(QStringLiteral("Панель инструментов"));
  bar->setObjectName(QStringLiteral("MainToolBar"));
  bar->setMovable(false);
  bar->addAction(a.newFile);
  bar->addAction(a.open);
  bar->addAction(a.save);
  bar->addSeparator();
  bar->addAction(a.read);
  bar->addAction(a.readTek);
  bar->addAction(a.stop);
  bar->addAction(a.exportReport);
  bar->addSeparator();
  bar->addWidget(new QLabel(QStringLiteral(" Сет. адрес  "), bar));
  address_ = new QSpinBox(bar);
  address_->setRange(0, 100000000);
  address_->setSingleStep(1);
  address_->setFrame(false);
  address_->setMinimumWidth(90);
  address_->setToolTip(QStringLiteral("Сетевой адрес прибора"));
  bar->addWidget(address_);
  // EditNetAddrChange: each change is written at once.
  connect(address_, &QSpinBox::valueChanged, this, [this](int v) {
    settings_.netAddress = v;
    if (!ini_.WriteInteger(kSettingsSection, "NetAddress", v))
      JobLog(QStringLiteral("Не удалось записать настройки: ") + QString::fromStdString(ini_.LastError()));
  });
}

void MainWindow::MakeStatusBar() {
  for (int i = 0; i < 4; ++i) {
    panels_[static_cast<std::size_t>(i)] = new QLabel(this);
    panels_[static_cast<std::size_t>(i)]->setFixedWidth(kPanelWidths[i]);
    panels_[static_cast<std::size_t>(i)]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(panels_[static_cast<std::size_t>(i)]);
  }
  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setMaximumHeight(14);
  statusBar()->addWidget(progress_, 1);
}

QString MainWindow::PanelText(int panel) const {
  if (panel < 0 || panel > 3) return {};
  return panels_[static_cast<std::size_t>(panel)]->text();
}

void MainWindow::ShowConnectionText() {
  // The panel is 120 px wide: the whole text is also its tool tip.
  const QString text = QString::fromStdString(settings_.ConnectionText());
  panels_[1]->setText(text);
  panels_[1]->setToolTip(text);
}

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
  ini_.WriteInteger(kSettingsSection, "TopMost", on ? 1 : 0);
  show();
}

void MainWindow::ConnectionSettingsCommand() {
  ConnectionDialog dialog(ini_, settings_, ui_, ListSerialPorts(), this);
  if (ui_.RunDialog(dialog) == QDialog::Accepted) ShowConnectionText();
}

void MainWindow::ReportParamsCommand() {
  ReportSettingsDialog dialog(ini_, home_, ui_, this);
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

void MainWindow::ShowTraffic() {
  if (trafficSub_) {
    trafficSub_->showNormal();
    mdi_->setActiveSubWindow(trafficSub_);
    return;
  }
  auto* w = new TrafficWindow();
  trafficSub_ = AddChild(w);
  trafficSub_->resize(640, 300);
  observer_->SetTracing(true);
  // The observer is the context: when the frame is torn down it may go first,
  // and the connection goes with it.
  connect(w, &QObject::destroyed, observer_, [obs = observer_] { obs->SetTracing(false); });
}

TrafficWindow* MainWindow::Traffic() const {
  return trafficSub_ ? qobject_cast<TrafficWindow*>(trafficSub_->widget()) : nullptr;
}

QMdiSubWindow* MainWindow::AddChild(QWidget* w) {
  w->setAttribute(Qt::WA_DeleteOnClose);
  QMdiSubWindow* sub = mdi_->addSubWindow(w);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  connect(w, &QObject::destroyed, this, [this] { UpdateChildCommands(); });
  sub->show();
  mdi_->setActiveSubWindow(sub);
  return sub;
}

void MainWindow::UpdateChildCommands() {
  const bool stat = ActiveStat() != nullptr;
  actions_.exportReport->setEnabled(stat);
  actions_.save->setEnabled(stat);
}

void MainWindow::SetReadCommandsEnabled(bool on) {
  actions_.read->setEnabled(on);
  actions_.readTek->setEnabled(on);
}

// --- AppServices ---

void MainWindow::Log(const QString& line) { log_->AddMessage(line); }
void MainWindow::Status(const QString& text) { panels_[0]->setText(text); }

void MainWindow::ProgressStart(int max) {
  progress_->setRange(0, std::max(max, 1));
  progress_->setValue(0);
  progress_->show();
}
void MainWindow::ProgressStep(int pos) { progress_->setValue(pos); }
void MainWindow::ProgressFinish() { progress_->setValue(0); }

ReportSettings MainWindow::Report() const { return LoadReportSettings(ini_, home_); }

void MainWindow::OpenEventsFor(QWidget* statWindow) {
  auto* stat = dynamic_cast<StatChild*>(statWindow);
  if (!stat) return;
  QWidget* w = MakeEventsWindow(*stat, *this);
  if (w) AddChild(w);
}

void MainWindow::ChildActivated(QWidget*) {
  UpdateChildCommands();
  // The read commands follow the job alone: a child never unlocks them while one runs.
  SetReadCommandsEnabled(!JobRunning());
}

void MainWindow::ChildClosed(QWidget*) {
  UpdateChildCommands();
  SetReadCommandsEnabled(!JobRunning());
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
  const bool maximized = isMaximized();
  ini_.WriteBool(kWindows, "MainMaximized", maximized);
  if (maximized) return;
  ini_.WriteInteger(kWindows, "MainLeft", pos().x());
  ini_.WriteInteger(kWindows, "MainTop", pos().y());
  ini_.WriteInteger(kWindows, "MainWidth", width());
  ini_.WriteInteger(kWindows, "MainHeight", height());
}

QString MainWindow::LastFolder(const char* key) const {
  const std::string saved = ini_.ReadString(kWindows, key, "");
  if (!saved.empty() && std::filesystem::is_directory(saved)) return QString::fromStdString(saved);
  return QString::fromStdString(DataFolder(home_).string());
}

void MainWindow::RememberFolder(const char* key, const QString& file) {
  ini_.WriteString(kWindows, key, std::filesystem::path(file.toStdString()).parent_path().string());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (job_) {
    // Stop the job, let its last reports through, then close (FinishJob).
    closePending_ = true;
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
  SaveGeometry();
  log_->AllowClose();
  event->accept();
}

}  // namespace statvtk::app
