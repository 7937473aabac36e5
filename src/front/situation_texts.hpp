// The words the front ends show for the analysis's codes: a situation's kind
// and source, in one place for statvtk-cli and the desktop program.
#pragma once

#include <string>
#include <string_view>

#include "analysis/situations.hpp"

namespace statvtk {

// "Ночной расход", "Отключение питания", ...; a flag or an event mark: the
// model's own word for it.
std::string SituationText(const analysis::Situation& situation);
// The same by the kind's name (as the collector's store keeps it) and the
// model's word; an unknown name: the name itself.
std::string SituationText(std::string_view kindName, const std::string& detail);

// "флаги", "события", "правило", "сборщик".
std::string_view SituationSourceText(analysis::SituationSource source);

// The text shown for a situation still going on, in place of its end.
inline constexpr const char* kSituationOpenText = "продолжается";

}  // namespace statvtk
