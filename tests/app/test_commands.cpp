// The frame's commands in their right state: stopping current readings,
// no statistics read beside polling, a job thread that cannot start, the
// technical information of an open file, the current-readings window's
// size, and the command table itself.
#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <system_error>

#include "app/command_state.hpp"
#include "app/current_window.hpp"
#include "app/log_window.hpp"
#include "app/tech_info_window.hpp"
#include "app_test_util.hpp"
#include "stats/stat_file.hpp"
#include "support/result_util.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {

app::CurrentWindow* CurrentOf(const app::MainWindow& w) {
  for (QMdiSubWindow* s : w.Mdi()->subWindowList())
    if (auto* c = qobject_cast<app::CurrentWindow*>(s->widget())) return c;
  return nullptr;
}

// Counts the jobs the frame starts.
int* CountJobs(app::MainWindow& w) {
  auto* n = new int(0);
  QObject::connect(&w.Jobs(), &app::JobController::started, &w, [n] { ++*n; });
  QObject::connect(&w, &QObject::destroyed, [n] { delete n; });
  return n;
}

// A frame polling the current readings of a simulated VTK-08.14 C.
struct Polling {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst{Model(DeviceType::dtVTK0814C)};
  app::MainWindow w{ui, home.Path()};
  app::CurrentWindow* current = nullptr;

  bool Start() {
    UseSimulator(w, inst);
    QSignalSpy done(&w, &app::MainWindow::JobFinished);
    w.Reads().ReadCurrent();
    if (!done.wait(30000)) return false;
    current = CurrentOf(w);
    return current && current->Polling();
  }
};

}  // namespace

class TestCommands : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void commandTable_data();
  void commandTable();
  void stopEndsPollingUntilResumed();
  void stopDuringARefreshEndsIt();
  void noStatisticsReadBesidePolling();
  void threadThatCannotStartIsReported_data();
  void threadThatCannotStartIsReported();
  void techInfoOfTheActiveFile();
  void currentWindowShowsEveryValue();
  void escapeClosesAChild();
};

void TestCommands::commandTable_data() {
  QTest::addColumn<int>("child");
  QTest::addColumn<int>("activity");
  QTest::addColumn<bool>("deviceKnown");
  // read, readTek, stop, save, export, techInfo, scan
  QTest::addColumn<QString>("expected");
  using A = app::ActiveChild;
  using R = app::Activity;
  QTest::newRow("nothing open") << int(A::None) << int(R::Idle) << false << "1100001";
  QTest::newRow("empty statistics window") << int(A::Statistics) << int(R::Idle) << false << "1101101";
  QTest::newRow("open file") << int(A::LoadedStatistics) << int(R::Idle) << false << "1101111";
  QTest::newRow("reading statistics") << int(A::None) << int(R::Statistics) << false << "0010000";
  QTest::newRow("polling, window active") << int(A::Current) << int(R::Polling) << true << "0010010";
  QTest::newRow("polling, file active") << int(A::LoadedStatistics) << int(R::Polling) << true << "0011110";
  QTest::newRow("after a read, log active") << int(A::Other) << int(R::Idle) << true << "1100011";
}

void TestCommands::commandTable() {
  QFETCH(int, child);
  QFETCH(int, activity);
  QFETCH(bool, deviceKnown);
  QFETCH(QString, expected);
  const app::CommandState c = app::DecideCommands(app::ActiveChild(child), app::Activity(activity), deviceKnown);
  QString got;
  for (bool b : {c.read, c.readTek, c.stop, c.save, c.exportReport, c.techInfo, c.scan}) got += b ? '1' : '0';
  QCOMPARE(got, expected);
}

void TestCommands::stopEndsPollingUntilResumed() {
  Polling p;
  QVERIFY(p.Start());
  const int* jobs = CountJobs(p.w);
  QVERIFY(p.w.Actions().stop->isEnabled());
  QVERIFY(!p.w.Actions().read->isEnabled());
  p.w.Actions().stop->trigger();
  QVERIFY(!p.current->Polling());
  QVERIFY(!p.current->Timer()->isActive());
  QVERIFY(p.current->StateLine()->text().startsWith(QStringLiteral("Опрос остановлен")));
  QVERIFY(p.current->ResumeButton()->isVisibleTo(p.current));
  // A tick now starts nothing, however often it comes.
  p.current->Tick();
  p.current->Tick();
  QCOMPARE(*jobs, 0);
  QVERIFY(!p.w.JobRunning());
  QVERIFY(p.w.Actions().read->isEnabled());
  QVERIFY(p.w.Actions().readTek->isEnabled());
  QVERIFY(!p.w.Actions().stop->isEnabled());

  // Ctrl+T resumes this window (no second one) with a read at once.
  QSignalSpy done(&p.w, &app::MainWindow::JobFinished);
  p.w.Actions().readTek->trigger();
  QCOMPARE(*jobs, 1);
  QVERIFY(done.wait(30000));
  QVERIFY(p.current->Polling());
  QVERIFY(p.current->Timer()->isActive());
  QVERIFY(p.current->StateLine()->text().startsWith(QStringLiteral("Обновлено в ")));
  QCOMPARE(CurrentOf(p.w), p.current);
  int windows = 0;
  for (QMdiSubWindow* s : p.w.Mdi()->subWindowList())
    windows += qobject_cast<app::CurrentWindow*>(s->widget()) != nullptr;
  QCOMPARE(windows, 1);

  // The window's own button resumes it too.
  p.w.Reads().StopReading();
  p.current->ResumeButton()->click();
  QCOMPARE(*jobs, 2);
  QVERIFY(done.wait(30000));
  QVERIFY(p.current->Polling());
}

void TestCommands::stopDuringARefreshEndsIt() {
  Polling p;
  QVERIFY(p.Start());
  QSignalSpy done(&p.w, &app::MainWindow::JobFinished);
  p.current->Tick();  // a refresh is running
  QVERIFY(p.w.JobRunning());
  p.w.Reads().StopReading();
  QVERIFY(done.wait(30000));
  QVERIFY(!p.current->Polling());
  QVERIFY(!p.current->Timer()->isActive());
  // The stop is not told as a failure of the refresh.
  QVERIFY(p.current->StateLine()->text().startsWith(QStringLiteral("Опрос остановлен")));
}

void TestCommands::noStatisticsReadBesidePolling() {
  Polling p;
  QVERIFY(p.Start());
  p.ui.onDialog = AcceptReadAll;
  const int* jobs = CountJobs(p.w);
  QVERIFY(!p.w.Actions().read->isEnabled());
  QVERIFY(!p.w.Actions().readTek->isEnabled());
  p.w.Actions().read->trigger();  // Ctrl+R: a disabled action does nothing
  p.w.Reads().ReadStatistics();   // and the command itself refuses as well
  QCOMPARE(p.ui.dialogs, 0);
  QCOMPARE(*jobs, 0);
  QVERIFY(StatWindows(p.w).empty());
  // Closing the polling window brings the read commands back.
  p.current->parentWidget()->close();
  QTRY_VERIFY(p.w.Actions().read->isEnabled());
  QVERIFY(p.w.Actions().readTek->isEnabled());
  QVERIFY(!p.w.Actions().stop->isEnabled());
}

void TestCommands::threadThatCannotStartIsReported_data() {
  QTest::addColumn<bool>("statistics");
  QTest::newRow("read statistics") << true;
  QTest::newRow("read current") << false;
}

void TestCommands::threadThatCannotStartIsReported() {
  QFETCH(bool, statistics);
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  app::MainWindow w(ui, home.Path());
  w.Jobs().SetLauncher([](std::function<void()>) -> std::jthread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  if (statistics) w.Reads().ReadStatistics();
  else w.Reads().ReadCurrent();
  const QString text = QStringLiteral("Ошибка: Невозможно создать поток чтения статистики");
  QCOMPARE(ui.Count("warn"), 1);
  QCOMPARE(ui.LastText(), text);
  QVERIFY(w.Messages()->Log().Lines().back().find(text.toStdString()) != std::string::npos);
  QVERIFY(!w.JobRunning());
  QVERIFY(w.Actions().read->isEnabled());
  QVERIFY(w.Actions().readTek->isEnabled());
  QVERIFY(!w.Progress()->isVisibleTo(&w));
}

void TestCommands::techInfoOfTheActiveFile() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C));
  const auto file = home.Path() / "meter.814";
  std::string error;
  QVERIFY2(Unpack(SaveStatFile(file, inst.ExpectedDump()), &error), error.c_str());
  app::MainWindow w(ui, home.Path());
  QVERIFY(!w.Actions().techInfo->isEnabled());  // nothing known yet
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  QVERIFY(w.Actions().techInfo->isEnabled());
  w.Actions().techInfo->trigger();
  QVERIFY(ui.shown.empty());
  auto* info = qobject_cast<app::TechInfoWindow*>(w.Mdi()->activeSubWindow()->widget());
  QVERIFY(info);
  const StatData dump = inst.ExpectedDump();
  const std::string serial(dump.header.begin() + 512, dump.header.begin() + 520);
  QVERIFY(info->windowTitle().contains(QString::fromStdString(serial)));
}

void TestCommands::currentWindowShowsEveryValue() {
  Polling p;
  p.w.show();
  QVERIFY(p.Start());
  app::CurrentWindow* c = p.current;
  // The window is as large as its contents want, and its caption fits.
  QVERIFY(c->height() >= c->minimumSizeHint().height());
  QVERIFY(c->width() >= c->sizeHint().width());
  QVERIFY(c->parentWidget()->width() >= c->fontMetrics().horizontalAdvance(c->windowTitle()));
  for (const char* name : {"LabelG", "LabelVp", "LabelVm", "LabelM", "LabelT", "Label_Errors"}) {
    QLabel* v = c->Value(QString::fromLatin1(name));
    QVERIFY2(v, name);
    QVERIFY2(v->isVisible(), name);
    QVERIFY2(v->height() >= v->sizeHint().height() - 1, name);
    QVERIFY2(c->rect().contains(v->mapTo(c, v->rect().bottomRight())), name);
  }
}

void TestCommands::escapeClosesAChild() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  w.Files().NewFile();
  QVERIFY(w.Actions().save->isEnabled());
  QPointer<QWidget> child = w.Mdi()->activeSubWindow()->widget();
  QTest::keyClick(child, Qt::Key_Escape);
  QTRY_VERIFY(child.isNull());
  QTRY_VERIFY(!w.Actions().save->isEnabled());
}

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
