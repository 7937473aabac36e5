// Posting the reading job's reports into the GUI thread.
#include "app/gui_observer.hpp"

#include <QMetaObject>

#include <algorithm>

namespace statvtk::app {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

GuiObserver::GuiObserver(JobSink& sink, QObject* parent) : QObject(parent), sink_(sink) {}

template <class Fn>
void GuiObserver::Post(Fn&& fn) {
  QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::QueuedConnection);
}

void GuiObserver::LogLine(const std::string& text) {
  if (text.empty()) return;
  Post([this, t = Q(text)] { sink_.JobLog(t); });
}

void GuiObserver::ShowStatus(const std::string& text) {
  Post([this, t = Q(text)] { sink_.JobStatus(t); });
}

void GuiObserver::ShowDetail(const std::string& text) {
  Post([this, t = Q(text)] { sink_.JobDetail(t); });
}

void GuiObserver::SetProgressMax(int max) {
  Post([this, max] { sink_.JobProgressMax(max); });
}

void GuiObserver::SetProgressPos(int pos) {
  Post([this, pos] { sink_.JobProgressPos(pos); });
}

void GuiObserver::DisableControls() {
  Post([this] { sink_.JobDisableControls(); });
}

void GuiObserver::EnableControls() {
  Post([this] { sink_.JobEnableControls(); });
}

void GuiObserver::DeliverStatistics(const StatData& data, const std::string& caption) {
  Post([this, data, c = Q(caption)] { sink_.JobStatistics(data, c); });
}

void GuiObserver::DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type,
                                 const std::string& serial) {
  std::array<std::uint8_t, 1024> copy{};
  std::copy(block.begin(), block.end(), copy.begin());
  Post([this, copy, type, s = Q(serial)] { sink_.JobCurrent(copy, type, s); });
}

void GuiObserver::StatisticsFileWritten(const std::filesystem::path& path) {
  Post([this, p = Q(path.string())] { sink_.JobFileWritten(p); });
}

void GuiObserver::StatisticsFileFailed(const std::filesystem::path& path, const std::string& error) {
  Post([this, p = Q(path.string()), e = Q(error)] { sink_.JobFileFailed(p, e); });
}

void GuiObserver::Trace(const FrameTrace& frame) {
  if (!tracing_.load(std::memory_order_relaxed)) return;
  TrafficEntry e;
  e.when = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(frame.when.time_since_epoch()).count());
  e.direction = frame.direction;
  e.bytes = QByteArray(reinterpret_cast<const char*>(frame.bytes.data()), static_cast<qsizetype>(frame.bytes.size()));
  e.result = frame.result;
  Post([this, e] { sink_.JobTraffic(e); });
}

}  // namespace statvtk::app
