// The child windows the main window makes and talks to: statistics windows
// (one class per model), current readings, events, abnormal situations and
// technical information.
// Each window class derives from QWidget and from its interface here; the
// makers are defined beside the window classes.
#pragma once

#include <QString>
#include <cstdint>
#include <span>
#include <string>

#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"

class QWidget;

namespace statvtk::app {

class AppServices;

// A statistics window of one model.
class StatChild {
 public:
  virtual ~StatChild() = default;
  virtual QWidget* Widget() = 0;
  // The model of the file type it shows (dtVTK0812, dtVTK0814C/CM, dtLDN08).
  virtual DeviceType Model() const = 0;
  // Set once a file or a reading has filled it; a loaded window is never refilled.
  virtual bool Loaded() const = 0;
  // Takes its own copy of the image, sets the loaded flag, indexes the
  // records, fills the list and the current values.
  virtual void Load(const StatData& data) = 0;
  // Its own image (for Save and the events window).
  virtual const StatData& Data() const = 0;
  // The window's report command (what its report button does).
  virtual void MakeReport() = 0;
  // True while a report runs: the window refuses to close.
  virtual bool Busy() const = 0;
  // After a read that stopped or failed: shows a kind that has records
  // (hourly when there are no daily ones) and says how many it holds of each.
  virtual void ShowWhatIsHeld() = 0;
  // How many records look damaged, as a warning; empty when none do.
  virtual QString DamageWarning() const = 0;
  // How many stored records failed their checksum or date check and are
  // left out, by kind; empty when none are.
  virtual QString LeftOutText() const = 0;
  // Shows the hours from..to (calendar seconds of the starts of the first
  // and last hour): within one listed day, that day in the hourly mode with
  // those hours' rows of the values table selected; else the days in the
  // daily mode.
  virtual void ShowHours(long long from, long long to) = 0;
};

// A current-readings window ("Текущие показания").
class CurrentChild {
 public:
  virtual ~CurrentChild() = default;
  virtual QWidget* Widget() = 0;
  // A finished read of the current values: decode and show them.
  virtual void ShowCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) = 0;
  // A refresh its timer asked for ended without data; `reason` says why.
  virtual void RefreshFailed(const QString& reason) = 0;
  // True while it polls: its timer runs or its read is going on.
  virtual bool Polling() const = 0;
  // "Остановить чтение": the timer stops and the window says so, with a way
  // to resume; ResumePolling reads at once and then polls again.
  virtual void StopPolling() = 0;
  virtual void ResumePolling() = 0;
};

// The makers (ownership passes to the caller's QMdiArea through Qt parenting).
// Statistics window of a model (both VTK-08.14 executions share a class).
StatChild* MakeStatChild(DeviceType type, AppServices& app);
CurrentChild* MakeCurrentChild(AppServices& app);
// The events of a statistics window's image.
QWidget* MakeEventsWindow(const StatChild& stat, AppServices& app);
// "Нештатные ситуации" of a statistics window's image; a click on a
// situation shows its hours in that window.
QWidget* MakeSituationsWindow(StatChild& stat, AppServices& app);
// The technical information of a header block.
QWidget* MakeTechInfoWindow(std::span<const std::uint8_t> header, DeviceType type, AppServices& app);

}  // namespace statvtk::app
