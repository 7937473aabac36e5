#include "shot_ui.hpp"

#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QCheckBox>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <iostream>

#include "app/read_params_dialog.hpp"

namespace statvtk::shots {

using namespace statvtk::app;

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitJob(MainWindow& w, int ms) {
  if (!w.JobRunning()) return true;
  QEventLoop loop;
  QObject::connect(&w, &MainWindow::JobFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return !w.JobRunning();
}

void ShotUi::Shot(QWidget* w, const std::string& name) const {
  Settle();
  QPixmap pix;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = w->frameGeometry();
    pix = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  }
  if (pix.isNull() || pix.toImage().allGray()) pix = w->grab();
  const fs::path file = out_ / (name + ".png");
  if (!pix.save(QString::fromStdString(file.string()))) std::cerr << "statvtk-shots: cannot write " << file << "\n";
  else std::cout << file.string() << "\n";
}

void ShotUi::Inform(QWidget* p, const QString& t, const QString& x) {
  Say("inform", t, x);
  Box(p, QMessageBox::Information, t, x);
}

void ShotUi::Warn(QWidget* p, const QString& t, const QString& x) {
  Say("warn", t, x);
  Box(p, QMessageBox::Warning, t, x);
}

bool ShotUi::Ask(QWidget*, const QString& t, const QString& x) {
  Say("ask", t, x);
  return false;
}

int ShotUi::RunDialog(QDialog& d) {
  d.show();
  d.raise();
  if (auto* scan = qobject_cast<ScanDialog*>(&d)) Search(*scan);
  auto* p = qobject_cast<ReadParamsDialog*>(&d);
  if (p) {
    p->RadioAll()->click();
    for (QCheckBox* c : {p->CheckHourly(), p->CheckDaily(), p->CheckMonthly(), p->CheckEvents()})
      if (!c->isChecked()) c->click();
  }
  if (!nextDialog.empty() && main) Shot(main, nextDialog);
  nextDialog.clear();
  if (p) {
    p->accept();
    return QDialog::Accepted;
  }
  d.reject();
  return QDialog::Rejected;
}

bool ShotUi::OpenExternally(const QUrl& url) {
  std::cout << "report: " << url.toLocalFile().toStdString() << "\n";
  return true;
}

// A message box pictured over the main window, then closed.
void ShotUi::Box(QWidget* parent, QMessageBox::Icon icon, const QString& t, const QString& x) {
  if (nextBox.empty() || !main) return;
  QMessageBox box(icon, t, x, QMessageBox::Ok, parent);
  box.show();
  Shot(main, nextBox);
  nextBox.clear();
}

// The scan window with a finished search over the first addresses, the
// first instrument found chosen.
void ShotUi::Search(ScanDialog& scan) {
  scan.FirstAddress()->setValue(1);
  scan.LastAddress()->setValue(4);
  QEventLoop loop;
  QObject::connect(&scan, &ScanDialog::SearchFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  scan.StartSearch();
  loop.exec();
  if (scan.Table()->rowCount() > 0) scan.Table()->selectRow(0);
}

void ShotUi::Say(const char* kind, const QString& t, const QString& x) {
  std::cerr << kind << ": " << t.toStdString() << ": " << x.toStdString() << "\n";
}

}  // namespace statvtk::shots
