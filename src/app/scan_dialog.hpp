// "Поиск приборов": asks a range of addresses at the chosen speeds for their
// identification and lists the instruments as they answer. The search runs
// the reading engine's scan on a worker thread and comes back only through
// queued calls; the chosen entries leave through signals.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "link/frame_trace.hpp"
#include "link/settings.hpp"
#include "stats/device_type.hpp"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace statvtk::app {

// One instrument found: where it answered and what it said.
struct ScanEntry {
  std::uint32_t address = 0;
  std::uint32_t baud = 0;
  DeviceType type = DeviceType::dtUnknown;
  QString ident;
};

// What the search keeps between showings: its range and speeds, and its
// findings while the line (`line`, the connection text) stays the same.
struct ScanMemory {
  bool set = false;
  int first = 1, last = 32;
  std::array<bool, 5> speeds{};
  QString line;
  QList<ScanEntry> entries;
};

class ScanDialog : public QDialog {
  Q_OBJECT
 public:
  // `settings`: the connection to search on (its speed is the default choice).
  explicit ScanDialog(const ConnectionSettings& settings, QWidget* parent = nullptr);
  ~ScanDialog() override;  // stops a search still running and waits for it

  // The controls, for the front end's wiring and the tests.
  QSpinBox* FirstAddress() const { return first_; }
  QSpinBox* LastAddress() const { return last_; }
  QCheckBox* SpeedBox(std::size_t i) const { return speeds_[i]; }
  QPushButton* StartButton() const { return start_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* UseButton() const { return use_; }
  QPushButton* ReadButton() const { return read_; }
  QPushButton* MonitorButton() const { return monitor_; }
  // Why the last search found nothing (a refused setting, a line that did
  // not open, no answer); hidden when it found something.
  QLabel* Note() const { return note_; }
  QTableWidget* Table() const { return table_; }
  QProgressBar* Progress() const { return progress_; }
  bool Searching() const { return searching_; }
  const QList<ScanEntry>& Entries() const { return entries_; }

  // Starts a search with the controls' range and speeds (nothing while one
  // runs). Connection settings the line refuses start none: the note says why.
  void StartSearch();
  // Where the search's frames go (on the search's thread), for the traffic monitor.
  void SetTrace(std::function<void(const FrameTrace&)> trace) { trace_ = std::move(trace); }
  void StopSearch();

  // Takes the range and speeds of an earlier showing, and its findings when
  // they were made on this dialog's line.
  void Recall(const ScanMemory& memory);
  ScanMemory Memory() const;
  QLabel* LineText() const { return line_; }

 signals:
  // "Использовать": the chosen instrument's address and speed for the settings.
  void UseChosen(const statvtk::app::ScanEntry& entry);
  // "Прочитать выбранные": the chosen instruments, in the table's order.
  void ReadChosen(const QList<statvtk::app::ScanEntry>& entries);
  void SearchFinished(int found);
  // "Монитор обмена": the frames of the search in sight.
  void MonitorAsked();

 private:
  class Bridge;
  void AddFound(const ScanEntry& e);
  void ShowProbe(std::uint32_t address, std::uint32_t baud, int index, int total);
  void Finish(const QString& note);
  void ShowNote(const QString& text);
  void UpdateButtons();
  QList<ScanEntry> Chosen() const;
  void Join();

  ConnectionSettings settings_;
  QSpinBox* first_ = nullptr;
  QSpinBox* last_ = nullptr;
  std::array<QCheckBox*, 5> speeds_{};
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* use_ = nullptr;
  QPushButton* read_ = nullptr;
  QPushButton* monitor_ = nullptr;
  QLabel* note_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* probe_ = nullptr;
  QLabel* line_ = nullptr;  // "Линия: ..." (which port is searched)
  QTableWidget* table_ = nullptr;
  QList<ScanEntry> entries_;

  std::function<void(const FrameTrace&)> trace_;
  std::unique_ptr<Bridge> bridge_;
  std::atomic<bool> stopFlag_{false};
  bool searching_ = false;
  std::thread worker_;
};

}  // namespace statvtk::app

Q_DECLARE_METATYPE(statvtk::app::ScanEntry)
