// The frame's settings commands: "Соединение...", "Поиск приборов..." (its
// choice becomes the connection settings, or a batch read), "Параметры
// отчета...", top-most mode, help and about; and the connection text on
// status panel 1.
#pragma once

#include <QPointer>
#include <memory>

#include "app/scan_dialog.hpp"

class QDialog;
class QLabel;

namespace statvtk::app {

struct FrameParts;
class ReadCommands;

class SettingCommands {
 public:
  SettingCommands(FrameParts& parts, ReadCommands& reads, QLabel& emptyState);

  void ConnectionSettingsCommand();
  void ScanCommand();
  // The scan window's choice of one instrument: its address and speed become
  // the connection settings.
  bool UseScanEntry(const ScanEntry& entry);
  void ReportParamsCommand();
  void ApplyTopMost(bool on);
  void ToggleTopMost();
  void ShowHelp();
  void ShowAbout();
  void ShowConnectionText();
  // The toolbar's address into StatVTK.ini, unless the line refuses it.
  void StoreShownAddress();
  // The search's range, speeds and findings, kept while the port stays the same.
  const ScanMemory& Scan() const { return scan_; }

 private:
  void ShowMonitorOver(QDialog& dialog);

  FrameParts& parts_;
  ReadCommands& reads_;
  QLabel& emptyState_;
  ScanMemory scan_;
  QPointer<QWidget> help_;
  bool topMost_ = false;
};

}  // namespace statvtk::app
