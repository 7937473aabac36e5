// Test support for the desktop program: a UI seam that answers from a script
// and records what was shown, a fresh program home per test, and a main
// window whose jobs talk to an in-process simulated instrument.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QDialog>
#include <QRadioButton>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/child_windows.hpp"
#include "app/connection_dialog.hpp"
#include "app/app_services.hpp"
#include "app/child_area.hpp"
#include "app/file_commands.hpp"
#include "app/main_window.hpp"
#include "app/read_commands.hpp"
#include "app/setting_commands.hpp"
#include "app/read_params_dialog.hpp"
#include "app/ui_seam.hpp"
#include "sim/instrument.hpp"
#include "sim/sim_channel.hpp"

namespace statvtk::apptest {

struct Shown {
  QString kind;  // "inform", "warn", "ask"
  QString title;
  QString text;
};

class ScriptedUi : public app::UiSeam {
 public:
  void Inform(QWidget*, const QString& t, const QString& x) override { shown.push_back({"inform", t, x}); }
  void Warn(QWidget*, const QString& t, const QString& x) override { shown.push_back({"warn", t, x}); }
  bool Ask(QWidget*, const QString& t, const QString& x) override {
    shown.push_back({"ask", t, x});
    if (answers.empty()) return false;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFileName(QWidget*, const QString&, const QString& folder, const QString& filter) override {
    lastFolder = folder;
    lastFilter = filter;
    return NextFile();
  }
  QString SaveFileName(QWidget*, const QString&, const QString& proposed, const QString& filter) override {
    lastFolder = proposed;
    lastFilter = filter;
    return NextFile();
  }
  QString FolderName(QWidget*, const QString&, const QString& folder) override {
    lastFolder = folder;
    return NextFile();
  }
  int RunDialog(QDialog& d) override {
    ++dialogs;
    if (!onDialog) return QDialog::Rejected;
    return onDialog(d);
  }
  bool OpenExternally(const QUrl& url) override {
    opened.push_back(url);
    return true;
  }

  int Count(const QString& kind) const {
    int n = 0;
    for (const auto& s : shown) n += s.kind == kind;
    return n;
  }
  QString LastText() const { return shown.empty() ? QString() : shown.back().text; }

  std::vector<Shown> shown;
  std::deque<bool> answers;
  std::deque<QString> files;
  QString lastFolder, lastFilter;
  std::function<int(QDialog&)> onDialog;
  std::vector<QUrl> opened;
  int dialogs = 0;

 private:
  QString NextFile() {
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
  }
};

// A fresh program home with an optional StatVTK.ini text.
class TestHome {
 public:
  explicit TestHome(const std::string& ini = {}) {
    dir_.setAutoRemove(true);
    if (!ini.empty()) WriteText(Path() / "StatVTK.ini", ini);
  }
  std::filesystem::path Path() const { return dir_.path().toStdString(); }
  static void WriteText(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void WriteBytes(const std::filesystem::path& p, std::size_t size, std::uint8_t fill = 0) {
    std::ofstream(p, std::ios::binary) << std::string(size, static_cast<char>(fill));
  }
  std::string Ini() const {
    std::ifstream in(Path() / "StatVTK.ini", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  QTemporaryDir dir_;
};

// The statistics windows of the frame, in the order they were made.
inline std::vector<app::StatChild*> StatWindows(const app::MainWindow& w) {
  std::vector<app::StatChild*> v;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
    if (auto* c = dynamic_cast<app::StatChild*>(s->widget())) v.push_back(c);
  return v;
}

// A simulated instrument of model `t`, each reply `latencyMs` late.
inline sim::InstrumentOptions Model(DeviceType t, std::uint32_t latencyMs = 0) {
  sim::InstrumentOptions o;
  o.model = t;
  o.latencyMs = latencyMs;
  return o;
}

// Answers the connection dialog: TCP to `address`, OK; the dialog's result.
inline int AcceptTcp(QDialog& d, const QString& address) {
  auto* c = qobject_cast<app::ConnectionDialog*>(&d);
  if (!c) return QDialog::Rejected;
  c->Tcp()->setChecked(true);
  c->Address()->setText(address);
  c->accept();
  return c->result();
}

// Jobs of `w` talk to `inst` in process, with short waits.
inline void UseSimulator(app::MainWindow& w, sim::Instrument& inst) {
  w.SetJobSetup([&inst](TReadThread& job) {
    job.Hooks().channelFactory =
        ([&inst](Tmod07&) -> std::unique_ptr<ByteChannel> { return std::make_unique<sim::SimChannel>(inst); });
    job.Job().line.timing = {10, 60, 2};
    job.Hooks().waitFunction = [](std::uint32_t) {};
  });
}

// Jobs of `w` find no line: each fails at once, opening its port.
inline void NoLine(app::MainWindow& w) {
  w.SetJobSetup([](TReadThread& job) {
    job.Hooks().channelFactory = [](Tmod07&) -> std::unique_ptr<ByteChannel> { return nullptr; };
  });
}

// Answers the read parameters dialog: whole archives of every kind, OK.
inline int AcceptReadAll(QDialog& d) {
  auto* p = qobject_cast<app::ReadParamsDialog*>(&d);
  if (!p) return QDialog::Rejected;
  p->RadioAll()->click();
  for (QCheckBox* c : {p->CheckHourly(), p->CheckDaily(), p->CheckMonthly(), p->CheckEvents()})
    if (!c->isChecked()) c->click();
  p->accept();
  return p->result();
}

// Runs `w`'s statistics read and waits for its end; false on a time-out.
inline bool ReadAndWait(app::MainWindow& w, int timeoutMs = 60000) {
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadStatistics();
  if (!w.JobRunning()) return false;
  return done.wait(timeoutMs);
}

}  // namespace statvtk::apptest
