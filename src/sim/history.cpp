#include "sim/history.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/history_shapes.hpp"
#include "sim/rng.hpp"

namespace statvtk::sim {

const std::vector<ArchiveRecord>& History::Records(Area a) const {
  switch (a) {
    case Area::Hourly: return hourly;
    case Area::Daily: return daily;
    case Area::Monthly: break;
    case Area::Events: break;
  }
  return monthly;
}

namespace {

// Hash streams.
enum Stream : std::uint64_t { sConfig = 1, sFlow, sLow, sHigh, sRev, sErr, sTemp, sVolt, sEvent, sPlace };

constexpr double kPi = std::numbers::pi;

// Cumulative state in full units: volumes and masses in 1e-6, counters in seconds.
struct Cumulative {
  std::uint64_t vPlus = 0, vMinus = 0, mPlus = 0, mMinus = 0;
  std::array<std::uint64_t, 4> seconds{};
};

class Generator {
 public:
  Generator(DeviceType model, std::uint64_t seed, std::uint32_t now, const MemoryShapes& shapes)
      : m_(model), seed_(seed), L_(LayoutOf(model)) {
    h_.model = model, h_.seed = seed, h_.now = now, h_.shapes = shapes;
    nowDay_ = now / 86400;
    installDay_ = nowDay_ - 1150 - static_cast<std::uint32_t>(Hash(seed, sConfig, 1) % 100);
    t0_ = installDay_ * 86400;
    hours_ = now / 3600 - installDay_ * 24;
    PlaceAnomalies();
    PlaceShapes();
    h_.installed = t0_ + cleared_ * 3600;
    MakeConfig();
    shaped_.emplace(model, shapes, hours_, h_.config);
  }

  History Run() {
    SimulateHours();
    Keep(Area::Hourly, hourly_, clearedAt_[0], h_.hourly, h_.hourlyPointer);
    Keep(Area::Daily, daily_, clearedAt_[1], h_.daily, h_.dailyPointer);
    if (L_.monthly.count) Keep(Area::Monthly, monthly_, clearedAt_[2], h_.monthly, h_.monthlyPointer);
    MakeEvents();
    return std::move(h_);
  }

 private:
  std::uint64_t H(std::uint64_t stream, std::uint64_t i) const { return Hash(seed_, stream, i); }
  double U(std::uint64_t stream, std::uint64_t i) const { return Unit(H(stream, i)); }
  std::uint32_t HourOfDay(std::uint32_t daysAgo) const { return (nowDay_ - daysAgo - installDay_) * 24; }

  void PlaceAnomalies() {
    gap1_ = HourOfDay(8) + 2 + static_cast<std::uint32_t>(H(sPlace, 1) % 18), gap1Len_ = 3;
    gap2_ = HourOfDay(20) + 1 + static_cast<std::uint32_t>(H(sPlace, 2) % 22);
    dup_ = HourOfDay(5) + 1 + static_cast<std::uint32_t>(H(sPlace, 3) % 21);
    badHour_ = HourOfDay(12) + static_cast<std::uint32_t>(H(sPlace, 4) % 24);
    badDay_ = nowDay_ - 100 - static_cast<std::uint32_t>(H(sPlace, 5) % 30) - installDay_;
    settingsHour_ = HourOfDay(30) + 11;
    resetHour_ = HourOfDay(200) + 9;
  }

  bool Off(std::uint32_t h) const { return (h >= gap1_ && h < gap1_ + gap1Len_) || h == gap2_ || shaped_->Off(h); }

  // The hour whose record was written `ago` hours before now (kNone: before the installation).
  std::uint32_t HourAgo(std::uint32_t ago) const { return ago < hours_ ? hours_ - 1 - ago : kNone; }

  void PlaceShapes() {
    const MemoryShapes& s = h_.shapes;
    if (s.clockReset && s.clockReset->hours > 0 && HourAgo(s.clockReset->ago) != kNone) {
      resetTo_ = HourAgo(s.clockReset->ago) + 1;
      resetFrom_ = resetTo_ - std::min(s.clockReset->hours, resetTo_);
    }
    if (s.clockBack) clockBack_ = HourAgo(*s.clockBack);
    if (s.badYear) badYear_ = HourAgo(*s.badYear);
    if (s.historyHours && *s.historyHours < hours_) cleared_ = hours_ - *s.historyHours;
  }

  bool InReset(std::uint32_t h) const { return h >= resetFrom_ && h < resetTo_; }

  // The start of hour h by the instrument's clock: from 2000-01-01 00:00 during a reset.
  std::uint32_t ClockAt(std::uint32_t h) const {
    return InReset(h) ? kFirstDeviceTime + (h - resetFrom_) * 3600 : t0_ + h * 3600;
  }

  void MakeConfig() {
    DeviceConfig& c = h_.config;
    c.serialNumber = 10000000 + static_cast<std::uint32_t>(H(sConfig, 2) % 90000000);
    c.serial = std::to_string(c.serialNumber);
    const auto flows = NominalFlows(m_);
    c.diameterCode = static_cast<std::uint8_t>(1 + H(sConfig, 3) % (flows.size() - 1));
    c.diameter = NominalDiameters(m_)[c.diameterCode];
    c.nominalFlow = flows[c.diameterCode];
    static constexpr std::uint8_t kFmax[] = {25, 50, 100};
    c.fmaxCode = kFmax[H(sConfig, 4) % 3];
    const double fmax = c.fmaxCode * 2000.0 / 100.0;
    c.kv = static_cast<float>(std::round(c.nominalFlow * 1000.0 / 3600.0 / fmax * 10000.0) / 10000.0);
    c.gminCode = 40;
    c.gmaxCode = 120;
    c.gmin = c.gminCode * c.nominalFlow / 10000.0;
    c.gmax = c.gmaxCode * c.nominalFlow / 100.0;
    c.calibration = {static_cast<float>(1.0 + (U(sConfig, 5) - 0.5) * 0.05),
                     static_cast<float>(1.0 + (U(sConfig, 6) - 0.5) * 0.05),
                     static_cast<float>(10.0 + U(sConfig, 7) * 5.0)};
    c.setting1 = 0x03, c.setting2 = 0x41;
  }

  HourFlow Flow(std::uint32_t h) const {
    HourFlow f;
    const DeviceConfig& c = h_.config;
    const std::uint32_t start = t0_ + h * 3600;
    const CivilTime t = DeviceTimeToCivil(start);
    const double doy = (start / 86400) % 365;
    const double season = std::cos(2 * kPi * (doy - 15) / 365);
    const double day = std::max(0.15, 0.55 + 0.45 * std::sin(kPi * (t.hour - 6) / 12.0));
    double q = c.nominalFlow * 0.3 * day * (1 + 0.2 * season) * (0.85 + 0.3 * U(sFlow, h));
    f.seconds[0] = 3600;
    if (t.hour < 6 && U(sLow, h) < 0.03) {
      q = c.gmin * (0.2 + 0.6 * U(sLow, h + 1000000));
      f.seconds[2] = 3600, f.causes |= kGmin;
    } else if (U(sLow, h + 2000000) < 0.02) {
      f.seconds[2] = 300 + static_cast<std::uint32_t>(H(sLow, h + 3000000) % 1500), f.causes |= kGmin;
      q *= 0.8;
    }
    if (U(sHigh, h) < 0.003) f.seconds[3] = 60 + static_cast<std::uint32_t>(H(sHigh, h + 1) % 540), f.causes |= kGmax;
    if (U(sErr, h) < 0.005) {
      f.seconds[1] = 10 + static_cast<std::uint32_t>(H(sErr, h + 1) % 890);
      const std::uint64_t which = H(sErr, h + 2) % 3;
      std::uint16_t cause = which == 0   ? (m_ == DeviceType::dtLDN08 ? kAir : kExcitation)
                            : which == 1 ? kEmptyPipe
                                         : kTempSensor;
      if (m_ == DeviceType::dtVTK0812) cause = kExcitation;  // the only fault it flags
      f.causes |= cause;
      q *= 1.0 - f.seconds[1] / 3600.0;
    }
    f.q = q;
    f.temperature = 55 + 12 * season + 2 * std::sin(2 * kPi * (t.hour - 8) / 24.0) + (U(sTemp, h) - 0.5);
    f.voltage = 3.62 - 0.00005 * (h / 24) + (U(sVolt, h) - 0.5) * 0.02;
    f.dvPlus = static_cast<std::uint64_t>(std::llround(q * 1e6));
    if (U(sRev, h) < 0.01) {
      f.dvMinus = 5000 + H(sRev, h + 1) % 195000, f.causes |= kReverse;
    }
    const double rho = Density(f.temperature);
    f.dmPlus = static_cast<std::uint64_t>(std::llround(static_cast<double>(f.dvPlus) * rho));
    f.dmMinus = static_cast<std::uint64_t>(std::llround(static_cast<double>(f.dvMinus) * rho));
    shaped_->Apply(h, f);
    return f;
  }

  Totals Stored(const Cumulative& c) const {
    Totals t{c.vPlus, c.vMinus, c.mPlus, c.mMinus, {}};
    const bool is12 = m_ == DeviceType::dtVTK0812;
    if (m_ == DeviceType::dtVTK0812 || m_ == DeviceType::dtLDN08) t.mPlus = t.mMinus = 0;
    for (int i = 0; i < 4; ++i) t.counters[i] = static_cast<std::uint32_t>(is12 ? c.seconds[i] / 36 : c.seconds[i]);
    return t;
  }

  struct Period {
    std::uint16_t causes = 0;
    double tempSum = 0, voltSum = 0;
    int hours = 0;
  };

  void Write(std::vector<ArchiveRecord>& out, Area area, std::uint32_t start, std::uint32_t lengthHours,
             const Period& p, bool invalid, bool duplicate) {
    ArchiveRecord r;
    r.area = area;
    r.periodStart = start;
    r.start = DeviceTimeToCivil(start);
    r.totals = Stored(cum_);
    const Totals& prev = out.empty() ? initial_ : out.back().totals;
    r.increments = {r.totals.vPlus - prev.vPlus,
                    r.totals.vMinus - prev.vMinus,
                    r.totals.mPlus - prev.mPlus,
                    r.totals.mMinus - prev.mMinus,
                    {}};
    for (int i = 0; i < 4; ++i) r.increments.counters[i] = r.totals.counters[i] - prev.counters[i];
    const int n = std::max(p.hours, 1);
    r.temperature = static_cast<float>(std::round(p.tempSum / n * 100) / 100);
    r.voltage = static_cast<float>(std::round(p.voltSum / n * 1000) / 1000);
    r.meanFlow = static_cast<float>(static_cast<double>(r.increments.vPlus) / 1e6 / lengthHours);
    r.causes = p.causes;
    r.flags = StoredFlags(m_, p.causes);
    r.hourMark = m_ == DeviceType::dtVTK0812 && area == Area::Hourly && (p.causes & kPowerOff);
    r.invalid = invalid, r.duplicate = duplicate;
    r.sequence = out.size();
    out.push_back(r);
  }

  void SimulateHours() {
    cum_.vPlus = (1000 + H(sConfig, 10) % 50000) * 1000000ull + H(sConfig, 11) % 1000000;
    cum_.vMinus = H(sConfig, 12) % 5000000;
    cum_.mPlus = cum_.vPlus * 98 / 100, cum_.mMinus = cum_.vMinus * 98 / 100;
    cum_.seconds = {3600ull * (100 + H(sConfig, 13) % 5000), 600, 7200, 300};
    initial_ = Stored(cum_);
    Period day, month, hour;
    bool wasOff = false;
    for (std::uint32_t h = 0; h < hours_; ++h) {
      if (h == cleared_) clearedAt_ = {hourly_.size(), daily_.size(), monthly_.size()};
      const std::uint32_t start = ClockAt(h);
      const RecordShape shape = InReset(h) ? RecordShape::ClockReset : RecordShape::None;
      if (Off(h)) {
        wasOff = true;
      } else {
        const HourFlow f = Flow(h);
        Add(f);
        hour = {static_cast<std::uint16_t>(f.causes | (wasOff ? kPowerOff : 0) | (h == settingsHour_ ? kSettings : 0)),
                f.temperature, f.voltage, 1};
        wasOff = false;
        for (Period* p : {&day, &month}) {
          p->causes |= hour.causes, p->tempSum += f.temperature, p->voltSum += f.voltage, ++p->hours;
        }
        Write(hourly_, Area::Hourly, start, 1, hour, h == badHour_, false);
        hourly_.back().shape = h == badYear_ ? RecordShape::BadYear : shape;
        if (h == dup_) {  // the clock was set back 40 s just after the hour: the hour closes twice
          const std::uint64_t dv = static_cast<std::uint64_t>(std::llround(f.q * 1e6 * 40 / 3600));
          cum_.vPlus += dv, cum_.mPlus += static_cast<std::uint64_t>(std::llround(dv * Density(f.temperature)));
          cum_.seconds[0] += 40;
          Write(hourly_, Area::Hourly, start, 1, {0, f.temperature, f.voltage, 1}, false, true);
          hourly_.back().shape = shape;
        }
        if (h == clockBack_) RepeatHour(f, start, day, month);
        if (h == resetHour_) h_.current.atReset = Stored(cum_);
      }
      const CivilTime end = DeviceTimeToCivil(start + 3600);
      if (end.hour == 0) {
        const std::uint32_t dayStart = start + 3600 - 86400;
        Write(daily_, Area::Daily, dayStart, 24, day, h / 24 == badDay_, false);
        daily_.back().shape = shape;
        day = {};
        if (end.day == 1) {
          const CivilTime d = DeviceTimeToCivil(dayStart);
          const auto mStart = static_cast<std::uint32_t>(CivilToDeviceTime(d.year, d.month, 1));
          Write(monthly_, Area::Monthly, mStart, (start + 3600 - mStart) / 3600, month, false, false);
          monthly_.back().shape = shape;
          month = {};
        }
      }
    }
    MakeCurrent();
  }

  // The clock set back an hour just after the hour closed: the hour runs again
  // and closes a second time, another hour's flow in its totals.
  void RepeatHour(const HourFlow& f, std::uint32_t start, Period& day, Period& month) {
    Add(f);
    for (Period* p : {&day, &month}) p->tempSum += f.temperature, p->voltSum += f.voltage, ++p->hours;
    Write(hourly_, Area::Hourly, start, 1, {0, f.temperature, f.voltage, 1}, false, true);
    hourly_.back().shape = RecordShape::ClockBack;
  }

  void Add(const HourFlow& f) {
    cum_.vPlus += f.dvPlus, cum_.vMinus += f.dvMinus, cum_.mPlus += f.dmPlus, cum_.mMinus += f.dmMinus;
    for (int i = 0; i < 4; ++i) cum_.seconds[i] += f.seconds[i];
  }

  void MakeCurrent() {
    const HourFlow f = Flow(hours_);
    const double frac = (h_.now % 3600) / 3600.0;
    Cumulative c = cum_;
    c.vPlus += static_cast<std::uint64_t>(std::llround(f.dvPlus * frac));
    c.mPlus += static_cast<std::uint64_t>(std::llround(f.dmPlus * frac));
    c.seconds[0] += h_.now % 3600;
    CurrentState& s = h_.current;
    s.totals = Stored(c);
    s.operatingSeconds = static_cast<std::uint32_t>(c.seconds[0]);
    s.flow = static_cast<float>(f.q);
    s.temperature = static_cast<float>(f.temperature);
    s.massFlow = static_cast<float>(f.q * Density(f.temperature));
    s.voltage = static_cast<float>(f.voltage);
    s.ldnStatus = 0;
  }

  // Only the newest `count` writes since the archive was cleared (write number
  // `cleared`) survive in a circular area; slot = write number since then mod count.
  void Keep(Area area, std::vector<ArchiveRecord>& all, std::size_t cleared, std::vector<ArchiveRecord>& out,
            std::uint32_t& pointer) {
    const AreaLayout& a = L_.Of(area);
    const std::size_t from = std::max(cleared, all.size() > a.count ? all.size() - a.count : 0);
    out.assign(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    for (auto& r : out) {
      r.sequence -= cleared;
      r.slot = static_cast<std::uint32_t>(r.sequence % a.count);
      r.address = a.Address(r.slot);
    }
    pointer = out.empty() ? a.first : out.back().address;
  }

  void AddEvent(std::vector<EventRecord>& list, std::uint32_t time, std::uint32_t kinds) {
    if (time >= h_.now || StoredEventFlags(m_, kinds) == 0) return;
    EventRecord e;
    e.time = time, e.kinds = kinds;
    list.push_back(e);
  }

  void MakeEvents() {
    std::vector<EventRecord> list;
    const std::uint32_t t0 = t0_;
    AddEvent(list, t0 + 86400 + 36000, kEvCalibration);
    AddEvent(list, t0 + 2 * 86400 + 40000, kEvInterval);
    AddEvent(list, t0 + gap1_ * 3600 + 17, kEvPowerOff);
    AddEvent(list, t0 + (gap1_ + gap1Len_) * 3600 + 42, kEvPowerOn);
    AddEvent(list, t0 + gap2_ * 3600 + 5, kEvPowerOff);
    AddEvent(list, t0 + (gap2_ + 1) * 3600 + 33, kEvPowerOn);
    AddEvent(list, t0 + (dup_ + 1) * 3600 + 30, kEvClockSet);
    AddEvent(list, t0 + settingsHour_ * 3600 + 900, kEvSettings);
    AddEvent(list, t0 + resetHour_ * 3600 + 3599, kEvReset);
    if (resetTo_ != kNone) AddEvent(list, t0 + resetTo_ * 3600 + 25, kEvClockSet);
    if (clockBack_ != kNone) AddEvent(list, t0 + (clockBack_ + 1) * 3600 + 5, kEvClockSet);
    for (const ShapedEvent& e : shaped_->Events()) AddEvent(list, t0 + e.offset, e.kinds);
    std::vector<std::uint32_t> alarms;
    if (m_ == DeviceType::dtVTK0812) alarms = {kEvGmin, kEvGmax, kEvReverse, kEvExcitation, kEvAdc};
    else if (m_ == DeviceType::dtLDN08) alarms = {kEvGmin, kEvGmax, kEvReverse, kEvEmptyPipe};
    else alarms = {kEvGmin, kEvGmax, kEvReverse, kEvExcitation, kEvEmptyPipe, kEvTemp};
    for (std::uint32_t d = 0; d <= nowDay_ - installDay_; ++d)
      if (U(sEvent, d) < 0.35)
        AddEvent(list, t0 + d * 86400 + static_cast<std::uint32_t>(H(sEvent, d + 100000) % 86400),
                 alarms[H(sEvent, d + 200000) % alarms.size()]);
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    std::erase_if(list, [this](const EventRecord& e) { return e.time < h_.installed; });  // cleared with the archives
    const AreaLayout& a = L_.events;
    const std::size_t from = list.size() > a.count ? list.size() - a.count : 0;
    for (std::size_t i = from; i < list.size(); ++i) {
      EventRecord e = list[i];
      e.sequence = i;
      e.slot = static_cast<std::uint32_t>(i % a.count);
      e.address = a.Address(e.slot);
      e.at = DeviceTimeToCivil(e.time);
      e.flags = StoredEventFlags(m_, e.kinds);
      const std::uint32_t days = (e.time - t0) / 86400;
      e.voltage = static_cast<float>(std::round((3.62 - 0.00005 * days) * 1000) / 1000);
      h_.events.push_back(e);
    }
  }

  DeviceType m_;
  std::uint64_t seed_;
  const ModelLayout& L_;
  History h_;
  static constexpr std::uint32_t kNone = UINT32_MAX;

  std::uint32_t nowDay_ = 0, installDay_ = 0, hours_ = 0, t0_ = 0;
  std::uint32_t gap1_ = 0, gap1Len_ = 0, gap2_ = 0, dup_ = 0, badHour_ = 0, badDay_ = 0, settingsHour_ = 0,
                resetHour_ = 0;
  // Shaped hours (kNone: none): the reset's [resetFrom_, resetTo_), the hour
  // closed twice, the record with the bad year, the first hour after clearing.
  std::uint32_t resetFrom_ = kNone, resetTo_ = kNone, clockBack_ = kNone, badYear_ = kNone, cleared_ = 0;
  std::array<std::size_t, 3> clearedAt_{};  // writes before the clearing: hourly, daily, monthly
  std::optional<ShapedHours> shaped_;       // the consumption, state and event shapes
  Cumulative cum_;
  Totals initial_;
  std::vector<ArchiveRecord> hourly_, daily_, monthly_;
};

}  // namespace

History GenerateHistory(DeviceType model, std::uint64_t seed, std::uint32_t now, const MemoryShapes& shapes) {
  return Generator(model, seed, now, shapes).Run();
}

}  // namespace statvtk::sim
