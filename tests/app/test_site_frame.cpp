// The frame on a site visit: the outcome of a read on screen (status panel 0
// and the result bar), child windows inside the visible area, "Закрыть все",
// captions, the exit prompt during a read, the read commands locked while the
// read parameters are asked, and a template beside the executable.
#include <QAction>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QTableWidget>
#include <QToolButton>

#include <fstream>

#include "app/events_window.hpp"
#include "app/log_window.hpp"
#include "app/path_text.hpp"
#include "app/result_bar.hpp"
#include "app/stat_window.hpp"
#include "stats/record_check.hpp"
#include <QLabel>
#include "app_test_util.hpp"
#include "base/program_home.hpp"
#include "reports/report_export.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {

// Every child window's frame lies inside the area's visible part.
bool AllInside(const app::MainWindow& w, QString* which) {
  const QRect area = w.Mdi()->viewport()->rect();
  for (QMdiSubWindow* sub : w.Mdi()->subWindowList()) {
    if (sub->isMinimized() || !sub->isVisible()) continue;
    if (!area.contains(sub->geometry())) {
      *which = sub->windowTitle() + QStringLiteral(" at %1,%2 %3x%4 in %5x%6")
                                        .arg(sub->x())
                                        .arg(sub->y())
                                        .arg(sub->width())
                                        .arg(sub->height())
                                        .arg(area.width())
                                        .arg(area.height());
      return false;
    }
  }
  return true;
}

}  // namespace

class TestSiteFrame : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void finishedReadSaysItsFileAndOffersIt();
  void childWindowsOpenInsideTheArea();
  void rememberedPlaceOutsideIsPulledIn();
  void closeAllLeavesOnlyTheMessages();
  void fileWindowIsNamedByItsFileName();
  void damagedFileOpensWithAWarning();
  void exitDuringReadAsksFirst();
  void readCommandsWaitForTheReadParameters();
  void askingIsAnInputOfTheCommandState();
  void templateBesideTheExecutableIsFound();
};

void TestSiteFrame::finishedReadSaysItsFileAndOffersIt() {
  TestHome home("[Settings]\nConnectMode=2\nSockIP=127.0.0.1\nNetAddress=3\n");
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::InstrumentOptions o = Model(DeviceType::dtVTK0814C);
  o.address = 3;
  sim::Instrument inst(o);
  app::MainWindow w(ui, home.Path());
  w.show();
  UseSimulator(w, inst);
  QVERIFY(!w.Result()->isVisibleTo(&w));
  QVERIFY(ReadAndWait(w));
  QCOMPARE(w.RecentFiles().size(), 1);
  const QString file = w.RecentFiles().front();
  QCOMPARE(w.PanelText(0), QStringLiteral("Статистика записана: ") + file);
  QVERIFY(w.Result()->isVisibleTo(&w));
  QCOMPARE(QString::fromStdString(w.Result()->File().string()), file);
  w.Result()->OpenFolderButton()->click();
  QCOMPARE(ui.opened.size(), std::size_t(1));
  QCOMPARE(ui.opened.back().toLocalFile(), QFileInfo(file).absolutePath());
  // The caption names model, serial and address.
  const auto stats = StatWindows(w);
  QCOMPARE(stats.size(), std::size_t(1));
  const QString caption = stats.front()->Widget()->windowTitle();
  QVERIFY2(caption.startsWith(QStringLiteral("Статистика - VTK-08.14 C № ")), qPrintable(caption));
  QVERIFY2(caption.endsWith(QStringLiteral(", адрес 3")), qPrintable(caption));
  QString which;
  QVERIFY2(AllInside(w, &which), qPrintable(which));
}

void TestSiteFrame::childWindowsOpenInsideTheArea() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.resize(900, 640);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const auto file = home.Path() / "in.814";
  TestHome::WriteBytes(file, 263168);
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  app::StatChild* stat = StatWindows(w).front();
  w.Services().OpenEventsFor(stat->Widget());
  w.ShowTraffic();
  w.Files().NewFile();
  w.Files().NewFile();
  QString which;
  QVERIFY2(AllInside(w, &which), qPrintable(which));
  // The events window shows its columns as far as the area is wide.
  app::EventsWindow* events = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList())
    if (auto* e = qobject_cast<app::EventsWindow*>(s->widget())) events = e;
  QVERIFY(events);
  int columns = 0;
  for (int c = 0; c < events->Grid()->columnCount(); ++c) columns += events->Grid()->columnWidth(c);
  const int area = w.Mdi()->viewport()->width();
  QVERIFY2(events->width() >= std::min(columns, area - 40),
           qPrintable(QStringLiteral("%1 of %2").arg(events->width()).arg(columns)));
  // Cascading: no two new windows at the same place.
  const auto subs = w.Mdi()->subWindowList(QMdiArea::CreationOrder);
  for (int i = 2; i < subs.size(); ++i) QVERIFY(subs[i]->pos() != subs[i - 1]->pos());
  // A smaller frame pulls them in again.
  w.resize(700, 500);
  QTest::qWait(50);
  QVERIFY2(AllInside(w, &which), qPrintable(which));
}

void TestSiteFrame::rememberedPlaceOutsideIsPulledIn() {
  TestHome home(
      "[Windows]\nStatWindowLeft=5000\nStatWindowTop=4000\nStatWindowWidth=640\nStatWindowHeight=620\n"
      "LogWindowLeft=-300\nLogWindowTop=9000\nLogWindowWidth=5000\nLogWindowHeight=200\n");
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.resize(1000, 760);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.Files().NewFile();
  QString which;
  QVERIFY2(AllInside(w, &which), qPrintable(which));
}

void TestSiteFrame::closeAllLeavesOnlyTheMessages() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  w.Files().NewFile();
  w.Files().NewFile();
  w.ShowTraffic();
  QCOMPARE(w.Mdi()->subWindowList().size(), 4);
  w.Actions().closeAll->trigger();
  QTRY_COMPARE(w.Mdi()->subWindowList().size(), 1);
  QCOMPARE(w.Mdi()->subWindowList().front(), w.MessagesFrame());
  QCOMPARE(w.Actions().closeAll->text(), QStringLiteral("Закрыть все"));
}

void TestSiteFrame::fileWindowIsNamedByItsFileName() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  // The name as UTF-8 on every system (a narrow literal is the ANSI code
  // page's on Windows), handed over as the frame gets names from a dialog.
  const auto file = home.Path() / std::filesystem::path(u8"объект 7.vst");
  TestHome::WriteBytes(file, 66560);
  QVERIFY(w.Files().OpenStatFile(app::PathText(file), ExtensionRule::Exact));
  QCOMPARE(StatWindows(w).front()->Widget()->windowTitle(), QStringLiteral("Статистика - объект 7.vst"));
}

void TestSiteFrame::damagedFileOpensWithAWarning() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  // Bytes that depend on their place only: records whose checksums pass now
  // and then, with values no instrument has.
  const auto file = home.Path() / "damaged.ldn";
  std::string bytes(526336, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  TestHome::WriteText(file, bytes);
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  auto* stat = dynamic_cast<app::StatWindow*>(StatWindows(w).front());
  QVERIFY(stat);
  const RecordCounts counts = CountRecords(stat->WindowModel().Model());
  QVERIFY(counts.damaged > 0);
  const QString expected = QString::number(counts.damaged) + QStringLiteral(" записей с невозможными значениями");
  QVERIFY2(w.PanelText(0).startsWith(QStringLiteral("Внимание: ") + expected), qPrintable(w.PanelText(0)));
  QVERIFY(stat->HeldLine()->text().startsWith(expected));
  QVERIFY(!stat->HeldLine()->isHidden());
  QVERIFY(ui.shown.empty());  // no box: a drop of many files goes on
}

void TestSiteFrame::exitDuringReadAsksFirst() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C, 3));
  auto w = std::make_unique<app::MainWindow>(ui, home.Path());
  w->show();
  UseSimulator(*w, inst);
  QSignalSpy done(w.get(), &app::MainWindow::JobFinished);
  w->Reads().ReadStatistics();
  QTRY_VERIFY_WITH_TIMEOUT(w->Progress()->value() > 2, 20000);
  // No: the read goes on.
  ui.answers = {false};
  w->Actions().exit->trigger();
  QCOMPARE(ui.shown.back().kind, QStringLiteral("ask"));
  QCOMPARE(ui.shown.back().text, QStringLiteral("Идет чтение. Прервать и выйти?"));
  QVERIFY(w->isVisible());
  QVERIFY(w->JobRunning());
  QVERIFY(!w->Jobs().StopRequested());
  // Yes: refused for now, stopped as the stop command does (what was fetched
  // is kept), then closed.
  ui.answers = {true};
  QVERIFY(!w->close());
  QVERIFY(w->isVisible());
  QVERIFY(done.wait(30000));
  QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
  QVERIFY(!w->JobRunning());
  QVERIFY(!w->RecentFiles().isEmpty());  // the part read went into its file
}

void TestSiteFrame::readCommandsWaitForTheReadParameters() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  bool readOff = false, currentOff = false, scanOff = false, readParams = false;
  ui.onDialog = [&](QDialog& d) {
    readParams = qobject_cast<app::ReadParamsDialog*>(&d) != nullptr;
    readOff = !w.Actions().read->isEnabled();
    currentOff = !w.Actions().readTek->isEnabled();
    scanOff = !w.Actions().scan->isEnabled();
    // A second read asked meanwhile starts nothing.
    w.Reads().ReadStatistics();
    return int(QDialog::Rejected);
  };
  w.Reads().ReadStatistics();
  QCOMPARE(ui.dialogs, 1);
  QVERIFY(readParams);
  QVERIFY(readOff && currentOff && scanOff);
  // Cancelled: nothing runs and the commands are back.
  QVERIFY(!w.JobRunning());
  QVERIFY(w.Actions().read->isEnabled());
  QVERIFY(w.Actions().readTek->isEnabled());
  QVERIFY(w.Actions().scan->isEnabled());
}

void TestSiteFrame::askingIsAnInputOfTheCommandState() {
  for (auto child : {app::ActiveChild::None, app::ActiveChild::LoadedStatistics, app::ActiveChild::Current}) {
    const app::CommandState c = app::DecideCommands(child, app::Activity::Idle, true, true);
    QVERIFY(!c.read && !c.readTek && !c.scan && !c.stop);
    const app::CommandState idle = app::DecideCommands(child, app::Activity::Idle, true, false);
    QVERIFY(idle.read && idle.readTek && idle.scan);
  }
}

void TestSiteFrame::templateBesideTheExecutableIsFound() {
  // A copied program carries Templates/ beside it: found before any installed one.
  TestHome home;
  const std::filesystem::path exe = QCoreApplication::applicationFilePath().toStdString();
  const auto folder = exe.parent_path() / "Templates";
  const bool existed = std::filesystem::exists(folder);
  std::filesystem::create_directories(folder);
  const auto copy = folder / "VTK0812_h.xlsx";
  std::filesystem::copy_file(BuildTemplateFolder() / "VTK0812_h.xlsx", copy,
                             std::filesystem::copy_options::overwrite_existing);
  std::vector<std::filesystem::path> tried;
  const auto found = FindTemplate(home.Path(), "VTK0812", TemplateKind::Hourly, &tried);
  std::filesystem::remove(copy);
  if (!existed) std::filesystem::remove(folder);
  QVERIFY(found);
  // Compared as the system writes paths (Qt gives the program's with '/').
  const auto native = [](std::filesystem::path p) { return app::PathText(p.make_preferred().lexically_normal()); };
  QCOMPARE(native(*found), native(copy));
  QCOMPARE(native(tried.front()), native(TemplatesFolder(home.Path()) / "VTK0812_h.xlsx"));
}

QTEST_MAIN(TestSiteFrame)
#include "test_site_frame.moc"
