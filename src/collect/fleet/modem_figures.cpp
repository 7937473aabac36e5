#include "collect/fleet/modem_figures.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "collect/http/metrics.hpp"

namespace statvtk::collect {

namespace {

int LocalDay(std::chrono::system_clock::time_point at) {
  const std::time_t t = std::chrono::system_clock::to_time_t(at);
  std::tm tm{};
  localtime_r(&t, &tm);
  return (tm.tm_year + 1900) * 1000 + tm.tm_yday;
}

std::string Labels(const ModemFigure& m) {
  return "pool=\"" + LabelValue(m.pool) + "\",device=\"" + LabelValue(m.device) + "\"";
}

}  // namespace

ModemFigure& ModemFigures::Of(const std::string& pool, const std::string& device) {
  for (auto& m : modems_)
    if (m.pool == pool && m.device == device) return m;
  ModemFigure m;
  m.pool = pool;
  m.device = device;
  modems_.push_back(std::move(m));
  return modems_.back();
}

void ModemFigures::Add(const std::string& pool, const std::string& device) {
  const std::scoped_lock lock(mutex_);
  Of(pool, device);
}

void ModemFigures::Call(const std::string& pool, const std::string& device, const std::string& outcome, bool connected,
                        double seconds, std::chrono::system_clock::time_point at) {
  const std::scoped_lock lock(mutex_);
  const int day = LocalDay(at);
  if (day != today_) {
    for (auto& m : modems_) m.callsToday = m.connectedToday = 0, m.secondsToday = 0;
    today_ = day;
  }
  ModemFigure& m = Of(pool, device);
  ++m.calls[outcome];
  m.connectedSeconds += seconds;
  ++m.callsToday;
  if (connected) ++m.connectedToday;
  m.secondsToday += seconds;
}

void ModemFigures::SetAside(const std::string& pool, const std::string& device, bool aside, const std::string& why) {
  const std::scoped_lock lock(mutex_);
  ModemFigure& m = Of(pool, device);
  m.setAside = aside;
  m.setAsideWhy = aside ? why : std::string();
}

std::vector<ModemFigure> ModemFigures::All() const {
  const std::scoped_lock lock(mutex_);
  std::vector<ModemFigure> out = modems_;
  if (LocalDay(std::chrono::system_clock::now()) != today_)
    for (auto& m : out) m.callsToday = m.connectedToday = 0, m.secondsToday = 0;
  return out;
}

std::string ModemMetricsText(const std::vector<ModemFigure>& modems) {
  if (modems.empty()) return {};
  std::string out =
      "# HELP statvtk_calls_total Dials of the pools' modems since the collector started, by outcome.\n"
      "# TYPE statvtk_calls_total counter\n";
  for (const auto& m : modems)
    for (const auto& [outcome, n] : m.calls)
      out +=
          "statvtk_calls_total{" + Labels(m) + ",outcome=\"" + LabelValue(outcome) + "\"} " + std::to_string(n) + "\n";
  out +=
      "# HELP statvtk_call_seconds_total Connected seconds (CONNECT to the hang-up's OK) since the collector "
      "started.\n"
      "# TYPE statvtk_call_seconds_total counter\n";
  for (const auto& m : modems) {
    char v[32];
    std::snprintf(v, sizeof v, "%.3f", m.connectedSeconds);
    out += "statvtk_call_seconds_total{" + Labels(m) + "} " + v + "\n";
  }
  out +=
      "# HELP statvtk_modem_set_aside 1 while the modem is set aside (cannot be opened or does not answer AT).\n"
      "# TYPE statvtk_modem_set_aside gauge\n";
  for (const auto& m : modems)
    out += "statvtk_modem_set_aside{" + Labels(m) + "} " + std::string(m.setAside ? "1" : "0") + "\n";
  return out;
}

}  // namespace statvtk::collect
