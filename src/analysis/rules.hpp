// The volume rules, one function each (RuleSituations runs them all).
#pragma once

#include <vector>

#include "analysis/situations.hpp"

namespace statvtk::analysis::detail {

void NightFlow(const MeterRecords& m, const Settings& s, std::vector<Situation>& out);
void ContinuousFlow(const MeterRecords& m, const Settings& s, std::vector<Situation>& out);
void ReverseVolume(const MeterRecords& m, const Settings& s, std::vector<Situation>& out);
void NoConsumption(const MeterRecords& m, const Settings& s, std::vector<Situation>& out);
void ConsumptionSpike(const MeterRecords& m, const Settings& s, std::vector<Situation>& out);

}  // namespace statvtk::analysis::detail
