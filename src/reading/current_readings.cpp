#include "reading/current_readings.hpp"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "base/device_values.hpp"

namespace statvtk {

namespace {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[160];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

using Block = std::span<const std::uint8_t, 1024>;

float BeFloat(Block b, std::size_t at) { return DeviceFloat(b.subspan(at, 4)); }
std::uint64_t BeUInt(Block b, std::size_t at, std::size_t n) { return DeviceUInt(b.subspan(at, n)); }
float LeFloat(Block b, std::size_t at) { return LittleFloat(b.subspan(at, 4)); }
std::uint32_t LeUInt(Block b, std::size_t at) { return LittleUInt32(b.subspan(at, 4)); }

// A pair value: a 32-bit whole part and a single fraction behind it.
struct Pair {
  std::uint32_t whole;
  float frac;
  double Value() const { return static_cast<double>(whole) + static_cast<double>(frac); }
};
Pair BePair(Block b, std::size_t at) { return {static_cast<std::uint32_t>(BeUInt(b, at, 4)), BeFloat(b, at + 4)}; }
Pair LePair(Block b, std::size_t at) { return {LeUInt(b, at), LeFloat(b, at + 4)}; }

// trunc(frac x 10^digits), kept inside the digits: a fraction that is not a
// number, negative or not below 1 (a damaged block) cannot widen the text.
long FractionValue(float frac, int digits) {
  const double limit = std::pow(10.0, digits);
  const double v = std::trunc(static_cast<double>(frac) * limit);
  if (!std::isfinite(v) || v < 0) return 0;
  if (v >= limit) return static_cast<long>(limit) - 1;
  return static_cast<long>(v);
}

std::string Integrator(Pair p, int digits, const char* unit) {
  return Format("%u.%.*ld %s", p.whole, digits, FractionValue(p.frac, digits), unit);
}

double HoursOfSeconds(std::uint32_t seconds) { return std::trunc(seconds / 360.0) / 10.0; }

// The texts of the bits set in `b`, from a model's list of bits and texts.
std::string BitTexts(std::uint8_t b, std::initializer_list<std::pair<std::uint8_t, const char*>> bits) {
  std::string s;
  for (const auto& [mask, text] : bits)
    if (b & mask) s += text;
  return s;
}

std::string Vtk0814Errors(std::uint8_t b) {
  if (b < 2) return "Система в норме";
  return BitTexts(b, {{0x02, "Возб "}, {0x04, "ПТ "}, {0x08, "ТСП "}, {0x20, "Gmin "}, {0x40, "Gmax "}});
}

std::string LdnErrors(std::uint8_t b) {
  if ((b & 0x7F) == 0) return "Система в норме";
  return BitTexts(
      b, {{0x01, "ТСП  "}, {0x04, "Воздух  "}, {0x08, "ПТ "}, {0x20, "Gmax  "}, {0x40, "Gmin  "}, {0x80, "Реверс  "}});
}

class ViewBuilder {
 public:
  explicit ViewBuilder(CurrentView& v) : v_(v) {}
  void Set(const std::string& name, const std::string& caption, const std::string& text) {
    for (auto& l : v_.labels)
      if (l.name == name) {
        l.text = text;
        return;
      }
    v_.labels.push_back({name, caption, text});
  }

 private:
  CurrentView& v_;
};

const char* const kG = "Текущий объемный расход";

void Common(Block b, ViewBuilder& v) {
  v.Set("LabelG", kG, Format("%.4f м3/ч", static_cast<double>(BeFloat(b, 436))));
  v.Set("Label_Curr_Time", "Дата/время",
        Format("20%.02X.%.02X.%.02X     %.02X:%.02X:%.02X", b[6], b[5], b[4], b[2], b[1], b[0]));
}

void Vtk0812(Block b, CurrentView& view, ViewBuilder& v) {
  view.groupCaption = "Текущий массовый расход";
  v.Set("LabelVp", "Интегратор V+  ", Format("%.4f м3", static_cast<double>(BeUInt(b, 16, 6)) / 1000000.0));
  v.Set("LabelVm", "Интегратор V-  ", Format("%.4f м3", static_cast<double>(BeUInt(b, 22, 6)) / 1000000.0));
  v.Set("LabelTime", "Время работы", Format("%.1f ч", static_cast<double>(BeUInt(b, 28, 3)) / 100.0));
}

void Vtk0814(Block b, DeviceType type, CurrentView& view, ViewBuilder& v) {
  v.Set("LabelG", kG, Format("%.4f м3/ч", static_cast<double>(BeFloat(b, 180))));
  view.groupCaption = "Текущий массовый расход";
  v.Set("LabelM", view.groupCaption, Format("%.4f т/ч", static_cast<double>(BeFloat(b, 268))));
  v.Set("LabelT", "Текущая температура", Format("%.2f C", static_cast<double>(BeFloat(b, 264))));
  v.Set("LabelTime", "Время работы", Format("%.1f ч", HoursOfSeconds(static_cast<std::uint32_t>(BeUInt(b, 856, 4)))));
  const int digits = FractionDigits(ScaleOf(type, b[520]));
  v.Set("LabelVp", "Интегратор V+  ", Integrator(BePair(b, 832), digits, "м3"));
  v.Set("LabelVm", "Интегратор V-  ", Integrator(BePair(b, 888), digits, "м3"));
  v.Set("LabelMp", "Интегратор M+  ", Integrator(BePair(b, 840), digits, "т"));
  v.Set("LabelMm", "Интегратор M-  ", Integrator(BePair(b, 896), digits, "т"));
  auto primed = [&](std::size_t now, std::size_t reset) {
    return Format("%.4f м3", BePair(b, now).Value() - BePair(b, reset).Value());
  };
  v.Set("LabelVp_", "Интегратор V+' ", primed(832, 904));
  v.Set("LabelVm_", "Интегратор V-' ", primed(888, 920));
  v.Set("LabelMp_", "Интегратор M+' ", primed(840, 912));
  v.Set("LabelMm_", "Интегратор M-' ", primed(896, 928));
  v.Set("Label_Errors", "Состояние", Vtk0814Errors(b[352]));
}

void Ldn08(Block b, CurrentView& view, ViewBuilder& v) {
  constexpr std::size_t R = 512;
  view.groupCaption = "Напряжение питания";
  v.Set("LabelG", kG, Format("%.4f м3/ч", static_cast<double>(LeFloat(b, R + 16))));
  v.Set("LabelTime", "Время работы", Format("%.1f ч", HoursOfSeconds(LeUInt(b, R + 24))));
  v.Set("LabelM", view.groupCaption, Format("%.3f В", static_cast<double>(LeFloat(b, R + 48))));
  v.Set("LabelVp", "Интегратор V+  ", Format("%.04f м3", LePair(b, R + 0).Value()));
  v.Set("LabelVm", "Интегратор V-  ", Format("%.04f м3", LePair(b, R + 8).Value()));
  v.Set(
      "Label_Curr_Time", "Дата/время",
      Format("%.02d:%.02d:%.02d  %.02d.%.02d.%.02d", b[R + 42], b[R + 41], b[R + 40], b[R + 43], b[R + 44], b[R + 45]));
  v.Set("Label_Errors", "Состояние", LdnErrors(b[R + 52]));
}

}  // namespace

const CurrentLabel* CurrentView::Find(const std::string& name) const {
  for (const auto& l : labels)
    if (l.name == name) return &l;
  return nullptr;
}

double ScaleOf(DeviceType type, std::uint8_t index) {
  if (type == DeviceType::dtVTK0814CM)
    return kScale0814CM[index < std::size(kScale0814CM) ? index : std::size(kScale0814CM) - 1];
  return kScale0814C[index < std::size(kScale0814C) ? index : std::size(kScale0814C) - 1];
}

int FractionDigits(double scale) {
  if (scale < 1) return 4;
  if (scale < 10) return 3;
  if (scale < 100) return 2;
  return 1;
}

CurrentView UpdateData(std::span<const std::uint8_t, 1024> block, DeviceType type) {
  CurrentView view;
  ViewBuilder v(view);
  Common(block, v);
  switch (type) {
    case DeviceType::dtVTK0812: Vtk0812(block, view, v); break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: Vtk0814(block, type, view, v); break;
    case DeviceType::dtLDN08: Ldn08(block, view, v); break;
    case DeviceType::dtUnknown: break;
  }
  return view;
}

}  // namespace statvtk
