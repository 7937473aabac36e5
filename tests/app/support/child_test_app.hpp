// A stand-in main window for child-window tests: it records what a child asks
// of the frame and answers the UI seam from the test's script, so nothing
// waits for a person or starts another program.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_services.hpp"
#include "app/ui_seam.hpp"
#include "base/ini_file.hpp"
#include "stats/stat_image.hpp"

namespace childtest {

using namespace statvtk;
using namespace statvtk::app;

struct SeamCall {
  QString kind;  // "Inform", "Warn", "Ask", "Save", "Open", "Folder", "Dialog", "External"
  QString title;
  QString text;
};

class ScriptedUi : public UiSeam {
 public:
  std::vector<SeamCall> calls;
  QString saveAnswer;        // what SaveFileName returns
  bool externalOk = true;    // what OpenExternally returns
  std::vector<QUrl> opened;  // what was handed to the desktop

  void Inform(QWidget*, const QString& title, const QString& text) override {
    calls.push_back({"Inform", title, text});
  }
  void Warn(QWidget*, const QString& title, const QString& text) override { calls.push_back({"Warn", title, text}); }
  bool Ask(QWidget*, const QString& title, const QString& text) override {
    calls.push_back({"Ask", title, text});
    return false;
  }
  QString OpenFileName(QWidget*, const QString& caption, const QString&, const QString&) override {
    calls.push_back({"Open", caption, {}});
    return {};
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& proposed, const QString&) override {
    calls.push_back({"Save", caption, proposed});
    return saveAnswer;
  }
  QString FolderName(QWidget*, const QString& caption, const QString&) override {
    calls.push_back({"Folder", caption, {}});
    return {};
  }
  int RunDialog(QDialog&) override {
    calls.push_back({"Dialog", {}, {}});
    return QDialog::Rejected;
  }
  bool OpenExternally(const QUrl& url) override {
    calls.push_back({"External", {}, url.toString()});
    opened.push_back(url);
    return externalOk;
  }
  int Count(const QString& kind) const;
};

class TestApp : public AppServices {
 public:
  // A fresh folder under the test's home (STATVTK_HOME, else the temp folder).
  explicit TestApp(const QString& name);

  ScriptedUi ui;
  QStringList log;
  QStringList status;
  std::vector<std::filesystem::path> results;  // every ShowResult's file
  std::vector<int> progressMax;                // every ProgressStart
  std::vector<int> progressSteps;              // every ProgressStep
  int progressFinished = 0;
  ReportSettings report;
  bool jobRunning = false;
  bool refreshAccepted = true;  // what StartCurrentRefresh answers
  int refreshRequests = 0;
  CurrentChild* refreshTarget = nullptr;
  std::function<void(CurrentChild&)> onRefresh;  // runs inside StartCurrentRefresh
  std::vector<QWidget*> eventsFor;
  int resumeRequests = 0;
  int pollingChanges = 0;
  std::function<void(int)> onProgressStep;  // runs inside a report, at each step

  UiSeam& Ui() override { return ui; }
  const std::filesystem::path& Home() const override { return home_; }
  IniFile& Settings() override { return *settings_; }
  void Log(const QString& line) override { log << line; }
  void Status(const QString& text) override { status << text; }
  void ShowResult(const QString& text, const std::filesystem::path& file) override {
    status << text;
    results.push_back(file);
  }
  void ProgressStart(int max) override { progressMax.push_back(max); }
  void ProgressStep(int pos) override;
  void ProgressFinish() override { ++progressFinished; }
  ReportSettings Report() const override { return report; }
  void OpenEventsFor(QWidget* w) override { eventsFor.push_back(w); }
  bool JobRunning() const override { return jobRunning; }
  bool StartCurrentRefresh(CurrentChild& target) override;
  bool ResumeCurrentRefresh(CurrentChild& target) override {
    ++resumeRequests;
    return StartCurrentRefresh(target);
  }
  void PollingChanged() override { ++pollingChanges; }

  bool LogHas(const QString& part) const;

 private:
  std::filesystem::path home_;
  std::unique_ptr<IniFile> settings_;
};

// A simulated instrument's statistics image of a model (seeded, so repeatable),
// with its clock at 14.06.2024 15:42:10.
StatData SimImage(DeviceType type, unsigned seed = 4242);

}  // namespace childtest
