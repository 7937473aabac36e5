#include "front/situation_texts.hpp"

namespace statvtk {

using analysis::SituationKind;
using analysis::SituationSource;

std::string SituationText(const analysis::Situation& s) {
  switch (s.kind) {
    case SituationKind::Flag: return s.detail;
    case SituationKind::PowerOff: return "Отключение питания";
    case SituationKind::SettingsChanged: return "Изменение настроек";
    case SituationKind::Calibration: return "Калибровка";
    case SituationKind::ClockChanged: return "Перевод часов";
    case SituationKind::NightFlow: return "Ночной расход";
    case SituationKind::ContinuousFlow: return "Непрерывный расход";
    case SituationKind::NoConsumption: return "Нет потребления";
    case SituationKind::ReverseVolume: return "Обратный поток";
    case SituationKind::ConsumptionSpike: return "Скачок потребления";
    case SituationKind::MeterReplaced: return "Замена прибора";
    case SituationKind::ClockDrift: return "Расхождение часов";
    case SituationKind::CallInRefused: return "Вызов с чужого адреса";
  }
  return s.detail;
}

std::string_view SituationSourceText(SituationSource source) {
  switch (source) {
    case SituationSource::Flags: return "флаги";
    case SituationSource::Events: return "события";
    case SituationSource::Rule: return "правило";
    case SituationSource::Collector: return "сборщик";
  }
  return "";
}

std::string SituationText(std::string_view kindName, const std::string& detail) {
  const auto kind = analysis::SituationKindOfName(kindName);
  if (!kind) return std::string(kindName);
  analysis::Situation s;
  s.kind = *kind;
  s.detail = detail;
  return SituationText(s);
}

}  // namespace statvtk
