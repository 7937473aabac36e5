// Failures in sight: a failed run the user started brings "Сообщения" back
// with its newest lines and says in the result bar that it failed, where and
// why; a poll's failure stays in its window; a first start says how to
// connect; "Проверить связь" says who answers, or why none did.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolButton>
#include <QToolBar>

#include "app/connection_dialog.hpp"
#include "app/current_window.hpp"
#include "app/log_window.hpp"
#include "app/result_bar.hpp"
#include "app_test_util.hpp"
#include "reading/read_text.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

class TestFailures : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void failedRunBringsMessagesBack_data();
  void failedRunBringsMessagesBack();
  void failedReadIsSaidInTheResultBar();
  void checkLinkSaysWhoAnswers();
  void messageLinesAreStampedEach();
  void pollFailureStaysInItsWindow();
  void firstStartSaysHowToConnect();
};

void TestFailures::failedRunBringsMessagesBack_data() {
  QTest::addColumn<bool>("statistics");
  QTest::newRow("read statistics") << true;
  QTest::newRow("read current") << false;
}

void TestFailures::failedRunBringsMessagesBack() {
  QFETCH(bool, statistics);
  TestHome home("[Settings]\nConnectMode=0\nPortName=/dev/ttyUSB9\n");
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  app::MainWindow w(ui, home.Path());
  w.show();
  // Enough lines that the log scrolls, then "Сообщения" closed (minimised).
  for (int i = 0; i < 60; ++i) w.Services().Log(QStringLiteral("строка %1").arg(i));
  w.MessagesFrame()->close();
  w.Files().NewFile();
  QVERIFY(w.MessagesFrame()->isMinimized());
  NoLine(w);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  if (statistics) w.Reads().ReadStatistics();
  else w.Reads().ReadCurrent();
  QVERIFY(done.wait(30000));
  QVERIFY(!w.MessagesFrame()->isMinimized());
  QCOMPARE(w.Mdi()->activeSubWindow(), w.MessagesFrame());
  QScrollBar* bar = w.Messages()->Memo()->verticalScrollBar();
  QCOMPARE(bar->value(), bar->maximum());
  // Wide enough that the failing lines are read whole.
  QVERIFY(w.Messages()->width() >= w.Messages()->NewestLinesWidth(2) - 2);
  QVERIFY(w.Messages()->Memo()->toPlainText().contains(QStringLiteral("Ошибка открытия порта /dev/ttyUSB9.")));
  QCOMPARE(w.PanelText(0), QStringLiteral("Ошибка открытия порта /dev/ttyUSB9."));
  QVERIFY(ui.shown.empty());  // told in the log, no box
}

void TestFailures::failedReadIsSaidInTheResultBar() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::InstrumentOptions o = Model(DeviceType::dtVTK0814C);
  o.silentAfter = 120;  // the header and some archive blocks, then the line is dead
  sim::Instrument inst(o);
  app::MainWindow w(ui, home.Path());
  w.show();
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadStatistics();
  QVERIFY(done.wait(30000));
  const app::ResultBar* bar = w.Result();
  QVERIFY(bar->Failed());
  const QString text = bar->FailureText();
  QVERIFY2(text.startsWith(QStringLiteral("Чтение не удалось (адрес 1, чтение ")), qPrintable(text));
  QVERIFY2(text.contains(QStringLiteral("(Тайм-аут [2])")), qPrintable(text));
  QVERIFY(bar->Message()->isVisibleTo(bar));
  QVERIFY(bar->Message()->styleSheet().contains(QStringLiteral("#b00000")));
  // What came before the failure is in its file, still offered; no success is claimed.
  QVERIFY(std::filesystem::exists(bar->File()));
  QVERIFY(bar->OpenFileButton()->isVisibleTo(bar));
  QVERIFY2(w.PanelText(0).startsWith(QStringLiteral("Записи, прочитанные до ошибки: ")), qPrintable(w.PanelText(0)));
}

void TestFailures::checkLinkSaysWhoAnswers() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Actions().check->trigger();
  QVERIFY(!w.Actions().read->isEnabled());
  QVERIFY(done.wait(30000));
  const StatData expected = inst.ExpectedDump();
  const QString serial = QString::fromStdString(
      CurrentSerialText(DeviceType::dtVTK0814C, std::span<const std::uint8_t>(expected.header).first(1024)));
  QCOMPARE(ui.Count(QStringLiteral("inform")), 1);
  const QString answer = QStringLiteral("Прибор отвечает: VTK-08.14 C № ") + serial +
                         QStringLiteral(", адрес 1\nВерсия ПО: 2.11\nИдентификация: ") +
                         QString::fromStdString(inst.IdentificationText()) + QStringLiteral("\nОтвет за ");
  QVERIFY2(ui.LastText().startsWith(answer), qPrintable(ui.LastText()));
  QVERIFY(ui.LastText().endsWith(QStringLiteral(" с.")));
  QVERIFY(w.PanelText(0).startsWith(QStringLiteral("Связь есть: VTK-08.14 C № ") + serial));
  QVERIFY(w.Children().CurrentWindows().empty());  // a check opens no window
  QVERIFY(w.Actions().techInfo->isEnabled());      // and leaves the instrument's header behind

  NoLine(w);
  w.Actions().check->trigger();
  QVERIFY(done.wait(30000));
  QCOMPARE(ui.Count(QStringLiteral("warn")), 1);
  QVERIFY2(ui.LastText().startsWith(QStringLiteral("Связь не установлена (адрес 1): Ошибка открытия порта")),
           qPrintable(ui.LastText()));
  QVERIFY(w.Result()->Failed());
}

void TestFailures::messageLinesAreStampedEach() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.Messages()->Clear();
  // A modem's answer with its echo, the dialogue's spacing, a failure with its cause.
  for (const char* m :
       {"AT\r\r\nOK", " \n-=[Попытка дозвона 1 из 3]=-\n", "Ошибка чтения\r\nДополнительная информация: x"})
    w.Messages()->AddMessage(QString::fromUtf8(m));
  std::vector<std::string> texts;
  for (const std::string& line : w.Messages()->Log().Lines()) texts.push_back(line.substr(line.find("]  ") + 3));
  QCOMPARE(texts, (std::vector<std::string>{"AT", "OK", "-=[Попытка дозвона 1 из 3]=-", "Ошибка чтения",
                                            "Дополнительная информация: x"}));
}

void TestFailures::pollFailureStaysInItsWindow() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C));
  app::MainWindow w(ui, home.Path());
  w.show();
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadCurrent();
  QVERIFY(done.wait(30000));
  app::CurrentWindow* current = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList())
    if (auto* c = qobject_cast<app::CurrentWindow*>(s->widget())) current = c;
  QVERIFY(current);
  w.MessagesFrame()->close();
  NoLine(w);
  current->Tick();
  QVERIFY(done.wait(30000));
  QVERIFY(w.MessagesFrame()->isMinimized());
  QVERIFY(current->StateLine()->text().startsWith(QStringLiteral("Ошибка обновления в ")));
  QVERIFY(current->StateLine()->styleSheet().contains(QStringLiteral("#b00000")));
  QVERIFY(current->Polling());  // the next period tries again
}

void TestFailures::firstStartSaysHowToConnect() {
  TestHome home;  // no StatVTK.ini at all
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  QVERIFY(w.EmptyStateText()->isVisibleTo(&w));
  QVERIFY(w.EmptyStateText()->text().contains(QStringLiteral("Настройки → Соединение...")));
  QVERIFY(w.PanelText(0).contains(QStringLiteral("Настройки → Соединение...")));
  bool onToolbar = false;
  for (QToolBar* bar : w.findChildren<QToolBar*>())
    onToolbar = onToolbar || bar->actions().contains(w.Actions().connection);
  QVERIFY(onToolbar);
  ui.onDialog = [](QDialog& d) { return AcceptTcp(d, QStringLiteral("127.0.0.1")); };
  w.Actions().connection->trigger();
  QVERIFY(!w.EmptyStateText()->isVisibleTo(&w));
  QVERIFY(w.PanelText(0).isEmpty());
}

QTEST_MAIN(TestFailures)
#include "test_failures.moc"
