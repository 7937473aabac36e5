// The main window's file commands: Open (exact extension), the command-line
// file and dropped files (any case), the size and folder checks, Save byte
// for byte, New, the recent list, and the message log's save.
#include <QDir>
#include <QAction>
#include <QUrl>

#include "app/log_window.hpp"
#include "app_test_util.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {

constexpr std::size_t kVst = 66560, k814 = 263168, kLdn = 526336;

// A file of `size` bytes whose every byte depends on its position.
void WritePattern(const std::filesystem::path& p, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  TestHome::WriteText(p, bytes);
}

}  // namespace

class TestFiles : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void openAndSaveRoundTrip_data();
  void openAndSaveRoundTrip();
  void wrongSizeIsRefused_data();
  void wrongSizeIsRefused();
  void openTakesOnlyLowerCaseExtensions();
  void commandLineTakesCapitalExtensionIgnoresMissingFile();
  void dropOpensEachAndStopsAtSizeError();
  void emptyActiveWindowIsReusedOnlyForItsModel();
  void saveFailureIsReported();
  void logSaveWritesLinesAndReportsFailure();
};

void TestFiles::openAndSaveRoundTrip_data() {
  QTest::addColumn<QString>("ext");
  QTest::addColumn<qulonglong>("size");
  QTest::newRow("vst") << ".vst" << qulonglong(kVst);
  QTest::newRow("814") << ".814" << qulonglong(k814);
  QTest::newRow("ldn") << ".ldn" << qulonglong(kLdn);
}

void TestFiles::openAndSaveRoundTrip() {
  QFETCH(QString, ext);
  QFETCH(qulonglong, size);
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  const auto source = home.Path() / ("in" + ext.toStdString());
  WritePattern(source, size);
  ui.files.push_back(QString::fromStdString(source.string()));
  w.Files().OpenCommand();
  QCOMPARE(StatWindows(w).size(), std::size_t(1));
  QCOMPARE(StatWindows(w).front()->Widget()->windowTitle(),
           QStringLiteral("Статистика - ") + QString::fromStdString(source.filename().string()));
  // Every statistics file is offered first.
  QVERIFY2(ui.lastFilter.startsWith(QStringLiteral("Файлы статистики (*.vst *.814 *.ldn);;")),
           qPrintable(ui.lastFilter));

  // Saved under a name without extension: the model's own is added.
  const auto saved = home.Path() / "out";
  ui.files.push_back(QString::fromStdString(saved.string()));
  w.Files().SaveCommand();
  const auto savedFile = home.Path() / ("out" + ext.toStdString());
  QVERIFY(ui.shown.empty());
  QVERIFY(TestHome::ReadBytes(savedFile) == TestHome::ReadBytes(source));
  // The save dialog offers the window's own model first.
  QVERIFY(ui.lastFilter.startsWith(ext == ".vst"   ? "Файлы статистики 0812"
                                   : ext == ".814" ? "Файлы статистики 0814"
                                                   : "Файлы статистики LDN"));
  QCOMPARE(w.RecentFiles().front(), QDir::toNativeSeparators(QString::fromStdString(savedFile.string())));
}

void TestFiles::wrongSizeIsRefused_data() {
  QTest::addColumn<QString>("ext");
  QTest::addColumn<qlonglong>("size");  // -1: a folder of that name
  QTest::addColumn<QString>("before");
  QTest::addColumn<QString>("after");
  const QString file = QStringLiteral("Ошибка - файл "), size = QStringLiteral(" имеет неверный размер.");
  QTest::newRow("vst one short") << ".vst" << qlonglong(kVst - 1) << file << size;
  QTest::newRow("vst one long") << ".vst" << qlonglong(kVst + 1) << file << size;
  QTest::newRow("ldn of 814 size") << ".ldn" << qlonglong(k814) << file << size;
  QTest::newRow("empty 814") << ".814" << qlonglong(0) << file << size;
  QTest::newRow("folder") << ".vst" << qlonglong(-1) << "Ошибка - "
                          << " - это папка, а не файл.";
}

void TestFiles::wrongSizeIsRefused() {
  QFETCH(QString, ext);
  QFETCH(qlonglong, size);
  QFETCH(QString, before);
  QFETCH(QString, after);
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  const auto file = home.Path() / ("bad" + ext.toStdString());
  if (size < 0) std::filesystem::create_directories(file);
  else TestHome::WriteBytes(file, std::size_t(size));
  ui.files.push_back(QString::fromStdString(file.string()));
  w.Files().OpenCommand();
  QVERIFY(StatWindows(w).empty());
  QCOMPARE(ui.Count("warn"), 1);
  QCOMPARE(ui.LastText(), before + QDir::toNativeSeparators(QString::fromStdString(file.string())) + after);
}

void TestFiles::openTakesOnlyLowerCaseExtensions() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  const auto file = home.Path() / "CAPS.VST";
  WritePattern(file, kVst);
  ui.files.push_back(QString::fromStdString(file.string()));
  w.Files().OpenCommand();
  QVERIFY(StatWindows(w).empty());
  QVERIFY(ui.shown.empty());  // ignored without a message
  // The dialog starts in the home's Data folder.
  QCOMPARE(ui.lastFolder, QString::fromStdString((home.Path() / "Data").string()));
}

void TestFiles::commandLineTakesCapitalExtensionIgnoresMissingFile() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.OpenFromCommandLine({QString::fromStdString((home.Path() / "none.vst").string())});
  w.OpenFromCommandLine({});
  QVERIFY(StatWindows(w).empty());
  QVERIFY(ui.shown.empty());
  const auto file = home.Path() / "CAPS.LDN";
  WritePattern(file, kLdn);
  w.OpenFromCommandLine({QString::fromStdString(file.string())});
  QCOMPARE(StatWindows(w).size(), std::size_t(1));
  QCOMPARE(StatWindows(w).front()->Model(), DeviceType::dtLDN08);
}

void TestFiles::dropOpensEachAndStopsAtSizeError() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  const auto a = home.Path() / "a.VST", skip = home.Path() / "notes.txt", bad = home.Path() / "bad.814",
             after = home.Path() / "after.ldn";
  WritePattern(a, kVst);
  TestHome::WriteText(skip, "text");
  TestHome::WriteBytes(bad, 10);
  WritePattern(after, kLdn);
  w.Files().OpenDropped({QUrl::fromLocalFile(QString::fromStdString(a.string())),
                         QUrl::fromLocalFile(QString::fromStdString(skip.string())),
                         QUrl::fromLocalFile(QString::fromStdString(bad.string())),
                         QUrl::fromLocalFile(QString::fromStdString(after.string()))});
  QCOMPARE(StatWindows(w).size(), std::size_t(1));  // a.VST only: the rest abandoned after bad.814
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().contains(QDir::toNativeSeparators(QString::fromStdString(bad.string()))));
}

void TestFiles::emptyActiveWindowIsReusedOnlyForItsModel() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.Files().NewFile();  // "Статистика 1", an empty VTK-08.12 window
  const auto f814 = home.Path() / "x.814", fvst = home.Path() / "x.vst", fvst2 = home.Path() / "y.vst";
  WritePattern(f814, k814);
  WritePattern(fvst, kVst);
  WritePattern(fvst2, kVst);
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(f814.string()), ExtensionRule::Exact));
  QCOMPARE(StatWindows(w).size(), std::size_t(2));  // another model: a new window
  QVERIFY(!StatWindows(w)[0]->Loaded());
  // Make the empty one active again: it takes the .vst file.
  w.Mdi()->setActiveSubWindow(w.Mdi()->subWindowList(QMdiArea::CreationOrder)[1]);
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(fvst.string()), ExtensionRule::Exact));
  QCOMPARE(StatWindows(w).size(), std::size_t(2));
  QVERIFY(StatWindows(w)[0]->Loaded());
  // A loaded window is never refilled.
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(fvst2.string()), ExtensionRule::Exact));
  QCOMPARE(StatWindows(w).size(), std::size_t(3));
  QVERIFY(StatWindows(w)[0]->Data().area == StatWindows(w)[2]->Data().area);
}

void TestFiles::saveFailureIsReported() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  ui.files.push_back(QString::fromStdString((home.Path() / "out.vst").string()));
  w.Files().SaveCommand();  // the message log is the only (active) child: no dialog, nothing written
  QVERIFY(!std::filesystem::exists(home.Path() / "out.vst"));
  QCOMPARE(ui.files.size(), std::size_t(1));
  const auto file = home.Path() / "in.vst";
  WritePattern(file, kVst);
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  const auto target = home.Path() / "missing-folder" / "out.vst";
  ui.files = {QString::fromStdString(target.string())};
  w.Files().SaveCommand();
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().contains(QString::fromStdString(target.string())));
  QVERIFY(!std::filesystem::exists(target));
}

void TestFiles::logSaveWritesLinesAndReportsFailure() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.Services().Log(QStringLiteral("первая"));
  w.Services().Log(QString());  // adds nothing
  w.Services().Log(QStringLiteral("вторая"));
  QCOMPARE(int(w.Messages()->Log().Lines().size()), 2);
  const auto file = home.Path() / "saved.log";
  ui.files.push_back(QString::fromStdString(file.string()));
  w.Messages()->Save();
  // The proposal lies in the home's logs/ with the stat61x name.
  QVERIFY(ui.lastFolder.startsWith(QString::fromStdString((home.Path() / "logs" / "stat61x-").string())));
  QVERIFY(ui.lastFolder.endsWith(".log"));
  const auto bytes = TestHome::ReadBytes(file);
  const std::string text(bytes.begin(), bytes.end());
  QVERIFY(text.find("]  первая") != std::string::npos);
  QVERIFY(text.find("]  вторая") != std::string::npos);
  QVERIFY(text.find("первая") < text.find("вторая"));

  const QString target = QString::fromStdString((home.Path() / "no-such" / "x.log").string());
  ui.files.push_back(target);
  w.Messages()->Save();
  QCOMPARE(ui.Count("warn"), 1);
  QCOMPARE(ui.LastText().count(QStringLiteral("Не удалось сохранить протокол")), 1);  // named once
  QVERIFY(ui.LastText().contains(target));

  // Cleared, then saved: an empty file.
  w.Messages()->Clear();
  ui.files.push_back(QString::fromStdString(file.string()));
  w.Messages()->Save();
  QVERIFY(TestHome::ReadBytes(file).empty());
}

QTEST_MAIN(TestFiles)
#include "test_files.moc"
